#!/usr/bin/env bash
# Cross-builds the Windows DLLs (sivocore.dll, sivowav.dll, ratelib.dll) and
# the sivo program (sivo.exe), 32- or 64-bit, with MinGW-w64, runs the test
# suite under Wine, headless, and packs the release zip.
#
#   bash tools/windows_build.sh [i686|x86_64] [build folder]
#
# The architecture defaults to i686, the build folder to build-win (i686) or
# build-win64 (x86_64); a single argument that is not an architecture is the
# build folder of an i686 build.
#
# Installs what is missing (the MinGW-w64 cross compilers, Wine, the source
# packages of googletest, libsoxr, libsndfile and its codecs), cross-builds
# those into a cache kept between runs and between build folders
# ($SIVO_WINDOWS_CACHE, by default ~/.cache/sivo/windows), builds the project
# in <build>/sivo and runs ctest there with every test program under Wine.
# Ends by printing the DLLs' dependencies and exports as objdump sees them.
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
# Cross-built dependencies and their sources, kept outside the build folder so
# that a fresh checkout (CI) builds them once per machine, not once per run.
cache=$(realpath -m "${SIVO_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/sivo/windows}")
deps=$cache/$arch
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
# The dependencies are built from Debian's own source packages, which need a
# deb-src entry mirroring the binary one.
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
# mingw-w64-tools brings gendef, which writes the .def files of the zip.
packages=(cmake make pkg-config dpkg-dev xz-utils codec2-examples wine mingw-w64-tools)
if [ "$arch" = i686 ]; then
  packages+=(g++-mingw-w64-i686-posix binutils-mingw-w64-i686 wine32:i386)
else
  packages+=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64)
fi
ensure_packages "${packages[@]}"

# --- Cross-built dependencies -------------------------------------------------
# Static libraries in $deps/install. Each is rebuilt only when its source
# version or its options change (the stamp records both).
mkdir -p "$build" "$cache/src" "$deps/install"
# pkg-config answers for the cross-built libraries only, never the host's.
export PKG_CONFIG_LIBDIR=$deps/install/lib/pkgconfig PKG_CONFIG_PATH=
fetch_source() { # package, folder glob
  (
    flock 9
    if ! compgen -G "$cache/src/$2" >/dev/null; then
      # apt warns that it downloads as root outside its sandbox; nothing more.
      (cd "$cache/src" && apt-get source -q "$1" >"$cache/src/$1-source.log" 2>&1) ||
        { cat "$cache/src/$1-source.log" >&2; exit 1; }
    fi
  ) 9>"$cache/src.lock"
  compgen -G "$cache/src/$2" | head -n 1
}
cross_build() { # name, source folder, cmake options...
  local name=$1 src=$2
  shift 2
  local recipe
  recipe="$(basename "$src") $*"
  [ "$(cat "$deps/$name.done" 2>/dev/null)" = "$recipe" ] && return 0
  echo "building $(basename "$src")"
  local started=$SECONDS
  rm -rf "$deps/build-$name" "$deps/$name.done"
  { cmake -S "$src" -B "$deps/build-$name" -Wno-dev -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DSIVO_WINDOWS_DEPS="$deps/install" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$deps/install" -DBUILD_SHARED_LIBS=OFF "$@" &&
    cmake --build "$deps/build-$name" -j"$jobs" &&
    cmake --install "$deps/build-$name"; } >"$deps/$name.log" 2>&1 ||
    { tail -n 40 "$deps/$name.log" >&2; return 1; }
  rm -rf "$deps/build-$name"
  echo "$recipe" >"$deps/$name.done"
  echo "built $name in $((SECONDS - started))s"
}

autotools_build() { # name, source folder, configure options...
  local name=$1 src=$2
  shift 2
  local recipe
  recipe="$(basename "$src") $*"
  [ "$(cat "$deps/$name.done" 2>/dev/null)" = "$recipe" ] && return 0
  echo "building $(basename "$src")"
  local started=$SECONDS
  rm -rf "$deps/build-$name" "$deps/$name.done"
  mkdir -p "$deps/build-$name"
  # The CMake builds take these from the toolchain file: SSE2, never x87.
  local flags=-O2
  [ "$arch" = i686 ] && flags="-O2 -msse2 -mfpmath=sse"
  { (cd "$deps/build-$name" && "$src/configure" --host="$triplet" --prefix="$deps/install" \
      --disable-shared --enable-static CFLAGS="$flags" "$@" && make -j"$jobs" && make install); } \
    >"$deps/$name.log" 2>&1 || { tail -n 40 "$deps/$name.log" >&2; return 1; }
  rm -rf "$deps/build-$name"
  echo "$recipe" >"$deps/$name.done"
  echo "built $name in $((SECONDS - started))s"
}

