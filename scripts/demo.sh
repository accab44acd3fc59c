#!/usr/bin/env bash
# The demo: set-up, the Windows build, then the system end to end under
# Wine against the gate simulator in tools/gate_sim:
#  1. gate_host starts the gate session: connect, hello, session key,
#     enciphered login, pulses; prints the client's log.
#  2. the launcher: Halvora.exe on Korvel.dll (our stand-in of the lobby frame
#     library) in its script mode loads Quorrel.dll, binds its hall sink and
#     plays the lobby: user info and fund, enter room (the six start-up
#     requests), sign up; the match starts and a second one too, each game
#     (tools/sample_game as "pellory") launches, commands flow both ways over
#     the shared-memory channel through a link loss and a new link; one game
#     exits with code 7, the lobby hears both register and end, close game
#     kills the other and stops the gate client. Prints every block the
#     lobby received and saves a picture of the lobby window.
#  After each, what the simulator received, deciphered.
#  3. diagnostics: velmo_host loads VelmoPlatform.dll, which fetches its
#     configuration from tools/diag_service, samples the machine and the
#     network and posts a full report (type 0) and a periodic one (type 1);
#     the service checks their signatures and shows them deciphered.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
seconds="${DEMO_SECONDS:-17}"

"$here/setup.sh"
if ! no_i386="$("$here/runs_i386.sh")"; then
  echo "demo: $no_i386. The demo runs the shipped 32-bit binaries and needs a machine that can." >&2
  exit 1
fi
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
# -- the launcher (Halvora.exe on Korvel.dll) ------------------------------
echo "== 2. the launcher Halvora.exe: the lobby and the match round trip against tools/gate_sim"
shot="$root/build/win32/demo/lobby.png"
mkdir -p "$(dirname "$shot")"
# Body hex cut at 64 digits for the screen; the lobby window shows all of it.
"$root/tests/e2e/run_round_trip.sh" "$bin" "$root/build/win32/tools/sample_game/sample_game.exe" \
  "$run/launcher" "$shot" 2>&1 | sed -E 's/(hex=[0-9a-f]{64})[0-9a-f]+/\1.../' || status=1
show_received "$run/launcher/sim.jsonl"
[ -s "$shot" ] && echo "-- the lobby window: $shot"
# -- end of the launcher ---------------------------------------------------

echo
# -- the diagnostics (VelmoPlatform.dll) -----------------------------------
echo "== 3. diagnostics: velmo_host.exe loads VelmoPlatform.dll against tools/diag_service"
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
# -- end of the diagnostics ------------------------------------------------

echo
if [ "$status" -eq 0 ]; then echo "demo: logged in, kept the link, the launcher ran the lobby and the match round trip both ways, and the diagnostics reports arrived signed and deciphered"
else echo "demo: FAILED"; fi
exit "$status"
