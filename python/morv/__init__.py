"""Morv: a Chinese lexical analyser.

Cuts text into words, recognises person names, and gives every word a
part-of-speech tag (the tag set of the People's Daily corpus: n, v, nr, ns, ...).

    >>> import morv
    >>> morv.cut("他在北京工作。")
    ['他', '在', '北京', '工作', '。']
    >>> morv.tag("他在北京工作。")
    [('他', 'r'), ('在', 'p'), ('北京', 'ns'), ('工作', 'vn'), ('。', 'w')]

Keywords: :mod:`morv.analyse` (TF-IDF and TextRank, with jieba.analyse's
calls). Text in traditional characters is analysed through its simplified
conversion, the words keeping the text's characters (``traditional=``).

The module-level functions use a default model, loaded on first use from
``$MORV_HOME`` or the models installed with the package. ``Model(path)`` opens
another one. A Model may be used from any number of threads at once (the
analysis runs without the GIL) and pickles as its path and the words added to
it, so multiprocessing and Dask workers can use it. It also works in a child
made by ``fork``, whatever the parent's other threads were doing at the time.

Errors: an argument of the wrong type raises ``TypeError`` and a value out of
range ``ValueError`` (as :class:`ArgumentError`, which is a :class:`Error`
too), each naming the argument; :class:`Error` is raised for the analyser's
own failures (a model that cannot be loaded, a bad word list, an unknown tag,
text that cannot be analysed), with the library's status code.
"""

import os
import threading
import warnings

from . import _morv
from ._morv import (Error, ArgumentError, Token, USER_WORD, PERSON, PLACE, ORGANIZATION, NUMBER, TIME, STRING,
                    SENTENCE_END, NEW_WORD, LINE_BREAK, SUBSTITUTED, COMPOUND, SUBTOKEN)

__version__ = _morv.VERSION
__all__ = ["Model", "Token", "Error", "ArgumentError", "ListWarning", "cut", "lcut", "tag", "tokenize",
           "dictionary_words", "add_word", "load_userdict", "default_model", "model_dir", "USER_WORD", "PERSON",
           "PLACE", "ORGANIZATION", "NUMBER", "TIME", "STRING", "SENTENCE_END", "NEW_WORD", "LINE_BREAK",
           "SUBSTITUTED", "COMPOUND", "SUBTOKEN", "__version__"]


def model_dir():
    """The directory the default model is loaded from.

    In order: ``$MORV_HOME``; the models installed with the package (a ``models``
    directory inside it, or ``share/morv`` of the installation prefix); the models
    of the build tree the package was built in.
    """
    home = os.environ.get("MORV_HOME")
    if home:
        return home
    here = os.path.dirname(os.path.abspath(__file__))
    candidates = [os.path.join(here, "models")]
    # PREFIX/lib/python3/dist-packages/morv -> PREFIX/share/morv
    prefix = here
    for _ in range(4):
        prefix = os.path.dirname(prefix)
        candidates.append(os.path.join(prefix, "share", "morv"))
    for candidate in candidates:
        if os.path.isfile(os.path.join(candidate, "Configure.xml")):
            return candidate
    return _morv.default_model_dir()


class ListWarning(UserWarning):
    """A word list line whose tag is unknown, loaded with ``strict=False``."""


def _path_arg(path, name="path"):
    """A path argument as str, with errors that name it."""
    try:
        path = os.fspath(path)
    except TypeError:
        raise TypeError("%s must be str, bytes or os.PathLike, not %s" % (name, type(path).__name__)) from None
    if isinstance(path, bytes):
        path = os.fsdecode(path)
    if "\0" in path:
        raise ArgumentError("%s must not hold a NUL character" % name, 1)
    return path


def _list_content(source):
    """The bytes and the name of a word list given as a path or a file object."""
    read = getattr(source, "read", None)
    if read is None:
        path = _path_arg(source)
        with open(path, "rb") as f:
            return f.read(), path
    content = read()
    if isinstance(content, str):
        content = content.encode("utf-8", "surrogatepass")
    elif not isinstance(content, (bytes, bytearray)):
        raise TypeError("the file object's read() must give str or bytes, not %s" % type(content).__name__)
    name = getattr(source, "name", None)
    return bytes(content), name if isinstance(name, str) else "<%s>" % type(source).__name__


