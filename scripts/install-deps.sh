#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need, on a
# fresh machine. Does nothing when they are all there.
set -euo pipefail

packages=(cmake ninja-build g++ g++-multilib libgtest-dev libgmock-dev libbenchmark-dev clang-format
          pkg-config file binutils)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  SUDO=""
  [[ $(id -u) -ne 0 ]] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
