#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Checks that every C++ file of the tree is laid out as .clang-format says, and names the files
# that are not. The layout differs between clang-format's major versions, so the check runs only
# with the one the tree was formatted with (Debian 12's, 14); without it, the check is skipped
# (exit 77). To reformat: scripts/format-check.sh --fix
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
wanted=14
formatter=
for candidate in clang-format-$wanted clang-format; do
  if command -v "$candidate" >/dev/null &&
     "$candidate" --version | grep -q "version $wanted\."; then
    formatter=$candidate
    break
  fi
done
if [ -z "$formatter" ]; then
  echo "format-check: no clang-format $wanted here; skipped"
  exit 77
fi

cd "$root"
mapfile -t files < <(git ls-files -- '*.h' '*.cc' 2>/dev/null ||
                     find kelvane tools bench fuzz -name '*.h' -o -name '*.cc')
if [ "${1:-}" = --fix ]; then
  "$formatter" -i "${files[@]}"
  exit 0
fi
unformatted=()
for f in "${files[@]}"; do
  if ! "$formatter" --dry-run -Werror "$f" >/dev/null 2>&1; then unformatted+=("$f"); fi
done
if [ ${#unformatted[@]} -gt 0 ]; then
  printf 'format-check: not as .clang-format lays it out: %s\n' "${unformatted[@]}"
  echo "format-check: ${#unformatted[@]} file(s); scripts/format-check.sh --fix reformats them"
  exit 1
fi
echo "format-check: ${#files[@]} files as .clang-format lays them out"