def _settings_arg(settings):
    # A mapping or pairs of key and value, as "KEY=VALUE" texts in their order.
    if settings is None:
        return ()
    items = settings.items() if hasattr(settings, "items") else settings
    texts = []
    for item in items:
        try:
            key, value = item
        except (TypeError, ValueError):
            raise TypeError("settings must map keys to values (or be pairs of them), not %r" % (item,)) from None
        if not isinstance(key, str) or not isinstance(value, (str, int, float)) or isinstance(value, bool):
            raise TypeError("a setting's key must be a str and its value a str or a number, not %r" % (item,))
        texts.append("%s=%s" % (key, value))
    return tuple(texts)


def _restore(path, additions, keyword_files=(None, None), settings=()):
    model = Model(path, [s.split("=", 1) for s in settings])
    model._replay(additions)
    idf, stop_words = keyword_files
    if idf is not None:
        model._set_keyword_file("idf", idf)
    if stop_words is not None:
        model._set_keyword_file("stop_words", stop_words)
    return model


class Model:
    """A model loaded from one directory (``None``: :func:`model_dir`).

    Read-only once loaded, apart from the words added with :meth:`add_word` and
    :meth:`load_userdict`, which later analyses use. Safe to share between
    threads; each call analyses without holding the GIL.
    """

    def __init__(self, path=None, settings=None):
        self._settings = _settings_arg(settings)
        self._native = _morv.NativeModel(_path_arg(path) if path is not None else model_dir(), list(self._settings))
        # The keyword files given in place of the model's own (morv.analyse),
        # which a copy in another process is given too.
        self._keyword_files = {"idf": None, "stop_words": None}

    @property
    def path(self):
        """The directory the model was loaded from."""
        return self._native.path

    def cut(self, text, mode="default", traditional="auto", standard="corpus"):
        """The words of ``text`` (a person name is one word), line breaks and
        spaces included, so ``"".join(model.cut(text)) == text``.

        ``mode="search"``: each word is followed by the dictionary words of two
        characters and more inside it (中国农业发展银行, 中国, 农业, 发展, 银行),
        as a search index wants them; see :meth:`tokenize`.

        ``traditional``: text in traditional characters is analysed as its
        simplified conversion (OpenCC), the words keeping the text's own
        characters: ``"auto"`` converts each sentence that reads as
        traditional, ``"on"`` every sentence, ``"off"`` none. The same
        argument goes with :meth:`tag`, :meth:`tokenize` and
        :meth:`dictionary_words`.

        ``standard="long"``: a segmentation standard of longer units, the
        granularity of other collections and of jieba-like output (a standard,
        not a gain in accuracy): a numeral and its measure word (２９个, tag
        ``mq``) and a run of time words (今年７月１日, tag ``t``) are one word
        each, with their words as ``parts`` (flag COMPOUND). The default,
        ``"corpus"``, is the annotated corpus's standard. ``standard`` goes with
        :meth:`tag` and :meth:`tokenize` too."""
        return self._native.cut(text, mode, traditional, standard)

    lcut = cut

    def tag(self, text, mode="default", traditional="auto", standard="corpus"):
        """``(word, tag)`` pairs for the words of ``text`` (``mode`` and
        ``traditional`` as for :meth:`cut`)."""
        return self._native.tag(text, mode, traditional, standard)

    def tokenize(self, text, mode="default", traditional="auto", standard="corpus"):
        """:class:`Token` objects with ``word``, ``tag``, ``start``, ``end``
        (character offsets: ``text[t.start:t.end] == t.word``), ``flags`` (the
        module's flag constants, combined), ``name_split`` (for a Chinese
        person name, the offset where the surname ends; else 0) and ``parts``
        (for a place or organisation name of several words, flag COMPOUND: its
        words as Token objects of their own; else empty).

        ``mode="search"``: after each token come the words the dictionaries
        (core, supplementary, the user's) know inside it, two characters and
        longer, ordered by start and length, each with its own offsets and tag
        and the flag SUBTOKEN; an index puts them at the position of the token
        before them. Leaving out the tokens flagged SUBTOKEN gives the
        ``"default"`` result."""
        return self._native.tokenize(text, mode, traditional, standard)

    def dictionary_words(self, text, single_chars=False, traditional="auto"):
        """Every word the dictionaries (core, supplementary, the user's) know
        anywhere in ``text``, overlapping, as :class:`Token` objects ordered by
        ``start`` and then by length: what a full-mode cut lists. Words of two
        characters and more; of one and more with ``single_chars``. They do
        not cover the text: a character no word holds is not listed."""
        return self._native.dictionary_words(text, single_chars, traditional)

    def add_word(self, word, freq=None, tag=None):
        """Adds ``word`` for later analyses: it becomes one word wherever it
        occurs. ``freq`` (a count on the scale of the training corpus, about a
        million words) and ``tag`` replace what the models say; a word the
        dictionary already has takes them too. Raises :class:`Error` for an
        empty word or a tag the model does not know."""
        self._native.add_word(word, freq, tag)

    def load_userdict(self, path, strict=True):
        """Adds the words of a word list, given as a path or as a file object
        open for reading (text or binary): one ``word [frequency] [tag]`` a
        line, UTF-8 or GBK. Tags of jieba's set that ours lacks are read as the
        tags they stand for (nrt, nrfg: nr; eng: nx; zg: g; uj, ul...: u).
        All or nothing: on an error (reported with its line) no word of the
        list is added. With ``strict=False`` a tag that is still unknown is no
        error: the word is kept, its tag left to the tagger, and a
        :class:`ListWarning` names the line. Returns the number of entries
        taken."""
        if not isinstance(strict, bool):
            raise TypeError("strict must be a bool, not %s" % type(strict).__name__)
        content, name = _list_content(path)
        added, warnings_ = self._native.load_userdict_bytes(content, name, strict)
        for message in warnings_:
            warnings.warn(message, ListWarning, stacklevel=2)
        return added

    def user_word_count(self):
        """Number of distinct words added so far."""
        return self._native.user_word_count()

    def _replay(self, additions):
        for is_list, data, freq, tag in additions:
            if is_list:
                self._native.load_userdict_bytes(data, tag, freq == 0)
            else:
                self._native.add_word(data.decode("utf-8"), None if freq < 0 else freq, tag or None)

    def _set_keyword_file(self, kind, path):
        """Keyword extraction's IDF table (kind "idf") or stop words
        ("stop_words") from path; None: the model's own. See morv.analyse."""
        if kind == "idf":
            self._native.set_idf(path)
        else:
            self._native.set_stop_words(path)
        self._keyword_files[kind] = path

    def __reduce__(self):
        files = (self._keyword_files["idf"], self._keyword_files["stop_words"])
        return (_restore, (self.path, self._native.additions(), files, self._settings))

    @property
    def settings(self):
        """The keys of Configure.xml set for this model, as ``{key: value}``."""
        return dict(s.split("=", 1) for s in self._settings)

    def __repr__(self):
        if self._settings:
            return "morv.Model(%r, settings=%r)" % (self.path, self.settings)
        return "morv.Model(%r)" % self.path


