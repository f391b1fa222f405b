#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Checks the first thing a user sees who compiles Kelvane's headers with too old a standard:
# `#include "kelvane/kelvane.h"` compiled as C++17 must fail, and its first error must be the
# library's own message naming the fix (kelvane/export.h), not one from deep inside a header.
# The same file compiled as C++20 must compile, so the check never stops a correct build.
#   scripts/cxx-standard-check.sh CXX SOURCE_DIR GENERATED_DIR
set -euo pipefail
if [ $# -ne 3 ]; then
  echo "usage: scripts/cxx-standard-check.sh CXX SOURCE_DIR GENERATED_DIR" >&2
  exit 2
fi
cxx=$1
root=$2
generated=$3
expected='Kelvane needs C++20: compile with -std=c++20'

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf '#include "kelvane/kelvane.h"\nint main() { return 0; }\n' >"$tmp/check.cc"
includes=(-I"$root" -I"$root/include" -I"$generated")

if "$cxx" -std=c++17 -fsyntax-only "${includes[@]}" "$tmp/check.cc" 2>"$tmp/cxx17.log"; then
  echo "cxx-standard-check: kelvane/kelvane.h compiled as C++17; the #error did not fire"
  exit 1
fi
first=$(grep -m1 'error' "$tmp/cxx17.log" || true)
case "$first" in
  *"$expected"*) ;;
  *)
    echo "cxx-standard-check: as C++17 the first error is not the library's message"
    echo "  expected: $expected"
    echo "  first:    $first"
    head -n 20 "$tmp/cxx17.log"
    exit 1
    ;;
esac
errors=$(grep -c 'error' "$tmp/cxx17.log" || true)

if ! "$cxx" -std=c++20 -fsyntax-only "${includes[@]}" "$tmp/check.cc" 2>"$tmp/cxx20.log"; then
  echo "cxx-standard-check: kelvane/kelvane.h does not compile as C++20"
  head -n 20 "$tmp/cxx20.log"
  exit 1
fi
echo "cxx-standard-check: C++17 stops first at \"$expected\" ($errors error lines in all);" \
     "C++20 compiles"
