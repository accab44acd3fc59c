#!/usr/bin/env bash
# The demo: set-up, the Windows build, then the gate client end to end under
# Wine against the gate simulator in tools/gate_sim:
#  1. gate_host starts the gate session: connect, hello, session key,
#     enciphered login, pulses; prints the client's log.
#  2. hall_host loads Quorrel.dll as the launcher does, binds its hall sink
#     and plays a lobby script (user info, enter room, sign up, sign out, close
#     game); prints every lobby block the gate client sends back.
#  3. the match round trip: a sign-up and a second match launch two games
#     (tools/sample_game as "pellory"); commands flow both ways over the
#     shared-memory channel, through a link loss and a new link; one game
#     exits with code 7, the lobby hears both register and end, close game
#     kills the other.
# After each, what the simulator received, deciphered.
#  4. diagnostics: velmo_host loads VelmoPlatform.dll, which fetches its
#     configuration from tools/diag_service, samples the machine and the
#     network and posts a full report (type 0) and a periodic one (type 1);
#     the service checks their signatures and shows them deciphered.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
seconds="${DEMO_SECONDS:-17}"

"$here/setup.sh"
"$here/configure.sh" win32 "$root/build/win32"

source "$here/wine_session.sh"

run="$root/demo-run"
rm -rf "$run" && mkdir -p "$run" && cd "$run"

bin="$root/build/win32/bin"
sim=(/usr/bin/python3 "$root/tools/gate_sim/gate_sim.py" --join-result 0 --match-start)

show_received() {
  [ -f "$1" ] || { echo "-- the simulator left no log ($1)"; return 0; }
  echo "-- what the simulator received (kind/subid, message, cipher)"
  /usr/bin/python3 - "$1" <<'PY'
import json, sys
for line in open(sys.argv[1], encoding="utf-8"):
    e = json.loads(line)
    if e.get("ev") != "recv":
        continue
    inner = e.get("inner")
    extra = ""
    if isinstance(inner, dict) and inner.get("msg"):
        extra = "  carrying %s/%s %s" % (inner.get("kind"), inner.get("subid"), inner.get("msg"))
    print("  %s/%s %-24s %-6s%s" % (e.get("kind"), e.get("subid"), e.get("msg", "?"),
                                    e.get("cipher", ""), extra))
PY
}

status=0
export PYTHONDONTWRITEBYTECODE=1

echo "== 1. the gate session (gate_host.exe, ${seconds} s) against tools/gate_sim"
mkdir -p session && cd session
"${sim[@]}" --log sim.jsonl -- \
  "$here/wine_run.sh" "$bin/gate_host.exe" --seconds "$seconds" --account demo || status=1
show_received sim.jsonl
cd ..

echo
echo "== 2. the lobby through Quorrel.dll's hall sink (hall_host.exe) against tools/gate_sim"
mkdir -p hall && cd hall
"${sim[@]}" --log sim.jsonl --script "$root/tools/hall_host/hall_service.script" -- \
  "$here/wine_run.sh" "$bin/hall_host.exe" --record hall_calls.txt || status=1
show_received sim.jsonl
cd ..

echo
echo "== 3. the match round trip: two games launched, commands both ways over shared memory, exit to the lobby"
"$root/tools/hall_host/match_round_trip.sh" "$bin" "$root/build/win32/tools/sample_game/sample_game.exe" \
  "$run/match" 2>&1 | grep -v '^CALL SendSocketData' || status=1
show_received "$run/match/sim.jsonl"

echo
echo "== 4. diagnostics: velmo_host.exe loads VelmoPlatform.dll against tools/diag_service"
mkdir -p diag && cd diag
/usr/bin/python3 "$root/tools/diag_service/diag_service.py" \
  --config "$root/tools/diag_service/demo_config.json" --log diag.jsonl --show --reports 2 -- \
  "$here/wine_run.sh" "$bin/velmo_host.exe" --user 10001 --wait-stdin || status=1
/usr/bin/python3 - diag.jsonl <<'PY' || status=1
import json, sys
events = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
reports = [e for e in events if e.get("kind") == "report"]
print("-- what the service received")
for e in events:
    extra = ""
    if e["kind"] == "report":
        extra = " type=%s sign=%s json=%s" % (e["type"], "ok" if e["sign_ok"] else "WRONG",
                                              "ok" if e["json_ok"] else e.get("problems"))
    print("  %-4s %-31s %s%s" % (e["method"], e["path"], e["status"], extra))
sys.exit(0 if [r["type"] for r in reports[:2]] == [0, 1]
         and all(r["sign_ok"] and r["json_ok"] for r in reports) else 1)
PY
cd ..

echo
if [ "$status" -eq 0 ]; then echo "demo: logged in, kept the link, the lobby round trip came back, the match round trip ran both ways and the diagnostics reports arrived signed and deciphered"
else echo "demo: FAILED"; fi
exit "$status"
