#!/usr/bin/env bash
# Checks that every C++ source of the tree is formatted as .clang-format says; prints the files
# that are not and exits non-zero. With --fix, formats them in place instead.
# Usage: scripts/format.sh [--fix]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-packages.sh
ensure_packages clang-format:clang-format

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -- '*.h' '*.cpp')
else
  mapfile -t files < <(find . -path ./build -prune -o -type f \( -name '*.h' -o -name '*.cpp' \) -print)
fi

if [[ ${1:-} == --fix ]]; then
  clang-format -i "${files[@]}"
  exit 0
fi

bad=()
for f in "${files[@]}"; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if ((${#bad[@]})); then
  echo "Not formatted (run scripts/format.sh --fix):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "clang-format: ${#files[@]} files clean"
