"""morv.dask: a bag of corpus lines and a dataframe column analysed on two local
worker processes give what one process gives, each worker loads its model once,
and added words (or shipped model files) reach the workers."""
import logging
import os
import shutil
import subprocess
import sys

import pytest

dask = pytest.importorskip("dask")
db = pytest.importorskip("dask.bag")
distributed = pytest.importorskip("distributed")

import morv  # noqa: E402
import morv.dask  # noqa: E402

BUILD = os.environ.get("MORV_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
CORPUS = os.path.join(BUILD, "data", "pd199801.txt")
PARTITIONS = 12
TIMEOUT = 120


def corpus_lines(count):
    lines = []
    with open(CORPUS, encoding="utf-8") as f:
        for line in f:
            items = line.split()[1:]
            text = "".join(item.lstrip("[").rsplit("/", 1)[0] for item in items)
            if text:
                lines.append(text)
            if len(lines) == count:
                break
    return lines


@pytest.fixture(scope="module")
def lines():
    return corpus_lines(3000)


@pytest.fixture(scope="module")
def client():
    with dask.config.set({"distributed.comm.timeouts.connect": "30s"}):
        with distributed.LocalCluster(n_workers=2, processes=True, threads_per_worker=1,
                                      dashboard_address=None, silence_logs=logging.ERROR) as cluster:
            with distributed.Client(cluster, timeout="30s") as c:
                yield c


def run(client, collection):
    return client.compute(collection).result(timeout=TIMEOUT)


def as_tuples(tokens):
    return [morv.dask.Token(t.word, t.tag, t.start, t.end, t.flags, t.name_split) for t in tokens]


def single_process(model, method, text):
    if method == "tokenize":
        return as_tuples(model.tokenize(text))
    return getattr(model, method)(text)


def test_a_bag_gives_the_single_process_result_and_each_worker_loads_once(client, lines):
    model = morv.Model()
    client.run(morv.dask.cache_clear)
    bag = db.from_sequence(lines, npartitions=PARTITIONS)
    for method in ("cut", "tag", "tokenize"):
        got = run(client, getattr(morv.dask, method)(bag, model))
        assert len(got) == len(lines), method
        expected = [single_process(model, method, line) for line in lines]
        assert got == expected, method
    infos = client.run(morv.dask.cache_info)
    pids = client.run(os.getpid)
    assert len(set(pids.values())) == 2 and os.getpid() not in pids.values()
    # One model per worker process for all three computations; one cache lookup
    # per partition, none per line.
    assert sum(i.hits + i.misses for i in infos.values()) == 3 * PARTITIONS
    for address, info in infos.items():
        assert info.misses == (1 if info.hits + info.misses else 0), (address, info)
        assert info.currsize == info.misses


def test_a_dataframe_column_keeps_its_index_name_and_missing_values(client, lines):
    pd = pytest.importorskip("pandas")
    dd = pytest.importorskip("dask.dataframe")
    model = morv.Model()
    texts = lines[:1000] + [None, float("nan"), ""]
    frame = pd.DataFrame({"text": texts, "n": range(len(texts))}, index=[7 + 2 * i for i in range(len(texts))])
    ddf = dd.from_pandas(frame, npartitions=5)
    for method in ("cut", "tag"):
        got = run(client, getattr(morv.dask, method)(ddf["text"], model))
        assert list(got.index) == list(frame.index) and got.name == "text"
        values = got.tolist()
        assert values[:1000] == [getattr(model, method)(t) for t in lines[:1000]], method
        assert values[1000] is None and values[1001] != values[1001] and values[1002] == []
    # Aligned with its frame, so it can become a column of it.
    both = run(client, ddf.assign(words=morv.dask.cut(ddf["text"], model)))
    assert both["words"].iloc[3] == model.cut(texts[3])


def test_added_words_and_shipped_files_reach_the_workers(client, lines, tmp_path):
    copy = tmp_path / "models"
    shutil.copytree(morv.model_dir(), copy)
    model = morv.Model(copy)
    (tmp_path / "words.txt").write_text("门把手 10 nz\n报道说 5 v\n", encoding="utf-8")
    model.load_userdict(tmp_path / "words.txt")
    model.add_word("北京工作", 20, "nz")
    texts = ["这个门把手坏了", "他在北京工作。", "新华社报道说"] + lines[:300]
    bag = db.from_sequence(texts, npartitions=4)
    tagged = morv.dask.tag(bag, model)             # the model's files at their path
    shipped = morv.dask.tag(bag, model, ship=True)  # the files travel in the graph
    plain = morv.dask.tag(bag, copy)                # a path: the model without the words
    model.add_word("坏了", 10, "nz")                # too late for the collections above
    without_words = morv.Model(copy)
    expected = [without_words.tag(t) for t in texts]
    assert run(client, plain) == expected
    with_words = morv.Model(copy)
    with_words.load_userdict(tmp_path / "words.txt")
    with_words.add_word("北京工作", 20, "nz")
    expected = [with_words.tag(t) for t in texts]
    assert ("门把手", "nz") in expected[0] and ("北京工作", "nz") in expected[1]
    assert run(client, tagged) == expected
    shutil.rmtree(copy)
    assert run(client, shipped) == expected
    # A directory the workers do not have: the engine's error comes back to the client.
    with pytest.raises(morv.Error, match="cannot open the model in .*missing"):
        run(client, morv.dask.cut(bag, tmp_path / "missing"))


def test_settings_reach_the_workers_and_tell_models_apart(client, lines):
    fast = morv.Model(settings={"NewWords": "off"})
    trained = morv.Model()
    texts = lines[:200]
    bag = db.from_sequence(texts, npartitions=4)
    # Both in one graph: the workers' cache must not take one for the other.
    got_fast, got_trained = client.compute([morv.dask.tag(bag, fast), morv.dask.tag(bag, trained)])
    expected_fast = [fast.tag(t) for t in texts]
    assert got_fast.result(timeout=TIMEOUT) == expected_fast
    assert got_trained.result(timeout=TIMEOUT) == [trained.tag(t) for t in texts] != expected_fast
    assert run(client, morv.dask.tag(bag, fast, ship=True)) == expected_fast


@pytest.mark.filterwarnings("ignore:Running on a single-machine scheduler")
def test_threads_of_one_process_share_one_load():
    morv.dask.cache_clear()
    model = morv.Model()
    model.add_word("门把手", 10, "nz")
    texts = ["这个门把手坏了"] * 64
    bag = db.from_sequence(texts, npartitions=32)
    assert morv.dask.cut(bag, model).compute(scheduler="threads", num_workers=8) == [model.cut(t) for t in texts]
    assert morv.dask.cache_info().misses == 1
    # A bounded cache: a session that keeps adding words does not keep every model,
    # and each addition gives a new model (the words reach the analysis).
    words = ["甲乙丙", "丁戊己", "庚辛壬", "子丑寅", "卯辰巳", "午未申"][:morv.dask.CACHE_SIZE + 2]
    for word in words:
        model.add_word(word)
        got = morv.dask.cut(db.from_sequence([word + "了"]), model).compute(scheduler="sync")
        assert got == [[word, "了"]]
    info = morv.dask.cache_info()
    assert info.misses == 1 + len(words) and info.currsize == morv.dask.CACHE_SIZE


def test_the_model_description_is_stored_once_in_the_graph(tmp_path):
    model = morv.Model()
    (tmp_path / "big.txt").write_text("".join("词语%05d\n" % i for i in range(5000)), encoding="utf-8")
    model.load_userdict(tmp_path / "big.txt")
    bag = morv.dask.cut(db.from_sequence(["x"] * 200, npartitions=100), model)
    values = list(dict(bag.__dask_graph__()).values())
    sources = [v for v in values if isinstance(v, morv.dask._ModelSource)]
    assert len(sources) == 1 and len(sources[0].additions) == 1
    assert all(isinstance(v, morv.dask._ModelSource) or len(repr(v)) < 1000 for v in values)


@pytest.mark.parametrize("call, error, message", [
    (lambda: morv.dask.cut(["他在北京"]), TypeError, "dask Bag or a dask dataframe Series"),
    (lambda: morv.dask.cut(db.from_sequence(["x"]), model=3), TypeError, "model must be"),
    (lambda: morv.dask.cut(db.from_sequence(["x"]), "/nonexistent/models", ship=True), morv.Error,
     "no model files in /nonexistent/models"),
])
def test_bad_arguments_get_a_clear_error(call, error, message):
    with pytest.raises(error, match=message):
        call()


def test_a_whole_dataframe_is_refused():
    pd = pytest.importorskip("pandas")
    dd = pytest.importorskip("dask.dataframe")
    ddf = dd.from_pandas(pd.DataFrame({"text": ["他在北京"]}), npartitions=1)
    with pytest.raises(TypeError, match="one column"):
        morv.dask.tag(ddf)


@pytest.mark.parametrize("code, expected", [
    ("import morv, sys; print('dask' in sys.modules)", "False"),
    ("import sys; sys.modules['dask'] = None\n"
     "try:\n import morv.dask\nexcept ImportError as e:\n print(e)", "morv.dask needs Dask"),
])
def test_dask_is_imported_only_by_morv_dask(code, expected):
    out = subprocess.run([sys.executable, "-c", code], check=True, capture_output=True, encoding="utf-8").stdout
    assert expected in out
