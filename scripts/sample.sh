#!/usr/bin/env bash
# Builds everything, makes the sample setup with velmora-build and runs it under wine64: once
# silently, once with its windows on an Xvfb display. Prints exit codes and trace logs.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VELMORA_BUILD:-$root/build}
bash "$root/scripts/build.sh"
source "$root/scripts/display.sh"
export WINEPREFIX="${WINEPREFIX:-$build/wineprefix}"

out="$build/sample"
rm -rf "$out"
kel=()
[ -f "$build/win64/kel/kel.lib" ] && kel=(--kel "$build/win64/kel/kel.lib")
"$build/host/tools/velmora-build" build "$root/samples/sample/sample.vmp" \
  --stub "$build/win64/engine/velmora-stub.exe" --out "$out" "${kel[@]}"

winpath() { echo "Z:$1" | tr / '\\'; }
decode() { iconv -f UTF-16LE -t UTF-8 "$1" | tr -d '\r'; }

for mode in silent wizard; do
  args=("/l=$(winpath "$out/$mode.log")")
  [ "$mode" = silent ] && args=(/s "${args[@]}")
  echo "== sample setup ($mode): setup.exe ${args[*]}"
  set +e
  timeout -k 5 300 bash "$root/scripts/wine-run.sh" "$out/setup.exe" "${args[@]}"
  code=$?
  set -e
  echo "exit code: $code"
  echo "trace log:"
  decode "$out/$mode.log" | sed 's/^/  /'
  [ "$code" -eq 0 ] || exit "$code"
done
