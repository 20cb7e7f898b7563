#!/usr/bin/env bash
# Cross-builds the project for Linux on ARM and runs its tests under qemu.
#
#   bash tools/cross_build.sh aarch64|armhf [build folder, default build-TARGET]
#
# Installs what is missing (the cross compilers, qemu-user, and the target's
# multiarch libraries: libsoxr-dev, libsndfile1-dev, libgtest-dev,
# libgmock-dev, the C and C++ runtimes), builds the project with
# cmake/toolchain-<triplet>.cmake into the build folder (without the Python
# module, which would need the target's Python) and runs ctest there, every
# test program under qemu.
#
# SIVO_CROSS_SUITE=codec builds only the codec and its test program and runs
# only its tests (the golden checksums among them); the default, all, builds
# and runs everything. SIVO_JOBS sets the parallelism (default 2). Fails if
# the golden checksums did not run; ends by printing what `file` says of the
# libraries.
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
suite=${SIVO_CROSS_SUITE:-all}
case "$suite" in
  all) targets=(all) labels=() ;;
  codec) targets=(sivocore sivo_codec_tests) labels=(-L codec) ;;
  *)
    echo "SIVO_CROSS_SUITE must be all or codec, not '$suite'" >&2
    exit 2
    ;;
esac
toolchain=$source_dir/cmake/toolchain-$triplet.cmake

source tools/packages.sh

step() { printf '\n== %s (%ss)\n' "$1" "$SECONDS"; }

# --- Packages -----------------------------------------------------------------
step "packages"
add_architecture "$debarch"
ensure_packages cmake make pkg-config file codec2-examples qemu-user "g++-$triplet" \
  "libc6:$debarch" "libstdc++6:$debarch" "libsoxr-dev:$debarch" \
  "libgtest-dev:$debarch" "libgmock-dev:$debarch" "libsndfile1-dev:$debarch"

# --- The project --------------------------------------------------------------
# ARM builds take the codec's plain reference forms: the lane kernels are
# x86-64 code.
step "configure"
mkdir -p "$build"
cmake -S "$source_dir" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DSIVO_KERNELS=reference -DSIVO_BUILD_BENCHMARKS=OFF \
  -DSIVO_BUILD_PYTHON=OFF \
  >"$build/configure.log" ||
  { cat "$build/configure.log" >&2; exit 1; }

step "build"
cmake --build "$build" -j"$jobs" --target "${targets[@]}"

step "test"
ctest --test-dir "$build" --output-on-failure -j"$jobs" "${labels[@]}" | tee "$build/ctest.log"
# A missing recording makes the golden test skip itself; here that is a
# failure, since the point of the run is the same bits on this target.
if ! grep -Eq 'GoldenVectors\.[A-Za-z]+ \.* +Passed' "$build/ctest.log"; then
  echo "the golden checksums did not run and pass on $target" >&2
  exit 1
fi

# armhf: the code must ask for IEEE arithmetic with subnormals and use no
# NEON, as the toolchain file sets it up; the build attributes tell.
if [ "$target" = armhf ]; then
  attributes=$($triplet-readelf -A "$build/codec/libsivocore.so")
  if ! grep -q 'Tag_ABI_FP_number_model: IEEE 754' <<<"$attributes" ||
    ! grep -q 'Tag_ABI_FP_denormal: Needed' <<<"$attributes" ||
    grep -q 'Tag_Advanced_SIMD_arch' <<<"$attributes"; then
    echo "libsivocore.so is not built for IEEE VFP arithmetic without NEON:" >&2
    echo "$attributes" >&2
    exit 1
  fi
fi

step "libraries"
for lib in codec/libsivocore.so wavenc/libsivowav.so ratelib/libratelib.so; do
  if [ -e "$build/$lib" ]; then file -L "$build/$lib"; fi
done
step "done"
