#!/usr/bin/env bash
# Everything a fresh Debian 12 machine needs before a build: Debian packages,
# the Windows builds of the third-party libraries (cached), the Wine prefix
# (64-bit ones too on a machine that cannot execute 32-bit programs).
# Idempotent; a second run takes seconds.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$here/setup_packages.sh"
"$here/build_deps_win32.sh" >/dev/null
# A machine that cannot execute 32-bit programs cannot run 32-bit Wine: no
# prefix for it (wineboot would fail there). The Windows tests run there
# from the 64-bit test tree under 64-bit Wine instead (scripts/test.sh):
# its libraries and its prefix.
if "$here/runs_i386.sh" >/dev/null; then
  "$here/setup_wine_prefix.sh"
else
  "$here/build_deps_win32.sh" x86_64 >/dev/null
  "$here/setup_wine_prefix.sh" x86_64
fi
