#!/usr/bin/env bash
# Creates the build's own 32-bit Wine prefix (once): crash dialog off, so a
# crashing test ends instead of hanging; the Mono/Gecko installers silenced.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$root/.cache/wineprefix}"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
stamp="$WINEPREFIX/.q-ready"
[ -f "$stamp" ] && exit 0
mkdir -p "$(dirname "$WINEPREFIX")"
wineboot -i >/dev/null 2>&1 || true
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wineserver -w
touch "$stamp"
