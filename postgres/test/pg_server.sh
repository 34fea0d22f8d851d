#!/usr/bin/env bash
# Starts and stops a PostgreSQL server of its own for the parser's tests and
# benchmarks: a private installation in DIR (the distribution's programs, its
# share and library directories linked, the parser added), a fresh cluster,
# a server that listens on a socket in DIR/run and on no TCP port. Nothing
# outside DIR is written, so runs in other checkouts never meet.
#
#   pg_server.sh start DIR MODULE MODELS PGBINDIR   prints the environment to reach it
#   pg_server.sh stop DIR
#
# MODULE is the built morv.so, MODELS the model directory (copied into DIR, as
# is the library, so that the server's user can read them wherever the build
# lies). PostgreSQL refuses to run as root: as root, the cluster belongs to the
# user postgres that the Debian packages create.
set -euo pipefail
command=$1 dir=$2

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

if [ "$command" = stop ]; then
  if [ -f "$dir/data/postmaster.pid" ]; then
    as_owner "$(cat "$dir/pgbindir")/pg_ctl" -D "$dir/data" -m immediate -w stop > /dev/null 2>&1 || true
  fi
  exit 0
fi

module=$(realpath "$3") models=$(realpath "$4") pgbindir=$5
here=$(cd "$(dirname "$0")" && pwd)
pg_config=$pgbindir/pg_config
[ -x "$pg_config" ] || pg_config=pg_config
if [ ! -x "$pgbindir/postgres" ] || [ ! -x "$pgbindir/initdb" ]; then
  echo "pg_server: no PostgreSQL server in $pgbindir (tools/install-deps.sh installs postgresql-15)" >&2
  exit 77
fi
if [ "$(id -u)" -eq 0 ] && ! id postgres > /dev/null 2>&1; then
  echo "pg_server: running as root, and there is no user postgres to own the cluster" >&2
  exit 77
fi
sharedir=$("$pg_config" --sharedir)
pkglibdir=$("$pg_config" --pkglibdir)

# The server finds its share and library directories relative to its own
# program: the same layout below DIR makes them DIR's.
rm -rf "$dir"
mkdir -p "$dir/run"
root=$dir/root
mkdir -p "$root$pgbindir" "$root$sharedir/extension" "$root$pkglibdir"
for program in postgres initdb pg_ctl; do
  cp "$pgbindir/$program" "$root$pgbindir/"
done
for f in "$sharedir"/*; do
  [ "$(basename "$f")" = extension ] || ln -s "$f" "$root$sharedir/"
done
for f in "$sharedir"/extension/*; do ln -s "$f" "$root$sharedir/extension/"; done
for f in "$pkglibdir"/*; do ln -s "$f" "$root$pkglibdir/"; done
cp "$here/../morv.control" "$here/../morv--1.0.sql" "$root$sharedir/extension/"
cp "$module" "$root$pkglibdir/morv.so"
library=$(ldd "$module" | sed -n 's/.*libmorv\.so\.3 => \([^ ]*\).*/\1/p')
mkdir -p "$dir/lib"
cp "$library" "$dir/lib/"
cp -r "$models" "$dir/models"
echo "$root$pgbindir" > "$dir/pgbindir"
chmod -R a+rX "$dir"
[ "$(id -u)" -eq 0 ] && chown postgres "$dir/run"

as_owner "$root$pgbindir/initdb" -D "$dir/run/data" -A trust -U postgres -E UTF8 --locale=C.UTF-8 \
  --no-sync --no-instructions > "$dir/run/initdb.log" 2>&1 ||
  { cat "$dir/run/initdb.log" >&2; exit 1; }
ln -s run/data "$dir/data"
cat >> "$dir/run/data/postgresql.conf" <<EOF
listen_addresses = ''
unix_socket_directories = '$dir/run'
port = 5432
fsync = off
synchronous_commit = off
full_page_writes = off
morv.model_dir = '$dir/models'
EOF
LD_LIBRARY_PATH=$dir/lib as_owner "$root$pgbindir/pg_ctl" -D "$dir/run/data" -l "$dir/run/server.log" -w \
  start > /dev/null || { cat "$dir/run/server.log" >&2; exit 1; }
echo "PGHOST=$dir/run PGPORT=5432 PGUSER=postgres"
