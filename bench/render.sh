#!/usr/bin/env bash
# Whole-command timings of the reference renderer: reprojection of a 4096x2048 equirectangular
# PNG into a 2048x2048 dome master PNG at one sample per pixel, on 1 and 2 threads, and the
# built-in scene at 1024x1024 with 4 samples. Prints the best of five runs of each.
# Usage: bench/render.sh [BUILD_DIR]   (a Release build; default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/release}/bin
render="$bin/corvala-render"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$render" --lens environmentLense --size 4096x2048 --out "$work/panorama.png" >/dev/null

best_of_five() {
  local best=""
  for _ in 1 2 3 4 5; do
    local start end took
    start=$(date +%s.%N)
    "$render" "$@" >/dev/null
    end=$(date +%s.%N)
    took=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
    best=$(awk -v t="$took" -v b="$best" 'BEGIN { print (b == "" || t < b) ? t : b }')
  done
  echo "$best"
}

one=$(best_of_five --env "$work/panorama.png" --pitch 90 --size 2048x2048 --threads 1 --out "$work/dome.png")
two=$(best_of_five --env "$work/panorama.png" --pitch 90 --size 2048x2048 --threads 2 --out "$work/dome.png")
scene=$(best_of_five --size 1024x1024 --samples 4 --out "$work/scene.png")
printf 'reprojection 4096x2048 -> 2048x2048 dome, 1 thread:  %.3f s\n' "$one"
printf 'reprojection 4096x2048 -> 2048x2048 dome, 2 threads: %.3f s (goal: under 0.6 s; %.2fx from 1 thread)\n' \
  "$two" "$(awk -v a="$one" -v b="$two" 'BEGIN { print a / b }')"
printf 'built-in scene 1024x1024, 4 samples, all cores:     %.3f s (%.1f M samples/s)\n' \
  "$scene" "$(awk -v s="$scene" 'BEGIN { print 1024 * 1024 * 4 / s / 1e6 }')"
