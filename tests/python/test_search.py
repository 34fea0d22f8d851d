"""Search mode and the dictionary words of a text in the Python package, on the
models the build trained (run with /usr/bin/python3 -m pytest)."""
import pytest

import morv


@pytest.fixture(scope="module")
def model():
    return morv.Model()


TEXTS = ["中国农业发展银行在北京大学旁边。", "他说 hello world，3.5元！\n第二行", "", "江泽民同志讲话😀"]


@pytest.mark.parametrize("text", TEXTS)
def test_search_mode_adds_sub_tokens_and_keeps_the_ordinary_stream(model, text):
    plain = model.tokenize(text)
    search = model.tokenize(text, mode="search")
    ordinary = [t for t in search if not t.flags & morv.SUBTOKEN]
    assert [(t.word, t.tag, t.start, t.end, t.flags) for t in ordinary] == \
           [(t.word, t.tag, t.start, t.end, t.flags) for t in plain]
    holder = None
    for t in search:
        if not t.flags & morv.SUBTOKEN:
            holder = t
            continue
        assert holder.start <= t.start < t.end <= holder.end and t.end - t.start >= 2
        assert text[t.start:t.end] == t.word
    # cut and tag list the same words as tokenize in each mode.
    assert model.cut(text, mode="search") == [t.word for t in search]
    assert model.tag(text, "search") == [(t.word, t.tag) for t in search]
    assert morv.cut(text) == [t.word for t in plain]


def test_words_inside_long_words_and_not_across_them(model):
    words = model.cut("中国农业发展银行在北京大学旁边", mode="search")
    assert words[0] == "中国农业发展银行" and "农业" in words
    assert "北京" in words and "大学" in words and "京大" not in words


def test_dictionary_words_list_every_word_overlapping(model):
    found = [(t.word, t.start, t.end) for t in model.dictionary_words("我来到北京清华大学")]
    for word in ["来到", "北京", "清华", "清华大学", "大学"]:
        assert word in [w for w, _, _ in found]
    assert found == sorted(found, key=lambda w: (w[1], w[2]))
    singles = morv.dictionary_words("我来到北京清华大学", single_chars=True)
    assert {t.start for t in singles if t.end - t.start == 1} == set(range(9))


def test_a_bad_mode_is_refused(model):
    with pytest.raises(ValueError, match="mode"):
        model.cut("北京", mode="all")
    with pytest.raises(ValueError):
        morv.tokenize("北京", mode="")
