#!/usr/bin/env bash
# Cross-builds the Windows DLLs (sivocore.dll, sivowav.dll, ratelib.dll),
# 32- or 64-bit, with MinGW-w64 and runs the test suite under Wine, headless.
#
#   bash tools/windows_build.sh [i686|x86_64] [build folder]
#
# The architecture defaults to i686, the build folder to build-win (i686) or
# build-win64 (x86_64); a single argument that is not an architecture is the
# build folder of an i686 build.
#
# Installs what is missing (the MinGW-w64 cross compilers, Wine, the source
# packages of googletest and libsoxr), cross-builds those two into
# <build>/deps (kept between runs), builds the project in <build>/sivo and
# runs ctest there with every test program under Wine. Ends by printing the
# DLLs' dependencies and exports as objdump sees them.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
arch=i686
case "${1:-}" in
  i686 | x86_64)
    arch=$1
    shift
    ;;
esac
if [ $# -gt 1 ]; then
  echo "usage: $0 [i686|x86_64] [build folder]" >&2
  exit 2
fi
default_build=build-win
[ "$arch" = x86_64 ] && default_build=build-win64
build=$(realpath -m "${1:-$default_build}")
deps=$build/deps
jobs=${SIVO_JOBS:-2}
triplet=$arch-w64-mingw32
toolchain=$source_dir/cmake/toolchain-$triplet.cmake

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
source tools/packages.sh

step() { printf '\n== %s (%ss)\n' "$1" "$SECONDS"; }

# --- Packages -----------------------------------------------------------------
step "packages"
# 32-bit programs need Wine's 32-bit loader, an i386 package.
if [ "$arch" = i686 ]; then add_architecture i386; fi
# googletest and libsoxr are built from Debian's own source packages, which
# need a deb-src entry mirroring the binary one.
if ! grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  mirror=$(grep -rhosE 'https?://[^ ]+/debian/?( |$)' /etc/apt/sources.list /etc/apt/sources.list.d/ |
    head -n 1 | tr -d ' ' || true)
  mirror=${mirror:-http://deb.debian.org/debian}
  echo "Adding deb-src $mirror $codename" >&2
  printf 'Types: deb-src\nURIs: %s\nSuites: %s %s-updates\nComponents: main\nSigned-By: %s\n' \
    "$mirror" "$codename" "$codename" /usr/share/keyrings/debian-archive-keyring.gpg |
    $sudo tee /etc/apt/sources.list.d/sivo-debian-src.sources >/dev/null
  packages_stale=1
fi
packages=(cmake make pkg-config dpkg-dev xz-utils codec2-examples wine)
if [ "$arch" = i686 ]; then
  packages+=(g++-mingw-w64-i686-posix binutils-mingw-w64-i686 wine32:i386)
else
  packages+=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64)
fi
ensure_packages "${packages[@]}"

# --- Cross-built dependencies -------------------------------------------------
mkdir -p "$deps/src" "$deps/install"
fetch_source() { # package, folder glob
  if ! compgen -G "$deps/src/$2" >/dev/null; then
    # apt warns that it downloads as root outside its sandbox; nothing more.
    (cd "$deps/src" && apt-get source -q "$1" >"$deps/$1-source.log" 2>&1) ||
      { cat "$deps/$1-source.log" >&2; return 1; }
  fi
  compgen -G "$deps/src/$2" | head -n 1
}
cross_build() { # name, source folder, cmake options...
  local name=$1 src=$2
  shift 2
  [ -f "$deps/$name.done" ] && return 0
  cmake -S "$src" -B "$deps/build-$name" -Wno-dev -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps/install" "$@" >"$deps/$name.log"
  cmake --build "$deps/build-$name" -j"$jobs" >>"$deps/$name.log"
  cmake --install "$deps/build-$name" >>"$deps/$name.log"
  touch "$deps/$name.done"
}

step "googletest"
gtest_src=$(fetch_source googletest 'googletest-*/')
cross_build googletest "$gtest_src" -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON -Dgtest_disable_pthreads=ON

step "libsoxr"
soxr_src=$(fetch_source libsoxr 'libsoxr-*/')
cross_build soxr "$soxr_src" -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF \
  -DWITH_OPENMP=OFF -DWITH_LSR_BINDINGS=OFF

# --- Wine ---------------------------------------------------------------------
# A private, headless prefix under the build folder: no X display, no
# Mono/Gecko installers, no debug chatter.
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all DISPLAY= WINEDLLOVERRIDES="mscoree,mshtml="
step "wine prefix"
# The prefix is made once, and its wine server allowed to finish, before any
# test program runs; whatever Wine still runs in the prefix is stopped on the
# way out.
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# Debian's `wine` starts programs with the 32-bit loader whenever wine32 is
# installed, and that loader cannot start a 64-bit program; 64-bit programs
# get the 64-bit loader itself.
wine=wine
if [ "$arch" = x86_64 ] && [ -x /usr/lib/wine/wine64 ]; then
  wine=/usr/lib/wine/wine64
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot -i >/dev/null 2>&1
  wineserver -w
fi

# --- The project --------------------------------------------------------------
step "configure"
cmake -S "$source_dir" -B "$build/sivo" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DSIVO_WINDOWS_DEPS="$deps/install" -DSIVO_WINE="$(command -v "$wine")" \
  -DCMAKE_BUILD_TYPE=Release \
  -DSIVO_BUILD_BENCHMARKS=OFF >"$build/configure.log"

step "build"
cmake --build "$build/sivo" -j"$jobs"

step "test"
ctest --test-dir "$build/sivo" --output-on-failure -j"$jobs"

step "DLLs"
for dll in "$build"/sivo/bin/*.dll; do
  echo "--- $(basename "$dll")"
  $triplet-objdump -p "$dll" | grep 'DLL Name' || true
  $triplet-objdump -p "$dll" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p'
done
step "done"
