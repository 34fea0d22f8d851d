"""The FTS5 tokenizer 'morv' through Python's sqlite3 module (the models come
from $MORV_HOME, the extension from $MORV_FTS5_EXTENSION)."""
import os
import sqlite3
import threading

import pytest

EXTENSION = os.environ["MORV_FTS5_EXTENSION"]

DOCS = {
    1: "中国农业发展银行在北京大学旁边。",
    2: "他在清华大学读书，iPhone 15 的价格是 5999 元。",
    3: "ＡＢＣ公司的Ｗｉ－Ｆｉ信号很好😀",
    4: "",
    5: "，。！？   ",
}


def connect():
    db = sqlite3.connect(":memory:")
    db.enable_load_extension(True)
    db.load_extension(EXTENSION)
    db.enable_load_extension(False)
    return db


@pytest.fixture()
def db():
    db = connect()
    db.execute("CREATE VIRTUAL TABLE docs USING fts5(body, tokenize = 'morv')")
    db.executemany("INSERT INTO docs(rowid, body) VALUES (?, ?)", DOCS.items())
    yield db
    db.close()


def found(db, query, table="docs"):
    return [r[0] for r in db.execute(f"SELECT rowid FROM {table} WHERE {table} MATCH ? ORDER BY rowid", (query,))]


@pytest.mark.parametrize("query, rows", [
    ("农业", [1]),                # a word inside a long word
    ("中国农业发展银行", [1]),
    ("京大", []),                 # across the words of 北京大学
    ("华大", [2]),                # a dictionary word inside 清华大学
    ('"在 北京大学 旁边"', [1]),
    ('"北京大学 在"', []),
    ('"大学 读书"', [2]),         # a word inside a long word, then the next word
    ("iphone", [2]), ("IPHONE", [2]), ("5999", [2]),
    ("abc", [3]), ("公司", [3]),  # full-width letters fold to ASCII
    ("清华*", [2]),
    ("NEAR(农业 旁边, 3)", [1]),
    ("北京 OR 清华", [1, 2]),
])
def test_queries_find_what_they_should(db, query, rows):
    assert found(db, query) == rows


@pytest.mark.parametrize("query, marked", [
    ("旁边", "中国农业发展银行在北京大学[旁边]。"),
    ("北京大学", "中国农业发展银行在[北京大学]旁边。"),
    ("农业", "[中国农业发展银行]在北京大学旁边。"),  # its word, which holds it
    ("5999", "他在清华大学读书，iPhone 15 的价格是 [5999] 元。"),
    ("读书 iphone", "他在清华大学[读书]，[iPhone] 15 的价格是 5999 元。"),
])
def test_highlight_marks_the_right_characters(db, query, marked):
    rows = db.execute("SELECT highlight(docs, 0, '[', ']') FROM docs WHERE docs MATCH ?", (query,)).fetchall()
    assert rows == [(marked,)]


def test_snippet_cuts_at_words(db):
    (text,) = db.execute("SELECT snippet(docs, 0, '<', '>', '...', 3) FROM docs WHERE docs MATCH '价格'").fetchone()
    assert text == "...的<价格>是..."


def test_search_mode_off_indexes_whole_words_only():
    db = connect()
    db.execute("CREATE VIRTUAL TABLE plain USING fts5(body, tokenize = 'morv search 0')")
    db.execute("INSERT INTO plain(body) VALUES (?)", (DOCS[1],))
    assert found(db, "农业", "plain") == []
    assert found(db, "中国农业发展银行", "plain") == [1]


def test_set_options_choose_the_model_settings_and_share_by_them():
    classic = os.path.join(os.path.dirname(os.environ["MORV_HOME"].rstrip("/")), "..", "models-classic")
    db = connect()
    text = "中国农业发展银行的行长王小明昨天访问了阿尔伯克基。"
    db.execute("CREATE VIRTUAL TABLE trained USING fts5(body, tokenize = 'morv search 0')")
    db.execute("CREATE VIRTUAL TABLE fast USING fts5(body, tokenize = \"morv search 0 set 'NewWords=off'\")")
    db.execute("CREATE VIRTUAL TABLE again USING fts5(body, tokenize = \"morv search 0 set 'NewWords=off'\")")
    for table in ("trained", "fast", "again"):
        db.execute(f"INSERT INTO {table}(body) VALUES (?)", (text,))
    # The trained models index the organisation whole; the classic pipeline its words.
    assert found(db, "中国农业发展银行", "trained") == [1] and found(db, "农业", "trained") == []
    assert found(db, "农业", "fast") == [1] == found(db, "农业", "again")
    if os.path.isdir(classic):
        db.execute(f"CREATE VIRTUAL TABLE plain USING fts5(body, tokenize = \"morv search 0 model '{classic}'\")")
        db.execute("INSERT INTO plain(body) VALUES (?)", (text,))
        assert found(db, "农业", "plain") == [1]


@pytest.mark.parametrize("tokenize, reason", [
    ("morv set 'NewWordz=off'", "setting NewWordz=off: no such key"),
    ("morv set 'NewWords'", 'setting "NewWords": not KEY=VALUE'),
    ("morv model '/nonexistent/morv'", "cannot open the model in /nonexistent/morv"),
    ("morv userdict '/nonexistent/words.txt'", "cannot read the word list /nonexistent/words.txt"),
    ("morv search maybe", "search takes 1 or 0, not: maybe"),
    ("morv model", "the option has no value: model"),
])
def test_bad_options_are_sql_errors_with_their_reason(tokenize, reason):
    db = connect()
    with pytest.raises(sqlite3.OperationalError, match="tokenizer"):
        db.execute(f'CREATE VIRTUAL TABLE bad USING fts5(body, tokenize = "{tokenize}")')
    (last,) = db.execute("SELECT morv_last_error()").fetchone()
    assert reason in last
    # The connection goes on working.
    db.execute("CREATE VIRTUAL TABLE good USING fts5(body, tokenize = 'morv')")
    db.execute("INSERT INTO good(body) VALUES ('今天天气很好')")
    assert found(db, "天气", "good") == [1]


def test_odd_text_is_indexed_without_trouble():
    db = connect()
    db.execute("CREATE VIRTUAL TABLE odd USING fts5(body, tokenize = 'morv')")
    long_text = "中国农业发展银行在北京大学旁边。" * 5000
    for text in ["", "\x00中国", "a\udcff".encode("utf-8", "surrogatepass").decode("utf-8", "replace"),
                 long_text, "🙂" * 100]:
        db.execute("INSERT INTO odd(body) VALUES (?)", (text,))
    # Invalid UTF-8 stored as text reaches the tokenizer as it is.
    db.execute("INSERT INTO odd(body) VALUES (CAST(X'E4B8ADFFE59BBD' AS TEXT))")
    assert found(db, "农业", "odd") == [4]
    assert db.execute("SELECT count(*) FROM odd WHERE odd MATCH '中'").fetchone()[0] >= 1


def test_connections_on_threads_share_the_model():
    results = {}

    def work(k):
        db = connect()
        db.execute("CREATE VIRTUAL TABLE docs USING fts5(body, tokenize = 'morv')")
        db.executemany("INSERT INTO docs(body) VALUES (?)", [(DOCS[1],), (DOCS[2],)] * 20)
        results[k] = db.execute("SELECT count(*) FROM docs WHERE docs MATCH '农业 OR 读书'").fetchone()[0]
        db.close()

    threads = [threading.Thread(target=work, args=(k,)) for k in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == {k: 40 for k in range(4)}
