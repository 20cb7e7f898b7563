# Shell helpers for the build scripts, which source this file: install the
# Debian packages a build needs, only those that are missing.

packages_sudo=""
[ "$(id -u)" -eq 0 ] || packages_sudo="sudo"
# Set when the package lists must be fetched again (a new architecture or
# source) before the next install.
packages_stale=0

# Adds a foreign dpkg architecture (i386, arm64, armhf) when it is missing.
add_architecture() {
  if ! dpkg --print-foreign-architectures | grep -qx "$1"; then
    $packages_sudo dpkg --add-architecture "$1"
    packages_stale=1
  fi
}

# Installs those of the named packages (name or name:arch) that are missing,
# fetching the package lists first when anything is to be installed or the
# lists are stale.
ensure_packages() {
  local p missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ] || [ "$packages_stale" -ne 0 ]; then
    # A mirror caught mid-sync fails a list for a minute or so: try again,
    # then go on with the lists apt kept (the install says if they lack a
    # package).
    local attempt
    for attempt in 1 2 3; do
      $packages_sudo apt-get -o DPkg::Lock::Timeout=900 update -q && break
      if [ "$attempt" -lt 3 ]; then
        echo "apt-get update failed; again in $((30 * attempt)) s" >&2
        sleep $((30 * attempt))
      else
        echo "apt-get update failed three times; going on with the package lists at hand" >&2
      fi
    done
    packages_stale=0
  fi
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}" >&2
    DEBIAN_FRONTEND=noninteractive $packages_sudo apt-get -o DPkg::Lock::Timeout=900 \
      install -y -q --no-install-recommends "${missing[@]}"
  fi
}
