#!/usr/bin/python3
"""Lists the places where a hand-segmented gold file departs from the training
corpus's habits, or from itself, so that a proofreader can look at each one.

  review-gold.py --gold data/modern/modern.txt --corpus build/data/pd199801.txt

It prints, one group after the other:
  joined   the gold cuts a string that the corpus mostly writes as one word
  split    the gold writes as one word a string that the corpus only ever cuts
  tag      a word carries a tag the corpus never (or hardly ever) gives it
  cut      the same string is one word in one gold line and cut in another
  tags     one word with more than one tag within the gold file
  new      gold words the corpus does not have (the set's new words)
Nothing here is necessarily wrong; it is a reading list.
"""

import argparse
import collections
import importlib.util
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
_spec = importlib.util.spec_from_file_location(
    "score_segmentation", os.path.join(HERE, "score-segmentation.py"))
scoring = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(scoring)

# A corpus tag given to a word in fewer than this share of its uses is
# reported as rare.
RARE_TAG_SHARE = 0.05


def corpus_counts(sentences, needed_ngrams):
    """Word and tag counts, and the counts of the word sequences asked for."""
    tags = collections.defaultdict(collections.Counter)
    ngrams = collections.Counter()
    lengths = {len(n) for n in needed_ngrams}
    for tokens in sentences:
        words = [t.word for t in tokens]
        for t in tokens:
            tags[t.word][t.tag] += 1
        for n in lengths:
            for i in range(len(words) - n + 1):
                key = tuple(words[i:i + n])
                if key in needed_ngrams:
                    ngrams[key] += 1
    return tags, ngrams


def splits(word):
    """Every way of cutting a word into two or three non-empty pieces."""
    result = []
    for i in range(1, len(word)):
        result.append((word[:i], word[i:]))
        for j in range(i + 1, len(word)):
            result.append((word[:i], word[i:j], word[j:]))
    return result


def review(gold, corpus):
    # Sequences of two and three gold words, and the splits of gold words, are
    # the corpus n-grams worth counting.
    needed = set()
    for tokens in gold:
        words = [t.word for t in tokens]
        for i in range(len(words) - 1):
            needed.add(tuple(words[i:i + 2]))
            if i + 2 < len(words):
                needed.add(tuple(words[i:i + 3]))
        for w in words:
            if len(w) <= 6:
                needed.update(splits(w))
    tags, ngrams = corpus_counts(corpus, needed)

    out = collections.defaultdict(set)
    gold_words = collections.defaultdict(collections.Counter)
    gold_sequences = collections.Counter()
    for tokens in gold:
        words = [t.word for t in tokens]
        for t in tokens:
            gold_words[t.word][t.tag] += 1
        for n in (2, 3):
            for i in range(len(words) - n + 1):
                seq = tuple(words[i:i + n])
                whole = "".join(seq)
                gold_sequences[whole] += 1
                whole_count = sum(tags[whole].values())
                if whole_count > ngrams[seq]:
                    out["joined"].add("%s  corpus: %s %d, %s %d" % (
                        " | ".join(seq), whole, whole_count, " | ".join(seq), ngrams[seq]))

    for word, gold_tags in gold_words.items():
        corpus_tags = tags.get(word)
        if corpus_tags:
            total = sum(corpus_tags.values())
            for tag in gold_tags:
                share = corpus_tags[tag] / total
                if share < RARE_TAG_SHARE:
                    out["tag"].add("%s/%s  corpus: %s" % (
                        word, tag, " ".join("%s %d" % kv for kv in corpus_tags.most_common(4))))
            continue
        found = [(ngrams[s], s) for s in splits(word) if ngrams[s]] if len(word) <= 6 else []
        if found:
            count, best = max(found)
            out["split"].add("%s  corpus: %s %d" % (word, " | ".join(best), count))
        out["new"].add("%s/%s" % (word, "/".join(sorted(gold_tags))))
        if word in gold_sequences:
            out["cut"].add("%s  whole %d, cut %d" % (
                word, sum(gold_tags.values()), gold_sequences[word]))
    for word, gold_tags in gold_words.items():
        if word in gold_sequences and tags.get(word):
            out["cut"].add("%s  whole %d, cut %d" % (
                word, sum(gold_tags.values()), gold_sequences[word]))
        if len(gold_tags) > 1:
            out["tags"].add("%s  %s" % (word, " ".join("%s %d" % kv for kv in gold_tags.most_common())))
    return out


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--gold", required=True)
    ap.add_argument("--corpus", required=True, help="the training corpus, word/tag lines")
    args = ap.parse_args(argv)
    out = review(scoring.read_gold(args.gold), scoring.read_gold(args.corpus))
    for group in ("joined", "split", "tag", "cut", "tags", "new"):
        print("== %s (%d)" % (group, len(out[group])))
        for line in sorted(out[group]):
            print("  " + line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
