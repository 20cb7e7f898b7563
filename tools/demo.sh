#!/usr/bin/env bash
# The sivo demo: builds the sivo program, encodes real recorded speech at all
# four compression rates, decodes it back to WAV files in ./sivo-demo/, and
# prints a table of the results.
#
#   bash tools/demo.sh [--no-deps] [IN]
#
# --no-deps  skip installing the Debian packages (needs root otherwise)
# IN         speech to use instead of the bundled recordings: any file
#            `sivo encode` reads (WAV, FLAC, Ogg, AIFF, ... at any rate)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${SIVO_BUILD_DIR:-$root/build}
out=$root/sivo-demo
speech_dir=/usr/share/codec2/raw
# Male and female speakers from Debian's codec2-examples.
recordings=(hts1a.raw hts2a.raw morig.raw forig.raw)

install_deps=1
input=""
for arg in "$@"; do
  case $arg in
    --no-deps) install_deps=0 ;;
    -h|--help) sed -n '2,10p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "demo.sh: unknown option $arg" >&2; exit 2 ;;
    *) input=$arg ;;
  esac
done

if [[ $install_deps == 1 ]]; then
  echo "== Installing dependencies"
  if [[ ! -f $root/tools/install_deps.sh ]]; then
    echo "demo.sh: tools/install_deps.sh is missing; run with --no-deps" >&2
    exit 1
  fi
  bash "$root/tools/install_deps.sh"
fi

echo "== Building sivo in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target sivo -j "$(nproc)" >/dev/null
sivo=$build/tools/sivo

mkdir -p "$out"
if [[ -n $input ]]; then
  # Kept as it is: encode and compare read any format and rate alike.
  name=$(basename "$input")
  reference=$out/input.${name##*.}
  [[ $name == *.* ]] || reference=$out/input
  cp "$input" "$reference"
  label=$name
else
  cat "${recordings[@]/#/$speech_dir/}" > "$out/input.raw"
  "$sivo" raw2wav "$out/input.raw" "$out/input.wav"
  rm -f "$out/input.raw"
  reference=$out/input.wav
  label="${recordings[*]} from $speech_dir"
fi

echo "== Encoding and decoding $label"
rows=()
for rate in 0 1 2 3; do
  "$sivo" encode -q -r "$rate" "$reference" "$out/rate$rate.siv"
  "$sivo" decode -q "$out/rate$rate.siv" "$out/rate$rate.wav"
  "$sivo" decode -q --no-postfilter "$out/rate$rate.siv" "$out/rate$rate-nopostfilter.wav"
  info=$("$sivo" info "$out/rate$rate.siv")
  frames=$(sed -n 's/^speech frames: *//p' <<<"$info")
  duration=$(sed -n 's/^duration: *//p' <<<"$info")
  bitrate=$(sed -n 's/^average bit rate: *\([0-9.]*\).*/\1/p' <<<"$info")
  size=$(stat -c %s "$out/rate$rate.siv")
  snr=$("$sivo" compare "$reference" "$out/rate$rate-nopostfilter.wav" |
        sed -n 's/^segmental SNR: *\([-0-9.]*\) dB.*/\1/p')
  rows+=("$(printf '| %4s | %11s | %13s | %14s | %20s |' "$rate" "$((size / frames))" \
            "$bitrate" "$size" "$snr")")
done

input_size=$(stat -c %s "$reference")
echo
echo "Input: $duration of speech, $frames frames, $input_size bytes of $(basename "$reference")"
echo "Segmental SNR measured with the post-filter off (--no-postfilter), the"
echo "decoded signal aligned 60 samples behind the input:"
echo
printf '| %4s | %11s | %13s | %14s | %20s |\n' rate "frame bytes" "bit rate, b/s" \
  "file size, B" "segmental SNR, dB"
echo "|------|-------------|---------------|----------------|----------------------|"
printf '%s\n' "${rows[@]}"
echo
echo "Listen to $out/rate*.wav (post-filter on) against $reference."
