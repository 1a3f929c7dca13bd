#!/usr/bin/env bash
# Runs a Windows program under wine64 in the project's private prefix (created on first use).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  # One initialisation at a time, whoever gets here first.
  ( flock 9
    [ -f "$WINEPREFIX/system.reg" ] || /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w || true
  ) 9>"$WINEPREFIX.lock"
fi
exec /usr/lib/wine/wine64 "$@"
