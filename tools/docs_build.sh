#!/usr/bin/env bash
# Builds the documentation: the site (the guide, the C reference, the Python
# reference) and a manual page per exported C function, with every warning an
# error, the site's examples run as doctests, and a check that every exported
# function and public Python name is documented.
#
#   tools/docs_build.sh [DIR]     (default: build/docs)
#
# Writes DIR/html/index.html and DIR/man/man3/*.3. Builds in the build folder
# $SIVO_BUILD_DIR (default build/, the one tools/test.sh uses, so that only the
# Python package is built when it is missing), installing the Debian packages
# it needs when they are missing. JOBS sets the parallelism (default 2).
set -euo pipefail

src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${SIVO_BUILD_DIR:-$src/build}
out=${1:-$build/docs}
jobs=${JOBS:-2}

bash "$src/tools/install_deps.sh"
source "$src/tools/packages.sh"
ensure_packages doxygen python3-sphinx python3-breathe python3-myst-parser

cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$jobs" --target docs

made=$build/docs
mkdir -p "$out"
out=$(cd "$out" && pwd)
if [ "$out" != "$(cd "$made" && pwd)" ]; then
  # Only folders an earlier run wrote are replaced: a site has Sphinx's
  # .buildinfo, the manual pages nothing but man3/.
  for folder in html man; do
    if [ -e "$out/$folder" ] && ! { [ "$folder" = html ] && [ -f "$out/html/.buildinfo" ]; } &&
       ! { [ "$folder" = man ] && [ "$(ls -A "$out/man")" = man3 ]; }; then
      echo "docs_build.sh: $out/$folder exists and was not written by this script; left as it is" >&2
      exit 1
    fi
  done
  rm -rf "$out/html" "$out/man"
  cp -a "$made/html" "$made/man" "$out/"
fi
html=$(find "$out/html" -name '*.html' -not -path '*/doxygen/*' -not -path '*/_static/*' | wc -l)
man=$(find "$out/man/man3" -name '*.3' | wc -l)
echo "docs_build.sh: $out/html/index.html ($html site pages), $out/man/man3 ($man pages)"
