#!/usr/bin/env bash
# Installs what the Windows build and its tests need: the i686 mingw-w64
# cross compiler and a 32-bit Wine. Does nothing when they are all there.
set -euo pipefail
# shellcheck source=scripts/lib/packages.sh
source "$(dirname "$0")/lib/packages.sh"

packages=(g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386)
find_missing_packages "${packages[@]}"
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  # wine32 comes from the i386 side of the archive.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo_unless_root dpkg --add-architecture i386
  fi
  sudo_unless_root apt-get update -qq
  sudo_unless_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
