#!/usr/bin/env bash
# Builds the Windows (i686 mingw-w64) static libraries of the third-party
# dependencies from Debian's own source packages, into a cache keyed by the
# versions, so that a second run only checks: libprotobuf(-lite) 3.21.12,
# libevent 2.1.12, jsoncpp 1.9.5, PCRE2 10.42 (8-bit, no JIT) and GoogleTest
# from /usr/src/googletest.
#
#   scripts/build_deps_win32.sh [i686|x86_64]   (or Q_WIN_ARCH=x86_64)
# i686, the default, is the shipped tree's; x86_64 builds the same libraries
# for the 64-bit test tree (scripts/configure.sh win64) into a cache of its own.
#
# Prints the install prefix on its last line.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
arch="${1:-${Q_WIN_ARCH:-i686}}"
case "$arch" in
  i686)   cache="$root/.cache/deps-win32" ;;
  x86_64) cache="$root/.cache/deps-win64" ;;
  *) echo "unknown Windows architecture: $arch (i686 or x86_64)" >&2; exit 2 ;;
esac

PROTOBUF_VER=3.21.12
LIBEVENT_VER=2.1.12
JSONCPP_VER=1.9.5
PCRE2_VER=10.42
GTEST_VER="$(dpkg-query -W -f='${Version}' googletest 2>/dev/null || echo unknown)"
KEY="pb${PROTOBUF_VER}-ev${LIBEVENT_VER}-jc${JSONCPP_VER}-pc${PCRE2_VER}-gt${GTEST_VER//[:~+]/_}"

prefix="$cache/$KEY"
stamp="$prefix/.complete"
if [ -f "$stamp" ]; then
  echo "$prefix"
  exit 0
fi

work="$cache/work-$KEY"
rm -rf "$work" "$prefix"
mkdir -p "$work" "$prefix"
jobs="$(nproc)"
toolchain="$root/cmake/toolchain-mingw-$arch.cmake"

common=(
  -G Ninja
  -DCMAKE_TOOLCHAIN_FILE="$toolchain"
  -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_INSTALL_PREFIX="$prefix"
  -DBUILD_SHARED_LIBS=OFF
  -DCMAKE_POSITION_INDEPENDENT_CODE=OFF
  -DCMAKE_CROSSCOMPILING_EMULATOR=
)

fetch() {  # fetch <source package> <dir glob>
  (cd "$work" && apt-get source -q "$1" >/dev/null 2>&1) || {
    echo "apt-get source $1 failed (is the deb-src entry installed? run scripts/setup_packages.sh)" >&2
    exit 1
  }
}

echo "building Windows dependencies into $prefix" >&2
fetch protobuf
fetch libevent
fetch libjsoncpp
fetch pcre2

pb_src="$(ls -d "$work"/protobuf-"$PROTOBUF_VER"*/ | head -n1)"
cmake -S "$pb_src" -B "$work/build-protobuf" "${common[@]}" \
  -Dprotobuf_BUILD_TESTS=OFF -Dprotobuf_BUILD_PROTOC_BINARIES=OFF \
  -Dprotobuf_BUILD_EXAMPLES=OFF -Dprotobuf_WITH_ZLIB=OFF \
  -Dprotobuf_BUILD_LIBPROTOC=OFF -Dprotobuf_MSVC_STATIC_RUNTIME=OFF >&2
cmake --build "$work/build-protobuf" -j "$jobs" >&2
cmake --install "$work/build-protobuf" >&2

ev_src="$(ls -d "$work"/libevent-"$LIBEVENT_VER"*/ | head -n1)"
cmake -S "$ev_src" -B "$work/build-libevent" "${common[@]}" \
  -DEVENT__LIBRARY_TYPE=STATIC -DEVENT__DISABLE_OPENSSL=ON \
  -DEVENT__DISABLE_MBEDTLS=ON -DEVENT__DISABLE_TESTS=ON \
  -DEVENT__DISABLE_REGRESS=ON -DEVENT__DISABLE_SAMPLES=ON \
  -DEVENT__DISABLE_BENCHMARK=ON >&2
cmake --build "$work/build-libevent" -j "$jobs" >&2
cmake --install "$work/build-libevent" >&2

jc_src="$(ls -d "$work"/libjsoncpp-"$JSONCPP_VER"*/ | head -n1)"
cmake -S "$jc_src" -B "$work/build-jsoncpp" "${common[@]}" \
  -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF \
  -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF -DJSONCPP_WITH_CMAKE_PACKAGE=ON \
  -DBUILD_STATIC_LIBS=ON -DBUILD_SHARED_LIBS=OFF -DBUILD_OBJECT_LIBS=OFF >&2
cmake --build "$work/build-jsoncpp" -j "$jobs" >&2
cmake --install "$work/build-jsoncpp" >&2

# The 8-bit library only, without JIT: the diagnostics match a configured
# pattern on the heap, within its limits.
pc_src="$(ls -d "$work"/pcre2-"$PCRE2_VER"*/ | head -n1)"
cmake -S "$pc_src" -B "$work/build-pcre2" "${common[@]}" \
  -DPCRE2_BUILD_PCRE2_8=ON -DPCRE2_BUILD_PCRE2_16=OFF -DPCRE2_BUILD_PCRE2_32=OFF \
  -DPCRE2_SUPPORT_JIT=OFF -DPCRE2_SUPPORT_UNICODE=ON -DPCRE2_BUILD_PCRE2GREP=OFF \
  -DPCRE2_BUILD_TESTS=OFF -DPCRE2_STATIC_PIC=OFF -DPCRE2_SUPPORT_LIBBZ2=OFF \
  -DPCRE2_SUPPORT_LIBZ=OFF -DPCRE2_SUPPORT_LIBEDIT=OFF -DPCRE2_SUPPORT_LIBREADLINE=OFF >&2
cmake --build "$work/build-pcre2" -j "$jobs" >&2
cmake --install "$work/build-pcre2" >&2

cmake -S /usr/src/googletest -B "$work/build-gtest" "${common[@]}" \
  -Dgtest_disable_pthreads=OFF -DINSTALL_GTEST=ON >&2
cmake --build "$work/build-gtest" -j "$jobs" >&2
cmake --install "$work/build-gtest" >&2

rm -rf "$work"
touch "$stamp"
echo "$prefix"
