#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need, on a
# fresh machine. Does nothing when they are all there.
set -euo pipefail
# shellcheck source=scripts/lib/packages.sh
source "$(dirname "$0")/lib/packages.sh"

packages=(cmake ninja-build g++ g++-multilib libgtest-dev libgmock-dev libbenchmark-dev clang-format
          pkg-config file binutils)
find_missing_packages "${packages[@]}"
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  sudo_unless_root apt-get update -qq
  sudo_unless_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi
