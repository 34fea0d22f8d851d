"""Misuse of every public function: a wrong type raises TypeError, a value out
of range ValueError, each naming the argument; the analyser's own failures stay
morv.Error; nothing reaches the caller as a RuntimeError of the binding."""
import io
import math

import pytest

import morv

BIG = 10 ** 30


@pytest.fixture(scope="module")
def model():
    return morv.Model()


def analysers(m):
    """Every call that takes a text, on a model and on the module."""
    return [("Model.cut", m.cut), ("Model.lcut", m.lcut), ("Model.tag", m.tag), ("Model.tokenize", m.tokenize),
            ("cut", morv.cut), ("lcut", morv.lcut), ("tag", morv.tag), ("tokenize", morv.tokenize)]


@pytest.mark.parametrize("text, error, named", [
    (None, TypeError, "text"),
    (123, TypeError, "text"),
    (b"bytes", TypeError, "text"),
    (["list"], TypeError, "text"),
    ("a\0b", morv.Error, "NUL byte at byte offset 1"),
    ("a\ud800b", UnicodeEncodeError, "surrogate"),
])
def test_text_arguments(model, text, error, named):
    for name, call in analysers(model):
        with pytest.raises(error) as info:
            call(text)
        assert named in str(info.value), name
        assert type(info.value) is not RuntimeError


ADD_WORD_CASES = [
    # (args, kwargs, error, words of the message)
    ((123,), {}, TypeError, "word must be str, not int"),
    ((None,), {}, TypeError, "word must be str"),
    ((b"\xe8\xaf\x8d",), {}, TypeError, "word must be str, not bytes"),
    (("",), {}, ValueError, "word must not be empty"),
    (("门\0把手",), {}, ValueError, "word must not hold a NUL"),
    (("词",), {"freq": "x"}, TypeError, "freq must be an int or None, not str"),
    (("词",), {"freq": True}, TypeError, "freq must be an int or None, not bool"),
    (("词",), {"freq": [1]}, TypeError, "freq must be an int or None, not list"),
    (("词",), {"freq": 1.5}, ValueError, "freq must be a whole number"),
    (("词",), {"freq": float("nan")}, ValueError, "freq must be a whole number"),
    (("词",), {"freq": float("inf")}, ValueError, "freq must be a whole number"),
    (("词",), {"freq": -1}, ValueError, "freq must be a whole number"),
    (("词",), {"freq": -0.5}, ValueError, "freq must be a whole number"),
    (("词",), {"freq": BIG}, ValueError, "freq must be a whole number"),
    (("词",), {"freq": float(BIG)}, ValueError, "freq must be a whole number"),
    (("词",), {"tag": 123}, TypeError, "tag must be a str or None, not int"),
    (("词",), {"tag": b"n"}, TypeError, "tag must be a str or None, not bytes"),
    (("词",), {"tag": "n\0x"}, ValueError, "tag must not hold a NUL"),
    (("词",), {"tag": "qq"}, morv.Error, "unknown tag 'qq'"),
    (("词", 1, "n", "extra"), {}, TypeError, "argument"),
]


@pytest.mark.parametrize("args, kwargs, error, message", ADD_WORD_CASES)
def test_add_word_arguments(args, kwargs, error, message):
    m = morv.Model()
    for call in (m.add_word, morv.add_word):
        with pytest.raises(error) as info:
            call(*args, **kwargs)
        assert message in str(info.value)
        assert type(info.value) is not RuntimeError
        if error is ValueError:
            # Refused values are morv.Error too, with the library's argument status.
            assert isinstance(info.value, morv.Error) and info.value.status == 1
    assert m.user_word_count() == 0  # nothing refused was added


@pytest.mark.parametrize("freq, taken", [(0, True), (7, True), (2.0, True), (2 ** 62, True), (None, True)])
def test_frequencies_that_are_whole_numbers_are_taken(freq, taken):
    m = morv.Model()
    m.add_word("门把手", freq, "n")
    assert ("门把手", "n") in m.tag("这个门把手坏了")


@pytest.mark.parametrize("path, error, message", [
    (123, TypeError, "path must be str, bytes or os.PathLike, not int"),
    (["x"], TypeError, "path must be"),
    ("/tmp/a\0b", ValueError, "path must not hold a NUL"),
    ("/nonexistent/models", morv.Error, "/nonexistent/models/Configure.xml"),
])
def test_model_path_arguments(path, error, message):
    with pytest.raises(error) as info:
        morv.Model(path)
    assert message in str(info.value)
    assert type(info.value) is not RuntimeError


class ReadsNumbers:
    def read(self):
        return 42


@pytest.mark.parametrize("source, error, message", [
    (123, TypeError, "path must be str, bytes or os.PathLike, not int"),
    (None, TypeError, "path must be"),
    ("/tmp/list\0.txt", ValueError, "path must not hold a NUL"),
    ("/nonexistent/list.txt", FileNotFoundError, "list.txt"),
    (ReadsNumbers(), TypeError, "read() must give str or bytes, not int"),
    (io.StringIO("门把手 3 n\n球拍 2 qq\n"), morv.Error, "<StringIO>:2: unknown tag 'qq'"),
    (io.BytesIO(b"\xff\xfe\xfd 1 2 3\n"), morv.Error, ":1: more than three fields"),
])
def test_load_userdict_arguments(source, error, message):
    m = morv.Model()
    with pytest.raises(error) as info:
        m.load_userdict(source)
    assert message in str(info.value)
    assert type(info.value) is not RuntimeError
    assert m.user_word_count() == 0


def test_load_userdict_takes_file_objects(tmp_path):
    (tmp_path / "u.txt").write_text("门把手 10 n\n球拍 nz\n", encoding="utf-8")
    by_path, by_text, by_bytes = morv.Model(), morv.Model(), morv.Model()
    assert by_path.load_userdict(tmp_path / "u.txt") == 2
    with open(tmp_path / "u.txt", encoding="utf-8") as f:
        assert by_text.load_userdict(f) == 2
    with open(tmp_path / "u.txt", "rb") as f:
        assert by_bytes.load_userdict(f) == 2
    text = "这个门把手坏了，乒乓球拍卖完了"
    assert by_path.tag(text) == by_text.tag(text) == by_bytes.tag(text)


def test_native_calls_check_their_arguments_too(model):
    # The native module checks what reaches it, whoever calls it.
    native = model._native
    for call, error, message in [
        (lambda: native.cut(1), TypeError, "text must be str"),
        (lambda: native.add_word("词", "x", None), TypeError, "freq"),
        (lambda: native.add_word("词", math.nan, None), ValueError, "freq"),
        (lambda: native.load_userdict_bytes("not bytes", "n"), TypeError, "content must be bytes"),
        (lambda: native.load_userdict_bytes(b"", 5), TypeError, "name must be str"),
        (lambda: type(native)(7), TypeError, "path must be str"),
    ]:
        with pytest.raises(error) as info:
            call()
        assert message in str(info.value)


def test_dask_functions_name_what_they_refuse():
    dask_module = pytest.importorskip("morv.dask")
    import dask.bag as db
    for method in (dask_module.cut, dask_module.tag, dask_module.tokenize):
        with pytest.raises(TypeError, match="takes a dask Bag"):
            method(["a list"])
        with pytest.raises(TypeError, match="model must be"):
            method(db.from_sequence(["他"]), model=42)
