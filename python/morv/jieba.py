"""jieba's interface on Morv's analyser: ``import morv.jieba as jieba`` and
``import morv.jieba.posseg as pseg`` run code written for jieba.

    >>> import morv.jieba as jieba
    >>> jieba.lcut("我来到北京清华大学")
    ['我', '来到', '北京', '清华大学']
    >>> import morv.jieba.posseg as pseg
    >>> [(w, f) for w, f in pseg.cut("我爱北京天安门")]
    [('我', 'r'), ('爱', 'v'), ('北京', 'ns'), ('天安门', 'ns')]

What is the same: ``cut(s, cut_all=False, HMM=True)``, ``lcut``,
``cut_for_search``/``lcut_for_search``, ``tokenize(s, mode="default"|"search")``
with ``(word, start, end)`` tuples, ``posseg.cut``/``posseg.lcut`` with pairs
that have ``.word`` and ``.flag`` and unpack, ``load_userdict`` (a path or a
file object; jieba's list format, jieba's tags), ``add_word``, ``del_word``,
``suggest_freq``, ``Tokenizer`` and ``posseg.POSTokenizer`` objects,
``enable_parallel``/``disable_parallel``, ``initialize``; ``import
morv.jieba.analyse``: ``extract_tags``, ``textrank``, ``set_idf_path``,
``set_stop_words``, ``TFIDF``, ``TextRank``, with jieba's signatures and
weights computed as jieba computes them.

Where Morv differs:

- Tags are those of the People's Daily corpus Morv is trained on: ``nr``
  (person), ``ns``, ``nt``, ``nz``, ``v``, ``vn``, ``n``..., punctuation ``w``
  (jieba: ``x``), Latin words ``nx`` (jieba: ``eng``). Tags of jieba's set in a
  word list or ``add_word`` are read as ours (``nrt``/``nrfg`` -> ``nr``,
  ``eng`` -> ``nx``, ``zg`` -> ``g``, ``uj``/``ul``/... -> ``u``: the table is in
  the library's lexicon/ListTags.h); an unknown tag in a list warns
  (:class:`morv.ListWarning`, naming the line) and the word keeps the
  tagger's tag.
- Person names are one word (``江泽民``), as jieba has them.
- ``HMM``: Morv's new words come from its own character model, a setting of
  the model directory, not an HMM. ``HMM=False`` cuts the words that model
  proposed (flagged new words) back into characters, as jieba does without its
  HMM; names, numbers and dictionary words stay whole.
- Frequencies are counts on the scale of Morv's training corpus (about a
  million words), not jieba's (about sixty million): a jieba frequency is kept
  as given, so a large one weighs more here. ``suggest_freq`` returns the
  frequency it set. An added word is one token wherever it begins.
- ``del_word`` and ``suggest_freq`` with a tuple cannot take a word out of
  Morv's dictionary: the word, where it comes out whole, is given back in the
  parts asked for (``del_word``: its characters).
- Full mode (``cut_all=True``) and the search mode's sub-words list the words
  of Morv's dictionaries (the core dictionary, the supplementary lexicon and
  the words added) found in the text, from ``Model.dictionary_words``; the
  sub-words are those of two and three characters, as jieba's. The library's
  own search mode (``morv.tokenize(s, mode="search")``) gives every
  dictionary word inside a token, of any length.
- ``Tokenizer(dictionary)``: a model directory opens that model; a file is
  loaded as a word list over the default model (jieba's own ``dict.txt`` loads
  so, though Morv needs none).
- ``enable_parallel(n)`` analyses the lines of a text on n threads (Morv
  releases the GIL), or on n processes with ``processes=True``; the result is
  the same as without.
- Keywords: the IDF table is Morv's own, computed from the paragraphs of its
  training corpus, and so are the stop words (the model's
  ``Data/stopwords.txt``); jieba's ``idf.txt`` and stop-word files load with
  ``set_idf_path`` and ``set_stop_words``. A candidate is a word of two
  characters and more; without ``allowPOS`` punctuation, numbers and times
  are none. Text in traditional characters is analysed through its
  simplified conversion, the words keeping the text's characters.
- jieba's text cleaning is not copied: whitespace comes out as Morv cuts it
  (a run of blanks is one token), and ``"".join(cut(s)) == s`` always.
"""
import functools
import os
import sys
import types
from concurrent.futures import ProcessPoolExecutor, ThreadPoolExecutor

import morv

__all__ = ["Tokenizer", "cut", "lcut", "cut_for_search", "lcut_for_search", "tokenize", "load_userdict",
           "add_word", "del_word", "suggest_freq", "enable_parallel", "disable_parallel", "initialize",
           "dt", "posseg", "analyse", "DEFAULT_DICT"]

DEFAULT_DICT = None

_pool = None
_workers = 1


def _text(sentence):
    if isinstance(sentence, (bytes, bytearray)):
        try:
            return bytes(sentence).decode("utf-8")
        except UnicodeDecodeError:
            return bytes(sentence).decode("gbk", "replace")
    if not isinstance(sentence, str):
        raise TypeError("sentence must be str or bytes, not %s" % type(sentence).__name__)
    return sentence


