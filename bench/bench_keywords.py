#!/usr/bin/python3
"""Keywords: morv.analyse beside jieba.analyse (python3-jieba) on the same texts.

    bench/bench_keywords.py            (after a Release build in build/)

1. Obvious texts: short texts about one named thing (written for this
   benchmark, not taken from the corpus); a method scores when that thing is
   its first keyword. Both TF-IDF (extract_tags) and TextRank (textrank,
   allowPOS of each library's default).
2. Articles of the training corpus (People's Daily, January 1998; ids
   DATE-PAGE-ARTICLE): the top 10 of each library, their mean overlap
   (shared words / 10), and the time each takes for all the articles (wall
   time, after one warm-up call; jieba's dictionary load not counted). The
   corpus is the one Morv's IDF table was computed from, so this part says
   how alike the two are and how fast, not which is right.

Environment: MORV_BUILD_DIR (default build), MORV_HOME (the models, default
BUILD/bin/Morv), MORV_BENCH_ARTICLES (default 300), MORV_CORPUS_XZ.
"""
import logging
import lzma
import os
import re
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.abspath(os.environ.get("MORV_BUILD_DIR", os.path.join(ROOT, "build")))
os.environ.setdefault("MORV_HOME", os.path.join(BUILD, "bin", "Morv"))
sys.path.insert(0, os.path.join(BUILD, "python"))
ARTICLES = int(os.environ.get("MORV_BENCH_ARTICLES", "300"))

import morv.analyse  # noqa: E402

try:
    import jieba
    import jieba.analyse
    jieba.setLogLevel(logging.WARNING)
except ImportError:
    sys.exit("bench_keywords: python3-jieba is not installed (apt-get install python3-jieba)")

OBVIOUS = [
    ("稀土", "稀土是重要的战略资源。我国稀土储量丰富，稀土出口要管好，稀土产业要升级。"),
    ("足球", "足球是世界第一运动。很多人喜欢足球，孩子们在操场上踢足球。足球比赛吸引了大量球迷。"),
    ("粮食", "粮食是农业的根本。今年粮食产量创新高，粮食收购价格稳定，各地粮食部门做好粮食储备工作。"),
    ("地铁", "这座城市的地铁四通八达。每天有几百万人乘坐地铁上班，地铁站里人来人往，新的地铁线路明年开通。"),
    ("熊猫", "大熊猫是中国的国宝。动物园里的熊猫宝宝很可爱，游客排队看熊猫，熊猫吃竹子的样子憨态可掬。"),
    ("医院", "这家医院新建了门诊楼。医院的医生和护士工作很辛苦，病人在医院得到了很好的治疗，医院还开通了网上挂号。"),
    ("茶叶", "云南是茶叶的故乡。茶农在山上采摘茶叶，茶叶经过晾晒和炒制，最后做成香气浓郁的茶叶出口海外。"),
    ("电池", "新能源汽车的核心是电池。电池的容量决定续航里程，工程师们不断改进电池材料，让电池充电更快更安全。"),
    ("长城", "长城是中华民族的象征。每年有很多游客登上长城，长城蜿蜒在群山之间，保护长城是每个人的责任。"),
    ("铁路", "铁路是国民经济的大动脉。新建的铁路穿过高山和峡谷，铁路工人日夜施工，铁路通车后沿线经济快速发展。"),
]


def articles():
    source = os.environ.get("MORV_CORPUS_XZ") or os.path.join(ROOT, "data", "corpus", "pd199801.txt.xz")
    ident = re.compile(r"^(\d{8}-\d{2}-\d{3})-\d{3}/m$")
    texts, current, key = [], [], None
    with lzma.open(source, "rt", encoding="utf-8") as f:
        for line in f:
            toks = line.split()
            m = ident.match(toks[0]) if toks else None
            if not m:
                continue
            if m.group(1) != key and current:
                texts.append("\n".join(current))
                current = []
                if len(texts) >= ARTICLES:
                    break
            key = m.group(1)
            current.append("".join(t.lstrip("[").split("]")[0].rsplit("/", 1)[0] for t in toks[1:]))
    if current and len(texts) < ARTICLES:
        texts.append("\n".join(current))
    return texts


def timed(method, texts, **kwargs):
    method(texts[0], **kwargs)
    t0 = time.perf_counter()
    out = [method(t, topK=10, **kwargs) for t in texts]
    return out, time.perf_counter() - t0


def main():
    methods = [
        ("TF-IDF", morv.analyse.extract_tags, jieba.analyse.extract_tags),
        ("TextRank", morv.analyse.textrank, jieba.analyse.textrank),
    ]
    print("Obvious texts (%d): first keyword is the named thing" % len(OBVIOUS))
    for name, ours, theirs in methods:
        hits_ours = sum(1 for want, text in OBVIOUS if ours(text, topK=1)[:1] == [want])
        hits_theirs = sum(1 for want, text in OBVIOUS if theirs(text, topK=1)[:1] == [want])
        print("  %-8s  morv %2d/%d   jieba %2d/%d" % (name, hits_ours, len(OBVIOUS), hits_theirs, len(OBVIOUS)))
        for want, text in OBVIOUS:
            a, b = ours(text, topK=1), theirs(text, topK=1)
            if a[:1] != [want] or b[:1] != [want]:
                print("            %s: morv %s, jieba %s" % (want, a, b))
    texts = articles()
    chars = sum(len(t) for t in texts)
    jieba.initialize()
    print("Corpus articles: %d (%d characters), top 10" % (len(texts), chars))
    for name, ours, theirs in methods:
        a, ta = timed(ours, texts)
        b, tb = timed(theirs, texts)
        overlap = sum(len(set(x) & set(y)) / 10.0 for x, y in zip(a, b)) / len(texts)
        print("  %-8s  morv %6.2f s (%7.0f chars/s)   jieba %6.2f s (%7.0f chars/s)   overlap %.2f"
              % (name, ta, chars / ta, tb, chars / tb, overlap))


if __name__ == "__main__":
    main()
