"""Keywords from Python: morv.analyse, and jieba.analyse's documented calls
(its README's extract_tags, set_idf_path, set_stop_words and textrank
snippets, written anew) on morv.jieba.analyse."""
import os

import pytest

import morv
import morv.analyse
import morv.jieba as jieba
import morv.jieba.analyse

# jieba's README demonstrates keywords on this text.
S = ("此外，公司拟对全资子公司吉林欧亚置业有限公司增资4.3亿元，增资后，吉林欧亚置业注册资本由7000万元增加到5亿元。"
     "吉林欧亚置业主要经营范围为房地产开发及百货零售等业务。目前在建吉林欧亚城市商业综合体项目。"
     "2013年，实现营业收入0万元，实现净利润-139.13万元。")

OBVIOUS = [
    ("稀土是重要的战略资源。我国稀土储量丰富，稀土出口要管好，稀土产业要升级。", "稀土"),
    ("足球是世界第一运动。很多人喜欢足球，孩子们在操场上踢足球。足球比赛吸引了大量球迷，球迷为足球疯狂。", "足球"),
    ("粮食是农业的根本。今年粮食产量创新高，粮食收购价格稳定，各地粮食部门做好粮食储备工作，农民很高兴。", "粮食"),
]


@pytest.mark.parametrize("text,first", OBVIOUS)
@pytest.mark.parametrize("method", [morv.analyse.extract_tags, morv.analyse.textrank,
                                    jieba.analyse.extract_tags, jieba.analyse.textrank])
def test_the_obvious_keyword_comes_first(method, text, first):
    tags = method(text, topK=3)
    assert tags[0] == first
    assert 1 <= len(tags) <= 3
    assert all(isinstance(t, str) and t in text for t in tags)


def test_readme_extract_tags_and_textrank_snippets():
    tags = jieba.analyse.extract_tags(S, topK=20, withWeight=False, allowPOS=())
    assert ",".join(tags) and len(tags) <= 20
    assert "吉林" in tags[:3]
    lines = ["%s %s" % (x, w) for x, w in jieba.analyse.extract_tags(S, withWeight=True)]
    assert lines and all(float(line.split()[1]) > 0 for line in lines)
    ranked = jieba.analyse.textrank(S, topK=20, withWeight=True, allowPOS=("ns", "n", "vn", "v"))
    weights = [w for _, w in ranked]
    assert weights == sorted(weights, reverse=True) and weights[0] == 1.0
    assert all(0 < w <= 1 for w in weights)
    assert jieba.analyse.textrank(S, withWeight=False)[0] == ranked[0][0]


def test_allow_pos_and_with_flag():
    got = jieba.analyse.extract_tags(S, topK=10, allowPOS=("ns", "n"), withFlag=True)
    assert got and all(p.flag in ("ns", "n") for p in got)
    word, flag = got[0]
    assert (word, flag) == (got[0].word, got[0].flag)
    # withFlag without allowPOS gives words, as jieba's does.
    assert all(isinstance(w, str) for w in jieba.analyse.extract_tags(S, withFlag=True))
    ranked = jieba.analyse.textrank(S, withWeight=True, withFlag=True)
    assert all(p.flag in ("ns", "n", "vn", "v") and w > 0 for p, w in ranked)
    assert morv.analyse.extract_tags(S, topK=None, allowPOS="ns")  # one tag as a str


def test_set_idf_path_and_set_stop_words(tmp_path):
    text = OBVIOUS[0][0]
    idf = tmp_path / "idf.txt"
    idf.write_text("稀土 0.001\n储量 50\n重要 1\n资源 1\n战略 1\n", encoding="utf-8")
    stop = tmp_path / "stop.txt"
    stop.write_text("储量\n", encoding="utf-8")
    model = morv.Model()
    extractor = morv.analyse.TFIDF(model=model)
    assert extractor.extract_tags(text, topK=1) == ["稀土"]
    extractor.set_idf_path(str(idf))
    assert extractor.extract_tags(text, topK=1) == ["储量"]
    extractor.set_stop_words(stop)  # a path object too
    assert "储量" not in extractor.extract_tags(text, topK=None)
    extractor.set_idf_path(None)
    extractor.set_stop_words(None)
    assert extractor.extract_tags(text, topK=1) == ["稀土"]
    # The module-level default extractor is another model's: untouched.
    assert morv.analyse.extract_tags(text, topK=1) == ["稀土"]
    bad = tmp_path / "bad.txt"
    bad.write_text("稀土 lots\n", encoding="utf-8")
    with pytest.raises(morv.Error, match="bad.txt:1:"):
        extractor.set_idf_path(bad)
    with pytest.raises(morv.Error):
        extractor.set_idf_path(tmp_path / "missing.txt")
    # TFIDF(idf_path) as jieba builds it.
    assert morv.analyse.TFIDF(str(idf), model=model).extract_tags(text, topK=1) == ["储量"]


