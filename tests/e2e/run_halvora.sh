#!/usr/bin/env bash
# Runs Halvora.exe in Korvel's script mode in the current directory on the
# session's X display (or a virtual one of its own), with the gate client
# pointed at the gate simulator that wraps this script (GATE_SIM_PORT). The lobby script's "snapshot lobby.bmp"
# step leaves a picture of the lobby window, saved here as <png>.
#   run_halvora.sh <lobby script> <png>
# Output: Halvora's lines (also in halvora.out); exit code: Halvora's.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
script="$1"; png="$2"

if [ -n "${GATE_SIM_PORT:-}" ]; then
  printf '[gate]\naddress_00=127.0.0.1:%s\n' "$GATE_SIM_PORT" > gateaddress.ini
fi
[ "$script" -ef lobby.script ] || cp "$script" lobby.script
rm -f lobby.bmp "$png"

# The Wine session's display when there is one (scripts/wine_session.sh):
# Wine's desktop keeps the display it started with.
x=()
[ -n "${DISPLAY:-}" ] || x=(xvfb-run -a -s "-screen 0 1280x1024x24")
rc=0
"${x[@]}" "$root/scripts/wine_run.sh" Halvora.exe /script lobby.script > halvora.out 2>&1 || rc=$?
tr -d '\r' < halvora.out | grep -v '^X connection to .* broken' || true
if [ -s lobby.bmp ]; then
  /usr/bin/convert lobby.bmp "png:$png" || echo "run_halvora: lobby.bmp did not convert"
fi
exit "$rc"
