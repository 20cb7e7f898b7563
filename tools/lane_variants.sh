#!/usr/bin/env bash
# Runs the codec's tests on every kernel variant: in the default build pinned
# to each lane variant the processor runs (SIVO_TEST_KERNELS, read by the test
# program only; the default run elsewhere covers the table's own choice), and in
# a build with the plain reference forms only (-DSIVO_KERNELS=reference).
# The golden checksums must come out the same from every one.
#
#   tools/lane_variants.sh [build folder prefix]   (default build-lanes in the checkout)
#
# JOBS sets the parallelism (default 2).
set -euo pipefail

src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
prefix=${1:-$src/build-lanes}
jobs=${JOBS:-2}

build_tests() {  # build folder, extra cmake arguments...
  local build=$1
  shift
  cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release "$@" \
    -DSIVO_BUILD_TESTS=ON -DSIVO_BUILD_BENCHMARKS=OFF -DSIVO_BUILD_FUZZERS=OFF >/dev/null
  cmake --build "$build" -j "$jobs" --target sivo_codec_tests
}

build_tests "$prefix-reference" -DSIVO_KERNELS=reference
echo "kernels: reference build"
"$prefix-reference/tests/codec/sivo_codec_tests" --gtest_brief=1

if [ "$(uname -m)" != x86_64 ]; then
  echo "kernels: not an x86-64 machine, no lane variants to pin"
  exit 0
fi
build_tests "$prefix-default"
variants="lanes2"
if grep -qw avx2 /proc/cpuinfo; then variants="$variants lanes4"; fi
if grep -qw avx512f /proc/cpuinfo; then
  if grep -qw avx512vl /proc/cpuinfo; then variants="$variants lanes4vl"; fi
  variants="$variants lanes8"
fi
for variant in $variants; do
  echo "kernels: $variant pinned"
  SIVO_TEST_KERNELS=$variant "$prefix-default/tests/codec/sivo_codec_tests" --gtest_brief=1
done
