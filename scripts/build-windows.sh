#!/usr/bin/env bash
# Cross-builds the 32-bit Windows DLL corvala.dll (with the Windows renderer beside it) into
# build/win32/bin/. Installs the mingw-w64 compilers first if they are missing (Debian, as root).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build test render windows
cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win32 -j"$(nproc)" >/dev/null
echo "built build/win32/bin/corvala.dll"
