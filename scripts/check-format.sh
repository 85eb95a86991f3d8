#!/usr/bin/env bash
# Fails when a C or C++ file of the project is not clang-formatted.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c' 2>/dev/null || true)
((${#files[@]})) || exit 0
clang-format --dry-run --Werror "${files[@]}"
