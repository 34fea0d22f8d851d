"""Morv on Dask: analyse a bag of lines or a dataframe column on many workers.

    >>> import dask.bag as db
    >>> import morv, morv.dask
    >>> lines = db.from_sequence(["他在北京工作。", "江泽民说"], npartitions=2)
    >>> morv.dask.tag(lines).compute()
    [[('他', 'r'), ('在', 'p'), ('北京', 'ns'), ('工作', 'vn'), ('。', 'w')], [('江泽民', 'nr'), ('说', 'v')]]

:func:`cut`, :func:`tag` and :func:`tokenize` take a ``dask.bag.Bag`` of str or a
``dask.dataframe.Series`` of str and return a collection of the same length, order
(and, for a Series, index and name) holding what :class:`morv.Model` gives for
each item; a missing item (``None``, or NaN in a Series) stays missing. Nothing is
computed until you ask for it.

Each worker process loads the model once and keeps it for every later partition
and computation (a small cache keyed by the model directory and the words added
to the model); the analysis runs once per partition, one model call per item.
The model travels to the workers as a description (its directory and added words)
stored once in the task graph, so a long word list is not copied into every task.

``model`` is a :class:`morv.Model` (with the words added to it when the function
is called; words added later do not reach this collection), the path of a model
directory, or None for :func:`morv.model_dir` as the client resolves it. The
directory must exist at that path on every worker, unless ``ship=True``: then the
model's files (a few MB) go to the workers with the task graph, each worker
process writes them to a temporary directory, loads them and removes it.

Importing this module needs Dask (``dask.bag``); ``import morv`` alone never
imports Dask.
"""

import collections
import hashlib
import os
import shutil
import sys
import tempfile
import threading

try:
    import dask
    import dask.bag
except ImportError as error:  # pragma: no cover - depends on the installation
    raise ImportError(
        "morv.dask needs Dask, which is not installed (%s). Install it with "
        "'apt-get install python3-dask python3-distributed' or "
        "'pip install \"dask[bag,dataframe]\" distributed'." % error) from error

import morv

__all__ = ["cut", "lcut", "tag", "tokenize", "Token", "CacheInfo", "cache_info", "cache_clear", "CACHE_SIZE"]

Token = collections.namedtuple("Token", ["word", "tag", "start", "end", "flags", "name_split"])
Token.__doc__ = """A token as :func:`tokenize` returns it: the fields of :class:`morv.Token`
in a plain tuple, so it can travel between processes and compares by value."""

CacheInfo = collections.namedtuple("CacheInfo", ["hits", "misses", "maxsize", "currsize"])
CacheInfo.__doc__ = """The model cache of this process: ``misses`` is the number of models
loaded, ``hits`` the partitions that found their model loaded."""

# Models kept per process. Each costs about 25 MB; keeping a few lets a session
# switch between models (or grow one with add_word) without unbounded growth.
CACHE_SIZE = 4


def _digest(*parts):
    h = hashlib.sha256()
    for part in parts:
        data = part if isinstance(part, bytes) else repr(part).encode("utf-8")
        h.update(len(data).to_bytes(8, "little"))
        h.update(data)
    return h.hexdigest()


def _read_model_files(path):
    """The files under a model directory as (relative path, content) pairs, in a
    fixed order so the same directory gives the same cache key."""
    files = []
    for root, dirs, names in os.walk(path):
        dirs.sort()
        for name in sorted(names):
            full = os.path.join(root, name)
            with open(full, "rb") as f:
                files.append((os.path.relpath(full, path), f.read()))
    if not files:
        raise morv.Error("no model files in %s" % path)
    return tuple(files)


class _ModelSource:
    """What a worker needs to rebuild a model: its directory (or, shipped, its
    files) and the words added to it. ``key`` names the model in the caches and
    in the task graph."""

    __slots__ = ("path", "files", "additions", "settings", "key")

    def __init__(self, path, files, additions, settings=()):
        self.path = path
        self.files = files
        self.additions = additions
        self.settings = settings
        if files is None:
            self.key = _digest("path", path, additions, settings)
        else:
            self.key = _digest("files", *[p for pair in files for p in pair], additions, settings)

    def __getstate__(self):
        return (self.path, self.files, self.additions, self.settings, self.key)

    def __setstate__(self, state):
        self.path, self.files, self.additions, self.settings, self.key = state

    def __dask_tokenize__(self):
        return self.key

    def load(self):
        if self.files is None:
            return morv._restore(self.path, self.additions, settings=self.settings)
        # The engine reads every file when the model opens, so the copy is only
        # needed for the duration of the load.
        directory = tempfile.mkdtemp(prefix="morv-model-")
        try:
            for relative, content in self.files:
                target = os.path.join(directory, relative)
                os.makedirs(os.path.dirname(target), exist_ok=True)
                with open(target, "wb") as f:
                    f.write(content)
            return morv._restore(directory, self.additions, settings=self.settings)
        finally:
            shutil.rmtree(directory, ignore_errors=True)


