"""Keywords of a text, by TF-IDF or by TextRank, with jieba.analyse's calls.

    >>> import morv.analyse
    >>> text = "稀土是重要的战略资源。我国稀土储量丰富，稀土出口要管好，稀土产业要升级。"
    >>> morv.analyse.extract_tags(text, topK=1)
    ['稀土']

``extract_tags`` weighs each candidate word by its count in the text times its
inverse document frequency (IDF), over the count of all candidates; the IDF
table is the model's (``Data/Keywords.idf``, which ``morv-train`` computes
from the paragraphs of its corpus), a word it lacks gets the table's median.
``textrank`` ranks the candidates on the graph of the words that occur within
5 tokens of each other (damping 0.85) and scales the ranks so that the highest
is 1. Candidates are words of two characters and more that are not stop words
(the model's ``Data/stopwords.txt``); with ``allowPOS``, only words of those
tags, else words of any tag but punctuation, numbers, times and line breaks.

The tags are Morv's (``n``, ``ns``, ``nr``, ``vn``, ``v``...); ``textrank``'s
default ``allowPOS`` is jieba's, ``('ns', 'n', 'vn', 'v')``.
"""
import os

import morv

__all__ = ["extract_tags", "textrank", "set_idf_path", "set_stop_words", "TFIDF", "TextRank"]


def _top(topK):
    if topK is None:
        return 0
    if isinstance(topK, bool) or not isinstance(topK, int):
        raise TypeError("topK must be an int or None, not %s" % type(topK).__name__)
    return max(topK, 0) if topK > 0 else 0


def _tags(allowPOS):
    if allowPOS is None:
        return None
    if isinstance(allowPOS, str):
        return (allowPOS,)
    return tuple(allowPOS) or None


def _result(found, withWeight, withFlag, tagged):
    if withFlag and tagged:
        from morv.jieba import pair
    out = []
    for word, weight, tag in found:
        key = pair(word, tag) if (withFlag and tagged) else word
        out.append((key, weight) if withWeight else key)
    return out


class _Extractor:
    """Keyword extraction over one model (``None``: the default model)."""

    _textrank = False

    def __init__(self, model=None):
        self._model = model

    @property
    def model(self):
        return self._model if self._model is not None else morv.default_model()

    def _extract(self, sentence, topK, withWeight, allowPOS, withFlag, traditional):
        if isinstance(sentence, bytes):
            sentence = sentence.decode("utf-8")
        tags = _tags(allowPOS)
        found = self.model._native.keywords(sentence, _top(topK), self._textrank, tags, bool(withFlag and tags),
                                            traditional)
        return _result(found, withWeight, withFlag, tags is not None)

    def set_idf_path(self, idf_path):
        """Replaces the IDF table by the file's (UTF-8, ``word idf`` a line:
        jieba's ``idf.txt`` loads); ``None``: the model's own."""
        path = None if idf_path is None else os.path.abspath(morv._path_arg(idf_path, "idf_path"))
        self.model._set_keyword_file("idf", path)

    def set_stop_words(self, stop_words_path):
        """Replaces the stop words by the file's (UTF-8, a word a line);
        ``None``: the model's own."""
        path = None if stop_words_path is None else os.path.abspath(
            morv._path_arg(stop_words_path, "stop_words_path"))
        self.model._set_keyword_file("stop_words", path)


class TFIDF(_Extractor):
    """jieba.analyse.TFIDF: ``TFIDF(idf_path=None)``, on the default model or
    ``model``."""

    def __init__(self, idf_path=None, model=None):
        super().__init__(model)
        if idf_path is not None:
            self.set_idf_path(idf_path)

    def extract_tags(self, sentence, topK=20, withWeight=False, allowPOS=(), withFlag=False, traditional="auto"):
        """The ``topK`` keywords of ``sentence`` by TF-IDF, heaviest first
        (``topK=None``: all); ``withWeight``: ``(word, weight)`` pairs;
        ``allowPOS``: only words of these tags; ``withFlag`` (with
        ``allowPOS``): words as pairs with ``.word`` and ``.flag``, a word
        under two tags being two keywords; ``traditional`` as for
        :meth:`morv.Model.cut` (a traditional text's keywords are its own
        words, weighed by their simplified forms' IDF)."""
        return self._extract(sentence, topK, withWeight, allowPOS, withFlag, traditional)


class TextRank(_Extractor):
    """jieba.analyse.TextRank, on the default model or ``model``."""

    _textrank = True

    def textrank(self, sentence, topK=20, withWeight=False, allowPOS=("ns", "n", "vn", "v"), withFlag=False,
                 traditional="auto"):
        """The ``topK`` keywords of ``sentence`` by TextRank, highest first;
        the arguments as for :meth:`TFIDF.extract_tags`."""
        return self._extract(sentence, topK, withWeight, allowPOS, withFlag, traditional)

    extract_tags = textrank


default_tfidf = TFIDF()
default_textrank = TextRank()


def extract_tags(sentence, topK=20, withWeight=False, allowPOS=(), withFlag=False, traditional="auto"):
    """:meth:`TFIDF.extract_tags` on the default model."""
    return default_tfidf.extract_tags(sentence, topK, withWeight, allowPOS, withFlag, traditional)


def textrank(sentence, topK=20, withWeight=False, allowPOS=("ns", "n", "vn", "v"), withFlag=False,
             traditional="auto"):
    """:meth:`TextRank.textrank` on the default model."""
    return default_textrank.textrank(sentence, topK, withWeight, allowPOS, withFlag, traditional)


def set_idf_path(idf_path):
    """The default model's IDF table (see :meth:`TFIDF.set_idf_path`)."""
    default_tfidf.set_idf_path(idf_path)


def set_stop_words(stop_words_path):
    """The default model's stop words (both methods use them)."""
    default_tfidf.set_stop_words(stop_words_path)
