#!/usr/bin/env bash
# Configures and builds one tree: scripts/configure.sh <win32|asan|tsan|release> [build dir]
#   win32    the Windows tree (mingw-w64 i686; tests run under Wine)
#   win64    a Windows TEST tree, nothing from it ships: the same sources for
#            x86_64 (mingw-w64), tests under 64-bit Wine, for machines whose
#            kernel runs no 32-bit programs (scripts/wine_session.sh with Q_WIN_ARCH=x86_64)
#   asan     native, AddressSanitizer + UndefinedBehaviorSanitizer
#   tsan     native, ThreadSanitizer
#   release  native, optimised, with the benchmarks
#   fuzz     native clang, the libFuzzer targets (*_fuzz.cpp) under ASan+UBSan
# Expects scripts/setup.sh to have run.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
kind="${1:?win32|win64|asan|tsan|release|fuzz}"
bdir="${2:-$root/build/$kind}"
jobs="$(nproc)"

args=(-G Ninja -S "$root" -B "$bdir")
case "$kind" in
  win32)
    prefix="$("$here/build_deps_win32.sh" i686 | tail -n1)"
    args+=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" -DQ_DEPS_PREFIX="$prefix"
           -DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  win64)
    prefix="$("$here/build_deps_win32.sh" x86_64 | tail -n1)"
    args+=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake" -DQ_DEPS_PREFIX="$prefix"
           -DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan)    args+=(-DQ_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug -DQ_BUILD_BENCH=ON) ;;
  tsan)    args+=(-DQ_SANITIZE=thread -DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  release) args+=(-DCMAKE_BUILD_TYPE=Release -DQ_BUILD_BENCH=ON) ;;
  fuzz)    args+=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQ_FUZZ=ON
                  -DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  *) echo "unknown tree: $kind" >&2; exit 2 ;;
esac
cmake "${args[@]}" >/dev/null
cmake --build "$bdir" -j "$jobs"
