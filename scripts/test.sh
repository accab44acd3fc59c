#!/usr/bin/env bash
# The test command: set-up, then the Windows tree (tests under Wine) and the
# native trees (ASan+UBSan, TSan) built and tested. Exits non-zero on any failure.
# On a machine that cannot execute 32-bit programs the Windows tests run from
# the 64-bit test tree under 64-bit Wine (below).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
cd "$root"

"$here/setup.sh"

trees=(win32 asan tsan)
# The Windows tree's tests are Windows programs, run under 32-bit Wine. A
# machine that cannot execute 32-bit programs cannot run them at all: there
# the shipped tree is still built (every binary compiles and links), and
# the Windows tests run from the win64 test tree instead, the same sources
# built for x86_64 under 64-bit Wine (nothing from it ships). The summary
# says so.
win_note=""
if ! no_i386="$("$here/runs_i386.sh")"; then
  trees=(win32 win64 asan tsan)
  win_note="win32: built; its tests under Wine NOT RUN here ($no_i386); the Windows tests ran from the win64 test tree"
fi
for t in "${trees[@]}"; do
  echo "== building $t"
  "$here/configure.sh" "$t" "$root/build/$t"
done

status=0
summary=""
if [ -n "$win_note" ]; then
  echo "== $win_note"
  summary+="$win_note"$'\n'
  export Q_WIN_ARCH=x86_64
fi
source "$here/wine_session.sh"

for t in "${trees[@]}"; do
  echo "== testing $t"
  log="$root/build/$t/ctest-summary.log"
  runner=()
  # ThreadSanitizer needs the fixed memory layout that some kernels' ASLR breaks.
  if [ "$t" = tsan ]; then runner=(setarch "$(uname -m)" -R); fi
  opts=(-j 8)
  # Wine now and then leaves a finished test process hanging at exit (all its
  # tests reported passed); such a run is repeated once. A test that fails or
  # hangs twice still fails.
  case "$t" in win32|win64) opts=(-j 4 --repeat after-timeout:2) ;; esac
  # Without 32-bit Wine, the shipped tree's checks that run no Windows
  # program (export and import tables) still run.
  only=""
  if [ "$t" = win32 ] && [ -n "$win_note" ]; then opts+=(-L host); only=" (checks without Wine)"; fi
  if "${runner[@]}" ctest --test-dir "$root/build/$t" --output-on-failure "${opts[@]}" 2>&1 | tee "$log"; then :; else status=1; fi
  grep -q 'tests passed' "$log" || status=1
  summary+="$t$only: $(grep -E 'tests passed|No tests were found' "$log" | tail -n1)"$'\n'
done

echo "== fuzzing every parser"
# Q_FUZZ_SECONDS sets each target's time; by default the targets share about
# five minutes (scripts/fuzz.sh).
if "$here/fuzz.sh" all "${Q_FUZZ_SECONDS:-}"; then summary+="fuzz: every target clean"$'\n'
else status=1; summary+="fuzz: a target FAILED"$'\n'; fi

echo
echo "== summary"
printf '%s' "$summary"
exit "$status"
