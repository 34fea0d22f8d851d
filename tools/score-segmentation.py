#!/usr/bin/python3
"""Score a word segmentation (and optionally its tags) against a gold file.

The gold file holds one sentence a line as `word/tag` items separated by two
spaces, the way the training corpus writes a paragraph (a leading corpus
paragraph id is skipped).  Compound brackets `[中国/ns  政府/n]nt` are
annotation only: the words inside them count, the bracket does not.

Words are compared as character spans of the sentence, so a system that cuts
one word into two, or joins two into one, loses on precision and recall alike.

  score-segmentation.py --gold data/modern/modern.txt --system morv-out.txt
  score-segmentation.py --gold data/modern/modern.txt --jieba --vocab vocab.txt
  score-segmentation.py --gold data/modern/modern.txt --jieba-posseg
  score-segmentation.py --check data/modern/modern.txt
  score-segmentation.py --words-of build/data/pd199801.txt > vocab.txt
  score-segmentation.py --text-of data/modern/modern.txt > modern.raw.txt

The kind of each gold line (news, web, tech) is read from kinds.txt beside the
gold file when it exists (or from --kinds), and the figures are given per kind
as well as overall.
"""

import argparse
import os
import re
import sys
import unicodedata

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_TAGSET = os.path.join(HERE, "..", "data", "tagset.txt")

# `19980101-01-001-001/m` opens every corpus line; it is an id, not a word.
PARAGRAPH_ID = re.compile(r"^\d{8}-\d{2}-\d{3}-\d{3}/m$")
# A tag is letters, possibly followed by digits (nr1, reserved60).
TAGGED_ITEM = re.compile(r"^(.+)/([A-Za-z]+[0-9]*)$")
GROUP_CLOSE = re.compile(r"^(.+)\]([A-Za-z]+[0-9]*)$")


class FormatError(Exception):
    """A line that is not a well-formed sequence of items."""


class Token:
    __slots__ = ("word", "tag", "group_tag")

    def __init__(self, word, tag, group_tag=None):
        self.word = word
        self.tag = tag
        self.group_tag = group_tag  # set on the last word of a bracketed group

    def __repr__(self):
        return "Token(%r, %r)" % (self.word, self.tag)


def is_tagged(item):
    """True for `word/tag`, also when a group's `]tag` follows."""
    closing = GROUP_CLOSE.match(item)
    if closing and TAGGED_ITEM.match(closing.group(1)):
        return True
    return TAGGED_ITEM.match(item) is not None


def parse_line(line, need_tags=True):
    """Returns the tokens of one line, brackets stripped.

    With need_tags, every item must be `word/tag`; otherwise an item without a
    tag is a plain word (tag None).  Raises FormatError on an empty word, an
    unbalanced or nested bracket, or (with need_tags) an item without a tag.
    """
    items = line.split()
    if items and PARAGRAPH_ID.match(items[0]):
        items = items[1:]
    tokens = []
    in_group = False
    for item in items:
        # `[` opens a group only before a tagged word: a lone `[/w` is a word.
        if item.startswith("[") and is_tagged(item[1:]):
            if in_group:
                raise FormatError("nested bracket at %r" % item)
            in_group = True
            item = item[1:]
        group_tag = None
        closing = GROUP_CLOSE.match(item)
        # `]` followed by a tag closes a group only inside one; a word may
        # itself be a lone `]` punctuation mark.
        if closing and in_group and TAGGED_ITEM.match(closing.group(1)):
            item, group_tag = closing.group(1), closing.group(2)
            in_group = False
        tagged = TAGGED_ITEM.match(item)
        if tagged:
            word, tag = tagged.group(1), tagged.group(2)
        elif need_tags:
            raise FormatError("item without a tag: %r" % item)
        else:
            word, tag = item, None
        if word == "" or word.strip() != word:
            raise FormatError("empty word in %r" % item)
        tokens.append(Token(word, tag, group_tag))
    if in_group:
        raise FormatError("bracket opened and not closed")
    return tokens


def raw_text(tokens):
    return "".join(t.word for t in tokens)


def spans(tokens):
    """Maps (start, end) character offsets of every word to its tag."""
    result = {}
    pos = 0
    for t in tokens:
        result[(pos, pos + len(t.word))] = t.tag
        pos += len(t.word)
    return result


def read_lines(path):
    with open(path, encoding="utf-8-sig") as f:
        return [line.rstrip("\r\n") for line in f]


def read_gold(path):
    """Parses every non-blank line of a gold file; stops at the first bad one."""
    sentences = []
    for number, line in enumerate(read_lines(path), 1):
        if not line.strip():
            continue
        try:
            sentences.append(parse_line(line, need_tags=True))
        except FormatError as e:
            sys.exit("%s:%d: %s" % (path, number, e))
    return sentences


def read_system(path):
    sentences = []
    for number, line in enumerate(read_lines(path), 1):
        if not line.strip():
            continue
        try:
            sentences.append(parse_line(line, need_tags=False))
        except FormatError as e:
            sys.exit("%s:%d: %s" % (path, number, e))
    return sentences


