"""Web text in the Python package, on views of the models the build trained with
the keys NewWords and WebText set: web-text atoms as single tokens, no character
glued to the text format's slash, punctuation tagged w in every stage, names that
stop at punctuation (run with /usr/bin/python3 -m pytest)."""
import os
import re
import unicodedata

import pytest

import morv

KEYS = {
    "web": "<NewWords>on</NewWords><WebText>on</WebText>",
    "new": "<NewWords>on</NewWords><WebText>off</WebText>",
    "classic": "<NewWords>off</NewWords><WebText>on</WebText>",
}


@pytest.fixture(scope="module")
def models(tmp_path_factory):
    base = morv.model_dir()
    with open(os.path.join(base, "Configure.xml"), "rb") as f:
        config = f.read().decode("gb2312")
    config = re.sub(r"<(NewWords|WebText)>[^<]*</\1>\n?", "", config)
    views = {}
    for name, keys in KEYS.items():
        d = tmp_path_factory.mktemp(name)
        with open(d / "Configure.xml", "wb") as f:
            f.write(config.replace("</Configure>", keys + "\n</Configure>").encode("gb2312"))
        os.symlink(os.path.join(base, "Data"), d / "Data")
        views[name] = morv.Model(str(d))
    return views


ATOMS = [
    ("请发邮件到abc.def@example.com联系我们", "abc.def@example.com", "nx"),
    ("详情见https://www.example.com/path?q=1&lang=zh。", "https://www.example.com/path?q=1&lang=zh", "nx"),
    ("打开www.example.com就能看到", "www.example.com", "nx"),
    ("@张三 你今天去哪儿了", "@张三", "nx"),
    ("大家都在讨论#春节放假#这个话题", "#春节放假#", "nx"),
    ("变量名叫abc_123就行", "abc_123", "nx"),
    ("5G网络已经覆盖全国", "5G", "nx"),
    ("他买了一台4K电视", "4K", "nx"),
    ("我的iPhone6s坏了", "iPhone6s", "nx"),
    ("这部アニメ很好看", "アニメ", "nx"),
    ("等了好久...终于来了", "...", "w"),
    ("今天好开心~~~", "~~~", "w"),
    ("等了3...终于来了", "...", "w"),
    ("他说안녕하세요就走了", "안녕하세요", "nx"),
]


@pytest.mark.parametrize("text,word,tag", ATOMS)
def test_web_text_atoms_are_one_token(models, text, word, tag):
    tokens = models["web"].tokenize(text)
    assert (word, tag) in [(t.word, t.tag) for t in tokens], [(t.word, t.tag) for t in tokens]
    token = next(t for t in tokens if t.word == word)
    assert text[token.start:token.end] == word


@pytest.mark.parametrize("view", ["new", "classic"])
@pytest.mark.parametrize("text,word,tag", [a for a in ATOMS if a[1] in ("abc.def@example.com", "#春节放假#", "abc_123")])
def test_without_the_key_or_the_new_stages_the_rules_do_not_act(models, view, text, word, tag):
    assert word not in models[view].cut(text)


SLASHES = ["一/二/三", "5/", "十/", "abc/", "ｂｃ/", "好/坏", "百分之一/ 吗", "他说/"]


@pytest.mark.parametrize("view", sorted(KEYS))
@pytest.mark.parametrize("text", SLASHES)
def test_no_character_is_glued_to_the_slash(models, view, text):
    for word, tag in models[view].tag(text):
        assert word == "/" or not word.endswith("/"), (word, tag)


def is_symbol(word):
    return bool(word) and all(unicodedata.category(c)[0] in "PSZ" or c in "\t\n\r" for c in word) \
        and not any(c in "°℃№" for c in word)


PUNCTUATION = [
    "【重磅】…中国银行今天发布公告",
    "【转发】中华人民共和国外交部发言人表示……",
    "《人民日报》社论：“北京大学”学生会（筹）成立！",
    "张三+李四=？？？",
    "哈哈哈!!!真的假的???",
    "中国远洋运输（集团）总公司的『新闻』「发布」",
]


@pytest.mark.parametrize("view", sorted(KEYS))
@pytest.mark.parametrize("text", PUNCTUATION)
def test_punctuation_is_tagged_w_in_every_stage(models, view, text):
    for mode in ("default", "search"):
        for t in models[view].tokenize(text, mode=mode):
            if is_symbol(t.word):
                assert t.tag == "w", (t.word, t.tag)
            for p in t.parts:
                if is_symbol(p.word):
                    assert p.tag == "w", (t.word, p.word, p.tag)


NAMES = [
    "张三+李四来了",
    "【王小明】今天到了北京",
    "《张伟传》的作者李强说",
    "王小明……李大伟……都来了",
    "北京市+上海市的代表",
    "他在ＯＥＣＤ）发展中心工作",
    "“２０世纪中国社会史”学术研讨会开幕",
]


@pytest.mark.parametrize("text", NAMES)
def test_names_hold_no_punctuation(models, text):
    for t in models["web"].tokenize(text):
        if t.tag in ("nr", "nrf", "ns", "nt"):
            assert not any(is_symbol(c) and c not in "·—－-" for c in t.word), (t.word, t.tag)


def test_a_foreign_name_keeps_its_middle_dot(models):
    assert "比尔·盖茨" in models["web"].cut("比尔·盖茨访问了微软公司")
