#!/usr/bin/env bash
# Compares the ABI of the two public libraries, libsivocore and libsivowav,
# with the one committed in tests/abi/, using libabigail's abidw and abidiff.
#
#   bash tools/abi_check.sh DIR [--update]
#
# DIR is the folder of tools/deb_build.sh: the libraries come from their
# packages, the debug information that describes their types from the
# -dbgsym packages, and the public headers from libsivo-dev (only types those
# headers declare count). Any change to an existing export, its parameters or
# the types it reaches fails, with abidiff's report; exports added are
# reported and pass. --update writes the ABI of DIR's libraries as the new
# reference (after a deliberate change, with a new soname when it breaks
# callers).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 1 ] || [ $# -gt 2 ] || { [ $# -eq 2 ] && [ "$2" != --update ]; }; then
  echo "usage: $0 DIR [--update]" >&2
  exit 2
fi
out=$(realpath "$1")
update=${2:-}
source tools/packages.sh
ensure_packages abigail-tools

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for package in libsivocore2 libsivowav2 libsivocore2-dbgsym libsivowav2-dbgsym libsivo-dev; do
  deb=$(ls "$out/${package}"_*.deb 2>/dev/null | head -n 1)
  if [ -z "$deb" ]; then
    echo "no $package package in $out: run tools/deb_build.sh first" >&2
    exit 1
  fi
  dpkg-deb -x "$deb" "$work/root"
done
libdir=$work/root/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)

status=0
for lib in libsivocore libsivowav; do
  reference=tests/abi/$lib.abi
  current=$work/$lib.abi
  abidw --debug-info-dir "$work/root/usr/lib/debug" --headers-dir "$work/root/usr/include" \
    --drop-private-types --exported-interfaces-only --no-parameter-names \
    --no-corpus-path --no-show-locs --no-comp-dir-path \
    --type-id-style hash --out-file "$current" "$libdir/$lib.so.2"
  if [ "$update" = --update ]; then
    cp "$current" "$reference"
    echo "$lib: $reference written"
    continue
  fi
  # Everything but added exports must be unchanged.
  if ! abidiff --no-added-syms "$reference" "$current" >"$work/$lib.diff"; then
    echo "$lib: the ABI changed against $reference:"
    cat "$work/$lib.diff"
    status=1
    continue
  fi
  abidiff "$reference" "$current" >"$work/$lib.diff" || true
  if grep -q '[1-9][0-9]* Added' "$work/$lib.diff"; then
    echo "$lib: exports added (compatible; commit them with tools/abi_check.sh DIR --update):"
    cat "$work/$lib.diff"
  else
    echo "$lib: ABI unchanged"
  fi
done
exit "$status"
