#!/usr/bin/env bash
# Everything a fresh Debian 12 machine needs before a build: Debian packages,
# the Windows builds of the third-party libraries (cached), the Wine prefix.
# Idempotent; a second run takes seconds.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$here/setup_packages.sh"
"$here/build_deps_win32.sh" >/dev/null
# A machine that cannot execute 32-bit programs cannot run 32-bit Wine: no
# prefix for it (wineboot would fail there); the test command says what it
# does instead.
if "$here/runs_i386.sh" >/dev/null; then
  "$here/setup_wine_prefix.sh"
fi
