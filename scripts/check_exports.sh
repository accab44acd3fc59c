#!/usr/bin/env bash
# Checks that a Windows DLL exports each given name exactly as written: no
# leading underscore, no @n stdcall suffix, no C++ mangling.
#   scripts/check_exports.sh <dll> <name>...
# Reads the export name table from `objdump -p` (i686-w64-mingw32-objdump,
# or $OBJDUMP). Exits 1 and names what is missing or decorated.
set -euo pipefail
dll="${1:?usage: check_exports.sh <dll> <name>...}"
shift
objdump="${OBJDUMP:-i686-w64-mingw32-objdump}"

# Lines of the table look like "	[   0] CreateJobAgent".
names="$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
         sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p')"

status=0
for want in "$@"; do
  if grep -qxF -- "$want" <<<"$names"; then
    echo "ok: $want"
  elif grep -qE -- "(^_?${want}(@[0-9]+)?$)|(^_Z.*${want})" <<<"$names"; then
    echo "decorated: $want as $(grep -E -- "${want}" <<<"$names" | head -n1)" >&2
    status=1
  else
    echo "missing: $want" >&2
    status=1
  fi
done
exit "$status"
