#!/usr/bin/env bash
# Builds and runs every test suite. Installs what is missing first (Debian, as root).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

scripts/install-deps.sh build test bench render

echo "== Linux x86-64: library, reference renderer, tests, benchmarks (build only)"
cmake -S . -B build/linux64 -DCMAKE_BUILD_TYPE=Release -DCORVALA_WERROR=ON \
  -DCORVALA_BUILD_BENCHMARKS=ON >/dev/null
cmake --build build/linux64 -j"$jobs"
(cd build/linux64 && ctest --output-on-failure)
