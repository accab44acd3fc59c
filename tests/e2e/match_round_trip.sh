#!/usr/bin/env bash
# The whole match round trip under Wine, for the demo and its ctest entry:
# installs hall_host.exe, Quorrel.dll and tools/sample_game (under the default
# game table's program name "pellory") into <work dir>, runs the lobby script
# match_round_trip.script against tools/gate_sim (hall_service.script, then
# match_relay.script), then checks what each side saw:
#   - both games got their exact command line and the three registration
#     records (login answer 13/2, match detail 18/14, match start 14/15);
#   - commands reached the games: kind 18 and 14 for one plan, kind 13 with
#     plan 0 for both, link loss and the new link as type-1 records 9/1, 9/0;
#   - the games' return records reached the gate as 12/3 frames, the last one
#     over the new link, and the type-1 and short records did not;
#   - plan 1's exit code 7 is in the gate client's log, and the lobby heard
#     both registrations (99/31) before the exit (99/30).
#   match_round_trip.sh <win32 bin dir> <sample_game.exe> <work dir>
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
bin="$1"; game="$2"; work="$3"

source "$here/run_hall_scenario.sh"
run_hall_scenario "$bin" "$game" "$work" "$here/match_relay.script" "$here/match_round_trip.script"

for p in 1 2; do
  echo "-- the record log of plan $p's game (sample_game_$p.log)"
  cut -c1-200 "sample_game_$p.log"
done
echo "-- the gate client's log of the launches"
grep -E '游戏启动参数|启动客户端|程序现在应当退出了' log/gateclient.log || true

fail() { echo "match round trip: $*" >&2; exit 1; }
has() { grep -q -e "$2" "$1" || fail "$1 lacks: $2"; }
rec='^rec type=0 kind=12 subid=3 '
for p in 1 2; do
  log="sample_game_$p.log"
  has "$log" "^start pellory  process_id:[0-9]*|user_id:10001|cmd_id:15|app_id:1|app_type:13|plan_id:$p|match_id:$p|match_group:1|rank_appid:0|rank_objectid:0|mp_id:1|game_kind:502|exename:pellory|resfolder:pellory\$"
  for k in 13/2 18/14 14/15; do
    has "$log" "$rec.*data_cmd_kind=${k%/*} data_cmd_subid=${k#*/} .*data=[0-9a-f]"
  done
  has "$log" "$rec.*data_cmd_kind=13 data_cmd_subid=99 "
  has "$log" '^rec type=1 kind=9 subid=1 '
  has "$log" '^rec type=1 kind=9 subid=0 '
done
has sample_game_1.log "$rec.*data_cmd_kind=18 data_cmd_subid=99 "
has sample_game_1.log '^exit 7$'
has sample_game_2.log "$rec.*data_cmd_kind=14 data_cmd_subid=99 "
has sample_game_2.log '^hang$'
has log/gateclient.log '程序现在应当退出了:7,'

# The gate's side: exactly the three proper return records, in order, the
# last on the second link; nothing but kind-12 frames from the client.
/usr/bin/python3 - sim.jsonl <<'PY' || fail "the gate did not see the return records as sent"
import json, sys
events = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
recv = [e for e in events if e["ev"] == "recv"]
back = [e for e in recv if (e.get("inner") or {}).get("kind") == 14 and e["inner"].get("subid") == 25]
got = [(e["conn"], e["inner"]["fields"].get("field_1")) for e in back]
print("return records at the gate (conn, field_1):", got)
others = sorted({e["kind"] for e in recv if e["kind"] != 12})
print("frames of other kinds than 12:", others)
sys.exit(0 if got == [(1, 4), (1, 5), (2, 6)] and not others else 1)
PY

reg=$(grep -n 'main=99 sub=31' hall_calls.txt | sed -n 2p | cut -d: -f1)
end=$(grep -n 'main=99 sub=30' hall_calls.txt | head -n1 | cut -d: -f1)
[ -n "$reg" ] && [ -n "$end" ] && [ "$reg" -lt "$end" ] || fail "the lobby did not hear 99/31 twice before 99/30"
grep -q 'on_main_thread=1' hall_calls.txt && fail "a lobby call came on the host's own thread"
echo "match round trip: ok"
