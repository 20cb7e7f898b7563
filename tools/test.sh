#!/usr/bin/env bash
# Builds everything and runs the whole test suite, the WebAssembly package's
# tests in Node and in headless Chromium included.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install_deps.sh --tests
bash tools/web_build.sh build-web   # installs emscripten and nodejs when missing
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"
SIVO_WEB_REQUIRED=1 ctest --test-dir build --output-on-failure -j"$(nproc)"
