#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Applies one-line faults to the library one at a time, builds, runs the unit tests, and tells
# for each whether the tests caught it. Every file is put back (git checkout) after its fault,
# also when the script is interrupted.
#
#   scripts/mutation-sample.sh BUILD_DIR FAULTS_FILE
#   scripts/mutation-draw.py --seed 7 > faults.tsv && scripts/mutation-sample.sh build faults.tsv
#
# FAULTS_FILE holds one fault a line, tab-separated, as scripts/mutation-draw.py writes them:
#   path, line number, the line as it becomes, gtest filter, what it does, and a reason when
#   the fault was set aside by hand as one that cannot change what the program does.
# Lines starting with # are skipped. The filter narrows the first run; a fault that survives it
# is run against the whole binary (in two shards at once) before it is counted as not caught.
# Tests that already fail without any fault are left out of the whole-binary runs. A fault in a
# header of the interface that the tests miss is then held against the stored ABI, as make test
# does. A fault the compiler refuses, or one set aside, is not counted either way.
set -uo pipefail
build=${1:?build folder}
list=${2:?faults file}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
tests="$build/kelvane_tests"
# Where the build and test logs of the fault being tried go: two samplers in two checkouts run
# side by side with MUTATION_LOGS set to folders of their own.
logs=${MUTATION_LOGS:-${TMPDIR:-/tmp}}
mkdir -p "$logs"
# Faults are undone with git checkout: changes of one's own in the library would go with them.
if [ -n "$(git status --porcelain -- kelvane)" ]; then
  echo "mutation-sample: commit or stash the changes under kelvane/ first" >&2
  exit 2
fi

cmake --build "$build" -j2 --target kelvane_tests >"$logs/mutation-build.log" 2>&1 || exit 1
failing=$("$tests" 2>/dev/null | sed -n 's/^\[  FAILED  \] \([^ ]*\) (.*/\1/p' | paste -sd:)
whole="*${failing:+-$failing}"
[ -n "$failing" ] && echo "failing before any fault, left out: $failing"

current=""
restore() { [ -n "$current" ] && git checkout -q -- "$current"; current=""; }
trap 'restore; exit 130' INT TERM

# Runs the whole binary in two shards at once; fails when either shard fails.
run_whole() {
  local status=0
  for shard in 0 1; do
    GTEST_TOTAL_SHARDS=2 GTEST_SHARD_INDEX=$shard timeout 1800 "$tests" --gtest_filter="$whole" \
      >"$logs/mutation-run-$shard.log" 2>&1 &
  done
  for shard in 0 1; do wait -n || status=1; done
  return $status
}

# A header of the interface: a changed value there (an enumerator, a constant of a type) is a
# change of the ABI, which make test's ABI check compares with the one stored for the version.
public_header() { case "$1" in *.h) [[ "$1" != */internal/* ]] ;; *) return 1 ;; esac; }
abi_holds() {
  cmake --build "$build" -j2 --target kelvane >>"$logs/mutation-build.log" 2>&1 &&
    scripts/abi-check.sh "$build" cmake >"$logs/mutation-abi.log" 2>&1
}

caught=0 missed=0 refused=0 set_aside=0 n=0
while IFS=$'\t' read -r path number line filter what reason; do
  case "$path" in '' | '#'*) continue ;; esac
  n=$((n + 1))
  if [ -n "${reason:-}" ]; then
    echo "$n | $path:$number | $what | set aside (${reason#equivalent: })"
    set_aside=$((set_aside + 1))
    continue
  fi
  current=$path
  LINE=$line NUMBER=$number python3 -c '
import os, sys
path = sys.argv[1]
lines = open(path, encoding="utf-8").read().split("\n")
lines[int(os.environ["NUMBER"]) - 1] = os.environ["LINE"]
open(path, "w", encoding="utf-8").write("\n".join(lines))' "$path"
  if ! cmake --build "$build" -j2 --target kelvane_tests >"$logs/mutation-build.log" 2>&1; then
    echo "$n | $path:$number | $what | does not compile (not counted)"
    restore
    refused=$((refused + 1))
    continue
  fi
  result="not caught"
  if ! timeout 900 "$tests" --gtest_filter="${filter:-*}" >"$logs/mutation-run.log" 2>&1; then
    result="caught"
  elif [ "${filter:-*}" != "*" ] && ! run_whole; then
    result="caught (by the whole binary)"
  elif public_header "$path" && ! abi_holds; then
    result="caught (by the ABI check)"
  fi
  case "$result" in caught*) caught=$((caught + 1)) ;; *) missed=$((missed + 1)) ;; esac
  echo "$n | $path:$number | $what | $result"
  [ "$result" = "not caught" ] && echo "      the line became: $(echo "$line" | sed 's/^ *//')"
  restore
done <"$list"
restore
cmake --build "$build" -j2 --target kelvane_tests >"$logs/mutation-build.log" 2>&1
echo "caught $caught of $((caught + missed)) faults that compiled" \
  "($((caught * 100 / (caught + missed > 0 ? caught + missed : 1)))%);" \
  "$set_aside set aside as equivalent, $refused refused by the compiler"
