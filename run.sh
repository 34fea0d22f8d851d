#!/usr/bin/env bash
# Builds what the analysis needs (the library, the morv command, the trainer and
# the models it trains), analyses the bundled sample text, writes the coloured
# result page to result.htm and prints the tagged words. The tests, benchmarks,
# Zelk and the Python package are left to ./test.sh (or `cmake --build build`).
set -euo pipefail
cd "$(dirname "$0")"
SECONDS=0
tools/install-deps.sh --quick
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target morv_command models
# Writes the page and prints the tagged words in one pass.
build/bin/morv --html result.htm data/sample.txt
echo "result.htm written ($(wc -c < result.htm) bytes)"
printf 'run.sh: built and analysed in %d min %02d s\n' $((SECONDS / 60)) $((SECONDS % 60))
