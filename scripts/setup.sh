#!/usr/bin/env bash
# Everything a fresh Debian 12 machine needs before a build: Debian packages,
# the Windows builds of the third-party libraries (cached), the Wine prefix.
# Idempotent; a second run takes seconds.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$here/setup_packages.sh"
"$here/build_deps_win32.sh" >/dev/null
"$here/setup_wine_prefix.sh"
