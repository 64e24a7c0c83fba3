#!/usr/bin/env bash
# Builds and runs every test suite: Linux x86-64 (library, renderer, end to end), Linux 32-bit,
# and Windows under Wine. Installs what is missing first (Debian, as root). Any failure fails
# the whole run.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
configure() { cmake -S . -B "$@" -DCMAKE_BUILD_TYPE=Release -DCORVALA_WERROR=ON >/dev/null; }
build() { cmake --build "$1" -j"$jobs" >/dev/null; }
run_suite() { (cd "$1" && ctest --output-on-failure); }
scratch=$(mktemp -d)
cleanup() {
  if [ -n "${WINEPREFIX:-}" ]; then /usr/lib/wine/wineserver64 -k 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

scripts/install-deps.sh build test bench render linux32 windows hardening

echo "== Source formatting (.clang-format)"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

echo "== Linux x86-64: library, reference renderer, end-to-end tests (benchmarks built)"
configure build/linux64 -DCORVALA_BUILD_BENCHMARKS=ON
build build/linux64
run_suite build/linux64

echo "== AddressSanitizer with UndefinedBehaviorSanitizer, then ThreadSanitizer: the whole suite"
for sanitizers in asan-ubsan:address,undefined tsan:thread; do
  folder=build/${sanitizers%%:*}
  configure "$folder" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVALA_SANITIZE="${sanitizers#*:}"
  build "$folder"
  run_suite "$folder"
done

echo "== Valgrind memcheck: the library's tests"
valgrind -q --error-exitcode=1 build/linux64/bin/corvala_tests --gtest_brief=1

echo "== Fuzzing: the seed corpora, then a bounded run of each target"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCORVALA_WERROR=ON -DCORVALA_BUILD_FUZZERS=ON -DCORVALA_BUILD_TESTS=OFF \
  -DCORVALA_BUILD_RENDER=OFF >/dev/null
build build/fuzz
fuzz() {  # fuzz TARGET CORPUS SECONDS
  local fuzzer=build/fuzz/bin/corvala_$1_fuzzer log="$scratch/fuzz-$1.log"
  mkdir -p "$scratch/corpus-$1"
  cp "fuzz/corpus/$2"/* "$scratch/corpus-$1/"
  if ! "$fuzzer" -runs=0 "fuzz/corpus/$2" >"$log" 2>&1 ||
     ! "$fuzzer" -max_total_time="$3" -print_final_stats=1 "$scratch/corpus-$1" >>"$log" 2>&1; then
    tail -n 60 "$log"
    return 1
  fi
  echo "$1: $(grep -c . <(ls "fuzz/corpus/$2")) seeds;" \
    "$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}') inputs in $3 s, no findings"
}
fuzz lens lens 60
fuzz declaration declarations 30

echo "== Linux 32-bit: library and its tests"
# Some kernels run no 32-bit programs; the suite then runs under user-mode emulation.
emulator=()
echo 'int main(void) { return 0; }' > "$scratch/probe.c"
gcc -m32 "$scratch/probe.c" -o "$scratch/probe32"
if ! "$scratch/probe32" 2>/dev/null; then
  echo "this kernel does not run 32-bit programs: running them under qemu-i386"
  scripts/install-deps.sh emulation
  emulator=(-DCMAKE_CROSSCOMPILING_EMULATOR=/usr/bin/qemu-i386-static)
fi
configure build/linux32 -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i686.cmake -DCORVALA_BUILD_RENDER=OFF \
  "${emulator[@]}"
build build/linux32
run_suite build/linux32

echo "== Windows 32-bit DLL (mingw-w64), tested under Wine"
export WINEDEBUG=-all WINEPREFIX="$scratch/wine"
/usr/lib/wine/wine64 cmd /c exit >/dev/null 2>&1  # create the prefix before any output is checked
configure build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
build build/win32
if timeout 120 wine build/win32/bin/corvala-render.exe --help >/dev/null 2>&1; then
  windows=build/win32
  wine_runner=wine
  run_suite build/win32
else
  # Wine's 32-bit half is a 32-bit Linux program: without the kernel's 32-bit support it cannot
  # start. The 32-bit DLL's export and import tables are still checked, and the same Windows
  # suite runs as a 64-bit build under 64-bit Wine.
  echo "this machine cannot run 32-bit Windows programs: checking the 32-bit DLL's tables and"
  echo "running the Windows suite as a 64-bit build under 64-bit Wine"
  (cd build/win32 && ctest --output-on-failure -R exports)
  configure build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
  build build/win64
  windows=build/win64
  wine_runner=/usr/lib/wine/wine64
  run_suite build/win64
fi

echo "== The Windows renderer's demo images against the Linux renderer's"
demo_renders=(
  "--size 512x512 --samples 4 --fov 180 --pitch 90"
  "--size 640x360 --samples 4 --fov 220 --fade-circle on --fade-frame on --fade-width 0.08"
  "--lens environmentLense --size 1024x512 --samples 4"
)
cp "$windows"/bin/*.exe "$windows"/bin/*.dll "$windows"/bin/corvala.decl "$scratch/"
for i in "${!demo_renders[@]}"; do
  # shellcheck disable=SC2086
  build/linux64/bin/corvala-render ${demo_renders[$i]} --out "$scratch/linux-$i.png" >/dev/null
  # shellcheck disable=SC2086
  (cd "$scratch" && "$wine_runner" corvala-render.exe ${demo_renders[$i]} --out "windows-$i.png" >/dev/null)
  build/linux64/bin/corvala_image_diff "$scratch/linux-$i.png" "$scratch/windows-$i.png"
done

echo "== all suites passed"
