#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: a second run on the same machine only checks.
set -euo pipefail

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

PKGS=(
  g++-mingw-w64-i686-posix mingw-w64-tools
  wine wine32:i386 xvfb x11-apps imagemagick
  cmake make ninja-build g++ pkg-config
  protobuf-compiler libprotobuf-dev libevent-dev libjsoncpp-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev libssl-dev
  python3-protobuf python3-pycryptodome
  dpkg-dev locales fonts-wqy-microhei
  clang libclang-rt-14-dev
)

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done

need_src=0
SRC_LIST=/etc/apt/sources.list.d/quorrel-deb-src.sources
[ -f "$SRC_LIST" ] || need_src=1

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  need_update=1
fi

if [ "$need_src" -eq 1 ]; then
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

if [ "${#missing[@]}" -gt 0 ] || [ "${need_update:-0}" -eq 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  if [ "${#missing[@]}" -gt 0 ]; then
    $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
fi

# zh_CN.UTF-8 gives Wine the ANSI code page 936 of the platform's users.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  $SUDO sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