class Tokenizer:
    """A jieba Tokenizer over one Morv model (``dictionary``: a model directory,
    a word list loaded over the default model, or None for the default)."""

    def __init__(self, dictionary=DEFAULT_DICT):
        self.dictionary = dictionary
        self._model = None
        self._splits = {}  # word -> the parts it is given back in

    @property
    def model(self):
        """The morv.Model the tokenizer analyses with, loaded on first use."""
        if self._model is None:
            self.initialize()
        return self._model

    def initialize(self, dictionary=None):
        if dictionary is not None:
            self.dictionary = dictionary
        path = self.dictionary
        if path is not None and os.path.isdir(os.fspath(path)):
            self._model = morv.Model(path)
        else:
            self._model = morv.Model()
            if path is not None:
                self._model.load_userdict(path, strict=False)
        self._is_word.cache_clear()

    def set_dictionary(self, dictionary_path):
        self.initialize(dictionary_path)

    # Segmentation.

    def _words(self, text, hmm=True):
        tokens = self.model.tokenize(text)
        for t in tokens:
            if t.word in self._splits:
                yield from self._splits[t.word]
            elif not hmm and t.flags & morv.NEW_WORD and len(t.word) > 1:
                yield from t.word
            else:
                yield t.word

    def cut(self, sentence, cut_all=False, HMM=True, use_paddle=False):
        text = _text(sentence)
        if cut_all:
            return iter(self._full(text))
        if _pool is not None and "\n" in text:
            # One contiguous share of the lines per worker: a process receives
            # the tokenizer (its model) once, not once a line.
            lines = text.splitlines(keepends=True)
            share = -(-len(lines) // _workers)
            chunks = ["".join(lines[i:i + share]) for i in range(0, len(lines), share)]
            return (w for words in _pool.map(functools.partial(_cut_chunk, self, HMM), chunks) for w in words)
        return self._words(text, HMM)

    def lcut(self, *args, **kwargs):
        return list(self.cut(*args, **kwargs))

    def _full(self, text):
        # Every dictionary word at every place; a character no word starts at
        # and no earlier word covers comes out alone.
        ends = {}
        for w in self.model.dictionary_words(text):
            ends.setdefault(w.start, []).append(w.end)
        out = []
        covered = 0
        for i in range(len(text)):
            found = sorted(ends.get(i, ()))
            if found:
                out.extend(text[i:j] for j in found)
                covered = max(covered, found[-1])
            elif i >= covered:
                out.append(text[i])
                covered = i + 1
        return out

    def _sub_words(self, word):
        # jieba's search mode: the dictionary's words of two and three
        # characters inside a longer word, before it (those of two first).
        if len(word) < 3:
            return []
        inside = [(w.end - w.start, w.start) for w in self.model.dictionary_words(word)
                  if 2 <= w.end - w.start <= 3 and w.end - w.start < len(word)]
        return [(i, word[i:i + n]) for n, i in sorted(inside)]

    def cut_for_search(self, sentence, HMM=True):
        for w in self.cut(sentence, HMM=HMM):
            for _, sub in self._sub_words(w):
                yield sub
            yield w

    def lcut_for_search(self, *args, **kwargs):
        return list(self.cut_for_search(*args, **kwargs))

    def tokenize(self, unicode_sentence, mode="default", HMM=True):
        if not isinstance(unicode_sentence, str):
            raise ValueError("jieba: the input parameter should be unicode.")
        if mode not in ("default", "search"):
            raise ValueError("mode must be 'default' or 'search', not %r" % (mode,))
        start = 0
        for w in self.cut(unicode_sentence, HMM=HMM):
            if mode == "search":
                for i, sub in self._sub_words(w):
                    yield (sub, start + i, start + i + len(sub))
            yield (w, start, start + len(w))
            start += len(w)

    # The dictionary.

    @functools.lru_cache(maxsize=65536)
    def _is_word(self, span):
        # A span the dictionaries (core, supplementary, the words added) hold whole.
        return any(w.start == 0 and w.end == len(span) for w in self.model.dictionary_words(span, single_chars=True))

    def load_userdict(self, f):
        """jieba's list format (``word [freq] [tag]`` a line), a path or a file
        object; unknown tags warn and leave the tag to the tagger."""
        added = self.model.load_userdict(f, strict=False)
        self._is_word.cache_clear()
        return added

    def add_word(self, word, freq=None, tag=None):
        self._splits.pop(word, None)
        self.model.add_word(word, freq, tag)
        self._is_word.cache_clear()

    def del_word(self, word):
        self._splits[word] = list(word)
        self._is_word.cache_clear()

    def suggest_freq(self, segment, tune=False):
        """A str: the word should come out whole (with tune, it will); a tuple
        of words: their join should come out in them. Returns the frequency
        the word was given (0 for a split)."""
        if isinstance(segment, str):
            if tune:
                self.add_word(segment, 1)
            return 1
        parts = [_text(p) for p in segment]
        if tune:
            self._splits["".join(parts)] = parts
            self._is_word.cache_clear()
        return 0

    def get_FREQ(self, word, default=None):
        return 1 if self._is_word(word) else default

    def __repr__(self):
        return "<Tokenizer dictionary=%r>" % (self.dictionary,)


def _cut_chunk(tokenizer, hmm, chunk):
    return list(tokenizer._words(chunk, hmm))


dt = Tokenizer()


def _default(name):
    method = getattr(Tokenizer, name)

    @functools.wraps(method)
    def call(*args, **kwargs):
        return method(dt, *args, **kwargs)
    return call


cut = _default("cut")
lcut = _default("lcut")
cut_for_search = _default("cut_for_search")
lcut_for_search = _default("lcut_for_search")
tokenize = _default("tokenize")
load_userdict = _default("load_userdict")
add_word = _default("add_word")
del_word = _default("del_word")
suggest_freq = _default("suggest_freq")
get_FREQ = _default("get_FREQ")
initialize = _default("initialize")
set_dictionary = _default("set_dictionary")


def enable_parallel(processnum=None, processes=False):
    """Cuts the lines of a text in parallel: on processnum threads (Morv
    analyses without the GIL), or processes with processes=True."""
    global _pool, _workers
    disable_parallel()
    _workers = processnum or os.cpu_count() or 1
    _pool = ProcessPoolExecutor(_workers) if processes else ThreadPoolExecutor(_workers)


def disable_parallel():
    global _pool
    if _pool is not None:
        _pool.shutdown()
        _pool = None


def setLogLevel(level):
    """jieba's; Morv logs nothing."""


# posseg, as a module of its own: import morv.jieba.posseg as pseg.
posseg = types.ModuleType(__name__ + ".posseg", "Words with their tags, as jieba.posseg gives them.")


class pair:
    """A word and its tag: .word, .flag; unpacks as (word, flag)."""
    __slots__ = ("word", "flag")

    def __init__(self, word, flag):
        self.word = word
        self.flag = flag

    def __iter__(self):
        return iter((self.word, self.flag))

    def __str__(self):
        return "%s/%s" % (self.word, self.flag)

    def __repr__(self):
        return "pair(%r, %r)" % (self.word, self.flag)

    def __eq__(self, other):
        return isinstance(other, pair) and self.word == other.word and self.flag == other.flag

    def __hash__(self):
        return hash((self.word, self.flag))


class POSTokenizer:
    """jieba.posseg's POSTokenizer over a Tokenizer."""

    def __init__(self, tokenizer=None):
        self.tokenizer = tokenizer or dt

    def cut(self, sentence, HMM=True, use_paddle=False):
        text = _text(sentence)
        tk = self.tokenizer
        for t in tk.model.tokenize(text):
            if t.word in tk._splits:
                start = 0
                for part in tk._splits[t.word]:
                    yield pair(part, tk.model.tag(part)[0][1] if len(part) > 1 else t.tag)
                    start += len(part)
            elif not HMM and t.flags & morv.NEW_WORD and len(t.word) > 1:
                for c in t.word:
                    yield pair(c, tk.model.tag(c)[0][1])
            else:
                yield pair(t.word, t.tag)

    def lcut(self, *args, **kwargs):
        return list(self.cut(*args, **kwargs))


posseg.pair = pair
posseg.POSTokenizer = POSTokenizer
posseg.dt = POSTokenizer(dt)
posseg.cut = lambda sentence, HMM=True, use_paddle=False: posseg.dt.cut(sentence, HMM)
posseg.lcut = lambda sentence, HMM=True, use_paddle=False: posseg.dt.lcut(sentence, HMM)
posseg.load_userdict = load_userdict
sys.modules[posseg.__name__] = posseg


# analyse, as a module of its own: import morv.jieba.analyse. Its extractors
# analyse with the default tokenizer's model, so the words a program added
# through jieba's calls count in its keywords too.
from morv import analyse as _analyse  # noqa: E402

analyse = types.ModuleType(__name__ + ".analyse", "Keywords by TF-IDF and TextRank, as jieba.analyse gives them.")


class TFIDF(_analyse.TFIDF):
    """jieba.analyse.TFIDF over the default tokenizer's model."""

    def __init__(self, idf_path=None):
        self.tokenizer = self.postokenizer = posseg.dt
        super().__init__(idf_path)

    @property
    def model(self):
        return self.tokenizer.tokenizer.model


class TextRank(_analyse.TextRank):
    """jieba.analyse.TextRank over the default tokenizer's model."""

    def __init__(self):
        self.tokenizer = self.pos_filt = posseg.dt
        self.span = 5
        super().__init__()

    @property
    def model(self):
        return self.tokenizer.tokenizer.model


analyse.TFIDF = TFIDF
analyse.TextRank = TextRank
analyse.default_tfidf = TFIDF()
analyse.default_textrank = TextRank()
analyse.extract_tags = analyse.default_tfidf.extract_tags
analyse.textrank = analyse.default_textrank.extract_tags
analyse.set_idf_path = analyse.default_tfidf.set_idf_path
# Both extractors read one model's stop words.
analyse.set_stop_words = analyse.default_tfidf.set_stop_words
sys.modules[analyse.__name__] = analyse
