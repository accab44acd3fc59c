#!/usr/bin/env bash
# The win64 test tree's CMAKE_CROSSCOMPILING_EMULATOR: scripts/wine_run.sh
# under 64-bit Wine, in the 64-bit prefix. Programs it starts inherit
# Q_WIN_ARCH, so a script they run reaches the same Wine.
export Q_WIN_ARCH=x86_64
exec "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine_run.sh" "$@"
