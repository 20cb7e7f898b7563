#!/usr/bin/env bash
# Builds the codec and WAV test programs with ThreadSanitizer in a build
# folder of its own and runs their concurrency tests there: handles of the
# codec in several threads, starts, counts and stops of the encoding job from
# several threads, and the Python package's Encoder and Decoder objects
# shared by threads (the module built with ThreadSanitizer, loaded into
# Debian's interpreter behind the sanitizer's runtime). Any data race fails
# the run.
#
#   tools/tsan.sh [build folder]     (default build-tsan/ in the checkout)
#
# Uses gcc, the project's own compiler; TSAN_COMPILER=clang uses clang
# instead. JOBS sets the parallelism (default 2).
set -euo pipefail

src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$src/build-tsan}
jobs=${JOBS:-2}

flags="-fsanitize=thread -g -fno-omit-frame-pointer"
if [ "${TSAN_COMPILER:-gcc}" = clang ]; then
  cc=clang cxx=clang++
else
  cc=gcc cxx=g++
fi

cmake -S "$src" -B "$build" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread" \
  -DCMAKE_MODULE_LINKER_FLAGS="-fsanitize=thread" \
  -DSIVO_BUILD_TESTS=ON -DSIVO_BUILD_BENCHMARKS=OFF -DSIVO_BUILD_FUZZERS=OFF >/dev/null
targets="sivo_codec_tests sivo_wav_tests"
# The Python module when the build has it (python3-dev, numpy, pybind11).
python_module=false
if grep -q '^\.\.\. sivo_python$' <<<"$(cmake --build "$build" --target help)" &&
   /usr/bin/python3 -c 'import pytest' 2>/dev/null; then
  python_module=true
  targets+=" sivo_python"
fi
cmake --build "$build" -j "$jobs" --target $targets

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
# ThreadSanitizer's fixed memory layout does not fit every randomised one;
# setarch -R runs the programs without address randomisation.
run() { setarch "$(uname -m)" -R "$@"; }
run "$build/tests/codec/sivo_codec_tests" --gtest_filter='Concurrency.*' --gtest_brief=1
run "$build/tests/wavenc/sivo_wav_tests" --gtest_filter='JobConcurrency.*' --gtest_brief=1
if $python_module; then
  # The interpreter is not instrumented; the runtime goes in first so that
  # its interceptors see the interpreter's lock. The thread cases run in
  # child interpreters, which inherit the preload; a race ends a child with
  # the sanitizer's report, and the case fails.
  if [ "${TSAN_COMPILER:-gcc}" = clang ]; then
    tsan_runtime=$($cxx -print-file-name=libclang_rt.tsan-x86_64.so)
  else
    tsan_runtime=$($cxx -print-file-name=libtsan.so)
  fi
  PYTHONPATH="$build/python" LD_PRELOAD="$tsan_runtime" \
    run /usr/bin/python3 -m pytest -q -p no:cacheprovider \
    "$src/tests/python/test_threads.py" -k 'not leak'
fi
