#!/usr/bin/env bash
# Runs a Windows program under the build's own Wine prefix.
# Used as CMAKE_CROSSCOMPILING_EMULATOR, so ctest runs test programs through it.
set -eu
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$root/.cache/wineprefix}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Code page 936 for the lobby's ANSI texts.
if locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then export LC_ALL=zh_CN.UTF-8; fi
exec wine "$@"
