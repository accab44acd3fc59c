#!/usr/bin/env bash
# Builds the optimised native tree and runs every benchmark under bench/.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
"$here/setup_packages.sh"
"$here/configure.sh" release "$root/build/release"
for b in "$root"/build/release/bench/*_bench; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" "$@"
done
