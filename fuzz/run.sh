#!/usr/bin/env bash
# Builds and runs every loader fuzz target (fuzz/fuzz_<Class>.cpp) with libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer.
#
#   fuzz/run.sh [seconds] [Class...]
#
# seconds: run time of each target (default 60); `fuzz/run.sh 5` is a quick smoke
# run. Naming classes runs only those targets. Each target starts from its seed
# corpus fuzz/corpus/<Class>/ (tiny files, committed); new inputs go to a working
# corpus in the build directory, so the seeds stay as they are. A crash leaves its
# input in build-fuzz/artifacts/<Class>/ and makes the script exit non-zero;
# reproduce with build-fuzz/fuzz_<Class> <crash file>.
#
# fuzz_TextPath analyses text with the trained models: build them first (the
# `models` target), or point MORV_FUZZ_MODEL at a model directory.
#
# Environment: CXX (default clang++), MORV_FUZZ_BUILD (default build-fuzz),
# MORV_FUZZ_JOBS (parallel compiles, default 2), MORV_FUZZ_TMP (where the targets
# write their input files; default /dev/shm when writable).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
cxx=${CXX:-clang++}
out=${MORV_FUZZ_BUILD:-$root/build-fuzz}
jobs=${MORV_FUZZ_JOBS:-2}
flags=(-std=c++17 -g -O1 -fsanitize=address,undefined -fno-sanitize-recover=undefined
       -fno-omit-frame-pointer -fsanitize-coverage-ignorelist="$root/fuzz/coverage-ignore.txt"
       -I"$root")
# The engine converts traditional text through OpenCC.
read -r -a opencc_cflags <<<"$(pkg-config --cflags opencc)"
read -r -a opencc_libs <<<"$(pkg-config --libs opencc)"
flags+=("${opencc_cflags[@]}")

mkdir -p "$out/obj"
# Other compiler or flags: start afresh.
if [ "$(cat "$out/flags" 2>/dev/null)" != "$cxx ${flags[*]}" ]; then
  rm -rf "$out/obj" "$out"/libmorv_fuzz.a "$out"/fuzz_*
  mkdir -p "$out/obj"
  echo "$cxx ${flags[*]}" >"$out/flags"
fi

# The engine, once, as a static archive instrumented for coverage. Sources are
# recompiled when they, or any engine header, changed since the last build.
archive="$out/libmorv_fuzz.a"
newest_header=$(find "$root/engine" "$root/lexicon" "$root/segment" "$root/tagging" -name '*.h' \
                  -newer "$archive" 2>/dev/null | head -n 1 || true)
