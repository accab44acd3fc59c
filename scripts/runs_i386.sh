#!/usr/bin/env bash
# Exits 0 when this machine can execute 32-bit x86 Linux programs, which
# 32-bit Wine is; otherwise prints why on one line and exits 1. Some VM
# kernels run without 32-bit emulation ("32-bit emulation disabled" in the
# kernel log): every 32-bit program, Wine's loader included, then fails to
# start with "Exec format error", and only 64-bit Wine runs there.
# The probe is the 32-bit dynamic loader that wine32:i386 brings in; before
# the packages are installed it cannot tell, and says yes.
set -u
probe=/lib/ld-linux.so.2
[ -e "$probe" ] || exit 0
out="$("$probe" --version 2>&1 >/dev/null)"
rc=$?
[ "$rc" -eq 0 ] && exit 0
# Only the kernel's refusal counts as "cannot"; anything else is a broken
# install, which the Wine steps after this report better than a guess here.
case "$out" in
  *"Exec format error"*)
    echo "this machine cannot execute 32-bit x86 programs (its kernel runs without 32-bit emulation), so 32-bit Wine cannot run here"
    exit 1 ;;
esac
exit 0
