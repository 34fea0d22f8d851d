from os import PathLike
from typing import NamedTuple, Optional, Union, overload

import dask.bag
import dask.dataframe

from . import Model

_ModelArg = Optional[Union[Model, str, bytes, PathLike]]

CACHE_SIZE: int

class Token(NamedTuple):
    word: str
    tag: str
    start: int
    end: int
    flags: int
    name_split: int

class CacheInfo(NamedTuple):
    hits: int
    misses: int
    maxsize: int
    currsize: int

# A Bag of str gives a Bag of per-item results (List[str], List[Tuple[str, str]],
# List[Token]); a Series of str gives a Series of them with the same index.
@overload
def cut(data: dask.bag.Bag, model: _ModelArg = ..., *, ship: bool = ...) -> dask.bag.Bag: ...
@overload
def cut(data: dask.dataframe.Series, model: _ModelArg = ..., *, ship: bool = ...) -> dask.dataframe.Series: ...
@overload
def lcut(data: dask.bag.Bag, model: _ModelArg = ..., *, ship: bool = ...) -> dask.bag.Bag: ...
@overload
def lcut(data: dask.dataframe.Series, model: _ModelArg = ..., *, ship: bool = ...) -> dask.dataframe.Series: ...
@overload
def tag(data: dask.bag.Bag, model: _ModelArg = ..., *, ship: bool = ...) -> dask.bag.Bag: ...
@overload
def tag(data: dask.dataframe.Series, model: _ModelArg = ..., *, ship: bool = ...) -> dask.dataframe.Series: ...
@overload
def tokenize(data: dask.bag.Bag, model: _ModelArg = ..., *, ship: bool = ...) -> dask.bag.Bag: ...
@overload
def tokenize(data: dask.dataframe.Series, model: _ModelArg = ..., *, ship: bool = ...) -> dask.dataframe.Series: ...
def cache_info() -> CacheInfo: ...
def cache_clear() -> None: ...
