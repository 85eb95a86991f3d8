# shellcheck shell=bash
# Sourced by the set-up scripts: which Debian packages are still to install.

# Fills the array `missing` with those of the packages named that are not
# installed.
find_missing_packages() {
  missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
  done
}

# sudo when not root, for apt-get and dpkg.
sudo_unless_root() {
  if [[ $(id -u) -ne 0 ]]; then sudo "$@"; else "$@"; fi
}