_default = None
_default_lock = threading.Lock()


def _after_fork_in_child():
    # Another thread of the parent may have been loading the default model,
    # holding the lock, at the moment of the fork: the child's own is free.
    global _default_lock
    _default_lock = threading.Lock()


if hasattr(os, "register_at_fork"):
    os.register_at_fork(after_in_child=_after_fork_in_child)


def default_model():
    """The model the module-level functions use, loaded on first use."""
    global _default
    if _default is None:
        with _default_lock:
            if _default is None:
                _default = Model()
    return _default


def cut(text, mode="default", traditional="auto", standard="corpus"):
    """:meth:`Model.cut` with the default model."""
    return default_model().cut(text, mode, traditional, standard)


lcut = cut


def tag(text, mode="default", traditional="auto", standard="corpus"):
    """:meth:`Model.tag` with the default model."""
    return default_model().tag(text, mode, traditional, standard)


def tokenize(text, mode="default", traditional="auto", standard="corpus"):
    """:meth:`Model.tokenize` with the default model."""
    return default_model().tokenize(text, mode, traditional, standard)


def dictionary_words(text, single_chars=False, traditional="auto"):
    """:meth:`Model.dictionary_words` with the default model."""
    return default_model().dictionary_words(text, single_chars, traditional)


def add_word(word, freq=None, tag=None):
    """:meth:`Model.add_word` on the default model."""
    default_model().add_word(word, freq, tag)


def load_userdict(path, strict=True):
    """:meth:`Model.load_userdict` on the default model."""
    return default_model().load_userdict(path, strict)
