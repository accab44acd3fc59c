#!/usr/bin/env bash
# Sourced by the hall_host scenarios: installs hall_host.exe, Quorrel.dll and
# tools/sample_game (under the default game table's program name "pellory")
# into a fresh <work dir>, then runs <lobby script> in hall_host under Wine
# against tools/gate_sim playing hall_service.script and then <gate script>.
# Leaves the simulator's log (sim.jsonl), the lobby's calls (hall_calls.txt),
# the games' record logs and the gate client's log in <work dir>, its
# current directory afterwards.
#   run_hall_scenario <win32 bin dir> <sample_game.exe> <work dir> <gate script> <lobby script>
run_hall_scenario() {
  local bin="$1" game="$2" work="$3" gate_script="$4" lobby_script="$5"
  local here root
  here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
  root="$(cd "$here/../.." && pwd)"
  rm -rf "$work" && mkdir -p "$work" && cd "$work"
  cp "$bin/hall_host.exe" "$bin/Quorrel.dll" .
  cp "$game" pellory.exe
  cat "$here/hall_service.script" "$gate_script" > gate_service.script
  PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 "$root/tools/gate_sim/gate_sim.py" \
    --log sim.jsonl --join-result 0 --match-start --script gate_service.script -- \
    "$root/scripts/wine_run.sh" "$work/hall_host.exe" \
    --script "$lobby_script" --record hall_calls.txt
}
