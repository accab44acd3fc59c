#!/usr/bin/env bash
# The release of the Windows tree (cmake/q_install.cmake), from a fresh
# `cmake --install` into <work dir>/release:
#   - bin/ holds the four deliverables and the three runtime DLLs, no more;
#   - each deliverable carries no debug section and is under a third of its
#     built size; its .gnu_debuglink names debug/<name>.debug with that
#     file's CRC-32, and that file holds the debug information;
#   - under Wine, in a folder with only the release and the check programs:
#     the installed Quorrel.dll loads and works through its exports
#     (quorrel_load_check), and a module built on the installed Zintal.dll
#     runs on the installed runtime DLLs (zintal_module_test).
#   check_release.sh <cmake> <win32 tree> <work dir> <quorrel_load_check.exe> <zintal_module_test.exe>
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
cmake="$1"; tree="$2"; work="$3"; load_check="$4"; module_test="$5"
objdump="${OBJDUMP:-i686-w64-mingw32-objdump}"
objcopy="${OBJCOPY:-i686-w64-mingw32-objcopy}"

rm -rf "$work" && mkdir -p "$work" && cd "$work"
"$cmake" --install "$tree" --prefix "$work/release"

fail() { echo "release: FAILED: $*" >&2; exit 1; }
ship="Quorrel.dll Halvora.exe VelmoPlatform.dll Zintal.dll"
runtime="libgcc_s_dw2-1.dll libstdc++-6.dll libwinpthread-1.dll"
got="$(ls release/bin | sort)"
want="$(printf '%s\n' $ship $runtime | sort)"
[ "$got" = "$want" ] || fail "release/bin holds $(echo $got), not $(echo $want)"

for f in $ship; do
  built="$tree/bin/$f" inst="release/bin/$f" dbg="release/debug/$f.debug"
  if "$objdump" -h "$inst" | grep -q ' \.debug_'; then fail "$f still carries debug sections"; fi
  "$objdump" -h "$dbg" | grep -q ' \.debug_info' || fail "$dbg holds no debug information"
  b=$(stat -c %s "$built") i=$(stat -c %s "$inst")
  [ $((i * 3)) -lt "$b" ] || fail "$f is $i bytes installed, $b built"
  "$objcopy" --dump-section .gnu_debuglink=link.bin "$inst" stripped.tmp ||
    fail "$f has no .gnu_debuglink"
  # The section: the file name, NUL-padded to a multiple of 4, then the
  # CRC-32 of the file, little-endian.
  /usr/bin/python3 - link.bin "$dbg" "$f.debug" <<'PY' || fail "$f's debug link is wrong"
import struct, sys, zlib
link, dbg, want = open(sys.argv[1], "rb").read(), sys.argv[2], sys.argv[3]
name = link.split(b"\0", 1)[0].decode()
crc = struct.unpack("<I", link[-4:])[0]
real = zlib.crc32(open(dbg, "rb").read()) & 0xFFFFFFFF
print("  link %s crc %08x (file %08x)" % (name, crc, real))
sys.exit(0 if name == want and crc == real else 1)
PY
  rm -f link.bin stripped.tmp
  echo "release: $f $b -> $i bytes; debug information in debug/$f.debug"
done

mkdir run && cp release/bin/* "$load_check" "$module_test" run/ && cd run
"$root/scripts/wine_run.sh" ./quorrel_load_check.exe Quorrel.dll ||
  fail "the installed Quorrel.dll did not work"
"$root/scripts/wine_run.sh" ./zintal_module_test.exe --gtest_color=no ||
  fail "a module did not run on the installed Zintal.dll and runtime DLLs"
echo "release: ok"
