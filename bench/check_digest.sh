#!/usr/bin/env bash
# Proves that a change left every output of the command as it was: the plain
# corpus text goes through `morv` in several formats, GBK and UTF-8 input, the
# new-word stages off and on, with and without run-time user words, and the
# SHA-256 of each output is compared with the one recorded in bench/digests.txt.
#
#   bench/check_digest.sh                 the whole corpus (19,484 lines)
#   bench/check_digest.sh --slice         every 40th line (the CTest test)
#   bench/check_digest.sh --record [--slice]   record the digests of this build
#
# The models are trained deterministically by the build, so the digests depend
# only on the code and the corpus. After a change meant to alter results (a model
# change, a fix), record again and commit bench/digests.txt with the change.
#
# Environment: MORV_BUILD_DIR (default build), MORV_HOME (default BUILD/bin/Morv),
# MORV_DIGEST_FILE (default bench/digests.txt), MORV_DIGEST_WORK (where outputs
# are kept, default BUILD/digest), MORV_CORPUS (the annotated corpus, plain or .xz).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MORV_BUILD_DIR:-$root/build}
base=${MORV_HOME:-$build/bin/Morv}
digests=${MORV_DIGEST_FILE:-$root/bench/digests.txt}
work=${MORV_DIGEST_WORK:-$build/digest}
python=/usr/bin/python3

record=0
set_name=full
for arg in "$@"; do
  case $arg in
    --record) record=1 ;;
    --slice) set_name=slice ;;
    *) echo "usage: check_digest.sh [--record] [--slice]" >&2; exit 2 ;;
  esac
done

morv=$build/bin/morv
if [ ! -x "$morv" ] || [ ! -f "$base/Configure.xml" ]; then
  echo "check_digest: need $morv and the models in $base (build morv_command and models)" >&2
  exit 2
fi
corpus=${MORV_CORPUS:-}
if [ -z "$corpus" ]; then
  for candidate in "$build/data/pd199801.txt" "$root/data/corpus/pd199801.txt.xz"; do
    if [ -f "$candidate" ]; then corpus=$candidate; break; fi
  done
fi
if [ -z "$corpus" ] || [ ! -f "$corpus" ]; then
  echo "check_digest: no corpus (set MORV_CORPUS)" >&2
  exit 2
fi
mkdir -p "$work"
out=$work/$set_name
rm -rf "$out"
mkdir -p "$out"

# The corpus text without paragraph ids, tags and brackets, as the benchmarks
# make it; the slice takes every 40th line of it.
"$python" - "$corpus" "$out/input.utf8.txt" "$set_name" <<'PY'
import lzma, re, sys
ident = re.compile(r'^\d{8}-\d{2}-\d{3}-\d{3}/m$')
src = sys.argv[1]
opener = (lambda: lzma.open(src, 'rt', encoding='utf-8')) if src.endswith('.xz') else \
         (lambda: open(src, encoding='utf-8'))
kept = 0
with opener() as f, open(sys.argv[2], 'w', encoding='utf-8') as out:
    for line in f:
        toks = line.split()
        if toks and ident.match(toks[0]):
            toks = toks[1:]
        if not toks:
            continue
        kept += 1
        if sys.argv[3] == 'slice' and kept % 40 != 1:
            continue
        out.write(''.join(t.lstrip('[').rsplit('/', 1)[0] for t in toks) + '\n')
PY
iconv -f UTF-8 -t GBK "$out/input.utf8.txt" > "$out/input.gbk.txt"

# The same models with the new-word stages switched off and on, whatever the
# trained Configure.xml says.
for nw in off on; do
  rm -rf "$out/newwords-$nw"
  mkdir -p "$out/newwords-$nw"
  ln -s "$(cd "$base" && pwd)/Data" "$out/newwords-$nw/Data"
  sed -e 's#<NewWords>[^<]*</NewWords>##' -e "s#</Configure>#<NewWords>$nw</NewWords>\n</Configure>#" \
    "$base/Configure.xml" > "$out/newwords-$nw/Configure.xml"
done

# label: set, new words, input encoding, format, user words
results=$out/digests.txt
: > "$results"
run() {
  local label=$1 model=$2 input=$3
  shift 3
  if ! env -u MORV_HOME "$morv" -j 1 --base "$model" "$@" "$input" > "$out/$label.out" 2> "$out/$label.err"; then
    echo "check_digest: morv failed for $label: $(head -c 300 "$out/$label.err")" >&2
    exit 1
  fi
  echo "$set_name-$label $(sha256sum < "$out/$label.out" | cut -d' ' -f1)" >> "$results"
}
for nw in off on; do
  model=$out/newwords-$nw
  for enc in gbk utf8; do
    for fmt in text seg compact html; do
      run "nw$nw-$enc-$fmt" "$model" "$out/input.$enc.txt" --format $fmt
    done
  done
  run "nw$nw-gbk-text-userwords" "$model" "$out/input.gbk.txt" --format text \
    --user-dict "$root/bench/digest_userwords.txt"
done

if [ $record = 1 ]; then
  touch "$digests"
  grep -v "^$set_name-" "$digests" > "$out/kept.txt" || true
  sort "$out/kept.txt" "$results" > "$digests"
  echo "check_digest: recorded $(wc -l < "$results") digests of the $set_name set in $digests"
  exit 0
fi

failed=0
while read -r label digest; do
  expected=$(awk -v l="$label" '$1 == l { print $2 }' "$digests" 2>/dev/null || true)
  if [ -z "$expected" ]; then
    echo "check_digest: no recorded digest for $label" >&2
    failed=1
  elif [ "$expected" != "$digest" ]; then
    echo "check_digest: $label differs (output kept in $out/${label#$set_name-}.out)" >&2
    failed=1
  fi
done < "$results"
if [ $failed = 0 ]; then
  echo "check_digest: all $(wc -l < "$results") outputs of the $set_name set are unchanged"
fi
exit $failed
