"""A model survives fork: children forked while other threads of the parent
analyse, add words and load the default model finish their own work at once."""
import os
import signal
import threading
import time

import pytest

import morv

TEXT = "他在北京工作，这个门把手坏了。"
FORKS = 40


def _wait(pid, seconds):
    """The child's exit status, or None when it has not ended within seconds."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        done, status = os.waitpid(pid, os.WNOHANG)
        if done:
            return status
        time.sleep(0.002)
    return None


def _child(model, expected):
    # Whatever the parent's threads held at the fork: analyse, add a word
    # (a new snapshot) and analyse again, with this model and the default one.
    try:
        ok = model.tag(TEXT) == expected
        model.add_word("门把手", 5, "n")
        ok = ok and ("门把手", "n") in model.tag(TEXT)
        ok = ok and morv.cut(TEXT) == [w for w, _ in expected]
        os._exit(0 if ok else 3)
    except BaseException:
        os._exit(4)


@pytest.mark.skipif(not hasattr(os, "fork"), reason="no fork on this system")
def test_children_forked_while_threads_analyse_and_add_words_finish(tmp_path):
    model = morv.Model()
    # Enough words that each new snapshot takes a few milliseconds to build:
    # forks land inside a build often.
    (tmp_path / "words.txt").write_text("".join("词%05d\n" % i for i in range(2000)), encoding="utf-8")
    model.load_userdict(tmp_path / "words.txt")
    expected = model.tag(TEXT)
    morv.default_model()
    stop = threading.Event()
    errors = []

    def analyse():
        while not stop.is_set():
            if model.tag(TEXT) != expected:
                errors.append("a thread's analysis changed")

    def add():
        n = 0
        while not stop.is_set():
            model.add_word("新词%d" % n)
            n += 1
            time.sleep(0.002)  # a child builds every word added: keep them few

    def load_default():
        # Another model opened and dropped over and over: opens and frees
        # (with their load threads) at the moment of the fork.
        while not stop.is_set():
            morv.Model(model.path).cut("一")

    threads = [threading.Thread(target=f) for f in (analyse, analyse, add, load_default)]
    for t in threads:
        t.start()
    hung, failed = 0, []
    try:
        time.sleep(0.05)
        for _ in range(FORKS):
            pid = os.fork()
            if pid == 0:
                _child(model, expected)
            status = _wait(pid, 1.0)
            if status is None:
                hung += 1
                os.kill(pid, signal.SIGKILL)
                os.waitpid(pid, 0)
            elif not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 0:
                failed.append(status)
    finally:
        stop.set()
        for t in threads:
            t.join()
    assert hung == 0, "%d of %d children hung" % (hung, FORKS)
    assert not failed, failed
    assert not errors
