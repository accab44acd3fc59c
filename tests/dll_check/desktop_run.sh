#!/usr/bin/env bash
# Runs a Windows test program on a Wine virtual desktop of its own, bound to
# this process's display (xvfb-run). The prefix's default desktop keeps the
# display of whichever program of the Wine session first needed it, often a
# test without one, and then no window appears; a desktop named for this run
# has its own. Explorer does not pass the program's exit code on, so the
# program writes it into <exit file> (its --exit-file option).
#   desktop_run.sh <exit file> <program.exe> [args...]
set -eu
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
exit_file="$1"
shift
rm -f "$exit_file"
"$root/scripts/wine_run.sh" explorer "/desktop=q_test_$$,1024x768" "$@" --exit-file "$exit_file" || true
code="$(cat "$exit_file" 2>/dev/null || true)"
if [ "$code" != "0" ]; then
  echo "desktop_run: $1 ended with '${code:-no exit file}'" >&2
  exit 1
fi
