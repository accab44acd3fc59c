#!/usr/bin/env bash
# The whole match round trip through the launcher, for the demo and its
# ctest entry: installs Halvora.exe, Korvel.dll, Quorrel.dll and
# tools/sample_game (as "pellory") into <work dir>, runs the lobby script
# round_trip.script in Korvel's script mode against tools/gate_sim (the hall
# service's and the match relay's gate scripts beside it), saves a
# screenshot of the lobby window, then checks what each side saw:
#   - the launcher: the six start-up requests, in order and with their
#     bodies, on the lobby's thread right after "enter"; every other block
#     on one gate-client thread that is not the lobby's; after close game no
#     thread started since the bind is left; exit status 0;
#   - the games and the gate: as match_round_trip.sh beside it checks.
#   run_round_trip.sh <win32 bin dir> <sample_game.exe> <work dir> [<png>]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
bin="$1"; game="$2"; work="$3"; png="${4:-$3/lobby.png}"

rm -rf "$work" && mkdir -p "$work" && cd "$work"
cp "$bin/Halvora.exe" "$bin/Korvel.dll" "$bin/Quorrel.dll" .
cp "$game" pellory.exe
cp "$here/round_trip.script" lobby.script
cat "$here/hall_service.script" "$here/match_relay.script" > gate_service.script

rc=0
PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 "$root/tools/gate_sim/gate_sim.py" \
  --log sim.jsonl --join-result 0 --match-start --script gate_service.script -- \
  "$here/run_halvora.sh" lobby.script "$png" || rc=$?

for p in 1 2; do
  echo "-- the record log of plan $p's game (sample_game_$p.log)"
  cut -c1-200 "sample_game_$p.log" 2>/dev/null || echo "(none)"
done
echo "-- the gate client's log of the launches"
grep -E '游戏启动参数|启动客户端|程序现在应当退出了' log/gateclient.log 2>/dev/null || true

fail() { echo "launcher round trip: $*" >&2; exit 1; }
[ "$rc" -eq 0 ] || fail "Halvora.exe ended with status $rc"
[ -s "$png" ] && echo "launcher round trip: screenshot of the lobby window: $png" || fail "no screenshot"

# The launcher's side, from Halvora's printout.
/usr/bin/python3 - halvora.out <<'PY' || fail "the lobby did not see what it should"
import re, sys
lines = [l.rstrip("\r\n") for l in open(sys.argv[1], encoding="utf-8", errors="replace")]
lobby = next(int(l.split()[-1]) for l in lines if l.startswith("korvel: lobby thread "))
blocks = [l for l in lines if l.startswith("korvel: block ")]
def fields(l):
    return dict(kv.split("=", 1) for kv in l.split() if "=" in kv)
first = [fields(b) for b in blocks[:6]]
want = [("2", "100", "224"), ("1", "100", "8"), ("3", "106", "224"), ("3", "100", "24"),
        ("1", "102", None), ("3", "105", "16")]
ok = True
for f, (m, s, n) in zip(first, want):
    if (f["main"], f["sub"], f.get("len")) != (m, s, n) or int(f["tid"]) != lobby:
        print("start-up request out of place:", f); ok = False
body = bytes.fromhex(first[0]["hex"])
if body[8:12] != (10001).to_bytes(4, "little") or body[32:36] != b"\xff" * 4 or \
   body[64:72] != (5000).to_bytes(8, "little") or body[124:128] != (7).to_bytes(4, "little"):
    print("2/100 body wrong:", first[0]["hex"]); ok = False
if bytes.fromhex(first[1]["hex"]) != (10001).to_bytes(4, "little") + bytes(4):
    print("1/100 body wrong"); ok = False
gate = {int(fields(b)["tid"]) for b in blocks[6:]}
print("start-up requests on the lobby thread %d; gate client blocks: %d on threads %s"
      % (lobby, len(blocks) - 6, sorted(gate)))
if len(gate) != 1 or lobby in gate:
    ok = False
if "korvel: threads started since the bind still running: 0" not in lines:
    print("gate client threads left after close game"); ok = False
sys.exit(0 if ok else 1)
PY

# The games' and the gate's side.
has() { grep -q -e "$2" "$1" || fail "$1 lacks: $2"; }
rec='^rec type=0 kind=12 subid=3 '
for p in 1 2; do
  log="sample_game_$p.log"
  has "$log" "^start pellory  process_id:[0-9]*|user_id:10001|cmd_id:15|app_id:1|app_type:13|plan_id:$p|match_id:$p|match_group:1|rank_appid:0|rank_objectid:0|mp_id:1|game_kind:502|exename:pellory|resfolder:pellory\$"
  for k in 13/2 18/14 14/15; do
    has "$log" "$rec.*data_cmd_kind=${k%/*} data_cmd_subid=${k#*/} .*data=[0-9a-f]"
  done
done
has sample_game_1.log '^exit 7$'
has sample_game_2.log '^hang$'
has log/gateclient.log '程序现在应当退出了:7,'
echo "launcher round trip: ok"
