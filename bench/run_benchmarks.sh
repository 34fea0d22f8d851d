#!/usr/bin/env bash
# Throughput figures for Morv beside jieba, all on the same corpus text. Prints
# figures; never fails on speed.
#
#   bench/run_benchmarks.sh [--quick] [--all]     (after a Release build in build/)
#
# First, in one run and alternating round by round: the whole `morv -j 1` command
# with the trained models on MORV_BENCH_MB (default 20, --quick 2) MB of UTF-8
# text, `morv -j 2` on the same file, and the cut of @node-rs/jieba (jieba's Rust
# port, its faster mode) and of nodejieba (cppjieba), each in a process of its own
# (CPU time, wall time, peak memory); then the in-process pipeline, each step's
# share of its time, and the model load. --all adds the older sections: the
# command's other formats, python3-jieba, the library's interfaces, morv.dask.
#
# Environment: MORV_BUILD_DIR (default build), MORV_HOME (default BUILD/bin/Morv),
# MORV_BENCH_CORPUS (a GBK text to use instead of the one made here),
# MORV_BENCH_MB (least corpus size in MB of UTF-8), MORV_BENCH_REPEATS (rounds,
# default 2), MORV_BENCH_NODE (where npm installs the jieba packages, default
# BUILD/bench-node).
set -euo pipefail
quick=0 all=0
for arg in "$@"; do
  case $arg in
    --quick) quick=1 ;;
    --all) all=1 ;;
    -h|--help) sed -n '2,20p' "$0"; exit 0 ;;
    *) echo "run_benchmarks: unknown option $arg (--quick, --all)" >&2; exit 2 ;;
  esac
done
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MORV_BUILD_DIR:-$root/build}
base=${MORV_HOME:-$build/bin/Morv}
work=$root/bench/.data
node_dir=${MORV_BENCH_NODE:-$build/bench-node}
min_mb=${MORV_BENCH_MB:-$([ "$quick" = 1 ] && echo 2 || echo 20)}
repeats=${MORV_BENCH_REPEATS:-2}
python=/usr/bin/python3
mkdir -p "$work"

if [ ! -x "$build/bin/morv" ] || [ ! -x "$build/bin/bench_pipeline" ]; then
  echo "run_benchmarks: build first (cmake --build $build); morv and bench_pipeline are missing" >&2
  exit 2
fi
if [ ! -f "$base/Configure.xml" ]; then
  echo "run_benchmarks: no models in $base (set MORV_HOME)" >&2
  exit 2
fi

# --- The corpus: UTF-8 and GBK copies of the same text, at least min_mb MB of UTF-8.
gbk=$work/corpus.gbk.txt
utf8=$work/corpus.utf8.txt
if [ -n "${MORV_BENCH_CORPUS:-}" ]; then
  src_gbk=$MORV_BENCH_CORPUS
  iconv -f GBK -t UTF-8 "$src_gbk" > "$work/source.utf8.txt"
  src_utf8=$work/source.utf8.txt
else
  src_utf8=$work/source.utf8.txt
  if [ ! -s "$src_utf8" ]; then
    xz_file=""
    for candidate in "${MORV_CORPUS_XZ:-}" "$root/data/corpus/pd199801.txt.xz" "$root/../shared/corpus/pd199801.txt.xz" \
        /work/shared/corpus/pd199801.txt.xz; do
      if [ -n "$candidate" ] && [ -f "$candidate" ]; then xz_file=$candidate; break; fi
    done
    if [ -z "$xz_file" ]; then
      echo "run_benchmarks: no corpus (set MORV_BENCH_CORPUS or MORV_CORPUS_XZ)" >&2
      exit 2
    fi
    # The People's Daily corpus without its paragraph ids, tags and brackets.
    "$python" - "$xz_file" "$src_utf8" <<'PY'
import lzma, re, sys
ident = re.compile(r'^\d{8}-\d{2}-\d{3}-\d{3}/m$')
with lzma.open(sys.argv[1], 'rt', encoding='utf-8') as f, open(sys.argv[2], 'w', encoding='utf-8') as out:
    for line in f:
        toks = line.split()
        if toks and ident.match(toks[0]):
            toks = toks[1:]
        if toks:
            out.write(''.join(t.lstrip('[').rsplit('/', 1)[0] for t in toks) + '\n')
