#!/usr/bin/env bash
# Builds the renderer and the library, and renders the demo set from the built-in scene into
# out/. Installs what is missing first (Debian, as root).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build render
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DCORVALA_BUILD_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)" >/dev/null

render=build/release/bin/corvala-render
mkdir -p out
# A dome master: looking straight up, 180 degrees across the circle.
"$render" --size 1024x1024 --samples 4 --fov 180 --pitch 90 --out out/dome-master.png
# A 220-degree fisheye looking ahead, fading toward the rim and the frame.
"$render" --size 1280x720 --samples 4 --fov 220 --radius 1 --fade-circle on --fade-frame on \
  --fade-width 0.08 --out out/fisheye-220.png
# The whole surroundings as a 2:1 panorama.
"$render" --lens environmentLense --size 2048x1024 --samples 4 --out out/panorama.png
echo "demo images are in out/"
