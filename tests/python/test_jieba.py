"""morv.jieba runs code written for jieba: its documented examples, written
anew, unchanged but for the import; jieba's own dictionary and tag set."""
import io
import os
import warnings

import pytest

import morv
import morv.jieba as jieba
import morv.jieba.posseg as pseg

JIEBA_DICT = "/usr/lib/python3/dist-packages/jieba/dict.txt"


def test_the_three_cut_modes():
    full = list(jieba.cut("我来到北京清华大学", cut_all=True))
    for word in ("我", "来到", "北京", "清华", "清华大学", "大学"):
        assert word in full
    assert list(jieba.cut("我来到北京清华大学", cut_all=False)) == ["我", "来到", "北京", "清华大学"]
    default = jieba.lcut("他来到了网易杭研大厦")
    assert "".join(default) == "他来到了网易杭研大厦"
    search = jieba.lcut_for_search("小明硕士毕业于中国科学院计算所，后在日本京都大学深造")
    # The words of the default cut, each after the dictionary's words inside it.
    at = search.index("日本京都大学")
    assert search[at - 3:at + 1] == ["日本", "京都", "大学", "日本京都大学"]
    # Words of three characters at most, but for the names the default cut has
    # (日本京都大学 as jieba's own example shows it).
    assert [w for w in search if len(w) <= 3 or w in ("日本京都大学", "中国科学院计算所")] == search
    assert [w for w in search if w in jieba.lcut("小明硕士毕业于中国科学院计算所，后在日本京都大学深造")]
    assert list(jieba.cut_for_search("京都大学")) == jieba.lcut_for_search("京都大学")


def test_posseg_pairs_have_word_and_flag_and_unpack():
    words = pseg.cut("我爱北京天安门")
    got = [(word, flag) for word, flag in words]
    assert got == [("我", "r"), ("爱", "v"), ("北京", "ns"), ("天安门", "ns")]
    first = pseg.lcut("我爱北京天安门")[0]
    assert (first.word, first.flag, str(first)) == ("我", "r", "我/r")
    assert first == pseg.pair("我", "r") and tuple(first) == ("我", "r")


@pytest.mark.parametrize("mode", ["default", "search"])
def test_tokenize_gives_word_start_end(mode):
    text = "永和服装饰品有限公司"
    result = list(jieba.tokenize(text, mode=mode))
    for word, start, end in result:
        assert text[start:end] == word
    whole = [tk for tk in result if tk[0] not in dict(jieba._default("_sub_words")(tk[0]) or [])]
    if mode == "default":
        assert "".join(tk[0] for tk in result) == text
        assert [tk[1] for tk in result[1:]] == [tk[2] for tk in result[:-1]]
    else:
        assert ("有限", 6, 8) in result and ("有限公司", 6, 10) in result
    assert whole
    with pytest.raises(ValueError):
        list(jieba.tokenize(text, mode="other"))


USERDICT = "云计算 5\n李小福 2 nr\n创新办 3 i\neasy_install 3 eng\n好用 300\n韩玉赏鉴 3 nz\n八一双鹿 3 nz\n台中\n"


@pytest.mark.parametrize("as_file", [False, True])
def test_load_userdict_as_documented(tmp_path, as_file):
    tk = jieba.Tokenizer()
    text = "李小福是创新办主任也是云计算方面的专家; 什么是八一双鹿"
    path = tmp_path / "userdict.txt"
    path.write_text(USERDICT, encoding="utf-8")
    if as_file:
        with open(path, encoding="utf-8") as f:
            tk.load_userdict(f)
    else:
        tk.load_userdict(str(path))
    words = tk.lcut(text)
    for word in ("李小福", "创新办", "云计算", "八一双鹿"):
        assert word in words
    tags = dict(pseg.POSTokenizer(tk).lcut(text))
    assert tags["李小福"] == "nr" and tags["创新办"] == "i" and tags["八一双鹿"] == "nz"
    assert ("easy_install", "nx") in [tuple(p) for p in pseg.POSTokenizer(tk).cut("用easy_install装")]