PY
  fi
  src_gbk=$work/source.gbk.txt
  iconv -f UTF-8 -t GBK "$src_utf8" > "$src_gbk"
fi
: > "$gbk"
: > "$utf8"
while [ "$(stat -c %s "$utf8")" -lt $((min_mb * 1000000)) ]; do
  cat "$src_gbk" >> "$gbk"
  cat "$src_utf8" >> "$utf8"
done
chars=$("$python" -c "import sys; print(len(open(sys.argv[1], encoding='utf-8').read()))" "$utf8")
gbk_bytes=$(stat -c %s "$gbk")
utf8_bytes=$(stat -c %s "$utf8")
echo "== corpus: $chars characters; $gbk_bytes bytes GBK, $utf8_bytes bytes UTF-8"
echo "== models: $base"
echo


# --- The jieba packages of npm, installed here (never committed) when missing.
if command -v npm > /dev/null && command -v node > /dev/null; then
  for pkg in @node-rs/jieba nodejieba; do
    if [ ! -d "$node_dir/node_modules/$pkg" ]; then
      mkdir -p "$node_dir"
      # nodejieba's install step fetches its prebuilt module through npx.
      (cd "$node_dir" && npm_config_yes=true npm install --silent --no-audit --no-fund "$pkg" > "$work/npm.log" 2>&1) ||
        echo "  (npm install $pkg failed: see $work/npm.log)"
    fi
  done
else
  echo "== npm or node is missing: the jieba packages are skipped (apt-get install npm)"
fi
cat > "$work/jieba-cut.js" <<'JS'
// node jieba-cut.js rs|nodejieba FILE: load, then cut every line and join its
// words with spaces; prints "load_cpu cut_cpu" in seconds.
const fs = require('fs');
const cpu = () => { const u = process.cpuUsage(); return (u.user + u.system) / 1e6; };
const t0 = cpu();
let cut;
if (process.argv[2] === 'rs') {
  const { Jieba } = require('@node-rs/jieba');
  const { dict } = require('@node-rs/jieba/dict');
  const jieba = Jieba.withDict(dict);
  const hmm = process.env.MORV_BENCH_RS_HMM === 'true';
  cut = (line) => jieba.cut(line, hmm);
} else {
  const nodejieba = require('nodejieba');
  nodejieba.load();
  cut = (line) => nodejieba.cut(line);
}
const t1 = cpu();
const lines = fs.readFileSync(process.argv[3], 'utf8').split('\n');
const t2 = cpu();
let n = 0;
for (const line of lines) n += cut(line).join(' ').length;
const t3 = cpu();
console.log((t1 - t0).toFixed(3), (t3 - t2).toFixed(3), n);
JS
have_node() { [ -d "$node_dir/node_modules/$1" ] && command -v node > /dev/null; }

# Runs "${@:2}" under /usr/bin/time, its output to $1; prints
# "cpu_seconds wall_seconds peak_kib".
timed() {
  local out=$1
  shift
  /usr/bin/time -f '%U %S %e %M' -o "$work/time.txt" "$@" > "$out" 2> "$work/stderr.txt" ||
    echo "  (exit status $? from $*: $(head -c 300 "$work/stderr.txt"))" >&2
  tail -1 "$work/time.txt" | awk '{ printf "%.2f %s %s\n", $1 + $2, $3, $4 }'
}
min() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || (b != "" && b + 0 < a + 0)) print b; else print a }'; }
div() { awk -v a="$1" -v b="$2" 'BEGIN { if (a != "" && b != "" && b > 0) printf "%.2f", a / b; else print "n/a" }'; }
mib() { awk -v k="$1" 'BEGIN { if (k != "") printf "%.1f", k / 1024; else print "n/a" }'; }

