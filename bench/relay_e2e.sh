#!/usr/bin/env bash
# The relay benchmark under Wine, end to end through the real Quorrel.dll:
# tools/hall_host signs up through the gate simulator, whose match start
# launches tools/sample_game (installed as "pellory"); bench/relay_e2e/driver.py
# then sends commands to the running game, which answers each at once, and
# times the round trips at the gate, then a burst of 100 in one frame; with a
# load it does the same again while that many shell busy loops run beside
# it (quiet and loaded alternate for each round, and the medians are printed
# side by side); last, the idle CPU of the client and the game over a quiet
# spell.
#   bench/relay_e2e.sh [--load N] [--rounds R] [round trips (1000)] [idle seconds (10)]
#                      [win32 build dir]
# --load: busy loops of the loaded run (default half the cores; 0: quiet only).
# --rounds: quiet/loaded pairs to run (default 3).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
load=$(( $(nproc) / 2 ))
rounds=3
while [ $# -gt 0 ]; do
  case "$1" in
    --load) load="$2"; shift 2 ;;
    --rounds) rounds="$2"; shift 2 ;;
    *) break ;;
  esac
done
trips="${1:-1000}"
idle="${2:-10}"
bdir="${3:-$root/build/win32}"

[ -d "$bdir" ] || "$root/scripts/configure.sh" win32 "$bdir" >/dev/null
cmake --build "$bdir" --target hall_host Quorrel sample_game >/dev/null
source "$root/scripts/wine_session.sh"

work="$bdir/relay_e2e"
rm -rf "$work" && mkdir -p "$work" && cd "$work"
cp "$bdir/bin/hall_host.exe" "$bdir/bin/Quorrel.dll" .
cp "$(find "$bdir/tools/sample_game" -name sample_game.exe | head -n1)" pellory.exe

export PYTHONDONTWRITEBYTECODE=1
/usr/bin/python3 "$here/relay_e2e/driver.py" ctl.port "$work" "$trips" "$idle" "$load" "$rounds" &
driver=$!
/usr/bin/python3 "$root/tools/gate_sim/gate_sim.py" --log sim.jsonl --join-result 0 --match-start \
  --script "$root/tests/e2e/hall_service.script" \
  --control-port 0 --control-port-file ctl.port -- \
  "$root/scripts/wine_run.sh" "$work/hall_host.exe" \
  --script "$here/relay_e2e/lobby.script" --record hall_calls.txt >sim.out 2>&1 || {
  echo "relay_e2e: the client run failed (see $work/sim.out)" >&2
  kill "$driver" 2>/dev/null || true
  exit 1
}
wait "$driver"
