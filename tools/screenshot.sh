#!/usr/bin/env bash
# Starts Zelk under a virtual X server, loads a text (data/sample.txt by
# default), runs the analysis and saves a PNG of the whole window.
#   tools/screenshot.sh [OUT.png [TEXT]]      (build directory: $BUILD_DIR or build/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
out=$(realpath -m "${1:-$build/zelk-screenshot.png}")
text=$(realpath "${2:-$root/data/sample.txt}")

if [ ! -x "$build/bin/zelk" ]; then
  echo "screenshot: $build/bin/zelk not built" >&2
  exit 1
fi
# Zelk takes its engine from the working directory's Morv/.
cd "$build/bin"
timeout 120 xvfb-run -a -s "-screen 0 1280x860x24" \
  ./zelk --run-file "$text" --screenshot "$out"
echo "screenshot: $out"
