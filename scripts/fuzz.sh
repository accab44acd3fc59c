#!/usr/bin/env bash
# Builds the fuzz tree (clang, libFuzzer, ASan+UBSan) and runs fuzz targets
# for a bounded time each:
#   scripts/fuzz.sh <target|all> [seconds]   (default 30 each)
# A target is a <name>_fuzz.cpp file beside the code it drives; its committed
# seeds are fuzz_corpus/<name>_fuzz/ (only read) and an optional dictionary
# fuzz_corpus/<name>_fuzz.dict. New inputs go to build/fuzz/corpus/<name>/.
# Exits non-zero on a crash, a hang, a sanitizer report or a broken property;
# the failing input is left in build/fuzz/artifacts/<name>/.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
which="${1:?target name or all}"
secs="${2:-30}"
bdir="$root/build/fuzz"

"$here/configure.sh" fuzz "$bdir" >/dev/null

status=0
found=0
while IFS='|' read -r name seeds; do
  [ -n "$name" ] || continue
  [ "$which" = all ] || [ "$which" = "$name" ] || continue
  found=1
  work="$bdir/corpus/$name"
  arts="$bdir/artifacts/$name"
  mkdir -p "$work" "$arts"
  opts=(-max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -max_len=8192
        -artifact_prefix="$arts/" -print_final_stats=1)
  [ -f "$seeds.dict" ] && opts+=(-dict="$seeds.dict")
  dirs=("$work")
  [ -d "$seeds" ] && dirs+=("$seeds")
  echo "== fuzzing $name for ${secs}s"
  exe="$(find "$bdir" -name "$name" -type f -perm -u+x | head -n1)"
  if (cd "$work" && "$exe" "${opts[@]}" "${dirs[@]}") >"$bdir/$name.log" 2>&1; then
    echo "$name: clean ($(grep -m1 -oE 'stat::number_of_executed_units: *[0-9]+' "$bdir/$name.log" | grep -oE '[0-9]+$') runs)"
  else
    status=1
    echo "$name: FAILED (log: $bdir/$name.log)"
    tail -n 40 "$bdir/$name.log"
  fi
done < "$bdir/fuzz_targets.txt"
[ "$found" = 1 ] || { echo "no fuzz target named $which" >&2; exit 2; }
exit "$status"
