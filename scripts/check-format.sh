#!/usr/bin/env bash
# Checks that every C++ file of the project is formatted as the committed .clang-format says, with Debian 12's
# clang-format 14 (other versions format some constructs differently). --fix formats them in place.
set -euo pipefail
cd "$(dirname "$0")/.."

format=clang-format-14
mapfile -t files < <(git ls-files '*.h' '*.cpp')

if [ "${1:-}" = "--fix" ]; then
    "$format" -i "${files[@]}"
    exit 0
fi

if ! "$format" --dry-run --Werror "${files[@]}"; then
    echo "Not formatted as .clang-format says: run scripts/check-format.sh --fix"
    exit 1
fi
echo "Formatting: ${#files[@]} files as .clang-format says"
