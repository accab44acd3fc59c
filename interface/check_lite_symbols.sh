#!/bin/sh
# Checks that the bs.matchclient objects call into the protobuf runtime only
# through what libprotobuf-lite defines: the schema is LITE_RUNTIME, and a
# call into the full runtime would mean the lite option was lost.
# usage: check_lite_symbols.sh <nm> <libprotobuf-lite.so> <object>...
set -eu
nm="$1"; lite="$2"; shift 2
defined="$(mktemp)"; trap 'rm -f "$defined"' EXIT
"$nm" -D --defined-only "$lite" | awk '{print $NF}' | sort -u >"$defined"
status=0
for obj in "$@"; do
  # Undefined protobuf symbols; the bs.types code the schema imports is ours.
  for sym in $("$nm" -u "$obj" | awk '{print $NF}' | grep '_ZN.*6google8protobuf' | grep -v '2bs5types' | sort -u); do
    if ! grep -qxF "$sym" "$defined"; then
      echo "not in libprotobuf-lite: $sym" >&2
      status=1
    fi
  done
done
[ "$status" -eq 0 ] && echo "bs.matchclient needs only libprotobuf-lite"
exit "$status"