_lock = threading.Lock()
_models = collections.OrderedDict()
_hits = 0
_misses = 0


def _after_fork_in_child():
    # A worker forked while another of its threads loaded a model under the
    # lock: the child's lock is free, and the cache has what was complete.
    global _lock
    _lock = threading.Lock()


if hasattr(os, "register_at_fork"):
    os.register_at_fork(after_in_child=_after_fork_in_child)


def _model_for(source):
    """The model of this process for ``source``, loaded on first use. The load
    happens under the lock so threads of one worker never load a model twice."""
    global _hits, _misses
    with _lock:
        model = _models.get(source.key)
        if model is not None:
            _models.move_to_end(source.key)
            _hits += 1
            return model
        model = source.load()
        _misses += 1
        _models[source.key] = model
        while len(_models) > CACHE_SIZE:
            _models.popitem(last=False)
        return model


def cache_info():
    """Counts of this process's model cache (run it on the workers with
    ``client.run(morv.dask.cache_info)``)."""
    with _lock:
        return CacheInfo(_hits, _misses, CACHE_SIZE, len(_models))


def cache_clear():
    """Drops the models of this process's cache and resets its counts."""
    global _hits, _misses
    with _lock:
        _models.clear()
        _hits = 0
        _misses = 0


def _tokens(model, text):
    return [Token(t.word, t.tag, t.start, t.end, t.flags, t.name_split) for t in model.tokenize(text)]


_ANALYSES = {
    "cut": lambda model, text: model.cut(text),
    "tag": lambda model, text: model.tag(text),
    "tokenize": _tokens,
}


def _source(model, ship):
    settings = ()
    if model is None:
        path, additions = morv.model_dir(), []
    elif isinstance(model, morv.Model):
        path, additions, settings = model.path, model._native.additions(), model._settings
    elif isinstance(model, (str, bytes, os.PathLike)):
        path, additions = os.fsdecode(model), []
    else:
        raise TypeError("model must be a morv.Model, a model directory or None, not %s" % type(model).__name__)
    path = os.path.abspath(path)
    additions = tuple(tuple(a) for a in additions)
    files = _read_model_files(path) if ship else None
    return _ModelSource(path, files, additions, settings)


def _bag_partition(items, source, method):
    analyse = _ANALYSES[method]
    model = _model_for(source)
    return [None if item is None else analyse(model, item) for item in items]


def _series_partition(part, source, method):
    import pandas as pd

    analyse = _ANALYSES[method]
    model = _model_for(source)
    out = []
    for item in part:
        missing = not isinstance(item, str) and (item is None or (pd.api.types.is_scalar(item) and pd.isna(item)))
        # Anything else that is not a str meets the model's own TypeError.
        out.append(item if missing else analyse(model, item))
    return pd.Series(out, index=part.index, name=part.name, dtype=object)


def _shared_source(model, ship):
    source = _source(model, ship)
    # One graph key for the model description: every task refers to it, and the
    # scheduler sends it to each worker once.
    return dask.delayed(source, name="morv-model-" + source.key[:32], pure=True)


def _analyse(data, model, ship, method):
    if isinstance(data, dask.bag.Bag):
        return data.map_partitions(_bag_partition, _shared_source(model, ship), method, token="morv-" + method)
    dd = sys.modules.get("dask.dataframe")
    if dd is not None and isinstance(data, dd.Series):
        import pandas as pd

        meta = pd.Series([], dtype=object, name=data.name)
        return data.map_partitions(_series_partition, _shared_source(model, ship), method, meta=meta,
                                   token="morv-" + method)
    if dd is not None and isinstance(data, dd.DataFrame):
        raise TypeError("morv.dask.%s takes one column of text (df['text']), not a whole DataFrame" % method)
    raise TypeError("morv.dask.%s takes a dask Bag or a dask dataframe Series of str, not %s"
                    % (method, type(data).__name__))


def cut(data, model=None, *, ship=False):
    """The words of every item (:meth:`morv.Model.cut`): a Bag of lists of str,
    or a Series of them with the index and name of ``data``."""
    return _analyse(data, model, ship, "cut")


lcut = cut


def tag(data, model=None, *, ship=False):
    """``(word, tag)`` pairs for every item (:meth:`morv.Model.tag`)."""
    return _analyse(data, model, ship, "tag")


def tokenize(data, model=None, *, ship=False):
    """The tokens of every item as :class:`Token` tuples (the fields of
    :meth:`morv.Model.tokenize`; ``morv.Token`` itself cannot leave its process)."""
    return _analyse(data, model, ship, "tokenize")
