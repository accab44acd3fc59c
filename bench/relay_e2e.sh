#!/usr/bin/env bash
# The relay benchmark under Wine, end to end through the real Quorrel.dll:
# tools/hall_host signs up through the gate simulator, whose match start
# launches tools/sample_game (installed as "pellory"); bench/relay_e2e/driver.py
# then sends commands to the running game, which answers each at once, and
# times the round trips at the gate, then a burst of 100 in one frame; with a
# load it does the same again while that many shell busy loops run beside
# it (quiet and loaded alternate for each round, and the medians are printed
# side by side). Each round also times the same round trips through a second
# simulator whose peer answers in place of the client (echo_peer.py): the
# driver's and the simulator's own cost. Then the idle CPU of the client and
# the game over a quiet spell. Last the Wine floor of the same hops
# (../shared/bench/wine_floor/run.sh from the repository root, bare Win32
# programs: variant A with a blocking socket thread, E with a select loop
# woken through a socket pair as libevent's, C the shared-memory ping-pong
# alone) runs as many passes, quiet and loaded, and each relay figure is
# printed beside floor E and A with their ratio.
#   bench/relay_e2e.sh [--load N] [--rounds R] [--no-floor] [--trace]
#                      [round trips (1000)] [idle seconds (10)] [win32 build dir]
# --load: busy loops of the loaded run (default half the cores; 0: quiet only).
# --rounds: quiet/loaded pairs to run (default 3), and passes of the floor.
# --trace: build and run a tree with the hop trace (netcore/port/hop_trace.h,
#   build/win32-trace by default) and print the time of each hop of a round
#   trip through the client and the game (bench/relay_e2e/hop_trace.py),
#   quiet and loaded apart.
# On a machine that cannot execute 32-bit programs, the win64 test tree and
# a floor built for 64-bit Wine (relay_e2e/wine64_shim) are measured instead.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
load=$(( $(nproc) / 2 ))
rounds=3
floor=1
trace=0
while [ $# -gt 0 ]; do
  case "$1" in
    --load) load="$2"; shift 2 ;;
    --rounds) rounds="$2"; shift 2 ;;
    --no-floor) floor=0; shift ;;
    --trace) trace=1; shift ;;
    *) break ;;
  esac
done
trips="${1:-1000}"
idle="${2:-10}"
# On a machine that cannot execute 32-bit programs only 64-bit Wine runs:
# there the win64 test tree is measured, and the floor is built for 64-bit
# Wine the same way. Both sides then pay 64-bit Wine's costs, which the
# report says; they are not the shipped 32-bit binaries' figures.
arch=i686
tree=win32
floor_path=()
if ! no_i386="$("$root/scripts/runs_i386.sh")"; then
  arch=x86_64
  tree=win64
  floor_path=("PATH=$here/relay_e2e/wine64_shim:$PATH")
  echo "relay_e2e: $no_i386; measuring the win64 test tree and the floor under 64-bit Wine instead"
fi
if [ "$trace" = 1 ]; then
  bdir="${3:-$root/build/$tree-trace}"
  if [ ! -f "$bdir/CMakeCache.txt" ]; then
    prefix="$("$root/scripts/build_deps_win32.sh" "$arch" | tail -n1)"
    cmake -G Ninja -S "$root" -B "$bdir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
      -DQ_DEPS_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQ_HOP_TRACE=ON >/dev/null
  fi
else
  bdir="${3:-$root/build/$tree}"
  [ -d "$bdir" ] || "$root/scripts/configure.sh" "$tree" "$bdir" >/dev/null
fi
cmake --build "$bdir" -j 4 --target hall_host Quorrel sample_game >/dev/null
# On the 64-bit tree, the session and wine_run.sh run 64-bit Wine; the
# driver finds the client's and the game's processes by the prefix.
if [ "$arch" = x86_64 ]; then export Q_WIN_ARCH=x86_64; fi
source "$root/scripts/wine_session.sh"

work="$bdir/relay_e2e"
rm -rf "$work" && mkdir -p "$work" && cd "$work"
cp "$bdir/bin/hall_host.exe" "$bdir/bin/Quorrel.dll" .
cp "$(find "$bdir/tools/sample_game" -name sample_game.exe | head -n1)" pellory.exe

export PYTHONDONTWRITEBYTECODE=1
# The driver and simulator alone: a second simulator and the echo peer.
/usr/bin/python3 "$root/tools/gate_sim/gate_sim.py" --log echo_sim.jsonl \
  --control-port 0 --control-port-file echo_ctl.port -- \
  /usr/bin/python3 "$here/relay_e2e/echo_peer.py" >echo_sim.out 2>&1 &
echo_sim=$!
/usr/bin/python3 "$here/relay_e2e/driver.py" ctl.port "$work" "$trips" "$idle" "$load" "$rounds" \
  echo_ctl.port &
driver=$!
sim_trace=()
if [ "$trace" = 1 ]; then sim_trace=(Q_SIM_HOP_TRACE="$work/hop_trace_sim.txt"); fi
env "${sim_trace[@]}" /usr/bin/python3 "$root/tools/gate_sim/gate_sim.py" --log sim.jsonl --join-result 0 --match-start \
  --script "$root/tests/e2e/hall_service.script" \
  --control-port 0 --control-port-file ctl.port -- \
  "$root/scripts/wine_run.sh" "$work/hall_host.exe" \
  --script "$here/relay_e2e/lobby.script" --record hall_calls.txt >sim.out 2>&1 || {
  echo "relay_e2e: the client run failed (see $work/sim.out)" >&2
  kill "$driver" "$echo_sim" 2>/dev/null || true
  exit 1
}
wait "$driver"
wait "$echo_sim" || true

if [ "$trace" = 1 ]; then
  # The game writes its notes when it exits; give it the moment.
  for _ in $(seq 50); do [ "$(ls hop_trace_*.txt 2>/dev/null | wc -l)" -ge 3 ] && break; sleep 0.1; done
  echo "relay_e2e: hops, quiet"
  /usr/bin/python3 "$here/relay_e2e/hop_trace.py" trips.txt hop_trace_*.txt
  if [ -s trips_loaded.txt ]; then
    echo "relay_e2e: hops, with $load busy loop(s)"
    /usr/bin/python3 "$here/relay_e2e/hop_trace.py" trips_loaded.txt hop_trace_*.txt
  fi
fi

floor_sh="$root/../shared/bench/wine_floor/run.sh"
if [ "$floor" = 1 ] && [ -f "$floor_sh" ]; then
  echo "relay_e2e: the Wine floor, $rounds pass(es) quiet and with $load busy loop(s) ($floor_sh)"
  env "${floor_path[@]}" WORK="$(dirname "$bdir")/wine_floor-$arch" N="$trips" REPS="$rounds" LOAD="$load" \
    SETTLE=2 bash "$floor_sh" >floor.txt 2>&1 || echo "relay_e2e: the floor run failed (see $work/floor.txt)" >&2
  grep -E '^(A|E|C)/' floor.txt | sed 's/^/relay_e2e: floor /' || true
  /usr/bin/python3 "$here/relay_e2e/driver.py" report results.json floor.txt
fi
