#!/usr/bin/env bash
# Runs every fuzzer in DIR for SECONDS each, with a growing corpus in DIR/../corpus/NAME and the
# seeds of fuzz/corpus/NAME when there are any. Stops at the first fuzzer that finds a fault.
set -euo pipefail
dir=${1:?usage: run-fuzzers.sh DIR SECONDS}
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
shopt -s nullglob
for f in "$dir"/*_fuzz; do
  name=$(basename "$f")
  corpus="$dir/../corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  [ -d "$root/fuzz/corpus/$name" ] && seeds=("$root/fuzz/corpus/$name")
  echo "== $name (${seconds} s)"
  log="$dir/../$name.log"
  if ! "$f" -max_total_time="$seconds" -print_final_stats=1 "$corpus" "${seeds[@]}" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "$name: failed" >&2
    exit 1
  fi
  grep -E '^(stat::number_of_executed_units|Done|#[0-9]+.*DONE)' "$log" | tail -n 3
done
