#!/usr/bin/env bash
# A game that exits after the user was logged in elsewhere still reaches the
# lobby, under Wine: installs hall_host.exe, Quorrel.dll and tools/sample_game
# (as "pellory") into <work dir>, runs another_login.script against
# tools/gate_sim (hall_service.script, then another_login_gate.script), then
# checks that the lobby heard the game register (99/31) and, after the
# logout, exit (99/30), and that the game got the logout before its exit.
#   another_login.sh <win32 bin dir> <sample_game.exe> <work dir>
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
bin="$1"; game="$2"; work="$3"

source "$here/run_hall_scenario.sh"
run_hall_scenario "$bin" "$game" "$work" "$here/another_login_gate.script" "$here/another_login.script"

fail() { echo "another login: $*" >&2; exit 1; }
grep -q 'data_cmd_kind=13 data_cmd_subid=4 ' sample_game_1.log || fail "the game did not get the logout"
grep -q '^exit 7$' sample_game_1.log || fail "the game did not exit"
reg=$(grep -n 'main=99 sub=31' hall_calls.txt | head -n1 | cut -d: -f1)
end=$(grep -n 'main=99 sub=30' hall_calls.txt | head -n1 | cut -d: -f1)
[ -n "$reg" ] && [ -n "$end" ] && [ "$reg" -lt "$end" ] || fail "the lobby did not hear 99/31, then 99/30"
echo "another login: ok"
