#!/usr/bin/env bash
# Runs a Windows program under the build's own Wine prefix.
# Used as CMAKE_CROSSCOMPILING_EMULATOR, so ctest runs test programs through it.
# Q_WIN_ARCH=x86_64 runs it under 64-bit Wine instead (the win64 test tree:
# scripts/wine64_run.sh, and its ctest sets it for every test), in a 64-bit
# prefix of its own, $Q_WINEPREFIX64 or .cache/wineprefix64. That prefix does
# not follow WINEPREFIX, which a 32-bit session may have exported.
set -eu
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
if [ "${Q_WIN_ARCH:-i686}" = x86_64 ]; then
  export WINEPREFIX="${Q_WINEPREFIX64:-$root/.cache/wineprefix64}"
  export WINEARCH=win64
  export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
  wine=/usr/lib/wine/wine64
else
  export WINEPREFIX="${WINEPREFIX:-$root/.cache/wineprefix}"
  export WINEARCH=win32
  wine=wine
fi
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Code page 936 for the lobby's ANSI texts.
if locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then export LC_ALL=zh_CN.UTF-8; fi
exec "$wine" "$@"
