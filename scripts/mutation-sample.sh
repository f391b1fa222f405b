#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Applies one-line faults to the library one at a time, builds, runs the unit tests, and tells
# for each whether the tests caught it. Every file is put back (git checkout) after its fault,
# also when the script is interrupted.
#
#   scripts/mutation-sample.sh BUILD_DIR MUTATIONS_FILE [GTEST_FILTER_DEFAULT]
#
# MUTATIONS_FILE holds one fault a line, fields separated by " | ":
#   path | sed expression changing exactly one line | gtest filter (optional) | what it breaks
# Lines starting with # are skipped. The filter narrows the first run; a fault that survives it
# is run against the whole binary before it is counted as not caught. Tests that already fail
# without any fault are left out of the whole-binary runs.
set -uo pipefail
build=${1:?build folder}
list=${2:?mutations file}
default_filter=${3:-*}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

cmake --build "$build" -j2 --target kelvane_tests >/tmp/mutation-build.log 2>&1 || exit 1
failing=$("$build/kelvane_tests" 2>/dev/null | sed -n 's/^\[  FAILED  \] \([^ ]*\) (.*/\1/p' | paste -sd:)
whole="*${failing:+-$failing}"
[ -n "$failing" ] && echo "failing before any fault, left out: $failing"

current=""
restore() { [ -n "$current" ] && git checkout -q -- "$current"; current=""; }
trap 'restore; exit 130' INT TERM

caught=0 missed=0 broken=0 n=0
while IFS= read -r line; do
  case "$line" in '' | '#'*) continue ;; esac
  IFS='|' read -r path expr filter what <<<"$line"
  path=$(echo "$path" | xargs) expr=$(echo "$expr" | sed 's/^ *//;s/ *$//')
  filter=$(echo "${filter:-}" | xargs) what=$(echo "${what:-}" | sed 's/^ *//;s/ *$//')
  n=$((n + 1))
  current=$path
  sed -i -e "$expr" "$path"
  changed=$(git diff --numstat -- "$path" | awk '{print $1}')
  if [ "${changed:-0}" != 1 ]; then
    echo "$n | $path | $what | not applied (changed ${changed:-0} lines)"
    restore; broken=$((broken + 1)); continue
  fi
  if ! cmake --build "$build" -j2 --target kelvane_tests >/tmp/mutation-build.log 2>&1; then
    echo "$n | $path | $what | caught (does not compile)"
    restore; caught=$((caught + 1)); continue
  fi
  result="not caught"
  if ! timeout 900 "$build/kelvane_tests" --gtest_filter="${filter:-$default_filter}" \
      >/tmp/mutation-run.log 2>&1; then
    result="caught"
  elif [ -n "$filter" ] && ! timeout 1800 "$build/kelvane_tests" --gtest_filter="$whole" \
      >/tmp/mutation-run.log 2>&1; then
    result="caught (by the whole binary)"
  fi
  case "$result" in caught*) caught=$((caught + 1)) ;; *) missed=$((missed + 1)) ;; esac
  echo "$n | $path | $what | $result"
  restore
done <"$list"
echo "caught $caught of $((caught + missed)) applied faults ($broken not applied)"
