#!/usr/bin/env bash
# Builds the Debian package and checks that what it installs runs: the package
# is unpacked into a scratch root and its vpihost describes its driver.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target telmor veldan vpihost ultsim_cli
(cd build && cpack -G DEB)
deb=$(ls build/telmor_*.deb | head -n1)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
"$root/usr/bin/vpihost" info
echo "package $deb installs and runs"
