#!/usr/bin/env bash
# Builds everything: the native host build (tools, unit tests; with ASan/UBSan), the win64
# engine, kel.lib and Windows-side tests, and the win32 engine (compile and link only).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VELMORA_BUILD:-$root/build}
jobs=${VELMORA_JOBS:-$(nproc)}
bash "$root/scripts/deps.sh"

configure() { # dir, extra args...
  local dir=$1; shift
  [ -f "$build/$dir/build.ninja" ] || cmake -S "$root" -B "$build/$dir" -G Ninja "$@" >/dev/null
}
configure win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake"
configure win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw32.cmake"
configure host -DVELMORA_SANITIZE=ON -DVELMORA_WIN64_DIR="$build/win64"
for dir in win64 host win32; do
  echo "build: $dir"
  cmake --build "$build/$dir" -j "$jobs"
done
