"""Tests of tools/score-segmentation.py: span scoring, brackets, text mismatch,
OOV recall, the gold-file check, and the shipped modern test set itself."""

import importlib.util
import os

import pytest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
_spec = importlib.util.spec_from_file_location(
    "score_segmentation", os.path.join(ROOT, "tools", "score-segmentation.py"))
scoring = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(scoring)

TAGSET = os.path.join(ROOT, "data", "tagset.txt")


def write(tmp_path, name, lines):
    path = tmp_path / name
    path.write_text("".join(line + "\n" for line in lines), encoding="utf-8")
    return str(path)


def tally(gold_line, system_line, vocab=None):
    t = scoring.Tally()
    t.add(scoring.parse_line(gold_line), scoring.parse_line(system_line, need_tags=False), vocab)
    return t


@pytest.mark.parametrize("gold, system, correct, system_words", [
    # identical cut
    ("我们/r  点赞/v  。/w", "我们 点赞 。", 3, 3),
    # one gold word cut in two: neither piece is a gold span
    ("我们/r  点赞/v  。/w", "我们 点 赞 。", 2, 4),
    # two gold words joined: the joined word is no gold span
    ("王/nr  小明/nr  来/v", "王小明 来", 1, 2),
    # the same words at shifted offsets do not count ("小" recurs)
    ("小/a  小明/nr", "小小 明", 0, 2),
])
def test_span_scoring(gold, system, correct, system_words):
    t = tally(gold, system)
    assert (t.correct, t.system_words) == (correct, system_words)
    assert t.precision() == pytest.approx(correct / system_words)
    assert t.recall() == pytest.approx(correct / t.gold_words)


def test_f1_is_zero_without_hits():
    t = tally("点赞/v", "点 赞")
    assert (t.precision(), t.recall(), t.f1()) == (0.0, 0.0, 0.0)


@pytest.mark.parametrize("line, words, group_tags", [
    ("[中国/ns  政府/n]nt  宣布/v", ["中国", "政府", "宣布"], [None, "nt", None]),
    # a group of one word, and a group at the end of the line
    ("[新华社/nt]nt  [国家/n  统计局/n]nt", ["新华社", "国家", "统计局"], ["nt", None, "nt"]),
    # brackets as punctuation are words, not groups
    ("[/w  A/nx  ]/w", ["[", "A", "]"], [None, None, None]),
    # a corpus paragraph id is not a word
    ("19980101-01-001-002/m  中共中央/nt", ["中共中央"], [None]),
])
def test_brackets_are_ignored(line, words, group_tags):
    tokens = scoring.parse_line(line)
    assert [t.word for t in tokens] == words
    assert [t.group_tag for t in tokens] == group_tags


def test_bracketed_gold_scores_like_plain_words():
    t = tally("[中国/ns  政府/n]nt  宣布/v", "中国 政府 宣布")
    assert t.f1() == 1.0


@pytest.mark.parametrize("line, need_tags", [
    ("[中国/ns  [政府/n]nt]nt", True),  # nested
    ("[中国/ns  政府/n", True),         # never closed
    ("中国/ns  /n", True),              # empty word
    ("中国/ns  政府", True),            # item without a tag in a gold line
])
def test_malformed_lines_are_rejected(line, need_tags):
    with pytest.raises(scoring.FormatError):
        scoring.parse_line(line, need_tags=need_tags)


def test_system_file_may_hold_plain_words_or_tagged_items():
    assert [t.tag for t in scoring.parse_line("我们 点赞/v", need_tags=False)] == [None, "v"]


def test_text_mismatch_stops_the_run(tmp_path, capsys):
    gold = write(tmp_path, "gold.txt", ["我们/r  点赞/v", "他/r  吐槽/v"])
    system = write(tmp_path, "sys.txt", ["我们 点赞", "他 吐 嘈"])
    with pytest.raises(SystemExit) as stop:
        scoring.main(["--gold", gold, "--system", system])
    assert "sentence 2 differs" in str(stop.value.code)


def test_missing_line_stops_the_run(tmp_path):
    gold = write(tmp_path, "gold.txt", ["我们/r  点赞/v", "他/r  吐槽/v"])
    system = write(tmp_path, "sys.txt", ["我们 点赞"])
    with pytest.raises(SystemExit) as stop:
        scoring.main(["--gold", gold, "--system", system])
    assert "has 1 sentences" in str(stop.value.code)


