#!/usr/bin/env bash
# Installs what the Windows build and its tests need: the i686 mingw-w64
# cross compiler and a 32-bit Wine. Does nothing when they are all there.
set -euo pipefail

packages=(g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  SUDO=""
  [[ $(id -u) -ne 0 ]] && SUDO=sudo
  # wine32 comes from the i386 side of the archive.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
