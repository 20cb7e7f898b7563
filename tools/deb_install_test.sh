#!/usr/bin/env bash
# Installs the Debian packages of tools/deb_build.sh on a fresh, minimal
# Debian root and runs the smoke tests of debian/tests there, then removes
# the packages and checks that none of their files is left.
#
#   bash tools/deb_install_test.sh DIR      (DIR: the folder with the .deb files)
#
# The root is made by `debootstrap --variant=minbase` for this machine's
# release and architecture, from the Debian mirror that this machine's own apt
# sources name; its tarball, and the packages apt downloads into it, are kept
# in DIR/cache between runs (SIVO_DEB_CACHE names another folder). In the root,
# `apt-get install ./*.deb` installs the packages with what their Depends
# pull in (no Recommends), then each test of debian/tests/control runs with
# its Depends installed. The program's output must also match, byte for byte,
# what the build tree's sivo gives (SIVO_BUILD, default build, else the
# package's own build tree in DIR/src). The root is DIR/root, removed when
# every check passed.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
if [ $# -ne 1 ]; then
  echo "usage: $0 DIR   (the folder of tools/deb_build.sh)" >&2
  exit 2
fi
out=$(realpath "$1")
cache=$(realpath -m "${SIVO_DEB_CACHE:-$out/cache}")
root=$out/root
speech=/usr/share/codec2/raw/hts1a.raw
source tools/packages.sh

step() { printf '\n== %s (%ss)\n' "$1" "$SECONDS"; }

debs=()
for deb in "$out"/*.deb; do
  case $deb in *-dbgsym_*) ;; *) [ -e "$deb" ] && debs+=("$deb") ;; esac
done
if [ ${#debs[@]} -eq 0 ]; then
  echo "no .deb files in $out: run tools/deb_build.sh $1 first" >&2
  exit 1
fi
packages=()
for deb in "${debs[@]}"; do packages+=("$(dpkg-deb -f "$deb" Package)"); done

step "packages"
ensure_packages debootstrap debian-archive-keyring codec2-examples

# --- The mirror ----------------------------------------------------------------
# The Debian archives this machine's apt sources name, for its own release and
# architecture: the first gives debootstrap its mirror, all of them (updates
# and security too) become the root's sources.
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
arch=$(dpkg --print-architecture)
debian_sources() {
  apt-get indextargets --format '$(ORIGIN) $(ARCHITECTURE) $(COMPONENT) $(REPO_URI) $(RELEASE)' \
    'Identifier: Packages' | awk -v a="$arch" '$1 == "Debian" && $2 == a && $3 == "main" {
      print $4, $5 }' | sort -u
}
sources=$(debian_sources)
if [ -z "$sources" ]; then
  $packages_sudo apt-get -o DPkg::Lock::Timeout=900 update -q >/dev/null
  sources=$(debian_sources)
fi
mirror=$(awk -v c="$codename" '$2 == c { print $1; exit }' <<<"$sources")
if [ -z "$mirror" ]; then
  echo "this machine's apt sources name no Debian mirror for $codename ($arch), main:" >&2
  apt-get indextargets --format '$(ORIGIN) $(REPO_URI) $(RELEASE) $(COMPONENT)' >&2
  exit 1
fi
echo "mirror: $mirror ($codename, $arch)"

# --- The root ------------------------------------------------------------------
step "root"
mkdir -p "$cache/archives/partial"
tarball=$cache/$codename-$arch-minbase.tar
# A tarball older than a month is made anew, so that the root stays close to
# the archive.
if [ -f "$tarball" ] && [ -n "$(find "$tarball" -mtime +30)" ]; then rm -f "$tarball"; fi
rm -rf "$root"
if [ ! -f "$tarball" ]; then
  echo "debootstrap --variant=minbase $codename (cached as $tarball)"
  debootstrap --variant=minbase --arch="$arch" "$codename" "$root" "$mirror" \
    >"$cache/debootstrap.log" 2>&1 || { tail -n 30 "$cache/debootstrap.log" >&2; exit 1; }
  rm -rf "$root"/var/cache/apt/archives/*.deb
  tar -C "$root" -cf "$tarball.part" . && mv "$tarball.part" "$tarball"
else
  echo "unpacking $tarball"
  mkdir -p "$root"
  tar -C "$root" -xf "$tarball"
fi
awk '{ print "deb", $1, $2, "main" }' <<<"$sources" >"$root/etc/apt/sources.list"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# A root made for one run need not survive a power cut: dpkg may skip its
# syncs, which otherwise take most of the install's time.
echo force-unsafe-io >"$root/etc/dpkg/dpkg.cfg.d/sivo-unsafe-io"

# What the root gets: the packages, the tests and the C program they build,
# and the recording (the root does not install codec2-examples for it).
mkdir -p "$root/srv/sivo/debs" "$root/srv/sivo/src/debian" "$root/srv/sivo/src/tests/cli"
cp "${debs[@]}" "$root/srv/sivo/debs/"
cp -r debian/tests "$root/srv/sivo/src/debian/"
cp -r tests/cli/consumer "$root/srv/sivo/src/tests/cli/"
cp "$speech" "$root/srv/sivo/hts1a.raw"

# The tests' own Depends, less the packages under test and the recordings.
tests=$(awk '/^Tests:/ { print $2 }' debian/tests/control | tr '\n' ' ')
test_depends=$(awk -F': *' '/^Depends:/ { print $2 }' debian/tests/control | tr ',' '\n' |
  tr -d ' ' | sort -u | grep -vxF -e codec2-examples "${packages[@]/#/-e}" | tr '\n' ' ')

cat >"$root/srv/sivo/run.sh" <<EOF
#!/bin/sh
set -eu
export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 PATH=/usr/sbin:/usr/bin:/sbin:/bin
apt_get() { apt-get -q -o APT::Install-Recommends=false -o Dpkg::Use-Pty=0 "\$@"; }
start=\$(date +%s)
say() { echo "== \$* (\$((\$(date +%s) - start))s in the root)"; }
cd /srv/sivo
say "apt-get install ./*.deb"
apt_get update >/srv/sivo/apt.log 2>&1 || { cat /srv/sivo/apt.log; exit 1; }
apt_get install -y ./debs/*.deb >>/srv/sivo/apt.log 2>&1 || { cat /srv/sivo/apt.log; exit 1; }
dpkg-query -W -f='\${Package} \${Version} \${Installed-Size} KiB\n' ${packages[*]}
say "the tests' own Depends: $test_depends"
apt_get install -y $test_depends >>/srv/sivo/apt.log 2>&1 || { cat /srv/sivo/apt.log; exit 1; }
# The files of the packages, for the check after the purge.
dpkg -L ${packages[*]} | sort -u >/srv/sivo/files.txt
cd /srv/sivo/src
for t in $tests; do
  say "debian/tests/\$t"
  mkdir -p /srv/sivo/out/\$t
  AUTOPKGTEST_TMP=/srv/sivo/out/\$t SIVO_SPEECH=/srv/sivo/hts1a.raw debian/tests/\$t
done
say "apt-get purge"
apt_get purge -y ${packages[*]} >>/srv/sivo/apt.log 2>&1 || { cat /srv/sivo/apt.log; exit 1; }
left=0
while read -r f; do
  [ "\$f" = /. ] && continue
  if [ -d "\$f" ] && [ ! -L "\$f" ]; then
    # A folder may stay while another package owns it.
    if dpkg -S "\$f" >/dev/null 2>&1; then continue; fi
  elif [ ! -e "\$f" ] && [ ! -L "\$f" ]; then
    continue
  fi
  echo "left behind: \$f"
  left=1
done </srv/sivo/files.txt
[ "\$left" -eq 0 ]
echo "purge: none of the \$(wc -l </srv/sivo/files.txt) paths of the packages remains"
EOF
chmod +x "$root/srv/sivo/run.sh"

# --- Inside the root -------------------------------------------------------------
# A mount namespace of its own: the mounts go when the run ends, however it ends.
step "in the root"
unshare --mount --propagation private -- sh -c '
  set -e
  mount -t proc proc "$1/proc"
  mount --rbind /dev "$1/dev"
  mount --bind "$2/archives" "$1/var/cache/apt/archives"
  exec chroot "$1" /srv/sivo/run.sh
' sh "$root" "$cache"

# --- Against the build tree -------------------------------------------------------
step "same bytes as the build tree"
reference=${SIVO_BUILD:-build}/tools/sivo
if [ ! -x "$reference" ]; then
  reference=$(ls "$out"/src/sivo-*/obj-*/tools/sivo 2>/dev/null | head -n 1)
fi
if [ -z "$reference" ] || [ ! -x "$reference" ]; then
  echo "no build tree's sivo (SIVO_BUILD or the package build in $out/src)" >&2
  exit 1
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for rate in 0 1 2 3; do
  "$reference" encode -q --raw -r "$rate" "$speech" "$scratch/rate$rate.siv"
  cmp "$scratch/rate$rate.siv" "$root/srv/sivo/out/cli/rate$rate.siv"
done
"$reference" decode -q --format raw "$scratch/rate0.siv" "$scratch/rate0.raw"
cmp "$scratch/rate0.raw" "$root/srv/sivo/out/cli/rate0.raw"
echo "installed sivo and $reference: the same bytes at rates 0-3 and decoded"

rm -rf "$root"
step "done"
