#!/usr/bin/env bash
# Configures and builds both trees: build/win (the Windows programs, cross-
# compiled) and build/host (the host tools). Usage: build.sh [BUILD_ROOT]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
root=${1:-$top/build}
jobs=$(nproc)
mkdir -p "$root"
cmake -S "$top" -B "$root/win" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release >"$root/win-configure.log" 2>&1 \
  || { cat "$root/win-configure.log"; exit 1; }
cmake -S "$top" -B "$root/host" -DCMAKE_BUILD_TYPE=Release >"$root/host-configure.log" 2>&1 \
  || { cat "$root/host-configure.log"; exit 1; }
cmake --build "$root/host" -j "$jobs"
cmake --build "$root/win" -j "$jobs"