# The same models with the new stages off (the view the build writes for the
# tests): the classic pipeline, measured beside the trained one as the floor
# of what the command costs without the new stages' models.
classic=${MORV_CLASSIC_HOME:-$build/models-classic}
have_classic() { [ -f "$classic/Configure.xml" ]; }

echo "== whole processes on the UTF-8 text, alternating, $repeats rounds (CPU = user + system)"
declare -A cpu wall peak cut load
tools="morv-j1 morv-j2"
have_classic && tools="$tools classic"
have_node @node-rs/jieba && tools="$tools rs"
have_node nodejieba && tools="$tools nodejieba"
for round in $(seq "$repeats"); do
  for tool in $tools; do
    case $tool in
      morv-j1) read -r c w m < <(timed /dev/null "$build/bin/morv" --base "$base" -j 1 --format text "$utf8") ;;
      morv-j2) read -r c w m < <(timed /dev/null "$build/bin/morv" --base "$base" -j 2 --format text "$utf8") ;;
      classic) read -r c w m < <(timed /dev/null "$build/bin/morv" --base "$classic" -j 1 --format text "$utf8") ;;
      *) read -r c w m < <(NODE_PATH="$node_dir/node_modules" timed "$work/out.txt" node "$work/jieba-cut.js" "$tool" "$utf8")
         read -r l k _ < "$work/out.txt"
         cut[$tool]=$(min "${cut[$tool]:-}" "$k")
         load[$tool]=$(min "${load[$tool]:-}" "$l") ;;
    esac
    printf '  round %s  %-10s cpu %7.2f s  wall %7.2f s  peak %6s MiB%s\n' "$round" "$tool" "$c" "$w" "$(mib "$m")" \
      "$(case $tool in rs|nodejieba) echo "  (load $l s, cut $k s CPU)" ;; esac)"
    cpu[$tool]=$(min "${cpu[$tool]:-}" "$c")
    wall[$tool]=$(min "${wall[$tool]:-}" "$w")
    peak[$tool]=$(awk -v a="${peak[$tool]:-0}" -v b="$m" 'BEGIN { print (b > a ? b : a) }')
  done
done
have_node @node-rs/jieba || echo "  @node-rs/jieba: not available (npm install @node-rs/jieba in $node_dir)"
have_node nodejieba || echo "  nodejieba: not available (npm install nodejieba in $node_dir)"
rs_cut=${cut[rs]:-}
echo "  best of the rounds (peak memory: the largest):"
for tool in $tools; do
  printf '    %-10s cpu %7.2f s  wall %7.2f s  peak %6s MiB  %10s chars per CPU s%s\n' "$tool" "${cpu[$tool]}" \
    "${wall[$tool]}" "$(mib "${peak[$tool]}")" "$(awk -v n="$chars" -v s="${cpu[$tool]}" 'BEGIN { printf "%.0f", n / (s > 0 ? s : 0.001) }')" \
    "$(case $tool in rs|nodejieba) echo "; cut alone ${cut[$tool]} s, $(awk -v n="$chars" -v s="${cut[$tool]}" 'BEGIN { printf "%.0f", n / (s > 0 ? s : 0.001) }') chars/s" ;; esac)"
done
echo

# --- Inside one process: the pipeline as morv drives it, and where its time goes.
echo "== in-process (bench_pipeline on the GBK copy, best of $repeats), models as trained: $base"
MORV_BENCH_STAGE=${MORV_BENCH_STAGES:-segment,pipeline,shares} "$build/bin/bench_pipeline" "$base" "$gbk" "$repeats" |
  tee "$work/stages.txt"
echo
pipe_rate() { awk 'index($0, "full pipeline") == 1 { for (i = 1; i < NF; ++i) if ($(i + 1) == "chars/s") print $i }' "$1"; }
pipe_rate_now=$(pipe_rate "$work/stages.txt")
classic_rate_now=""
if have_classic; then
  echo "== in-process, the classic pipeline (new stages off): $classic"
  MORV_BENCH_STAGE=pipeline "$build/bin/bench_pipeline" "$classic" "$gbk" "$repeats" | tee "$work/stages-classic.txt"
  classic_rate_now=$(pipe_rate "$work/stages-classic.txt")
  echo
