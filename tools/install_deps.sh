#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need.
# Does nothing when they are all present.
#
#   tools/install_deps.sh [--tests]   (--tests: also what only the tests need)
set -euo pipefail

packages=(
  cmake g++ make pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  libsoxr-dev libsndfile1-dev help2man
  codec2-examples
  # The GStreamer plugin and its pipeline tests.
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
)

# The baresip codec module (baresip's libraries' headers and baresip itself,
# which loads the module in its tests).
packages+=(baresip-core libre-dev librem-dev)

# The Python package, its tests and the corpus tool's Dask cluster.
packages+=(python3-dev python3-numpy python3-pytest pybind11-dev python3-dask python3-distributed)
# The wheel and the source distribution (python3 -m build --no-isolation),
# installed by pip into a virtual environment in their tests.
packages+=(python3-setuptools python3-wheel python3-build python3-venv)

# The listening page's test drives a headless browser; the baresip call
# tests make network namespaces with a tap device and steer RTP with nftables.
[ "${1:-}" = --tests ] && packages+=(chromium chromium-driver iproute2 nftables)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}" >&2
# A mirror caught mid-sync fails a list for a minute or so: try again, then
# go on with the lists apt kept (the install says if they lack a package).
for attempt in 1 2 3; do
  $sudo apt-get update && break
  if [ "$attempt" -lt 3 ]; then
    echo "apt-get update failed; again in $((30 * attempt)) s" >&2
    sleep $((30 * attempt))
  else
    echo "apt-get update failed three times; going on with the package lists at hand" >&2
  fi
done
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
