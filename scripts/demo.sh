#!/usr/bin/env bash
# The demo: set-up, the Windows build, then the gate client end to end under
# Wine against the gate simulator in tools/gate_sim: connect, hello, session
# key, enciphered login, pulses. Prints what the client logged and what the
# simulator received, deciphered.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
seconds="${DEMO_SECONDS:-20}"

"$here/setup.sh"
"$here/configure.sh" win32 "$root/build/win32"

export WINEPREFIX="$root/.cache/wineprefix" WINEARCH=win32 WINEDEBUG=-all
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
# The first program of a Wine session can hang at its exit while the prefix's
# own start-up finishes; let a throw-away one take that.
timeout 60 "$here/wine_run.sh" cmd /c exit >/dev/null 2>&1 || true

run="$root/demo-run"
rm -rf "$run" && mkdir -p "$run" && cd "$run"

bin="$root/build/win32/bin"
sim=(/usr/bin/python3 "$root/tools/gate_sim/gate_sim.py" --log sim.jsonl
     --join-result 0 --match-start)

echo "== the gate client (gate_host.exe, ${seconds} s) against tools/gate_sim"
status=0
PYTHONDONTWRITEBYTECODE=1 "${sim[@]}" -- \
  "$here/wine_run.sh" "$bin/gate_host.exe" --seconds "$seconds" --account demo || status=$?

echo
echo "== what the simulator received (kind/subid, message, cipher)"
/usr/bin/python3 - sim.jsonl <<'PY'
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
echo
if [ "$status" -eq 0 ]; then echo "demo: logged in and kept the link"; else echo "demo: FAILED ($status)"; fi
exit "$status"
