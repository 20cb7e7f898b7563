#!/usr/bin/env bash
# Runs an encode-decode round trip at every rate and a set of WAV jobs
# (finished, stopped, failed at the start and half-way) under valgrind
# memcheck; any leak or memory error fails.
#
#   tools/leak_check.sh [build folder]   (default build-leak/ in the checkout)
set -euo pipefail

src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$src/build-leak}
speech=${SPEECH:-/usr/share/codec2/raw/hts1a.raw}

cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DSIVO_BUILD_TESTS=OFF -DSIVO_BUILD_BENCHMARKS=OFF
cmake --build "$build" -j "${JOBS:-2}" --target sivo_roundtrip_check

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect,possible \
  --errors-for-leak-kinds=definite,indirect,possible --track-origins=yes \
  --error-exitcode=1 \
  "$build/fuzz/sivo_roundtrip_check" "$speech" "$scratch"
echo "leak check: clean"
