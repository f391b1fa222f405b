#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Makes the reference manual and fails on any warning, printing each one once.
#   docs/run-doxygen.sh DOXYGEN DOXYFILE OUTPUT_DIR
# The HTML goes to OUTPUT_DIR/html, made afresh so that no page of a removed header stays
# behind. Doxygen's own warnings and those of docs/doc_filter.py (enumerators without a comment,
# which Doxygen does not report) count alike; the filter runs once for each header Doxygen
# reads, so the same warning may come more than once and is printed once.
set -euo pipefail
if [ $# -ne 3 ]; then
  echo "usage: docs/run-doxygen.sh DOXYGEN DOXYFILE OUTPUT_DIR" >&2
  exit 2
fi
doxygen=$1
doxyfile=$2
output=$3

rm -rf "$output/html"
mkdir -p "$output"
log="$output/warnings.log"
status=0
"$doxygen" "$doxyfile" >/dev/null 2>"$log.all" || status=$?
sort -u "$log.all" >"$log"
rm -f "$log.all"

count=$(grep -c . "$log" || true)
if [ "$count" -gt 0 ]; then
  cat "$log"
  echo "docs: $count warning(s); the manual is made without any (see docs/README.md)" >&2
  exit 1
fi
if [ "$status" -ne 0 ]; then
  echo "docs: doxygen failed (exit status $status)" >&2
  exit 1
fi
if [ ! -f "$output/html/index.html" ]; then
  echo "docs: doxygen wrote no $output/html/index.html" >&2
  exit 1
fi
echo "docs: $output/html/index.html, no warnings"
