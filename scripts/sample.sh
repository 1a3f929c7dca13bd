#!/usr/bin/env bash
# Builds everything, makes the sample product's setup with velmora-build and runs it under
# wine64: a silent installation through Windows Installer (showing what it installed and where
# its installation cache is), a run with windows on an Xvfb display, and the silent removal.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VELMORA_BUILD:-$root/build}
bash "$root/scripts/build.sh"
source "$root/scripts/display.sh"
export WINEPREFIX="${WINEPREFIX:-$build/wineprefix}"
# Wine's menu helper would keep the support folder busy after a shortcut is made.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="

out="$build/sample"
rm -rf "$out"
"$build/host/tools/velmora-build" build "$root/samples/installer/product.vmp" \
  --stub "$build/win64/engine/velmora-stub.exe" --out "$out" --kel "$build/win64/kel/kel.lib"

winpath() { echo "Z:$1" | tr / '\\'; }
decode() { iconv -f UTF-16LE -t UTF-8 "$1" 2>/dev/null | tr -d '\r' | grep -a '^ *<' || true; }
target="$out/Installed"

run() { # name, arguments...
  local name=$1; shift
  echo "== sample setup ($name): setup.exe $*"
  set +e
  timeout -k 5 300 bash "$root/scripts/wine-run.sh" "$out/setup.exe" "$@" "/l=$(winpath "$out/$name.log")"
  local code=$?
  set -e
  echo "exit code: $code"
  [ -f "$out/result.txt" ] && echo "result: $(tr -d '\r' < "$out/result.txt" | tail -1)"
  echo "trace markers:"; decode "$out/$name.log" | sed 's/^/  /'
  [ "$code" -eq 0 ] || exit "$code"
}

run install /s "TARGETDIR=$(winpath "$target")"
echo "installed files:"; find "$target" -type f | sed "s|^$out/|  |"
# The installation cache is the folder named by the revision code.
revision=$(sed -n 's/^revision-code: *//p' "$root/samples/installer/product.vmp")
cache=$(find "$WINEPREFIX/drive_c" -type d -iname "$revision" 2>/dev/null | head -1 || true)
if [ -n "$cache" ]; then
  echo "installation cache: ${cache#"$WINEPREFIX/"}"
  ls -A "$cache" | sed 's/^/  /'
fi

run remove /s "TARGETDIR=$(winpath "$target")" REMOVE=TRUE MODIFY=FALSE
echo "left after removal: $(find "$target" -type f 2>/dev/null | wc -l) files"

# With windows: the script's own default folder; then removed again, silently.
run wizard
run remove-wizard-install /s REMOVE=TRUE MODIFY=FALSE
