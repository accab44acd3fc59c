#!/usr/bin/env bash
# The whole match round trip under Wine, for the demo and its ctest entry:
# installs hall_host.exe, Quorrel.dll and tools/sample_game (under the default
# game table's program name "pellory") into <work dir>, runs the lobby script
# match_round_trip.script against tools/gate_sim, then checks that the game
# received its three registration records and that the lobby heard the game
# register (99/31) before it ended (99/30).
#   match_round_trip.sh <win32 bin dir> <sample_game.exe> <work dir>
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
bin="$1"; game="$2"; work="$3"

rm -rf "$work" && mkdir -p "$work" && cd "$work"
cp "$bin/hall_host.exe" "$bin/Quorrel.dll" .
cp "$game" pellory.exe

PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 "$root/tools/gate_sim/gate_sim.py" \
  --log sim.jsonl --join-result 0 --match-start --script "$here/hall_service.script" -- \
  "$root/scripts/wine_run.sh" "$work/hall_host.exe" \
  --script "$here/match_round_trip.script" --record hall_calls.txt

echo "-- the game's record log (sample_game_1.log)"
cut -c1-160 sample_game_1.log
echo "-- the gate client's log of the launch"
grep -E '游戏启动参数|启动客户端|程序现在应当退出了' log/gateclient.log || true

fail() { echo "match round trip: $*" >&2; exit 1; }
[ "$(grep -c '^rec type=0 kind=12 subid=3 ' sample_game_1.log)" -ge 3 ] || fail "the game got fewer than three records"
for k in 13 18 14; do
  grep -q "^rec type=0 kind=12 subid=3 .*data_cmd_kind=$k " sample_game_1.log || fail "no kind-$k record reached the game"
done
reg=$(grep -n 'main=99 sub=31' hall_calls.txt | head -n1 | cut -d: -f1)
end=$(grep -n 'main=99 sub=30' hall_calls.txt | head -n1 | cut -d: -f1)
[ -n "$reg" ] && [ -n "$end" ] && [ "$reg" -lt "$end" ] || fail "the lobby did not hear 99/31 before 99/30"
grep -q 'on_main_thread=1' hall_calls.txt && fail "a lobby call came on the host's own thread"
echo "match round trip: ok"