step "googletest"
cross_build googletest "$(fetch_source googletest 'googletest-*/')" \
  -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -Dgtest_disable_pthreads=ON

step "libsoxr"
cross_build soxr "$(fetch_source libsoxr 'libsoxr-*/')" -DBUILD_TESTS=OFF \
  -DBUILD_EXAMPLES=OFF -DWITH_OPENMP=OFF -DWITH_LSR_BINDINGS=OFF

# libsndfile and the codecs it reads and writes through: Ogg, Vorbis, FLAC,
# Opus. Their stack protectors and fortified string calls would need libssp,
# which MinGW links apart.
step "libsndfile"
cross_build ogg "$(fetch_source libogg 'libogg-*/')" -DINSTALL_DOCS=OFF -DBUILD_TESTING=OFF
cross_build vorbis "$(fetch_source libvorbis 'libvorbis-*/')" -DBUILD_TESTING=OFF
cross_build flac "$(fetch_source flac 'flac-*/')" -DBUILD_CXXLIBS=OFF -DBUILD_PROGRAMS=OFF \
  -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DBUILD_DOCS=OFF -DINSTALL_MANPAGES=OFF \
  -DWITH_STACK_PROTECTOR=OFF -DWITH_FORTIFY_SOURCE=OFF -DWITH_OGG=ON
# Opus 1.3.1's CMake files are incomplete in its release; its configure
# script builds it, as Debian's package does. _FORTIFY_SOURCE set to 0 keeps
# configure from turning it on (its checks would need libssp too).
autotools_build opus "$(fetch_source opus 'opus-*/')" --disable-doc \
  --disable-extra-programs --disable-stack-protector CPPFLAGS=-D_FORTIFY_SOURCE=0
# FLAC__NO_DLL: libFLAC is linked in, not imported from a DLL. MP3 (mpg123,
# LAME) is left out.
cross_build sndfile "$(fetch_source libsndfile 'libsndfile-*/')" -DBUILD_PROGRAMS=OFF \
  -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DENABLE_CPACK=OFF -DINSTALL_MANPAGES=OFF \
  -DENABLE_EXTERNAL_LIBS=ON -DENABLE_MPEG=OFF -DCMAKE_C_FLAGS=-DFLAC__NO_DLL

# The licences of what sivo.exe and the DLLs carry inside them, for the zip:
# the libraries above and MinGW-w64's runtime (its threads library, its
# start-up code).
licences=$deps/install/share/licenses
mkdir -p "$licences"
for pair in libsndfile:COPYING libsoxr:LICENCE flac:COPYING.Xiph libogg:COPYING \
  libvorbis:COPYING opus:COPYING; do
  cp "$(fetch_source "${pair%%:*}" "${pair%%:*}-*/")/${pair#*:}" "$licences/${pair%%:*}.txt"
done
cp "/usr/share/doc/mingw-w64-${arch/_/-}-dev/copyright" "$licences/mingw-w64-runtime.txt"

# --- Wine ---------------------------------------------------------------------
# A private, headless prefix under the build folder: no X display, no
# Mono/Gecko installers, no sound drivers (the first program that loads
# winmm.dll would otherwise spend a minute probing for sound servers), no
# debug chatter.
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all DISPLAY= \
  WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv,winepulse.drv,wineoss.drv=d"
step "wine"
# Debian's `wine` starts programs with the 32-bit loader whenever wine32 is
# installed, and that loader cannot start a 64-bit program; 64-bit programs
# get the 64-bit loader itself.
wine=wine
if [ "$arch" = x86_64 ] && [ -x /usr/lib/wine/wine64 ]; then
  wine=/usr/lib/wine/wine64
fi
# One wine server serves the whole run, started here and stopped on the way
# out. Left to itself, each Wine program starts a server through Debian's
# wrapper, which ends it the moment its last program exits; a program
# starting in that moment (ctest runs two at once) reaches a dying server
# and fails with "recvmsg: Connection reset by peer".
export WINESERVER=/usr/lib/wine/wineserver64
[ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver32
stop_wineserver() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  "$WINESERVER" -w >/dev/null 2>&1 || true
}
# A kernel without 32-bit support (ia32_emulation=off) starts no i386
# program, so neither Wine's 32-bit loader nor anything it would run: such
# a machine builds everything and runs nothing.
wine_runs=1
if ! "$wine" --version >/dev/null 2>&1 || ! "$WINESERVER" --version >/dev/null 2>&1; then
  wine_runs=0
