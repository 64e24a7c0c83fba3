#!/usr/bin/env bash
# Installs the Debian packages that the named parts of the build need, and only those missing.
# Usage: scripts/install-deps.sh GROUP...
# (groups: build test bench render linux32 emulation windows hardening)
set -euo pipefail

packages_for() {
  case "$1" in
    build) echo "cmake g++ make clang-format git" ;;
    test) echo "googletest" ;;
    bench) echo "libbenchmark-dev" ;;
    render) echo "libstb-dev libcli11-dev libpng-dev libopenexr-dev" ;;
    linux32) echo "g++-multilib" ;;
    emulation) echo "qemu-user-static" ;;
    windows) echo "g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine32:i386 wine64" ;;
    hardening) echo "clang libclang-rt-14-dev valgrind" ;;
    *) echo "unknown package group: $1" >&2; exit 2 ;;
  esac
}

missing=()
for group in "$@"; do
  if [ "$group" = windows ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  for package in $(packages_for "$group"); do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
      missing+=("$package")
    fi
  done
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