def test_oov_recall_counts_only_words_outside_the_list():
    # 点赞 and 刷屏 are OOV; only 点赞 is found.
    t = tally("我们/r  点赞/v  刷屏/v", "我们 点赞 刷 屏", vocab={"我们", "刷"})
    assert (t.oov_words, t.oov_correct) == (2, 1)
    assert t.oov_recall() == 0.5


def test_pos_accuracy_on_correctly_cut_words_only():
    t = tally("我们/r  点赞/v  刷屏/v", "我们/r 点赞/n 刷/v 屏/n")
    assert (t.tag_compared, t.tag_correct) == (2, 1)


def test_report_per_kind(tmp_path, capsys):
    gold = write(tmp_path, "gold.txt", ["我们/r  点赞/v", "他/r  吐槽/v"])
    write(tmp_path, "kinds.txt", ["web", "news"])
    system = write(tmp_path, "sys.txt", ["我们 点赞", "他 吐 槽"])
    assert scoring.main(["--gold", gold, "--system", system]) == 0
    rows = {line.split()[0]: line.split() for line in capsys.readouterr().out.splitlines()[1:]}
    assert rows["all"][3:6] == ["0.6000", "0.7500", "0.6667"]
    assert rows["web"][5] == "1.0000"
    assert rows["news"][3:6] == ["0.3333", "0.5000", "0.4000"]


@pytest.mark.parametrize("word, tag, expected", [
    ("的", "uj", "u"),
    ("，", "x", "w"),
    ("5G", "eng", "nx"),
    ("王小明", "nrfg", "nr"),
    ("阿", "x", "x"),       # a letter-like character tagged x is not punctuation
    ("点赞", "v", "v"),
])
def test_jieba_tag_mapping(word, tag, expected):
    assert scoring.map_jieba_tag(word, tag) == expected


def test_check_reports_every_problem(tmp_path, capsys):
    gold = write(tmp_path, "gold.txt", [
        "我们/r  点赞/v",
        "我们/r  点赞/vv",       # tag not in the tag set
        "我们/r   点赞/v",       # three spaces
        "[我们/r  点赞/v",       # unclosed bracket
        "",
    ])
    write(tmp_path, "kinds.txt", ["web", "web", "blog", "tech"])
    problems = scoring.check_gold(gold, scoring.read_tagset(TAGSET), str(tmp_path / "kinds.txt"))
    out = capsys.readouterr().out
    assert problems == 5
    for text in ("'vv'", "two spaces", "not closed", "empty line", "unknown kind 'blog'"):
        assert text in out


def test_tagset_excludes_markers():
    tags = scoring.read_tagset(TAGSET)
    assert {"n", "Vg", "Ng", "nx", "nr"} <= tags
    assert not {"bos", "eos", "reserved60"} & tags


def test_shipped_modern_set_is_valid(capsys):
    gold = os.path.join(ROOT, "data", "modern", "modern.txt")
    kinds = os.path.join(ROOT, "data", "modern", "kinds.txt")
    assert scoring.check_gold(gold, scoring.read_tagset(TAGSET), kinds) == 0
    sentences = scoring.read_gold(gold)
    assert len(sentences) >= 330
    lengths = [len(scoring.raw_text(s)) for s in sentences]
    assert min(lengths) >= 10 and max(lengths) <= 60
    counts = {}
    for kind in scoring.read_kinds(kinds, len(sentences)):
        counts[kind] = counts.get(kind, 0) + 1
    assert min(counts.values()) >= 100


def test_jieba_run_keeps_the_gold_text():
    pytest.importorskip("jieba")
    gold = [scoring.parse_line("新华社/nt  北京/ns  ３月/t  ５日/t  电/n")]
    for with_tags in (False, True):
        system = scoring.run_jieba(gold, with_tags)
        assert scoring.raw_text(system[0]) == scoring.raw_text(gold[0])
        assert all((t.tag is not None) == with_tags for t in system[0])


def test_text_of_round_trips_with_the_scorer(tmp_path, capsys):
    # The raw text a system is given must line up with the gold file again.
    gold = write(tmp_path, "gold.txt", ["[国家/n  统计局/n]nt  发布/v", "5G/nx  手机/n"])
    assert scoring.main(["--text-of", gold]) == 0
    raw = capsys.readouterr().out
    assert raw == "国家统计局发布\n5G手机\n"
    system = write(tmp_path, "sys.txt", [line for line in raw.splitlines()])
    assert scoring.main(["--gold", gold, "--system", system]) == 0
    assert capsys.readouterr().out.splitlines()[1].split()[3:6] == ["0.0000", "0.0000", "0.0000"]
