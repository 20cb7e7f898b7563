#!/usr/bin/env bash
# Cross-builds the project for Linux on ARM and runs its tests under qemu.
#
#   bash tools/cross_build.sh aarch64|armhf [build folder, default build-TARGET]
#
# Installs what is missing (the cross compilers, qemu-user, and the target's
# multiarch libraries: libsoxr-dev, libgtest-dev, libgmock-dev, the C and C++
# runtimes), builds the project with cmake/toolchain-<triplet>.cmake into the
# build folder and runs ctest there, every test program under qemu.
#
# SIVO_CROSS_TESTS, a ctest regular expression, picks the tests to run
# (default: all of them); SIVO_JOBS sets the parallelism (default 2).
# Ends by printing what `file` says of the libraries.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

case "${1:-}" in
  aarch64) debarch=arm64 triplet=aarch64-linux-gnu qemu=qemu-aarch64 ;;
  armhf) debarch=armhf triplet=arm-linux-gnueabihf qemu=qemu-arm ;;
  *)
    echo "usage: $0 aarch64|armhf [build folder]" >&2
    exit 2
    ;;
esac
target=$1
if [ $# -gt 2 ]; then
  echo "usage: $0 aarch64|armhf [build folder]" >&2
  exit 2
fi
build=$(realpath -m "${2:-build-$target}")
jobs=${SIVO_JOBS:-2}
tests=${SIVO_CROSS_TESTS:-}
toolchain=$source_dir/cmake/toolchain-$triplet.cmake

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

step() { printf '\n== %s (%ss)\n' "$1" "$SECONDS"; }

# --- Packages -----------------------------------------------------------------
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

step "packages"
apt_updated=0
if ! dpkg --print-foreign-architectures | grep -qx "$debarch"; then
  $sudo dpkg --add-architecture "$debarch"
  apt_updated=-1
fi
packages=(cmake make pkg-config codec2-examples qemu-user "g++-$triplet"
  "libc6:$debarch" "libstdc++6:$debarch" "libsoxr-dev:$debarch"
  "libgtest-dev:$debarch" "libgmock-dev:$debarch")
missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ] || [ $apt_updated -ne 0 ]; then
  $sudo apt-get update -q
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# --- The project --------------------------------------------------------------
step "configure"
cmake -S "$source_dir" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DSIVO_BUILD_BENCHMARKS=OFF >"$build.configure.log" ||
  { cat "$build.configure.log" >&2; exit 1; }

step "build"
cmake --build "$build" -j"$jobs"

step "test"
ctest --test-dir "$build" --output-on-failure -j"$jobs" ${tests:+-R "$tests"}

step "libraries"
file -L "$build"/codec/libsivocore.so "$build"/wavenc/libsivowav.so "$build"/ratelib/libratelib.so
step "done"
