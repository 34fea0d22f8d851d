#!/usr/bin/env bash
# Builds Morv with its models and analyses the bundled sample text: writes the
# coloured result page to result.htm and prints the tagged words.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"
# Writes the page and prints the tagged words in one pass.
build/bin/morv --html result.htm data/sample.txt
echo "result.htm written ($(wc -c < result.htm) bytes)"
