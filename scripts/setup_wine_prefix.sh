#!/usr/bin/env bash
# Creates the build's own 32-bit Wine prefix (once): crash dialog off, so a
# crashing test ends instead of hanging; the Mono/Gecko installers silenced.
#   scripts/setup_wine_prefix.sh [i686|x86_64]   (or Q_WIN_ARCH=x86_64)
# x86_64 makes the 64-bit prefix of the win64 test tree instead, the same way
# (scripts/wine_run.sh says where it is).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
arch="${1:-${Q_WIN_ARCH:-i686}}"
case "$arch" in
  i686)
    export WINEPREFIX="${WINEPREFIX:-$root/.cache/wineprefix}"
    export WINEARCH=win32
    wine=wine wineserver=wineserver ;;
  x86_64)
    export WINEPREFIX="${Q_WINEPREFIX64:-$root/.cache/wineprefix64}"
    export WINEARCH=win64
    export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
    wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64 ;;
  *) echo "unknown Windows architecture: $arch (i686 or x86_64)" >&2; exit 2 ;;
esac
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
stamp="$WINEPREFIX/.q-ready"
[ -f "$stamp" ] && exit 0
mkdir -p "$(dirname "$WINEPREFIX")"
if [ "$arch" = i686 ]; then
  wineboot -i >/dev/null 2>&1 || true
else
  "$wine" wineboot -i >/dev/null 2>&1 || true
fi
"$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
"$wineserver" -w
touch "$stamp"
