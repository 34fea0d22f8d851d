"""The traditional-character test set (data/traditional): it is the modern set
word for word, and Morv's segmentation of it stays within 0.02 of its
segmentation of the simplified original and above jieba's."""
import importlib.util
import os
import subprocess

import pytest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.environ.get("MORV_BUILD_DIR", os.path.join(ROOT, "build"))
MODERN = os.path.join(ROOT, "data", "modern", "modern.txt")
TRADITIONAL = os.path.join(ROOT, "data", "traditional", "modern-t.txt")
_spec = importlib.util.spec_from_file_location("score_segmentation",
                                               os.path.join(ROOT, "tools", "score-segmentation.py"))
scoring = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(scoring)


def test_the_set_is_the_modern_set_word_for_word():
    modern, traditional = scoring.read_gold(MODERN), scoring.read_gold(TRADITIONAL)
    assert len(modern) == len(traditional) == 353
    changed = 0
    for m, t in zip(modern, traditional):
        assert [(len(a.word), a.tag) for a in m] == [(len(b.word), b.tag) for b in t]
        changed += sum(a.word != b.word for a, b in zip(m, t))
    assert changed > 1000  # most sentences hold characters that differ
    with open(os.path.join(ROOT, "data", "traditional", "kinds.txt"), encoding="utf-8") as a, \
            open(os.path.join(ROOT, "data", "modern", "kinds.txt"), encoding="utf-8") as b:
        assert a.read() == b.read()


def morv_f1(gold_path, *options):
    gold = scoring.read_gold(gold_path)
    text = "".join(scoring.raw_text(tokens) + "\n" for tokens in gold)
    out = subprocess.run([os.path.join(BUILD, "bin", "morv"), "-d", os.path.join(BUILD, "bin", "Morv"),
                          "--format", "seg", *options], input=text, capture_output=True, text=True,
                         check=True).stdout
    system = [scoring.parse_line(line, need_tags=False) for line in out.splitlines()]
    return scoring.score(gold, system)[0][1].f1()


@pytest.mark.skipif(not os.path.exists(os.path.join(BUILD, "bin", "Morv", "Configure.xml")),
                    reason="no trained models")
def test_traditional_scores_as_the_simplified_and_above_jieba():
    simplified = morv_f1(MODERN)
    traditional = morv_f1(TRADITIONAL)
    assert abs(traditional - simplified) <= 0.02, (traditional, simplified)
    # Unconverted, the models cut traditional text apart.
    assert morv_f1(TRADITIONAL, "--traditional", "off") < traditional - 0.1
    pytest.importorskip("jieba")
    gold = scoring.read_gold(TRADITIONAL)
    jieba_f1 = scoring.score(gold, scoring.run_jieba(gold, False))[0][1].f1()
    assert traditional > jieba_f1, (traditional, jieba_f1)
