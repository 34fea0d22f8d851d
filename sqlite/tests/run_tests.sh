#!/usr/bin/env bash
# The tests of the FTS5 tokenizer: a script through Debian's sqlite3 shell,
# compared with its expected output, and the Python tests through the sqlite3
# module.
#   run_tests.sh EXTENSION MODEL_DIR WORK_DIR
set -euo pipefail
extension=$(realpath "$1") models=$(realpath "$2") work=$3
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v sqlite3 > /dev/null; then
  echo "sqlite_fts5: no sqlite3 shell (tools/install-deps.sh installs it)" >&2
  exit 77
fi
if [ ! -f "$models/Configure.xml" ]; then
  echo "sqlite_fts5: no models in $models" >&2
  exit 77
fi
rm -rf "$work"
mkdir -p "$work"
cd "$work"
export MORV_HOME=$models
printf '蓝鲸科技 10 nz\n' > words.txt

# The errors the script provokes go to standard error, compared on their own.
{ echo ".load ${extension%.so}"; cat "$here/fts5.sql"; } | sqlite3 :memory: > shell.out 2> shell.err || true
if ! diff -u "$here/fts5.expected" shell.out || ! diff -u "$here/fts5.expected-errors" shell.err; then
  echo "sqlite_fts5: the shell's output differs from fts5.expected(-errors)" >&2
  exit 1
fi

MORV_FTS5_EXTENSION=$extension /usr/bin/python3 -B -m pytest -q -p no:cacheprovider "$here/test_fts5.py"
