#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The layer check against a small made-up library, once as it should be and once for each rule
# it breaks: each broken rule must fail the check with its own message. CTest runs it as
# layer_check_rules.
set -euo pipefail
check=$(cd "$(dirname "$0")" && pwd)/layer-check.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/kelvane-layer-rules.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
failures=0

# Two rooms, high over low, with a header each and a source in high.
make_tree() {
  rm -rf "$work/src" && mkdir -p "$work/src/kelvane/low" "$work/src/kelvane/high"
  printf '#pragma once\n' >"$work/src/kelvane/low/a.h"
  printf '#pragma once\n#include "kelvane/low/a.h"\n' >"$work/src/kelvane/high/b.h"
  printf '#include "kelvane/high/b.h"\n#include <kelvane/low/a.h>\n' >"$work/src/kelvane/high/b.cc"
  printf '%s\n' 'room low kelvane_low' 'room high kelvane_high' 'depends high low' \
    'file low kelvane/low/a.h' 'file high kelvane/high/b.h' 'file high kelvane/high/b.cc' \
    >"$work/rooms.txt"
}

# expect CASE STATUS MESSAGE: the check exits with STATUS and prints MESSAGE (if not empty).
expect() {
  local status=0
  "$check" "$work/src" "$work/rooms.txt" >"$work/out" 2>&1 || status=$?
  if [ "$status" -ne "$2" ] || ! grep -qF -- "$3" "$work/out"; then
    echo "layer-check-test: $1: expected status $2 and \"$3\", got status $status:" >&2
    cat "$work/out" >&2
    failures=$((failures + 1))
  fi
}

make_tree
expect "rooms kept" 0 "3 files in 2 rooms include only the rooms they depend on"

make_tree
printf '#include "kelvane/high/b.h"\n' >>"$work/src/kelvane/low/a.h"
expect "include against the layers" 1 \
  "kelvane/low/a.h:2: includes kelvane/high/b.h of room high, but room low does not depend on room high"

make_tree
printf '#include "kelvane/testing/helper.h"\n' >>"$work/src/kelvane/high/b.cc"
expect "include of no room" 1 "kelvane/high/b.cc:3: includes kelvane/testing/helper.h, which belongs to no room"

make_tree
mkdir -p "$work/src/kelvane/other" && : >"$work/src/kelvane/other/c.cc"
expect "file of no room" 1 "kelvane/other/c.cc belongs to no room"

make_tree
echo 'file low kelvane/high/b.cc' >>"$work/rooms.txt"
expect "file of two rooms" 1 "kelvane/high/b.cc belongs to two rooms, high and low"

make_tree
echo 'depends low high' >>"$work/rooms.txt"
expect "cycle" 1 "the rooms form a cycle: low -> high -> low"

make_tree
echo 'depends high middle' >>"$work/rooms.txt"
expect "undeclared room" 1 "room high depends on middle, which is not a declared room"

[ "$failures" -eq 0 ] || exit 1
echo "layer-check-test: every broken rule fails the check"
