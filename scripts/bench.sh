#!/usr/bin/env bash
# Builds the benchmarks in an optimised host build and runs them (or the ones named).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VELMORA_BUILD:-$root/build}
bash "$root/scripts/deps.sh"
[ -f "$build/bench/build.ninja" ] || cmake -S "$root" -B "$build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_BENCH=ON >/dev/null
cmake --build "$build/bench" -j "$(nproc)"
names=("$@")
[ ${#names[@]} -gt 0 ] || names=($(cd "$build/bench/bench" && ls bench_* 2>/dev/null))
for n in "${names[@]}"; do echo "== $n"; "$build/bench/bench/$n"; done