def test_jieba_analyse_uses_the_words_jieba_was_given():
    text = "欧亚置业是一家公司。欧亚置业经营百货。"
    tokenizer = jieba.Tokenizer()
    tokenizer.add_word("欧亚置业", 5, "nt")
    extractor = jieba.analyse.TFIDF()
    extractor.tokenizer = extractor.postokenizer = jieba.posseg.POSTokenizer(tokenizer)
    assert extractor.extract_tags(text, topK=1) == ["欧亚置业"]


@pytest.mark.parametrize("args,error", [
    ((123,), TypeError),
    (("文本", "5"), TypeError),
    (("文本", True), TypeError),
    (("文本", 5, False, (1,)), TypeError),
    (("文本", 5, False, ("n v",)), ValueError),
])
def test_bad_arguments_name_themselves(args, error):
    with pytest.raises(error):
        morv.analyse.extract_tags(*args)


def test_empty_and_tiny_texts():
    for method in (morv.analyse.extract_tags, morv.analyse.textrank):
        assert method("") == []
        assert method("。") == []
        assert method("好", topK=0) == []
    assert morv.analyse.extract_tags("稀土", withWeight=True)[0][0] == "稀土"


@pytest.mark.parametrize("traditional,first", [("auto", ["我們", "在", "大學"]), ("on", ["我們", "在", "大學"]),
                                               ("off", ["我", "們"])])
def test_traditional_text_keeps_its_characters(traditional, first):
    text = "我們在大學學習。"
    words = morv.cut(text, traditional=traditional)
    assert words[:len(first)] == first
    assert "".join(words) == text
    tokens = morv.tokenize(text, traditional=traditional)
    assert all(text[t.start:t.end] == t.word for t in tokens)
    assert [w for w, _ in morv.tag(text, traditional=traditional)] == words


def test_traditional_in_keywords_and_bad_values():
    text = "稀土是重要的戰略資源。我國稀土儲量豐富，稀土出口要管好，稀土產業要升級。"
    assert morv.analyse.extract_tags(text, topK=2) == ["稀土", "儲量"]
    assert jieba.analyse.textrank(text, topK=1) == ["稀土"]
    assert "儲量" in [w.word for w in morv.dictionary_words(text, traditional="on")]
    with pytest.raises(ValueError, match="traditional"):
        morv.cut(text, traditional="yes")
    with pytest.raises(TypeError):
        morv.cut(text, traditional=1)


def test_a_pickled_model_keeps_its_keyword_files(tmp_path):
    import pickle
    text = OBVIOUS[0][0]
    idf = tmp_path / "idf.txt"
    idf.write_text("稀土 0.001\n储量 50\n重要 1\n资源 1\n战略 1\n", encoding="utf-8")
    model = morv.Model()
    morv.analyse.TFIDF(str(idf), model=model)
    copy = pickle.loads(pickle.dumps(model))
    assert morv.analyse.TFIDF(model=copy).extract_tags(text, topK=1) == ["储量"]


JIEBA_IDF = "/usr/lib/python3/dist-packages/jieba/analyse/idf.txt"


@pytest.mark.skipif(not os.path.exists(JIEBA_IDF), reason="python3-jieba is not installed")
def test_jiebas_own_idf_and_stop_words_load(tmp_path):
    stop = tmp_path / "stop_words.txt"
    stop.write_text("储量\n稀土\n", encoding="utf-8")
    text = OBVIOUS[0][0]
    try:
        jieba.analyse.set_idf_path(JIEBA_IDF)
        assert jieba.analyse.extract_tags(text, topK=1) == ["稀土"]
        jieba.analyse.set_stop_words(str(stop))
        tags = jieba.analyse.extract_tags(text, topK=None)
        assert "稀土" not in tags and "储量" not in tags
        assert "稀土" not in jieba.analyse.textrank(text, topK=None)
    finally:
        jieba.analyse.set_idf_path(None)
        jieba.analyse.set_stop_words(None)
    assert jieba.analyse.extract_tags(text, topK=1) == ["稀土"]