sources=()
for src in "$root"/engine/*.cpp "$root"/lexicon/*.cpp "$root"/segment/*.cpp "$root"/tagging/*.cpp; do
  [ -e "$src" ] && sources+=("$src")
done
stale=()
for src in "${sources[@]}"; do
  rel=${src#"$root"/}
  obj="$out/obj/${rel//\//_}.o"
  if [ ! -e "$obj" ] || [ "$src" -nt "$obj" ] || [ -n "$newest_header" ] || [ ! -e "$archive" ]; then
    stale+=("$src")
  fi
done
compile_one() {
  local src=$1 rel=${1#"$root"/}
  local obj="$out/obj/${rel//\//_}.o"
  rm -f "$obj"
  "$cxx" "${flags[@]}" -fsanitize=fuzzer-no-link -c "$src" -o "$obj"
}
if [ ${#stale[@]} -gt 0 ]; then
  echo "== compiling ${#stale[@]} engine sources"
  for src in "${stale[@]}"; do
    compile_one "$src" &
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  done
  wait || true
  for src in "${stale[@]}"; do
    rel=${src#"$root"/}
    [ -e "$out/obj/${rel//\//_}.o" ] || { echo "compile failed: $rel" >&2; exit 1; }
  done
fi
objects=()
for src in "${sources[@]}"; do
  rel=${src#"$root"/}
  objects+=("$out/obj/${rel//\//_}.o")
done
# Objects of sources that no longer exist must not linger in the archive.
rm -f "$archive.tmp"
ar rcs "$archive.tmp" "${objects[@]}"
mv "$archive.tmp" "$archive"

# Which targets.
targets=()
if [ $# -gt 0 ]; then
  for cls in "$@"; do targets+=("$root/fuzz/fuzz_$cls.cpp"); done
else
  for t in "$root"/fuzz/fuzz_*.cpp; do targets+=("$t"); done
fi

# Every run writes its input to a file: on tmpfs that costs microseconds, on a
# disk mounted with discard it costs milliseconds.
if [ -z "${MORV_FUZZ_TMP:-}" ]; then
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then MORV_FUZZ_TMP=/dev/shm; else MORV_FUZZ_TMP=${TMPDIR:-/tmp}; fi
fi

# Every target is built first (the builds share the compiler's two jobs), then
# run, MORV_FUZZ_PARALLEL at a time (default 1).
for target in "${targets[@]}"; do
  name=$(basename "$target" .cpp)
  bin="$out/$name"
  if [ ! -e "$bin" ] || [ "$target" -nt "$bin" ] || [ "$archive" -nt "$bin" ] ||
     [ "$root/fuzz/FuzzInput.h" -nt "$bin" ] || [ "$root/fuzz/FuzzModels.h" -nt "$bin" ] || [ "$root/fuzz/coverage-ignore.txt" -nt "$bin" ]; then
    echo "== building $name"
    "$cxx" "${flags[@]}" -fsanitize=fuzzer -DMORV_FUZZ_SOURCE_DIR="\"$root\"" "$target" "$archive" "${opencc_libs[@]}" -ldl -o "$bin"
  fi
done

run_target() {
  local target=$1 name cls bin seeds work artifacts log scratch rc execs cov
  name=$(basename "$target" .cpp)
  cls=${name#fuzz_}
  bin="$out/$name"
  seeds="$root/fuzz/corpus/$cls"
  work="$out/corpus/$cls"
  artifacts="$out/artifacts/$cls"
  mkdir -p "$work" "$artifacts" "$seeds"
  echo "== running $name for ${seconds}s"
  log="$out/$name.log"
  # -malloc_limit_mb: no loader may allocate anywhere near this much for the
  # small inputs the fuzzer makes; a larger request is reported as a crash.
  scratch=$(mktemp -d "$MORV_FUZZ_TMP/morv-fuzz-$cls.XXXXXX")
  set +e
  TMPDIR=$scratch "$bin" -max_total_time="$seconds" -print_final_stats=1 -malloc_limit_mb=256 -rss_limit_mb=1024 \
         -timeout=10 -artifact_prefix="$artifacts/" "$work" "$seeds" >"$log" 2>&1
  rc=$?
  set -e
  rm -rf "$scratch"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 || true)
  if [ $rc -ne 0 ]; then
    echo "$cls: FAILED (exit $rc), ${execs:-?} runs; see $log and $artifacts/" >"$out/$name.result"
    grep -m 5 -E 'ERROR|SUMMARY|runtime error|deadly signal' "$log" || true
  else
    echo "$cls: ok, ${execs:-?} runs, ${cov:-cov ?}" >"$out/$name.result"
  fi
}

parallel=${MORV_FUZZ_PARALLEL:-1}
for target in "${targets[@]}"; do
  rm -f "$out/$(basename "$target" .cpp).result"
  run_target "$target" &
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n || true; done
done
wait || true

failed=()
summary=()
for target in "${targets[@]}"; do
  name=$(basename "$target" .cpp)
  line=$(cat "$out/$name.result" 2>/dev/null || echo "${name#fuzz_}: FAILED (no result)")
  summary+=("$line")
  case "$line" in *FAILED*) failed+=("${name#fuzz_}") ;; esac
done

echo "== summary"
printf '%s\n' "${summary[@]}"
[ ${#failed[@]} -eq 0 ]