fi
rs_rate_now=$(awk -v n="$chars" -v s="$rs_cut" 'BEGIN { if (s != "" && s > 0) printf "%.0f", n / s }')
load_best() {
  local n=5
  for _ in $(seq "$n"); do "$build/bin/bench_pipeline" "$1"; done 2> /dev/null |
    awk -v n="$n" '/^model load/ { for (i = 1; i < NF; ++i) { if ($i == "cpu") c = $(i + 1); if ($i == "(wall") w = $(i + 1); if ($i == "RSS") r = $(i + 1) }
        if (best == "" || w < best) { best = w; bestc = c; rss = r } if (w > worst) worst = w }
      END { if (best != "") printf "wall %s s, CPU %s s, peak %s MiB (best of %d fresh starts; slowest %s s)", best, bestc, rss, n, worst; else print "n/a" }'
}
echo "== against the targets (speed ratios: > 1, Morv is faster)"
echo "  morv -j 1, whole command (CPU) / @node-rs/jieba's cut (CPU):  $(div "$rs_cut" "${cpu[morv-j1]}")   (target >= 1.0, aim 2)"
echo "  morv -j 1, whole command / @node-rs/jieba, whole process:    $(div "${cpu[rs]:-}" "${cpu[morv-j1]}")"
echo "  morv -j 1, whole command / nodejieba's cut:                  $(div "${cut[nodejieba]:-}" "${cpu[morv-j1]}")"
echo "  in-process pipeline / @node-rs/jieba's cut (chars per CPU s): $(div "$pipe_rate_now" "$rs_rate_now")   (target >= 0.6)"
if have_classic; then
  echo "  the classic pipeline, morv -j 1 (CPU) / @node-rs/jieba's cut:  $(div "$rs_cut" "${cpu[classic]}"); in process: $(div "$classic_rate_now" "$rs_rate_now")"
  echo "  trained / classic, morv -j 1 (CPU):                          $(div "${cpu[classic]}" "${cpu[morv-j1]}"); in process: $(div "$pipe_rate_now" "$classic_rate_now")"
fi
echo "  morv -j 2 / morv -j 1 (wall):                                $(div "${wall[morv-j1]}" "${wall[morv-j2]}")   (target >= 1.8; the machine's other load lowers it)"
echo "  peak memory of morv -j 1:                                    $(mib "${peak[morv-j1]}") MiB   (target <= 100)"
echo "  model load, trained models: $(load_best "$base")   (target <= 0.05 s wall)"
if [ "$all" != 1 ]; then
  exit 0
fi
echo

# --- Morv inside: load, segmentation alone, pipeline, page.
echo "== Morv stages (bench_pipeline, best of $repeats), models as trained: $base"
"$build/bin/bench_pipeline" "$base" "$gbk" "$repeats" | tee "$work/stages.txt"
echo
# The classic pipeline's sections as well, so that both pipelines are
# measured in one run.
: > "$work/stages-classic.txt"
if have_classic; then
  echo "== Morv stages, classic pipeline (new stages off): $classic"
  "$build/bin/bench_pipeline" "$classic" "$gbk" "$repeats" | tee "$work/stages-classic.txt"
  echo
fi

# --- Morv as a command: CPU time (user + system) including start-up, wall time, peak memory.
# Prints "cpu_seconds wall_seconds peak_kib" of the fastest of $repeats runs.
time_command() {
  local best="" line
  for _ in $(seq "$repeats"); do
    /usr/bin/time -f '%U %S %e %M' -o "$work/time.txt" "$@" > /dev/null 2> "$work/stderr.txt" ||
      echo "  (exit status $? from $*: $(head -c 300 "$work/stderr.txt"))" >&2
    line=$(tail -1 "$work/time.txt" | awk '{ printf "%.2f %s %s", $1 + $2, $3, $4 }')
    if [ -z "$best" ] || awk -v a="${line%% *}" -v b="${best%% *}" 'BEGIN { exit !(a < b) }'; then
      best=$line
    fi
  done
  echo "$best"
}
rate() { awk -v n="$1" -v s="$2" 'BEGIN { if (s <= 0) s = 0.001; printf "%.0f", n / s }'; }
mbs() { awk -v n="$1" -v s="$2" 'BEGIN { if (s <= 0) s = 0.001; printf "%.2f", n / s / 1e6 }'; }