def read_words(path):
    """A word list: the first field of every non-blank line."""
    words = set()
    for line in read_lines(path):
        fields = line.split()
        if fields:
            words.add(fields[0])
    return words


def read_tagset(path):
    tags = set()
    for line in read_lines(path):
        fields = line.split()
        if fields:
            tags.add(fields[0])
    # Markers and place holders keep codes in the model files; they are not
    # tags a word may carry.
    return {t for t in tags if t not in ("bos", "eos") and not t.startswith("reserved")}


def read_kinds(path, count):
    kinds = [k.strip() for k in read_lines(path) if k.strip()]
    if len(kinds) != count:
        sys.exit("%s: %d kinds for %d gold lines" % (path, len(kinds), count))
    return kinds


# jieba's part-of-speech tags are close to ours.  Its morpheme tags are written
# in lower case where the training corpus writes Ng, Vg, ...; its auxiliary
# tags name the particle (uj = 的, ul = 了, ...); eng is a Latin string; x is
# punctuation or an unknown character.  Tags not listed are compared as they are.
JIEBA_TAG_MAP = {
    "uj": "u", "ul": "u", "uv": "u", "uz": "u", "ud": "u", "ug": "u",
    "ng": "Ng", "tg": "Tg", "vg": "Vg", "ag": "Ag", "dg": "Dg", "rg": "Rg",
    "mg": "Mg", "bg": "Bg", "yg": "Yg",
    "nrt": "nr", "nrfg": "nr",
    "vi": "v", "vq": "v", "df": "d", "zg": "z", "mq": "m", "rr": "r", "rz": "r",
    "eng": "nx",
}


def is_punctuation(word):
    return all(unicodedata.category(c).startswith(("P", "S")) for c in word)


def map_jieba_tag(word, tag):
    if tag == "x" and is_punctuation(word):
        return "w"
    return JIEBA_TAG_MAP.get(tag, tag)


def run_jieba(gold, with_tags):
    import logging
    try:
        import jieba
        import jieba.posseg
    except ImportError:
        sys.exit("jieba is missing: apt-get install python3-jieba (tools/install-deps.sh does it), "
                 "and run this script with /usr/bin/python3")
    jieba.setLogLevel(logging.WARNING)
    sentences = []
    for tokens in gold:
        text = raw_text(tokens)
        if with_tags:
            out = [Token(p.word, map_jieba_tag(p.word, p.flag))
                   for p in jieba.posseg.cut(text)]
        else:
            out = [Token(w, None) for w in jieba.cut(text)]
        sentences.append(out)
    return sentences


class Tally:
    """Counts for one set of sentences."""

    def __init__(self):
        self.lines = 0
        self.gold_words = 0
        self.system_words = 0
        self.correct = 0
        self.oov_words = 0
        self.oov_correct = 0
        self.tag_compared = 0
        self.tag_correct = 0

    def add(self, gold_tokens, system_tokens, vocab):
        gold_spans = spans(gold_tokens)
        system_spans = spans(system_tokens)
        self.lines += 1
        self.gold_words += len(gold_spans)
        self.system_words += len(system_spans)
        pos = 0
        for t in gold_tokens:
            span = (pos, pos + len(t.word))
            pos = span[1]
            hit = span in system_spans
            if hit:
                self.correct += 1
                system_tag = system_spans[span]
                if system_tag is not None:
                    self.tag_compared += 1
                    self.tag_correct += system_tag == t.tag
            if vocab is not None and t.word not in vocab:
                self.oov_words += 1
                self.oov_correct += hit

    def precision(self):
        return self.correct / self.system_words if self.system_words else 0.0

    def recall(self):
        return self.correct / self.gold_words if self.gold_words else 0.0

    def f1(self):
        p, r = self.precision(), self.recall()
        return 2 * p * r / (p + r) if p + r else 0.0

    def oov_recall(self):
        return self.oov_correct / self.oov_words if self.oov_words else 0.0

    def tag_accuracy(self):
        return self.tag_correct / self.tag_compared if self.tag_compared else 0.0


def check_texts(gold, system, gold_path, system_name):
    """Stops with a message unless every system line spells its gold line."""
    if len(gold) != len(system):
        sys.exit("%s has %d sentences, %s has %d sentences" %
                 (gold_path, len(gold), system_name, len(system)))
    for number, (g, s) in enumerate(zip(gold, system), 1):
        if raw_text(g) != raw_text(s):
            sys.exit("sentence %d differs:\n  gold:   %s\n  system: %s" %
                     (number, raw_text(g), raw_text(s)))


def score(gold, system, vocab=None, kinds=None):
    """Returns [(name, Tally)]: 'all' first, then one per kind in order of first use."""
    tallies = {"all": Tally()}
    order = ["all"]
    for i, (g, s) in enumerate(zip(gold, system)):
        tallies["all"].add(g, s, vocab)
        if kinds is not None:
            kind = kinds[i]
            if kind not in tallies:
                tallies[kind] = Tally()
                order.append(kind)
            tallies[kind].add(g, s, vocab)
    return [(name, tallies[name]) for name in order]


