#!/usr/bin/env bash
# Builds and passes every test: the release build, ASan+UBSan and TSan builds
# of the same tests, and the 32-bit driver build whose layout assertions must
# compile.
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
echo "all test builds passed"
