#!/usr/bin/env bash
# Builds the codec's test program pinned to each narrower lane variant (four
# lanes with AVX2, two lanes on plain x86-64) and runs it there. The default
# build picks the widest variant the processor has at run time, so on any
# one machine it checks only that one; the golden checksums must come out
# the same from every variant.
#
#   tools/lane_variants.sh [build folder prefix]   (default build-lanes in the checkout)
#
# JOBS sets the parallelism (default 2). Skipped (with a note) off x86-64.
set -euo pipefail

src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
prefix=${1:-$src/build-lanes}
jobs=${JOBS:-2}

if [ "$(uname -m)" != x86_64 ]; then
  echo "lane variants: not an x86-64 machine, nothing to pin"
  exit 0
fi

for variant in AVX2 BASELINE; do
  if [ $variant = AVX2 ] && ! grep -qw avx2 /proc/cpuinfo; then
    echo "lane variants: this processor has no AVX2, skipping that variant"
    continue
  fi
  build=$prefix-${variant,,}
  cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS="-DSIVO_LANES_$variant" \
    -DSIVO_BUILD_TESTS=ON -DSIVO_BUILD_BENCHMARKS=OFF -DSIVO_BUILD_FUZZERS=OFF >/dev/null
  cmake --build "$build" -j "$jobs" --target sivo_codec_tests
  echo "lane variant $variant:"
  "$build/tests/codec/sivo_codec_tests" --gtest_brief=1
done
