#!/usr/bin/env bash
# usage: scripts/format.sh [--check]
# Formats every C++ source of the project with clang-format (the style is
# .clang-format at the top); --check changes nothing and fails, naming the
# files, when one is not in that style.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
  bad=()
  for f in "${files[@]}"; do
    clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
  done
  if ((${#bad[@]})); then
    echo "format: not in the project's style (run scripts/format.sh): ${bad[*]}" >&2
    exit 1
  fi
  echo "format: ${#files[@]} files in the project's style"
else
  clang-format -i "${files[@]}"
fi
