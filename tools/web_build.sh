#!/usr/bin/env bash
# Builds the codec for WebAssembly with emscripten and writes the npm package
# folder, its tarball and the listening page:
#
#   tools/web_build.sh [DIR]      (default build-web in the checkout)
#
#   DIR/package/       the npm package (require('DIR/package') in Node)
#   DIR/sivo-VERSION.tgz   the same, packed for `npm install FILE` offline
#   DIR/page/          the listening page, static files; serve it with e.g.
#                      python3 -m http.server -d DIR/page
#
# Installs emscripten, nodejs and the speech samples from Debian when they
# are missing. JOBS sets the parallelism (default 2).
set -euo pipefail

src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$(mkdir -p "${1:-$src/build-web}" && cd "${1:-$src/build-web}" && pwd)
jobs=${JOBS:-2}
sample_raw=(/usr/share/codec2/raw/hts1a.raw /usr/share/codec2/raw/hts2a.raw)

need=()
command -v emcc >/dev/null || need+=(emscripten)
command -v node >/dev/null || need+=(nodejs)
[ -f "${sample_raw[0]}" ] || need+=(codec2-examples)
if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${need[*]}" >&2
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=900 install -y \
    --no-install-recommends "${need[@]}"
fi

# Debian's emscripten runs its JavaScript tools with Debian's node modules
# (acorn); a node from elsewhere does not look there by itself.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

# The codec's plain forms only: the x86 lane kernels (codec/kernels/*_lanes.cpp)
# stay out, and the kernel table holds the reference forms; the numerics are
# the native build's (no contraction into fused multiply-add).
cxxflags=(-std=c++20 -O2 -msimd128 -ffp-contract=off -Wall -Wextra
  -include "$src/web/src/bit_cast_compat.h" -I"$src" -I"$src/codec/include")
mapfile -t sources < <(cd "$src" && find codec web/src -name '*.cpp' -not -path 'codec/kernels/*_lanes.cpp' | sort)

# One object per source, rebuilt when the source or any header is newer, and
# all of them when the flags change.
mkdir -p "$out/obj"
if [ "$(cat "$out/obj/flags" 2>/dev/null)" != "${cxxflags[*]}" ]; then
  rm -f "$out"/obj/*.o
  echo "${cxxflags[*]}" >"$out/obj/flags"
fi
newest_header=$(find "$src/codec" "$src/web/src" -name '*.h' -printf '%T@\n' | sort -n | tail -1)
stale=()
for s in "${sources[@]}"; do
  o="$out/obj/${s//\//_}.o"
  if [ ! -f "$o" ] || [ "$src/$s" -nt "$o" ] ||
     [ "$(printf '%.0f' "$newest_header")" -gt "$(stat -c %Y "$o")" ]; then
    stale+=("$s")
  fi
done
if [ ${#stale[@]} -gt 0 ]; then
  echo "web build: compiling ${#stale[@]} sources" >&2
  running=()
  for s in "${stale[@]}"; do
    emcc "${cxxflags[@]}" -c "$src/$s" -o "$out/obj/${s//\//_}.o" &
    running+=($!)
    if [ ${#running[@]} -ge "$jobs" ]; then
      wait "${running[0]}"
      running=("${running[@]:1}")
    fi
  done
  for pid in "${running[@]}"; do wait "$pid"; done
fi
objects=()
for s in "${sources[@]}"; do objects+=("$out/obj/${s//\//_}.o"); done

exports='_malloc,_free,_sivo_encoder_open,_sivo_encoder_close,_sivo_encoder_reset'
exports+=',_sivo_encoder_get_version,_sivo_decoder_open,_sivo_decoder_close'
exports+=',_sivo_decoder_reset,_sivo_decoder_set_filter_mode'
exports+=',_sivo_web_encode,_sivo_web_decode,_sivo_web_conceal'
mkdir -p "$out/wasm"
emcc -O2 "${objects[@]}" -o "$out/wasm/sivo_wasm.js" \
  -sMODULARIZE=1 -sEXPORT_NAME=createSivoModule -sSINGLE_FILE=1 \
  -sENVIRONMENT=web,worker,node -sALLOW_MEMORY_GROWTH=1 -sFILESYSTEM=0 \
  -sEXPORTED_FUNCTIONS="$exports" -sEXPORTED_RUNTIME_METHODS=UTF8ToString

# The package folder.
version=$(sed -n 's/^project(sivo VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
pkg="$out/package"
rm -rf "$pkg"
mkdir -p "$pkg"
cp "$src/web/index.js" "$src/web/index.d.ts" "$src/web/README.md" "$src/LICENSE" "$out/wasm/sivo_wasm.js" "$pkg/"
sed "s/\"version\": \"[^\"]*\"/\"version\": \"$version\"/" "$src/web/package.json" >"$pkg/package.json"

# The tarball `npm pack` makes (without npm, the same layout by tar).
rm -f "$out"/sivo-*.tgz
if command -v npm >/dev/null; then
  (cd "$out" && npm pack --silent ./package >/dev/null)
else
  tar -C "$out" --owner=0 --group=0 --sort=name -czf "$out/sivo-$version.tgz" package
fi

# The listening page with the module and a bundled sample: a few seconds of
# speech at 8000 Hz, a whole number of frames, as a 16-bit mono WAV file.
page="$out/page"
rm -rf "$page"
mkdir -p "$page"
cp "$src"/web/page/* "$pkg/sivo_wasm.js" "$page/"
cp "$pkg/index.js" "$page/sivo.js"
/usr/bin/python3 - "$page/sample.wav" "${sample_raw[@]}" <<'EOF'
import sys, wave
pcm = b"".join(open(p, "rb").read() for p in sys.argv[2:])
pcm = pcm[: len(pcm) // 480 * 480]
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(8000)
    w.writeframes(pcm)
EOF

echo "web build: $pkg, $(ls "$out"/sivo-*.tgz), $page" >&2
