#!/usr/bin/python3
"""Morv inside search engines: prints figures, never fails on speed.

    bench/bench_search.py            (after a Release build in build/)

1. SQLite FTS5: 10 MB of corpus text (UTF-8) inserted into an FTS5 table, one
   line a row, in one transaction, with the tokenizers morv (search mode, the
   default for documents), morv without search mode, unicode61 and trigram:
   MB/s and characters/s of wall time, and the index size.
2. PostgreSQL (a server of its own, started by postgres/test/pg_server.sh):
   to_tsvector over the same rows with chinese_morv and with the built-in
   simple configuration, in MB/s; and the per-backend load time of the
   model: the first to_tsvector of a fresh connection less a second one, over
   five fresh connections (best and slowest).

Environment: MORV_BUILD_DIR (default build), MORV_HOME (the models, default
BUILD/bin/Morv), MORV_BENCH_MB (default 10), MORV_CORPUS_XZ (the corpus).
"""
import lzma
import os
import re
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.abspath(os.environ.get("MORV_BUILD_DIR", os.path.join(ROOT, "build")))
MODELS = os.environ.get("MORV_HOME") or os.path.join(BUILD, "bin", "Morv")
MEGABYTES = float(os.environ.get("MORV_BENCH_MB", "10"))
PGBINDIR = "/usr/lib/postgresql/15/bin"


def corpus_lines():
    """Lines of corpus text (no ids, tags or brackets), repeated until they
    hold MEGABYTES of UTF-8."""
    source = os.environ.get("MORV_CORPUS_XZ") or os.path.join(ROOT, "data", "corpus", "pd199801.txt.xz")
    ident = re.compile(r"^\d{8}-\d{2}-\d{3}-\d{3}/m$")
    corpus = []
    with lzma.open(source, "rt", encoding="utf-8") as f:
        for line in f:
            toks = line.split()
            if toks and ident.match(toks[0]):
                toks = toks[1:]
            if toks:
                corpus.append("".join(t.lstrip("[").rsplit("/", 1)[0] for t in toks))
    lines, size = [], 0
    while size < MEGABYTES * 1e6:
        for text in corpus:
            lines.append(text)
            size += len(text.encode("utf-8"))
            if size >= MEGABYTES * 1e6:
                break
    return lines, size


def bench_sqlite(lines, size, chars):
    extension = os.path.join(BUILD, "lib", "morv_fts5.so")
    if not os.path.exists(extension):
        print("sqlite: no %s (build the target morv_fts5)" % extension)
        return
    os.environ["MORV_HOME"] = MODELS
    print("SQLite %s FTS5, %.1f MB (%d lines, %.2f M characters), one transaction, wall time:"
          % (sqlite3.sqlite_version, size / 1e6, len(lines), chars / 1e6))
    rates = {}
    for name, tokenize in [("morv", "morv"), ("morv, search 0", "morv search 0"),
                           ("unicode61", "unicode61"), ("trigram", "trigram")]:
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "index.db")
            db = sqlite3.connect(path)
            db.enable_load_extension(True)
            db.load_extension(extension)
            db.execute("PRAGMA journal_mode = OFF")
            db.execute("PRAGMA synchronous = OFF")
            db.execute("CREATE VIRTUAL TABLE docs USING fts5(body, tokenize = \"%s\")" % tokenize)
            db.execute("INSERT INTO docs(body) VALUES ('预热')")  # the model loads here
            db.commit()
            start = time.perf_counter()
            with db:
                db.executemany("INSERT INTO docs(body) VALUES (?)", ((line,) for line in lines))
            seconds = time.perf_counter() - start
            db.close()
            index = os.path.getsize(path)
        rates[name] = size / seconds
        print("  %-15s %7.2f s  %6.2f MB/s  %6.2f M characters/s  index %6.1f MB"
              % (name, seconds, size / seconds / 1e6, chars / seconds / 1e6, index / 1e6))
    print("  morv / unicode61 %.2f, morv / trigram %.2f" % (rates["morv"] / rates["unicode61"],
                                                           rates["morv"] / rates["trigram"]))