def test_an_unknown_tag_warns_with_its_line_and_keeps_the_word():
    tk = jieba.Tokenizer()
    with pytest.warns(morv.ListWarning, match=r"<StringIO>:2: unknown tag 'qq'"):
        assert tk.load_userdict(io.StringIO("门把手 10 n\n球拍 3 qq\n")) == 2
    assert "球拍" in tk.lcut("乒乓球拍卖完了")
    with pytest.raises(morv.Error, match="unknown tag 'qq'"):  # strict, as the library is by default
        morv.Model().load_userdict(io.StringIO("球拍 3 qq\n"))


@pytest.mark.parametrize("theirs, ours", [
    ("nrt", "nr"), ("nrfg", "nr"), ("eng", "nx"), ("zg", "g"), ("mg", "Mg"), ("vi", "v"), ("vq", "v"),
    ("rr", "r"), ("rz", "r"), ("df", "d"), ("uj", "u"), ("ul", "u"), ("uv", "u"), ("uz", "u"), ("ud", "u"),
    ("ug", "u"), ("nz", "nz"),
])
def test_jieba_tags_stand_for_ours(theirs, ours):
    m = morv.Model()
    m.load_userdict(io.StringIO("门把手 10 %s\n" % theirs))  # strict: mapped, not refused
    assert ("门把手", ours) in m.tag("这个门把手坏了")
    m = morv.Model()
    m.add_word("门把手", 10, theirs)
    assert ("门把手", ours) in m.tag("这个门把手坏了")


@pytest.mark.skipif(not os.path.exists(JIEBA_DICT), reason="no python3-jieba")
def test_jiebas_own_dictionary_loads_as_a_user_list():
    with open(JIEBA_DICT, encoding="utf-8") as f:
        lines = sum(1 for line in f if line.strip())
    m = morv.Model()
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        assert m.load_userdict(JIEBA_DICT) == lines  # strict: every tag is read
    assert "".join(m.cut("我来到北京清华大学")) == "我来到北京清华大学"


def test_add_word_del_word_and_suggest_freq():
    untouched = jieba.Tokenizer().lcut("石墨烯是一种材料")
    tk = jieba.Tokenizer()
    tk.suggest_freq(("中", "将"), True)
    words = tk.lcut("如果放到post中将出错。")
    assert "中" in words and "将" in words and "中将" not in words
    assert tk.suggest_freq("台中", True) > 0
    assert "台中" in tk.lcut("「台中」正确应该不会被切开")
    tk.add_word("石墨烯")
    assert "石墨烯" in tk.lcut("石墨烯是一种材料")
    tk.del_word("北京")
    assert tk.lcut("我爱北京") == ["我", "爱", "北", "京"]
    tk.add_word("北京")
    assert "北京" in tk.lcut("我爱北京")
    # Tokenizers are separate: a fresh one cuts as one did before any word was added
    # (whether the new-word model finds the word on its own is the model's affair).
    assert jieba.Tokenizer().lcut("石墨烯是一种材料") == untouched


def test_without_hmm_new_words_come_apart():
    tk = jieba.Tokenizer()
    text = "他来到了网易杭研大厦，看到一个萌萌哒的小姐姐"
    with_hmm, without = tk.lcut(text), tk.lcut(text, HMM=False)
    assert "".join(without) == text
    new = [t.word for t in tk.model.tokenize(text) if t.flags & morv.NEW_WORD and len(t.word) > 1]
    for w in without:
        assert w in with_hmm or len(w) == 1
    for w in new:
        assert w not in without


@pytest.mark.parametrize("processes", [False, True])
def test_parallel_cut_gives_the_same_words(processes):
    text = "我来到北京清华大学\n他来到了网易杭研大厦\n" * 20
    expected = jieba.lcut(text)
    jieba.enable_parallel(2, processes=processes)
    try:
        assert jieba.lcut(text) == expected
    finally:
        jieba.disable_parallel()
    assert jieba.lcut(text) == expected
