"""The Python package morv: its functions, threads, run-time words, pickling and
errors, on the models the build trained (run with /usr/bin/python3 -m pytest)."""
import os
import pickle
import subprocess
import threading
from concurrent.futures import ProcessPoolExecutor, ThreadPoolExecutor

import pytest

import morv

BUILD = os.environ.get("MORV_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
CORPUS = os.path.join(BUILD, "data", "pd199801.txt")
COMMAND = os.path.join(BUILD, "bin", "morv")
CLASSIC = os.path.join(BUILD, "models-classic")  # the trained models with the new stages off


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
def model():
    return morv.Model()


def test_cut_tag_tokenize_agree_and_tile_the_text(model):
    text = "他在北京工作。江泽民说😀好\n第二行 abc 123"
    words = model.cut(text)
    assert "".join(words) == text
    assert model.lcut(text) == words
    assert [w for w, _ in model.tag(text)] == words
    tokens = model.tokenize(text)
    assert [t.word for t in tokens] == words
    for t in tokens:
        assert text[t.start:t.end] == t.word
    name = tokens[words.index("江泽民")]
    assert name.tag == "nr" and name.flags & morv.PERSON and name.name_split == name.start + 1
    emoji = tokens[words.index("😀")]
    assert emoji.tag == "w" and emoji.flags & morv.SUBSTITUTED
    assert tokens[words.index("北京")].flags & morv.PLACE
    assert any(t.flags & morv.LINE_BREAK for t in tokens)
    assert morv.cut(text) == words  # the default model


def test_tags_equal_the_command_on_a_corpus_slice(model, tmp_path):
    lines = corpus_lines(300)
    source = tmp_path / "in.txt"
    source.write_text("".join(line + "\n" for line in lines), encoding="utf-8")
    out = subprocess.run([COMMAND, "--base", model.path, str(source)], check=True, capture_output=True,
                         encoding="utf-8").stdout.splitlines()
    assert len(out) == len(lines)
    # The command reads each line with its line break; the words tag alike
    # without it.
    for line, expected in zip(lines, out):
        assert "  ".join(w + "/" + t for w, t in model.tag(line)) == expected
        assert model.tag(line + "\n")[:-1] == model.tag(line)


def test_threads_on_one_model_give_the_single_thread_result(model):
    lines = corpus_lines(2000)
    expected = [model.tag(line) for line in lines]
    with ThreadPoolExecutor(max_workers=8) as pool:
        got = list(pool.map(model.tag, lines))
    assert got == expected


def test_added_words_change_cut_and_tag(tmp_path):
    m = morv.Model(CLASSIC)  # the new stages know the word
    text = "这个门把手坏了"
    assert "门把手" not in m.cut(text)
    m.add_word("门把手", 10, "nz")
    assert ("门把手", "nz") in m.tag(text)
    m.add_word("北京", tag="nz")
    assert ("北京", "nz") in m.tag("他在北京工作")
    assert m.user_word_count() == 2


def test_utf8_and_gbk_lists_give_the_same_result(tmp_path):
    content = "门把手 10 n\n\n球拍 nz\n"
    (tmp_path / "u.txt").write_text(content, encoding="utf-8")
    (tmp_path / "g.txt").write_bytes(content.encode("gbk"))
    a, b = morv.Model(), morv.Model()
    assert a.load_userdict(tmp_path / "u.txt") == 2
    assert b.load_userdict(str(tmp_path / "g.txt")) == 2
    text = "这个门把手坏了，乒乓球拍卖完了"
    assert a.tag(text) == b.tag(text)
    assert ("球拍", "nz") in a.tag(text)


def test_a_model_pickles_with_its_words_and_works_in_other_processes(tmp_path):
    m = morv.Model()
    m.add_word("门把手", 10, "nz")
    (tmp_path / "u.txt").write_text("球拍 nz\n", encoding="utf-8")
    m.load_userdict(tmp_path / "u.txt")
    copy = pickle.loads(pickle.dumps(m))
    assert copy.path == m.path and copy.user_word_count() == 2
    texts = ["这个门把手坏了", "乒乓球拍卖完了"]
    with ProcessPoolExecutor(max_workers=2) as pool:
        assert list(pool.map(copy.tag, texts)) == [m.tag(t) for t in texts]


def test_settings_set_keys_for_one_model_and_pickle_with_it():
    texts = ["中国农业发展银行的行长王小明昨天访问了阿尔伯克基。", "很多网友来留言点赞。"]
    classic = morv.Model(CLASSIC)
    fast = morv.Model(settings={"NewWords": "off"})
    assert fast.settings == {"NewWords": "off"} and morv.Model().settings == {}
    assert [fast.tag(t) for t in texts] == [classic.tag(t) for t in texts]
    assert [fast.tag(t) for t in texts] != [morv.Model().tag(t) for t in texts]
    # Pairs in their order, numbers as values; the last word on a key holds.
    tuned = morv.Model(settings=[("NewWords", "off"), ("NewWords", "on"), ("NewWordPenalty", 12)])
    assert tuned.settings == {"NewWords": "on", "NewWordPenalty": "12"}
    assert tuned.tag(texts[1]) == morv.Model(settings={"NewWordPenalty": 12.0}).tag(texts[1])
    copy = pickle.loads(pickle.dumps(fast))
    assert copy.settings == fast.settings and "settings=" in repr(copy)
    with ProcessPoolExecutor(max_workers=1) as pool:
        assert list(pool.map(copy.tag, texts)) == [classic.tag(t) for t in texts]


@pytest.mark.parametrize("settings, error, message", [
    ({"NewWordz": "on"}, ValueError, "setting NewWordz=on: no such key"),
    ({"NewWords": "maybe"}, morv.Error, "neither on nor off"),
    ({"NewWordPenalty": -3}, ValueError, "NewWordPenalty=-3: not a number of at least 0"),
    ({"NewWords": True}, TypeError, "a str or a number"),
    ([("NewWords",)], TypeError, "must map keys to values"),
    ({"NewWords": "o\0ff"}, ValueError, "NUL"),
])
def test_refused_settings_say_which(settings, error, message):
    with pytest.raises(error) as info:
        morv.Model(settings=settings)
    assert message in str(info.value)


@pytest.mark.parametrize("call, error, message", [
    (lambda m: m.add_word("门", tag="qq"), morv.Error, "unknown tag 'qq'"),
    (lambda m: m.add_word(""), morv.Error, "empty"),
    (lambda m: m.cut("a\0b"), morv.Error, "NUL byte at byte offset 1"),
    (lambda m: m.cut("a\ud800b"), UnicodeEncodeError, "surrogate"),
    (lambda m: m.load_userdict("/nonexistent/list.txt"), FileNotFoundError, "list.txt"),
    (lambda m: morv.Model("/nonexistent/models"), morv.Error, "/nonexistent/models/Configure.xml"),
])
def test_bad_input_gets_a_clear_error(model, call, error, message):
    m = morv.Model()
    with pytest.raises(error) as info:
        call(m)
    assert message in str(info.value)


def test_a_bad_list_adds_nothing(tmp_path):
    m = morv.Model()
    (tmp_path / "bad.txt").write_text("门把手 3 n\n球拍 2 qq\n", encoding="utf-8")
    with pytest.raises(morv.Error) as info:
        m.load_userdict(tmp_path / "bad.txt")
    assert "bad.txt:2: unknown tag 'qq'" in str(info.value)
    assert info.value.status == 6
    assert m.user_word_count() == 0


def test_version():
    assert morv.__version__.count(".") == 2


def test_compound_names_list_their_words(model, tmp_path):
    # The trained models, whose Configure.xml switches the new stages on.
    text = "我通过中国国际广播电台向香港同胞问候。"
    tokens = model.tokenize(text)
    station = [t for t in tokens if t.word == "中国国际广播电台"]
    assert len(station) == 1 and station[0].tag == "nt"
    assert station[0].flags & morv.COMPOUND and station[0].flags & morv.ORGANIZATION
    assert [(p.word, p.tag) for p in station[0].parts] == [("中国", "ns"), ("国际", "n"), ("广播", "vn"), ("电台", "n")]
    for p in station[0].parts:
        assert text[p.start:p.end] == p.word
    assert all(not t.parts for t in tokens if t is not station[0])
    assert all(not t.parts for t in morv.Model(CLASSIC).tokenize(text))  # the classic pipeline merges none


@pytest.mark.parametrize("text, unit, tag", [
    ("他买了２９个苹果。", "２９个", "mq"),
    ("今年７月１日起施行。", "今年７月１日", "t"),
])
def test_the_long_unit_standard_joins_numerals_and_dates(model, text, unit, tag):
    corpus = model.cut(text)
    longer = model.cut(text, standard="long")
    assert "".join(longer) == text and unit in longer and unit not in corpus
    assert model.cut(text, standard="corpus") == corpus
    assert (unit, tag) in model.tag(text, standard="long")
    token = [t for t in model.tokenize(text, mode="search", standard="long") if t.word == unit][0]
    assert token.flags & morv.COMPOUND and "".join(p.word for p in token.parts) == unit
    assert morv.cut(text, "default", standard="long") == longer
    with pytest.raises(ValueError, match="standard"):
        model.cut(text, standard="wide")
