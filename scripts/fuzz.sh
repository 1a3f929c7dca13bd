#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VELMORA_BUILD:-$root/build}
seconds=${1:-20}
[ -f "$build/fuzz/build.ninja" ] || CC=clang CXX=clang++ cmake -S "$root" -B "$build/fuzz" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_FUZZ=ON >/dev/null
cmake --build "$build/fuzz" -j "$(nproc)"
shopt -s nullglob
ran=0
for target in "$build"/fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$build/fuzz/corpus/$name"; mkdir -p "$corpus"
  seeds=("$root/fuzz/seeds/$name")
  [ -d "${seeds[0]}" ] || seeds=()
  echo "fuzz: $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
    "$corpus" "${seeds[@]}" >"$build/fuzz/$name.log" 2>&1 || { tail -40 "$build/fuzz/$name.log"; exit 1; }
  ran=$((ran + 1))
done
echo "fuzz: $ran targets ran clean"