echo "== morv command (CPU time with model load, best of $repeats)"
declare -A morv_rate
for run in "text gbk" "text utf8" "seg gbk" "json utf8" "html gbk"; do
  set -- $run
  fmt=$1 enc=$2
  file=$gbk bytes=$gbk_bytes
  if [ "$enc" = utf8 ]; then file=$utf8 bytes=$utf8_bytes; fi
  read -r secs wall peak < <(time_command "$build/bin/morv" --base "$base" --format "$fmt" "$file")
  morv_rate["$fmt-$enc"]=$(rate "$chars" "$secs")
  printf '  --format %-5s %-5s cpu %6.2f s (wall %6.2f s)  %10s chars/s  %6s MB/s  peak %6.1f MiB\n' "$fmt" "$enc" \
    "$secs" "$wall" "${morv_rate[$fmt-$enc]}" "$(mbs "$bytes" "$secs")" "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')"
done
echo

# --- jieba, Python (Debian's python3-jieba) and the Rust port (@node-rs/jieba).
echo "== jieba on the same text (UTF-8), load and cut timed inside each (CPU time)"
if ! "$python" -c "import jieba" 2>/dev/null; then
  if [ "$(id -u)" -eq 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq python3-jieba > /dev/null 2>&1 || true
  fi
fi
py_rate=""
if "$python" -c "import jieba" 2>/dev/null; then
  read -r py_load py_cut < <("$python" - "$utf8" <<'PY'
import sys, time
t0 = time.process_time()
import jieba
jieba.setLogLevel(60)
jieba.initialize()
t1 = time.process_time()
lines = open(sys.argv[1], encoding='utf-8').read().split('\n')
t2 = time.process_time()
n = 0
for line in lines:
    n += len(' '.join(jieba.cut(line)))
t3 = time.process_time()
print(f"{t1 - t0:.3f} {t3 - t2:.3f}")
PY
)
  py_rate=$(rate "$chars" "$py_cut")
  printf '  python3-jieba      load %6.3f s  cut %7.2f s  %10s chars/s  %6s MB/s (UTF-8)\n' "$py_load" "$py_cut" \
    "$py_rate" "$(mbs "$utf8_bytes" "$py_cut")"
else
  echo "  python3-jieba: not available (apt-get install python3-jieba)"
fi

if [ ! -d "$node_dir/node_modules/@node-rs/jieba" ] && command -v npm > /dev/null; then
  mkdir -p "$node_dir"
  (cd "$node_dir" && npm install --silent --no-audit --no-fund @node-rs/jieba > /dev/null 2>&1) || true
fi
rs_rate=""
if [ -d "$node_dir/node_modules/@node-rs/jieba" ] && command -v node > /dev/null; then
  # The cut is timed as Morv's stages are: the best of $repeats runs in one
  # process. The ratios use the faster of the two modes.
  for hmm in false true; do
    read -r rs_load rs_cut < <(NODE_PATH="$node_dir/node_modules" node - "$utf8" "$hmm" "$repeats" <<'JS'
const fs = require('fs');
const cpu = () => { const u = process.cpuUsage(); return (u.user + u.system) / 1e6; };
const t0 = cpu();
const { Jieba } = require('@node-rs/jieba');
const { dict } = require('@node-rs/jieba/dict');
const jieba = Jieba.withDict(dict);
const t1 = cpu();
const lines = fs.readFileSync(process.argv[2], 'utf8').split('\n');
const hmm = process.argv[3] === 'true';
let best = Infinity;
for (let r = 0; r < Math.max(1, Number(process.argv[4]) || 1); ++r) {
  const t2 = cpu();
  let n = 0;
  for (const line of lines) n += jieba.cut(line, hmm).join(' ').length;
  best = Math.min(best, cpu() - t2);
}
console.log((t1 - t0).toFixed(3), best.toFixed(3));
JS
)
    r=$(rate "$chars" "$rs_cut")
    if [ -z "$rs_rate" ] || [ "$r" -gt "$rs_rate" ]; then rs_rate=$r; fi
    printf '  @node-rs/jieba %-5s load %6.3f s  cut %7.2f s  %10s chars/s  %6s MB/s (UTF-8, best of %s)\n' "hmm=$hmm" \
      "$rs_load" "$rs_cut" "$r" "$(mbs "$utf8_bytes" "$rs_cut")" "$repeats"
  done
else
  echo "  @node-rs/jieba: not available (npm install @node-rs/jieba in $node_dir)"
fi
echo

# --- The library: its C interface (one thread, then two on one model) and the
# Python package beside jieba's tagger, on the corpus text once (UTF-8).
echo "== the library (bench_api: C interface; Python: morv.tag and jieba.posseg.cut, CPU time)"
"$build/bin/bench_api" "$base" "$src_utf8" "$repeats" 2 | tee "$work/api.txt"
api_rate=$(awk '/^C API, 1 thread/ { for (i = 1; i < NF; ++i) if ($(i + 1) == "chars/s") print $i }' "$work/api.txt")
if [ -d "$build/python/morv" ]; then
  read -r tag_rate posseg_rate < <(PYTHONPATH="$build/python" "$python" - "$src_utf8" "$base" <<'PY'
import sys, time
import morv
lines = open(sys.argv[1], encoding='utf-8').read().split('\n')
chars = sum(len(l) + 1 for l in lines)
model = morv.Model(sys.argv[2])
t0 = time.process_time()
for line in lines:
    model.tag(line + '\n')
t1 = time.process_time()
tag_rate = chars / max(t1 - t0, 1e-9)
posseg_rate = 0
try:
    import jieba, jieba.posseg
    jieba.setLogLevel(60)
    jieba.initialize()
    part = lines[: max(1, len(lines) // 4)]
    part_chars = sum(len(l) + 1 for l in part)
    t0 = time.process_time()
    for line in part:
        list(jieba.posseg.cut(line))
    posseg_rate = part_chars / max(time.process_time() - t0, 1e-9)
except ImportError:
    pass
print(f"{tag_rate:.0f} {posseg_rate:.0f}")
PY
)
  printf '  morv.tag (Python)          %10s chars/s   %s of the C interface (aim >= 0.70)\n' "$tag_rate" \
    "$(awk -v a="$tag_rate" -v b="$api_rate" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }')"
  printf '  jieba.posseg.cut (Python)  %10s chars/s   (a quarter of the text)\n' "$posseg_rate"
  printf '  morv.tag / jieba.posseg.cut: %s\n' \
    "$(awk -v a="$tag_rate" -v b="$posseg_rate" 'BEGIN { if (b > 0) printf "%.1f", a / b; else print "n/a" }')"
else
  echo "  (the Python package is not built: $build/python/morv)"
fi
echo

# --- Ratios against the Rust port's segmentation (hmm off, its default).
stage_rate() { awk -v what="$1" 'index($0, what) == 1 { for (i = 1; i < NF; ++i) if ($(i + 1) == "chars/s") print $i }' "${2:-$work/stages.txt}"; }
# Segmentation alone and its bound on the classic view (the classic pipeline; the
# trained models share its core tables), on the trained models without one.
seg_new_rate=$(stage_rate "segmentation alone")
seg_rate=$(stage_rate "segmentation alone" "$work/stages-classic.txt")
seg_rate=${seg_rate:-$seg_new_rate}
pipe_rate=$(stage_rate "full pipeline")
page_rate=$(stage_rate "result page")
seg_warm=$(stage_rate "  segmentation, tables cached" "$work/stages-classic.txt")
seg_warm=${seg_warm:-$(stage_rate "  segmentation, tables cached")}
classic_pipe_warm=$(stage_rate "  pipeline, tables cached" "$work/stages-classic.txt")
pipe_warm=$(stage_rate "  pipeline, tables cached")
fmm_rate=$(stage_rate "forward maximum match" "$work/stages-classic.txt")
fmm_rate=${fmm_rate:-$(stage_rate "forward maximum match")}
classic_pipe=$(stage_rate "full pipeline" "$work/stages-classic.txt")
classic_page=$(stage_rate "result page" "$work/stages-classic.txt")
ratio() { if [ -n "$2" ]; then awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; else echo "n/a"; fi; }
echo "== ratios (characters per CPU second; > 1: Morv is faster)"
echo "  morv --format text (GBK, whole command) / Rust port:   $(ratio "${morv_rate[text-gbk]}" "$rs_rate")   (target > 1, aim 1.5)"
echo "  morv --format text (UTF-8, whole command) / Rust port: $(ratio "${morv_rate[text-utf8]}" "$rs_rate")"
echo "  engine pipeline, new stages / Rust port:              $(ratio "$pipe_rate" "$rs_rate")   (target >= 2)"
echo "    the same, tables cached / Rust port:                $(ratio "$pipe_warm" "$rs_rate")   (no cache misses: the floor of its arithmetic)"
echo "  engine pipeline, classic / Rust port:                 $(ratio "$classic_pipe" "$rs_rate")   (target >= 3)"
echo "    the same, tables cached / Rust port:                $(ratio "$classic_pipe_warm" "$rs_rate")"
echo "  result page, classic / Rust port:                     $(ratio "$classic_page" "$rs_rate")   (target >= 2)"
echo "  result page, new stages / Rust port:                  $(ratio "$page_rate" "$rs_rate")"
echo "  segmentation alone, classic / Rust port:              $(ratio "$seg_rate" "$rs_rate")   (target >= 5)"
echo "    the same, tables cached / Rust port:                $(ratio "$seg_warm" "$rs_rate")"
echo "  segmentation alone, trained models / Rust port:       $(ratio "$seg_new_rate" "$rs_rate")   (the same search on the same core tables)"
echo "  forward maximum match / Rust port:                    $(ratio "$fmm_rate" "$rs_rate")   (the bound of a dictionary segmenter)"
echo "  segmentation alone / forward maximum match:           $(ratio "$seg_rate" "$fmm_rate")"
echo "  morv --format text (GBK) / python3-jieba:             $(ratio "${morv_rate[text-gbk]}" "$py_rate")"
# The load as a user waits for it (wall time: the new stages' models load on a
# second thread beside the core tables) and the CPU time it takes, over fresh
# starts: the best one, and the slowest beside it (on this virtual machine a
# start now and then pays twice for its fresh memory).
load_starts() {
  local n=$((repeats > 5 ? repeats : 5))
  for _ in $(seq "$n"); do "$build/bin/bench_pipeline" "$1"; done 2> /dev/null |
    awk -v n="$n" '/^model load/ { for (i = 1; i < NF; ++i) { if ($i == "cpu") c = $(i + 1); if ($i == "(wall") w = $(i + 1) }
        if (best == "" || w < best) { best = w; bestc = c } if (w > worst) worst = w }
      END { if (best != "") printf "wall %s s, CPU %s s (best of %d fresh starts; slowest %s s)", best, bestc, n, worst; else print "n/a" }'
}
echo "  model load, new stages:  $(load_starts "$base")   (target: at most 0.05 s)"
if [ -f "$classic/Configure.xml" ]; then
  echo "  model load, classic:     $(load_starts "$classic")"
fi

# --- Many processes: morv.dask on two local worker processes beside `morv -j 2`,
# on MORV_DASK_BENCH_MB (default 100) MB of the corpus text repeated, UTF-8.
# Self-contained (bench/bench_dask.py); prints figures and never stops the script.
echo
echo "== morv.dask on two local worker processes and morv -j 2 (wall time; ${MORV_DASK_BENCH_MB:-100} MB UTF-8)"
PYTHONPATH="$build/python" "$python" "$root/bench/bench_dask.py" --build "$build" --base "$base" \
  --source "$src_utf8" --work "$work" --mb "${MORV_DASK_BENCH_MB:-100}" ||
  echo "  (bench_dask.py ended with status $?)"
