#!/usr/bin/env bash
# The parser's regression tests: pg_regress against a server of its own
# (pg_server.sh), started for the run and stopped after it.
#   run_regress.sh MODULE MODELS WORK_DIR PGBINDIR PG_REGRESS
set -euo pipefail
module=$1 models=$2 work=$3 pgbindir=$4 pg_regress=$5
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -x "$pg_regress" ]; then
  echo "postgres_regress: no pg_regress at $pg_regress (postgresql-server-dev-15)" >&2
  exit 77
fi
if [ ! -f "$models/Configure.xml" ]; then
  echo "postgres_regress: no models in $models" >&2
  exit 77
fi
mkdir -p "$work"
server=$(mktemp -d "${TMPDIR:-/tmp}/morv-pg-XXXXXX")
trap 'bash "$here/pg_server.sh" stop "$server"; rm -rf "$server"' EXIT
env=$(bash "$here/pg_server.sh" start "$server" "$module" "$models" "$pgbindir") || exit $?
export $env
# A word list in the data directory, where a relative morv.user_dict looks.
printf '蓝鲸科技 10 nz\n中国农业 5\n' > "$server/run/data/morv_words.txt"
printf 'not a valid line: it has too many fields\n' > "$server/run/data/morv_bad_words.txt"
rm -rf "$work/results"
"$pg_regress" --inputdir="$here" --outputdir="$work" --bindir="$pgbindir" --host="$PGHOST" --port="$PGPORT" \
  --user="$PGUSER" --dbname=morv_regress morv || {
  [ -f "$work/regression.diffs" ] && cat "$work/regression.diffs"
  exit 1
}
