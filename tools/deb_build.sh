#!/usr/bin/env bash
# Builds the Debian packages from a clean copy of the tree and checks them
# with lintian.
#
#   bash tools/deb_build.sh [DIR]        (DIR defaults to build-deb)
#
# Installs the build dependencies (debian/control's Build-Depends, through
# `apt-get build-dep`), copies the tracked and new, not ignored, files into
# DIR/src, runs `dpkg-buildpackage -us -uc -b` there (the test suite runs in
# it, under Debian's build flags) and leaves the .deb files, with the
# -dbgsym .ddeb files and the .changes and .buildinfo records, in DIR. Then
# runs lintian on them: any error fails; warnings are listed. The build's log
# is DIR/build.log. SIVO_JOBS sets the parallelism (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
if [ $# -gt 1 ]; then
  echo "usage: $0 [DIR]" >&2
  exit 2
fi
out=$(realpath -m "${1:-build-deb}")
jobs=${SIVO_JOBS:-2}
source tools/packages.sh

step() { printf '\n== %s (%ss)\n' "$1" "$SECONDS"; }

step "packages"
mkdir -p "$out"
ensure_packages build-essential dpkg-dev debhelper lintian git
# apt reads the Build-Depends from debian/control of the tree it is given.
DEBIAN_FRONTEND=noninteractive $packages_sudo apt-get -o DPkg::Lock::Timeout=900 \
  build-dep -y -q --no-install-recommends "$source_dir" >"$out/build-dep.log" 2>&1 ||
  { cat "$out/build-dep.log" >&2; echo "apt-get build-dep failed" >&2; exit 1; }

# Every lintian override sits under a comment that says why (a comment
# covers the overrides that follow it up to the next blank line).
for f in debian/*.lintian-overrides debian/source/lintian-overrides; do
  [ -e "$f" ] || continue
  awk '/^#/ { said = 1; next } /^[[:space:]]*$/ { said = 0; next }
       !said { print FILENAME ":" FNR ": lintian override without a comment: " $0; bad = 1 }
       END { exit bad }' "$f" >&2 || exit 1
done

step "clean copy"
version=$(dpkg-parsechangelog -l debian/changelog -S Version)
src=$out/src/sivo-$version
rm -rf "$out/src"
mkdir -p "$src"
# What git tracks (as it is in the work tree) and new files it does not
# ignore: no build folders, no editor leftovers.
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
  tar --null -T - -cf - | tar -C "$src" -xf -
rm -f "$out"/*.deb "$out"/*.ddeb "$out"/*.changes "$out"/*.buildinfo

step "dpkg-buildpackage"
if ! (cd "$src" && dpkg-buildpackage -us -uc -b -j"$jobs") >"$out/build.log" 2>&1; then
  tail -n 80 "$out/build.log" >&2
  echo "dpkg-buildpackage failed; the whole log is $out/build.log" >&2
  exit 1
fi
# The test run's summary, and what dpkg-gensymbols said of the exports.
grep -E '^(100% tests passed|[0-9]+% tests passed|Total Test time)|tests passed, ' "$out/build.log" || true
grep -A20 '^dpkg-gensymbols: warning' "$out/build.log" || true
mv "$out"/src/*.deb "$out"/src/*.changes "$out"/src/*.buildinfo "$out"/
mv "$out"/src/*.ddeb "$out"/ 2>/dev/null || true

step "lintian"
changes=$(ls "$out"/*.changes)
# Errors fail the build; warnings are listed. Overrides live in
# debian/*.lintian-overrides, each with a comment that says why.
status=0
lintian --fail-on error --display-level '>=warning' --show-overrides "$changes" |
  tee "$out/lintian.log" || status=$?
if [ "$status" -ne 0 ]; then
  echo "lintian found errors (status $status)" >&2
  exit 1
fi
warnings=$(grep -c '^W: ' "$out/lintian.log" || true)
echo "lintian: no errors, $warnings warnings"

step "packages built"
for deb in "$out"/*.deb; do
  printf '%-44s %8s bytes  (installed %s KiB)\n' "$(basename "$deb")" "$(stat -c %s "$deb")" \
    "$(dpkg-deb -f "$deb" Installed-Size)"
done
step "done"
