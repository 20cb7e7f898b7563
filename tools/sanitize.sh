#!/usr/bin/env bash
# Builds the whole project with AddressSanitizer and UndefinedBehaviorSanitizer
# (every finding fatal) in a build folder of its own and runs the whole test
# suite there.
#
#   tools/sanitize.sh [build folder]     (default build-sanitize/ in the checkout)
#
# Uses gcc, the project's own compiler; SANITIZE_COMPILER=clang uses clang
# instead. JOBS sets the parallelism (default 2).
set -euo pipefail

src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$src/build-sanitize}
jobs=${JOBS:-2}

# float-cast-overflow is named because gcc leaves it out of "undefined".
flags="-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all"
flags+=" -fno-omit-frame-pointer -g"
link="-fsanitize=address,undefined,float-cast-overflow"
if [ "${SANITIZE_COMPILER:-gcc}" = clang ]; then
  cc=clang cxx=clang++
  # The shared libraries are linked with --no-undefined, so they take the
  # sanitizer runtime as a shared library too, as gcc does by default.
  flags+=" -shared-libasan"
  link+=" -shared-libasan -Wl,-rpath,$(clang -print-resource-dir)/lib/linux"
else
  cc=gcc cxx=g++
fi

cmake -S "$src" -B "$build" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="$link" -DCMAKE_SHARED_LINKER_FLAGS="$link" \
  -DSIVO_BUILD_TESTS=ON -DSIVO_BUILD_BENCHMARKS=OFF -DSIVO_BUILD_FUZZERS=OFF
cmake --build "$build" -j "$jobs"

# detect_stack_use_after_return stays off: its relocated stack frames are not
# aligned for the 64-byte vector stores of the AVX-512 lane kernels, which
# then fault on correct code.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:check_initialization_order=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The install-tree consumer is a plain program built outside the sanitized
# build; it cannot load instrumented libraries, so it runs in the normal build.
# So do the baresip call tests, where baresip and gst-launch load the module
# and the plugin (the module's own tests load it into an instrumented host).
ctest --test-dir "$build" --output-on-failure -j "$jobs" \
  -E '^(cli\.install_consumer|gst\.installed_plugin|baresip\.(installed_module|call_.*|interop_gst))$'
