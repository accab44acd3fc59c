#!/usr/bin/env bash
# Close game and FreeLibrary at once, many rounds (tests/dll_check/
# quorrel_unload_check.cpp): installs the check program, Quorrel.dll and
# tools/sample_game (as the default game table's program "pellory") into a
# fresh <work dir> and runs the rounds under Wine against tools/gate_sim,
# which plays the hall service (hall_service.script: the match detail the
# lobby hears as 300/11 once logged in) and answers every sign-up with a
# join result and a match start.
#   unload_rounds.sh <win32 bin dir> <sample_game.exe> <work dir> [rounds]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
bin="$1"; game="$2"; work="$3"; rounds="${4:-8}"
rm -rf "$work" && mkdir -p "$work" && cd "$work"
cp "$bin/quorrel_unload_check.exe" "$bin/Quorrel.dll" .
cp "$game" pellory.exe
PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 "$root/tools/gate_sim/gate_sim.py" \
  --log sim.jsonl --join-result 0 --match-start --script "$here/hall_service.script" -- \
  "$root/scripts/wine_run.sh" "$work/quorrel_unload_check.exe" "$rounds"
