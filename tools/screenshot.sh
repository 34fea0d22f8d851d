#!/usr/bin/env bash
# Starts Zelk under a virtual X server, loads a text (data/sample.txt by
# default), runs the analysis and saves a PNG of the whole window.
#   tools/screenshot.sh [--result-end] [OUT.png [TEXT]]   (build directory: $BUILD_DIR or build/)
# --result-end scrolls the result pane to its end before the picture is taken
# (for a large text: the note that links to the whole page, and the legend).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
flags=()
while [ $# -gt 0 ]; do
  case "$1" in
    --result-end) flags+=("$1"); shift ;;
    --) shift; break ;;
    -*) echo "screenshot: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
out=$(realpath -m "${1:-$build/zelk-screenshot.png}")
text=$(realpath "${2:-$root/data/sample.txt}")

if [ ! -x "$build/bin/zelk" ]; then
  echo "screenshot: $build/bin/zelk not built" >&2
  exit 1
fi
# Zelk takes its engine from the working directory's Morv/.
cd "$build/bin"
timeout 120 xvfb-run -a -s "-screen 0 1280x860x24" \
  ./zelk --run-file "$text" --screenshot "$out" ${flags[@]+"${flags[@]}"}
echo "screenshot: $out"