fi
not_run_warning() {
  printf '%s\n' "" "######################################################################" \
    "WARNING: $arch: this machine cannot start $wine or $WINESERVER (a kernel" \
    "without 32-bit support?). $arch is built and packed, but its tests were" \
    "NOT run: nothing here says that the $arch build works." \
    "######################################################################" "" >&2
}
[ "$wine_runs" = 1 ] || not_run_warning
if [ "$wine_runs" = 1 ]; then
  trap stop_wineserver EXIT
  stop_wineserver # one left over from an interrupted run of this prefix
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot -i >/dev/null 2>&1
    "$WINESERVER" -w
  fi
  "$WINESERVER" -p
  # The first program that loads winmm.dll (sivowav.dll does) sets up the
  # prefix's multimedia keys, which under load has taken longer than a test
  # program's 60 s to list its tests: done here, once, with time to spare.
  timeout 300 "$wine" rundll32.exe winmm.dll,PlaySoundW >/dev/null 2>&1 || true
fi

# --- The project --------------------------------------------------------------
step "configure"
discovery=()
# Without Wine the test programs cannot list their tests at build time.
[ "$wine_runs" = 1 ] || discovery=(-DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST)
cmake -S "$source_dir" -B "$build/sivo" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DSIVO_WINDOWS_DEPS="$deps/install" -DSIVO_WINE="$(command -v "$wine")" \
  -DCMAKE_BUILD_TYPE=Release "${discovery[@]}" \
  -DSIVO_BUILD_BENCHMARKS=OFF >"$build/configure.log"

step "build"
cmake --build "$build/sivo" -j"$jobs"

# Every test has a time limit of its own; --timeout bounds any that has none.
# A test that fails under Wine is run once more, alone: one that passes then
# is reported as a flake, one that fails again fails the step.
run_tests() { # test folder, ctest options...
  local dir=$1
  shift
  local failed="$dir/Testing/Temporary/LastTestsFailed.log"
  rm -f "$failed"
  if ctest --test-dir "$dir" --output-on-failure -j"$jobs" --timeout 900 "$@"; then
    return 0
  fi
  [ -s "$failed" ] || return 1
  local names
  names=$(cut -d: -f2- "$failed" | tr '\n' ' ')
  echo "== retrying once under Wine: $names" >&2
  if ctest --test-dir "$dir" --output-on-failure --rerun-failed --timeout 900 "$@"; then
    echo "FLAKY under Wine ($arch): failed once, passed when run again: $names" >&2
    return 0
  fi
  return 1
}
if [ "$wine_runs" = 1 ]; then
  step "test"
  run_tests "$build/sivo"

  # The CLI suite is a Linux program that drives the sivo program from bash;
  # here it drives sivo.exe under Wine, and compares its outputs with those of
  # the Linux program byte for byte. It comes from a Linux build of this tree:
  # $SIVO_HOST_BUILD (CI passes the one tools/test.sh made), else one made
  # here in <build>/host with just that program and what it needs.
fi
if [ "$wine_runs" = 1 ] && [ -f "$build/sivo/bin/sivo.exe" ]; then
  step "CLI suite on sivo.exe"
  host=${SIVO_HOST_BUILD:-$build/host}
  if [ -z "${SIVO_HOST_BUILD:-}" ]; then
    cmake -S "$source_dir" -B "$host" -DCMAKE_BUILD_TYPE=Release \
      -DSIVO_BUILD_BENCHMARKS=OFF >"$build/host-configure.log"
    cmake --build "$host" -j"$jobs" --target sivo_cli_tests sivo
  fi
  SIVO_UNDER_TEST="$wine $build/sivo/bin/sivo.exe" SIVO_UNDER_TEST_SYSTEM=windows \
    run_tests "$host" -R '^Cli\.'
fi

step "DLLs"
for dll in "$build"/sivo/bin/*.dll "$build"/sivo/bin/sivo.exe; do
  echo "--- $(basename "$dll")"
  $triplet-objdump -p "$dll" | grep 'DLL Name' || true
  $triplet-objdump -p "$dll" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p'
done
step "done"
[ "$wine_runs" = 1 ] || not_run_warning
