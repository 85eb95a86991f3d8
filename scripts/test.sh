#!/usr/bin/env bash
# Builds and passes every test: the release build, ASan+UBSan and TSan builds
# of the same tests, the 32-bit driver build whose layout assertions must
# compile, the Windows DLL under Wine, and the Debian package on a clean root.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

run_preset() {
  local preset=$1
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  if [[ $preset != m32 ]]; then
    ctest --preset "$preset"
  fi
}

scripts/check-format.sh
for preset in default asan tsan m32; do
  run_preset "$preset"
done
scripts/wine-tests.sh  # the 32-bit Windows DLL, cross-built and tested under Wine
echo "=== package ==="
# The package installed on a clean Debian 12 root needs chroot and mount.
if [[ $(id -u) -eq 0 ]]; then
  scripts/package.sh
else
  echo "not root: the package is only unpacked and run, not installed on a clean root"
  scripts/package.sh --quick
fi
echo "all test builds passed"
