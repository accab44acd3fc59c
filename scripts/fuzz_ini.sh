#!/usr/bin/env bash
# Builds the INI reader's libFuzzer target with clang (native, address and
# undefined-behaviour sanitizers) and runs it for a bounded time.
#   scripts/fuzz_ini.sh [seconds]   (default 60)
# Exits non-zero on a crash, a hang, a sanitizer report or a broken property;
# the failing input is left in build/fuzz-ini/.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
secs="${1:-60}"
cxx="${FUZZ_CXX:-clang++}"
out="$root/build/fuzz-ini"
seeds="$root/netcore/fuzz/ini_corpus"
mkdir -p "$out/corpus"

"$cxx" -std=c++17 -g -O1 -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$root/netcore" \
  "$root/netcore/fuzz/ini_file_fuzz.cpp" \
  "$root/netcore/ini_file.cpp" "$root/netcore/config_item.cpp" "$root/netcore/program_config_load.cpp" \
  -o "$out/ini_file_fuzz"

# New inputs go to the working corpus under build/; the committed seeds are
# only read.
cd "$out"
exec ./ini_file_fuzz -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
  -dict="$root/netcore/fuzz/ini.dict" -artifact_prefix="$out/" -print_final_stats=1 \
  "$out/corpus" "$seeds"
