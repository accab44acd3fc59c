#!/usr/bin/env bash
# The package set-up against a mirror out of step, without the network: fake
# apt-get, dpkg-query, dpkg, locale and sudo on PATH. apt-get update fails with
# exit code 100 on the security suite's i386 index (as a mirror in sync does);
# the plain install fails on versions it cannot resolve, and the install from
# the release's own suite (-t <codename>) works or fails as the case says.
#   scripts/setup_packages_test.sh [script under test]
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
script="${1:-$here/setup_packages.sh}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fails=0

mkdir -p "$work/bin"
cat >"$work/bin/apt-get" <<'FAKE'
#!/usr/bin/env bash
echo "apt-get $*" >>"$FAKE_CALLS"
case " $* " in
  *" update "*)
    n=$(($(cat "$FAKE_STATE/updates" 2>/dev/null || echo 0) + 1))
    echo "$n" >"$FAKE_STATE/updates"
    if [ "$n" -le "$FAKE_UPDATE_FAILURES" ]; then
      echo "Get:1 http://deb.debian.org/debian bookworm InRelease [151 kB]"
      echo "Err:8 http://deb.debian.org/debian-security bookworm-security/main i386 Packages"
      echo "  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]"
      echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
      exit 100
    fi
    echo "Reading package lists..."; exit 0 ;;
  *" install "*)
    if [ "$FAKE_INSTALL" = plain ] || { [ "$FAKE_INSTALL" = release ] && [[ " $* " == *" -t bookworm "* ]]; }; then
      echo "Setting up wine32:i386 (8.0~repack-4) ..."; exit 0
    fi
    for i in $(seq 40); do echo "Reading state information... line $i"; done
    echo "The following packages have unmet dependencies:"
    echo " libxml2:i386 : Depends: liblzma5:i386 (>= 5.1.1alpha+20120614) but it is not going to be installed"
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100 ;;
esac
exit 0
FAKE
cat >"$work/bin/dpkg-query" <<'FAKE'
#!/usr/bin/env bash
exit 1
FAKE
cat >"$work/bin/dpkg" <<'FAKE'
#!/usr/bin/env bash
[ "$1" = --print-foreign-architectures ] && echo i386
exit 0
FAKE
cat >"$work/bin/locale" <<'FAKE'
#!/usr/bin/env bash
echo zh_CN.utf8
FAKE
cat >"$work/bin/sudo" <<'FAKE'
#!/usr/bin/env bash
exec "$@"
FAKE
chmod +x "$work/bin/"*

# run_case <name> <update failures> <plain|release|never> <expected exit: 0 or nonzero>
run_case() {
  local name="$1" dir="$work/$1" rc
  mkdir -p "$dir/state"
  : >"$dir/calls"
  PATH="$work/bin:$PATH" FAKE_CALLS="$dir/calls" FAKE_STATE="$dir/state" \
    FAKE_UPDATE_FAILURES="$2" FAKE_INSTALL="$3" \
    Q_APT_TRIES=3 Q_APT_PAUSE=0 QUORREL_SRC_LIST="$dir/deb-src.sources" Q_APT_LOG="$dir/apt.log" \
    TMPDIR="$dir" bash "$script" >"$dir/out" 2>"$dir/err"
  rc=$?
  if { [ "$4" = 0 ] && [ "$rc" -ne 0 ]; } || { [ "$4" != 0 ] && [ "$rc" -eq 0 ]; }; then
    echo "FAIL $name: exit $rc, expected $4"; sed 's/^/  | /' "$dir/err" | head -20; fails=$((fails + 1)); return 1
  fi
  return 0
}

expect() {  # expect <case> <description> <command...>
  local name="$1" what="$2"
  shift 2
  if ! "$@"; then
    echo "FAIL $name: $what"; sed 's/^/  | /' "$work/$name/err" | head -20; fails=$((fails + 1))
  fi
}

# The mirror stays out of step for the whole set-up; the install from the
# release's own suite resolves.
if run_case mirror_out_of_step 99 release 0; then
  c="$work/mirror_out_of_step"
  expect mirror_out_of_step "update tried 3 times" test "$(grep -c ' update' "$c/calls")" -eq 3
  expect mirror_out_of_step "one warning line naming the index" \
    test "$(grep -c 'warning: apt-get update.*bookworm-security/main i386 Packages' "$c/err")" -eq 1
  expect mirror_out_of_step "second install takes every package from bookworm" grep -q 'install .*-t bookworm' "$c/calls"
  expect mirror_out_of_step "our deb-src entry written" test -f "$c/deb-src.sources"
fi

# The mirror settles on the second try: no warning, one plain install.
if run_case mirror_settles 1 plain 0; then
  c="$work/mirror_settles"
  expect mirror_settles "update tried twice" test "$(grep -c ' update' "$c/calls")" -eq 2
  expect mirror_settles "no warning" bash -c "! grep -q warning '$c/err'"
  expect mirror_settles "one install, as it came" test "$(grep -c ' install ' "$c/calls")" -eq 1
fi

# Nothing helps: a short message naming the index and the package, and the log.
if run_case nothing_helps 99 never 1; then
  c="$work/nothing_helps"
  expect nothing_helps "names the failed index" grep -q 'could not fetch: bookworm-security/main i386 Packages' "$c/err"
  expect nothing_helps "names the package" grep -q 'libxml2:i386' "$c/err"
  expect nothing_helps "says what to do" grep -q 'run this command again' "$c/err"
  expect nothing_helps "no page of apt output" test "$(wc -l <"$c/err")" -le 10
  expect nothing_helps "apt's output kept in the log" grep -q 'held broken packages' "$c/apt.log"
fi

if [ "$fails" -eq 0 ]; then echo "setup_packages: all cases passed"; else echo "setup_packages: $fails check(s) failed"; fi
[ "$fails" -eq 0 ]
