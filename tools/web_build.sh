#!/usr/bin/env bash
# Builds the WebAssembly package with emscripten, through the project's own
# CMake (the codec's plain forms, the frame walker, web/):
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

need=()
command -v emcc >/dev/null || need+=(emscripten)
command -v node >/dev/null || need+=(nodejs)
command -v npm >/dev/null || need+=(npm)
[ -f /usr/share/codec2/raw/hts1a.raw ] || need+=(codec2-examples)
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

emcmake cmake -S "$src" -B "$out" -DCMAKE_BUILD_TYPE=Release -DSIVO_KERNELS=reference >/dev/null
cmake --build "$out" -j"$jobs"
echo "web build: $out/package, $(ls "$out"/sivo-*.tgz), $out/page" >&2