def psql(env, sql, *args):
    out = subprocess.run([os.path.join(PGBINDIR, "psql"), "-X", "-q", "-At", "-v", "ON_ERROR_STOP=1", *args,
                          "-c", sql], env=env, check=True, capture_output=True, text=True)
    return out.stdout.strip().splitlines()


def bench_postgres(lines, size, chars):
    module = os.path.join(BUILD, "postgres", "lib", "morv.so")
    if not os.path.exists(module) or not os.path.exists(os.path.join(PGBINDIR, "postgres")):
        print("postgres: no %s or no PostgreSQL 15 server" % module)
        return
    server = tempfile.mkdtemp(prefix="morv-pg-bench-")
    script = os.path.join(ROOT, "postgres", "test", "pg_server.sh")
    try:
        started = subprocess.run(["bash", script, "start", server, module, MODELS, PGBINDIR],
                                 check=True, capture_output=True, text=True)
        env = dict(os.environ)
        env.update(item.split("=", 1) for item in started.stdout.split())
        env["PGDATABASE"] = "postgres"
        psql(env, "CREATE EXTENSION morv")
        psql(env, "CREATE TABLE docs (body text)")
        data = os.path.join(server, "docs.txt")
        with open(data, "w", encoding="utf-8") as f:
            for line in lines:
                f.write(line.replace("\\", "\\\\") + "\n")
        psql(env, "\\copy docs FROM '%s'" % data)
        psql(env, "VACUUM ANALYZE docs")
        print("PostgreSQL %s, to_tsvector over the same %d rows, wall time in the server (best of 2):"
              % (psql(env, "SHOW server_version")[0], len(lines)))
        rates = {}
        for config in ["chinese_morv", "simple"]:
            best = None
            for _ in range(2):
                t = psql(env, "SELECT count(to_tsvector('%s', 'x'));"
                              "SELECT extract(epoch FROM clock_timestamp());"
                              "SELECT count(to_tsvector('%s', body)) FROM docs;"
                              "SELECT extract(epoch FROM clock_timestamp());" % (config, config))
                seconds = float(t[-1]) - float(t[-3])
                best = seconds if best is None else min(best, seconds)
            rates[config] = size / best
            print("  %-13s %7.2f s  %6.2f MB/s  %6.2f M characters/s" % (config, best, size / best / 1e6,
                                                                        chars / best / 1e6))
        print("  chinese_morv / simple %.3f" % (rates["chinese_morv"] / rates["simple"]))
        loads = []
        for _ in range(5):
            t = psql(env, "SELECT extract(epoch FROM clock_timestamp());"
                          "SELECT count(to_tsvector('chinese_morv', '中文'));"
                          "SELECT extract(epoch FROM clock_timestamp());"
                          "SELECT count(to_tsvector('chinese_morv', '中文'));"
                          "SELECT extract(epoch FROM clock_timestamp());")
            first = float(t[2]) - float(t[0])
            second = float(t[4]) - float(t[2])
            loads.append(first - second)
        print("  model load per backend (first to_tsvector less the second, five fresh connections): "
              "best %.3f s, median %.3f s, slowest %.3f s" % (min(loads), statistics.median(loads), max(loads)))
    finally:
        subprocess.run(["bash", script, "stop", server], check=False)
        subprocess.run(["rm", "-rf", server], check=False)


def main():
    if not os.path.exists(os.path.join(MODELS, "Configure.xml")):
        print("bench_search: no models in %s (set MORV_HOME)" % MODELS, file=sys.stderr)
        return 2
    lines, size = corpus_lines()
    chars = sum(len(line) for line in lines)
    bench_sqlite(lines, size, chars)
    bench_postgres(lines, size, chars)
    return 0


if __name__ == "__main__":
    sys.exit(main())
