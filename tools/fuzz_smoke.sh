#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time from the
# committed seed corpus. Any crash, leak, timeout or broken promise fails the
# run; the input that caused it is left in the build folder's artifacts/.
#
#   tools/fuzz_smoke.sh [seconds per target] [build folder]
#                                  (defaults 60 and build-fuzz/ in the checkout)
#
# New inputs found during the run go to a scratch corpus in the build folder;
# the committed seeds are never written. FUZZERS selects targets (default:
# decoder encoder wav transcode frame_walk rtp_payload stream_framing).
set -euo pipefail

src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
build=${2:-$src/build-fuzz}
targets=${FUZZERS:-"decoder encoder wav transcode frame_walk rtp_payload stream_framing"}

if ! command -v clang++ >/dev/null || [ ! -e "$(clang -print-file-name=libclang_rt.fuzzer-x86_64.a)" ]; then
  echo "fuzz_smoke: needs clang with its libFuzzer runtime (packages clang, libclang-rt-14-dev)" >&2
  exit 1
fi

# The shared libraries are linked with --no-undefined, so they take the
# sanitizer runtime as a shared library.
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
flags+=" -fno-omit-frame-pointer -g -shared-libasan"
link="-fsanitize=address,undefined -shared-libasan"
link+=" -Wl,-rpath,$(clang -print-resource-dir)/lib/linux"
cmake -S "$src" -B "$build" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="$link" -DCMAKE_SHARED_LINKER_FLAGS="$link" \
  -DSIVO_BUILD_TESTS=OFF -DSIVO_BUILD_BENCHMARKS=OFF -DSIVO_BUILD_FUZZERS=ON
names=()
for t in $targets; do names+=("sivo_fuzz_$t"); done
cmake --build "$build" -j "${JOBS:-2}" --target "${names[@]}"

# Longest input per target: enough for many frames, short enough that one
# execution stays in the milliseconds.
declare -A max_len=([decoder]=4096 [encoder]=3848 [wav]=12000 [transcode]=12000 [frame_walk]=4096
                    [rtp_payload]=1500 [stream_framing]=4096)

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
# libFuzzer puts libstdc++ ahead of the shared sanitizer runtime in the
# targets' library list; preloading the runtime puts it first again.
asan_runtime=$(clang -print-file-name=libclang_rt.asan-x86_64.so)
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$build/artifacts"
status=0
for t in $targets; do
  work="$build/corpus/$t"
  mkdir -p "$work"
  echo "== fuzzing $t for ${seconds} s"
  if ! LD_PRELOAD="$asan_runtime" "$build/fuzz/sivo_fuzz_$t" "$work" "$src/fuzz/corpus/$t" \
      -max_total_time="$seconds" -max_len="${max_len[$t]}" -timeout=30 \
      -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$t-" 2>"$build/$t.log"; then
    status=1
    echo "FAILED: $t (log: $build/$t.log)"
    tail -n 60 "$build/$t.log"
  else
    grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::new_units_added)' \
      "$build/$t.log" || true
  fi
done
exit $status
