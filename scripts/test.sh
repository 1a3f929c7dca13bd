#!/usr/bin/env bash
# Runs every test: native unit tests, Windows-side unit tests and integration tests under
# wine64 (private prefix, Xvfb display), then each fuzz target for a bounded time.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VELMORA_BUILD:-$root/build}
bash "$root/scripts/build.sh"
source "$root/scripts/display.sh"
export WINEPREFIX="${WINEPREFIX:-$build/wineprefix}"
bash "$root/scripts/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true   # prefix ready before tests run
/usr/lib/wine/wineserver -p 60 || true                                   # keep one server for all tests

status=0
echo "== native unit tests"
ctest --test-dir "$build/host" -L host --output-on-failure -j "$(nproc)" || status=1
echo "== Windows-side unit tests (wine64)"
ctest --test-dir "$build/win64" --output-on-failure || status=1
echo "== integration tests (wine64)"
ctest --test-dir "$build/host" -L integration --output-on-failure || status=1
echo "== fuzz targets"
bash "$root/scripts/fuzz.sh" "${VELMORA_FUZZ_SECONDS:-20}" || status=1
exit $status