def format_report(results, with_oov, with_tags):
    header = "%-6s %6s %7s %7s %7s %7s" % ("set", "lines", "words", "P", "R", "F1")
    if with_oov:
        header += " %7s %6s" % ("OOV-R", "OOV")
    if with_tags:
        header += " %7s" % "POS"
    lines = [header]
    for name, t in results:
        row = "%-6s %6d %7d %7.4f %7.4f %7.4f" % (
            name, t.lines, t.gold_words, t.precision(), t.recall(), t.f1())
        if with_oov:
            row += " %7.4f %6d" % (t.oov_recall(), t.oov_words)
        if with_tags:
            row += " %7.4f" % t.tag_accuracy()
        lines.append(row)
    return "\n".join(lines)


def check_gold(path, tagset, kinds_path):
    """Lists every problem of a gold file; returns the number found."""
    problems = []
    count = 0
    for number, line in enumerate(read_lines(path), 1):
        where = "%s:%d" % (path, number)
        if not line.strip():
            problems.append("%s: empty line" % where)
            continue
        if "   " in line or line != line.strip() or "\t" in line:
            problems.append("%s: items must be separated by exactly two spaces" % where)
        count += 1
        try:
            tokens = parse_line(line, need_tags=True)
        except FormatError as e:
            problems.append("%s: %s" % (where, e))
            continue
        for t in tokens:
            for tag in (t.tag, t.group_tag):
                if tag is not None and tag not in tagset:
                    problems.append("%s: tag %r of %r is not in the tag set" % (where, tag, t.word))
    if kinds_path is not None:
        kinds = [k.strip() for k in read_lines(kinds_path)]
        if len(kinds) != count:
            problems.append("%s: %d kinds for %d sentences" % (kinds_path, len(kinds), count))
        for number, kind in enumerate(kinds, 1):
            if kind not in ("news", "web", "tech"):
                problems.append("%s:%d: unknown kind %r" % (kinds_path, number, kind))
    for p in problems:
        print(p)
    print("%s: %d sentences, %d problems" % (path, count, len(problems)))
    return len(problems)


def default_kinds(gold_path):
    path = os.path.join(os.path.dirname(os.path.abspath(gold_path)), "kinds.txt")
    return path if os.path.exists(path) else None


def main(argv=None):
    ap = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--gold", help="gold file: one sentence a line, word/tag items")
    mode = ap.add_mutually_exclusive_group(required=True)
    mode.add_argument("--system", metavar="FILE",
                      help="system output, line by line: word/tag items or plain words separated by spaces")
    mode.add_argument("--jieba", action="store_true",
                      help="segment the raw gold text with jieba (jieba.cut, HMM on)")
    mode.add_argument("--jieba-posseg", action="store_true",
                      help="segment and tag the raw gold text with jieba.posseg; tags mapped to ours")
    mode.add_argument("--check", metavar="GOLD",
                      help="validate a gold file (parses, tags in the tag set, brackets, no empty words)")
    mode.add_argument("--words-of", metavar="FILE",
                      help="print the distinct words of a tagged file, one a line (a --vocab list)")
    mode.add_argument("--text-of", metavar="FILE",
                      help="print the raw text of every line of a tagged file (a system's input)")
    ap.add_argument("--vocab", metavar="WORDLIST",
                    help="word list, one a line; gold words not in it are OOV")
    ap.add_argument("--kinds", metavar="FILE",
                    help="kind of every gold line (default: kinds.txt beside the gold file)")
    ap.add_argument("--tagset", metavar="FILE", default=DEFAULT_TAGSET,
                    help="tag-set file for --check (default: data/tagset.txt)")
    args = ap.parse_args(argv)

    if args.check:
        kinds = args.kinds or default_kinds(args.check)
        return 1 if check_gold(args.check, read_tagset(args.tagset), kinds) else 0

    if args.words_of:
        words = set()
        for tokens in read_gold(args.words_of):
            words.update(t.word for t in tokens)
        sys.stdout.write("".join(w + "\n" for w in sorted(words)))
        return 0

    if args.text_of:
        sys.stdout.write("".join(raw_text(tokens) + "\n" for tokens in read_gold(args.text_of)))
        return 0

    if not args.gold:
        ap.error("--gold is needed with --system, --jieba and --jieba-posseg")
    gold = read_gold(args.gold)
    if args.system:
        system = read_system(args.system)
        system_name = args.system
    else:
        system = run_jieba(gold, with_tags=args.jieba_posseg)
        system_name = "jieba"
    check_texts(gold, system, args.gold, system_name)

    vocab = read_words(args.vocab) if args.vocab else None
    kinds_path = args.kinds or default_kinds(args.gold)
    kinds = read_kinds(kinds_path, len(gold)) if kinds_path else None
    with_tags = any(t.tag is not None for s in system for t in s)
    results = score(gold, system, vocab, kinds)
    print(format_report(results, vocab is not None, with_tags))
    return 0


if __name__ == "__main__":
    sys.exit(main())
