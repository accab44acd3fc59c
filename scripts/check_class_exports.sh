#!/usr/bin/env bash
# Checks that a Windows DLL that exports whole classes exports every member
# named in a list file: one demangled name a line ("CLog::Log(CString)",
# "vtable for CLog"); lines starting with # are comments.
#   scripts/check_class_exports.sh <dll> <list file>
# Reads the export name table from `objdump -p` (i686-w64-mingw32-objdump, or
# $OBJDUMP) and demangles it with c++filt. Exits 1 and names what is missing.
set -euo pipefail
dll="${1:?usage: check_class_exports.sh <dll> <list file>}"
list="${2:?usage: check_class_exports.sh <dll> <list file>}"
objdump="${OBJDUMP:-i686-w64-mingw32-objdump}"
cxxfilt="${CXXFILT:-i686-w64-mingw32-c++filt}"
command -v "$cxxfilt" >/dev/null || cxxfilt=c++filt

# Lines of the table look like "	[   0] _ZN4CLog3LogE7CString".
names="$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
         sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | "$cxxfilt" -n)"

status=0
count=0
while IFS= read -r want; do
  case "$want" in ''|'#'*) continue ;; esac
  count=$((count + 1))
  if ! grep -qxF -- "$want" <<<"$names"; then
    echo "missing: $want" >&2
    status=1
  fi
done <"$list"
[ "$status" = 0 ] && echo "ok: $count members exported by $(basename "$dll")"
exit "$status"
