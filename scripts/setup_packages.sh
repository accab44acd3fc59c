#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: a second run on the same machine only checks.
#
# A package mirror can be out of step with its release file for hours (one
# index "has unexpected size ... Mirror sync in progress?"). Then:
#   - `apt-get update` is tried a few times with a pause; if it still fails,
#     the set-up goes on with the indexes it has, after one warning line that
#     names the index that failed;
#   - an install that then cannot resolve its versions (the two architectures'
#     candidates come from different suites) is tried once more with every
#     candidate taken from the release's own suite (`apt-get -t <codename>`),
#     so that amd64 and i386 agree. That option is given on the command line
#     only: nothing is written under /etc/apt for it, so nothing is left behind;
#   - when nothing works, the script ends with a short message naming the
#     index and the packages that failed, and what to do; apt's full output
#     stays in a log file it names.
# The only file this script adds under /etc/apt is its own deb-src entry
# (QUORREL_SRC_LIST); the system's own sources are never edited.
#
# Knobs (the set-up test sets them): Q_APT_TRIES (update tries, 3),
# Q_APT_PAUSE (seconds between them, 10), QUORREL_SRC_LIST, Q_APT_LOG.
set -euo pipefail

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

PKGS=(
  g++-mingw-w64-i686-posix mingw-w64-tools
  wine wine32:i386 xvfb xauth x11-apps imagemagick
  g++-mingw-w64-x86-64-posix wine64
  cmake make ninja-build g++ pkg-config
  protobuf-compiler libprotobuf-dev libevent-dev libjsoncpp-dev libpcre2-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev libssl-dev
  python3-protobuf python3-pycryptodome
  dpkg-dev locales fonts-wqy-microhei
  clang libclang-rt-14-dev
)

tries="${Q_APT_TRIES:-3}"
pause="${Q_APT_PAUSE:-10}"
SRC_LIST="${QUORREL_SRC_LIST:-/etc/apt/sources.list.d/quorrel-deb-src.sources}"
log="${Q_APT_LOG:-${TMPDIR:-/tmp}/quorrel-apt.log}"

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done

need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  need_update=1
fi

if [ ! -f "$SRC_LIST" ]; then
  # A sources file of our own for the source packages; debian.sources stays untouched.
  $SUDO tee "$SRC_LIST" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  need_update=1
fi

# The indexes of the last failed update, one per line ("bookworm-security/main
# i386 Packages"), or the whole error when apt named none.
failed_indexes() {
  local idx
  idx="$(sed -n 's/^Err:[0-9]* [^ ]* \(.*\)$/\1/p' "$log" | sort -u)"
  [ -n "$idx" ] || idx="$(grep -m1 '^E: ' "$log" | cut -c4- || true)"
  printf '%s\n' "${idx:-unknown}"
}

# The packages a failed install named: those whose dependencies could not be
# met, those apt could not find or had no candidate for.
failed_packages() {
  {
    sed -n 's/^ *\([^ ]*\) : Depends:.*/\1/p' "$1"
    sed -n "s/^E: Unable to locate package \(.*\)$/\1/p; s/^E: Package '\([^']*\)' has no installation candidate.*/\1/p" "$1"
  } | sort -u | tr '\n' ' '
}

give_up() {  # give_up <what failed> <what to do>
  {
    echo
    echo "setup: $1"
    [ -z "$update_failed" ] || echo "setup: apt-get update could not fetch: $(failed_indexes | paste -sd ';' | sed 's/;/; /g')"
    echo "setup: $2"
    echo "setup: apt's full output is in $log"
  } >&2
  exit 1
}

update_failed=""
apt_update() {
  local i
  for ((i = 1; i <= tries; i++)); do
    if $SUDO apt-get update -q >"$log" 2>&1; then
      update_failed=""
      return 0
    fi
    update_failed=1
    [ "$i" -lt "$tries" ] && sleep "$pause"
  done
  echo "warning: apt-get update failed $tries times (index: $(failed_indexes | paste -sd ';' | sed 's/;/; /g')); going on with the indexes it has" >&2
}

apt_install() {  # apt_install <log> [apt-get options...] -- packages
  local out="$1"
  shift
  $SUDO apt-get install -y -q --no-install-recommends "$@" >"$out" 2>&1
}

if [ "${#missing[@]}" -gt 0 ] || [ "$need_update" -eq 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt_update
  if [ "${#missing[@]}" -gt 0 ]; then
    first="$log.install"
    if ! apt_install "$first" "${missing[@]}"; then
      codename="$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")"
      codename="${codename:-bookworm}"
      second="$log.install-$codename"
      echo "warning: installing failed ($(failed_packages "$first")); trying once more with every package from $codename's own suite" >&2
      if ! apt_install "$second" -t "$codename" "${missing[@]}"; then
        cat "$first" "$second" >>"$log"
        pk="$(failed_packages "$second")"
        rm -f "$first" "$second"
        give_up "could not install the packages the build needs (${pk:-see the log}), neither as they came nor all from $codename's own suite" \
          "the package mirror may be in the middle of a sync: run this command again in an hour, or point /etc/apt at another Debian mirror"
      fi
      cat "$first" "$second" >>"$log"
    else
      cat "$first" >>"$log"
    fi
    rm -f "$log.install" "$log.install-"*
  fi
fi

# zh_CN.UTF-8 gives Wine the ANSI code page 936 of the platform's users.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  $SUDO sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
