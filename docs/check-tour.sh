#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Compiles the code of the manual's main page against the headers, so that the tour's first
# calls cannot drift from the interface they show.
#   docs/check-tour.sh CXX SOURCE_DIR GENERATED_DIR
# Each ```cpp block of docs/mainpage.md becomes the body of a function of one file (its
# #include lines go to the top), compiled as C++20 without linking.
set -euo pipefail
if [ $# -ne 3 ]; then
  echo "usage: docs/check-tour.sh CXX SOURCE_DIR GENERATED_DIR" >&2
  exit 2
fi
cxx=$1
root=$2
generated=$3
page="$root/docs/mainpage.md"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
awk -v includes="$tmp/includes" -v bodies="$tmp/bodies" '
  /^```cpp/ {
    inside = 1
    n++
    printf "// docs/mainpage.md, block %d (line %d)\nvoid tour_%d() {\n", n, NR, n > bodies
    next
  }
  inside && /^```/ { inside = 0; print "}\n" > bodies; next }
  inside && /^#include/ { print > includes; next }
  inside { print > bodies }
  END { if (n == 0) exit 1 }
' "$page" || { echo "check-tour: docs/mainpage.md has no code" >&2; exit 1; }

{
  echo '#include <chrono>'
  echo '#include <cstdint>'
  echo '#include <cstdio>'
  echo '#include <memory>'
  echo '#include <optional>'
  echo '#include <utility>'
  [ -f "$tmp/includes" ] && cat "$tmp/includes"
  cat "$tmp/bodies"
} >"$tmp/tour.cc"

if ! "$cxx" -std=c++20 -fsyntax-only -Wall -Wextra -Wno-unused-variable -Wno-unused-parameter \
     -Wno-unused-but-set-variable -I"$root" -I"$root/include" -I"$generated" "$tmp/tour.cc" \
     2>"$tmp/errors"; then
  echo "check-tour: the code of docs/mainpage.md does not compile against the headers:"
  sed "s|$tmp/tour.cc|tour.cc|" "$tmp/errors" | head -n 40
  echo "--- tour.cc as compiled:"
  cat -n "$tmp/tour.cc"
  exit 1
fi
if [ -s "$tmp/errors" ]; then
  echo "check-tour: the code of docs/mainpage.md compiles with warnings:"
  sed "s|$tmp/tour.cc|tour.cc|" "$tmp/errors" | head -n 40
  exit 1
fi
blocks=$(grep -c '^void tour_' "$tmp/tour.cc")
echo "check-tour: the $blocks code blocks of docs/mainpage.md compile"
