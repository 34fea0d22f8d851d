#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing when
# they are all present, so it is safe to run before every build.
#   tools/install-deps.sh [--quick]
# --quick: only what ./run.sh needs (the library, the command, the trainer and
# the models it trains), so that a fresh machine shows a result sooner.
set -euo pipefail

packages=(
  g++ cmake ninja-build make pkg-config xz-utils groff-base libopencc-dev opencc
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  qtbase5-dev xvfb xauth fonts-wqy-microhei
  pybind11-dev python3-dev python3-pytest python3-jieba python3-dask python3-distributed python3-pip python3-venv
  sqlite3 libsqlite3-dev postgresql-15 postgresql-server-dev-15
)

if [ "${1:-}" = "--quick" ]; then
  # The trainer reads jieba's dictionary for the supplementary lexicon; the
  # configuration step looks for GoogleTest; the library converts traditional
  # Chinese with OpenCC.
  packages=(g++ cmake ninja-build make pkg-config xz-utils libgtest-dev libgmock-dev python3-jieba libopencc-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
