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
# After each, what the simulator received, deciphered.
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
# -- the launcher (Halvora.exe on Korvel.dll) ------------------------------
echo "== 2. the launcher Halvora.exe: the lobby and the match round trip against tools/gate_sim"
shot="$root/build/win32/demo/lobby.png"
mkdir -p "$(dirname "$shot")"
# Body hex cut at 64 digits for the screen; the lobby window shows all of it.
"$root/launcher/e2e/run_round_trip.sh" "$bin" "$root/build/win32/tools/sample_game/sample_game.exe" \
  "$run/launcher" "$shot" 2>&1 | sed -E 's/(hex=[0-9a-f]{64})[0-9a-f]+/\1.../' || status=1
show_received "$run/launcher/sim.jsonl"
[ -s "$shot" ] && echo "-- the lobby window: $shot"
# -- end of the launcher ---------------------------------------------------

echo
if [ "$status" -eq 0 ]; then echo "demo: logged in, kept the link, and the launcher ran the lobby and the match round trip both ways"
else echo "demo: FAILED"; fi
exit "$status"
