#!/usr/bin/env bash
# Trains on the corpus as it is, then on the corpus made one paragraph (every
# line's items on one line, twice over), and prints the time and peak memory
# of each run. A trainer whose cost grows with the entities of a paragraph
# times the tokens shows it here: the one-line corpus holds every name of the
# month in one paragraph.
#
#   bench/bench_trainer_oneline.sh        (after ./run.sh; MORV_BUILD_DIR names another build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MORV_BUILD_DIR:-$root/build}
train=$build/bin/morv-train
corpus=$build/data/pd199801.txt
if [ ! -x "$train" ] || [ ! -f "$corpus" ]; then
  echo "bench_trainer_oneline: need $train and $corpus (run ./run.sh)" >&2
  exit 2
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$corpus" "$work/oneline.txt" <<'PY'
import sys
items, first = [], None
with open(sys.argv[1], encoding='utf-8') as f:
    for line in f:
        fields = line.split()
        if not fields:
            continue
        first = first or fields[0]
        items.extend(fields[1:])
with open(sys.argv[2], 'w', encoding='utf-8') as out:
    out.write(first + ' ' + ' '.join(items) + '  ' + ' '.join(items) + '\n')
PY
for input in "$corpus" "$work/oneline.txt"; do
  size=$(wc -c < "$input")
  lines=$(wc -l < "$input")
  figures=$(/usr/bin/time -f '%e s wall, %U s processor, %M KB peak' \
    "$train" --data "$root/data" --quiet --allow-bad-lines "$input" "$work/out" 2>&1 >/dev/null | tail -1)
  printf '%-12s %10d bytes %6d lines: %s\n' "$(basename "$input")" "$size" "$lines" "$figures"
done
