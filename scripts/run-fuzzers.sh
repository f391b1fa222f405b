#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs every fuzzer in DIR (or those named after it) for SECONDS each, with a growing corpus in
# DIR/../corpus/NAME and the seeds of fuzz/corpus/NAME when there are any, then prints one line
# per fuzzer: the inputs run and the result. Exits non-zero when any fuzzer found a fault; its
# log (DIR/../NAME.log) and the input that did it (DIR/../artifacts/NAME/) stay behind.
#
#   scripts/run-fuzzers.sh DIR SECONDS [NAME...]
#
# Every run is bounded as a hostile input would be in a real process: FUZZ_RSS_MB of memory
# (1536 by default; a single allocation above it counts as a fault too) and FUZZ_TIMEOUT seconds
# per input (20; the keyed archive target three times that). Loaders of files (pictures, property
# lists, archives, bundles' tables, the type database, records) take inputs up to 1 MiB, long
# enough to hold a deep chain, a text-chunk bomb or a scan flood; the parsers of short strings
# take up to 64 KiB.
set -euo pipefail
dir=${1:?usage: run-fuzzers.sh DIR SECONDS [NAME...]}
seconds=${2:-60}
shift 2 || shift $#
root=$(cd "$(dirname "$0")/.." && pwd)
rss_mb=${FUZZ_RSS_MB:-1536}
timeout=${FUZZ_TIMEOUT:-20}

# The keyed archive target loads, archives again and reloads: an input of a few hundred bytes may
# decode to the whole budget (16 MiB plus 64 times the input), which under the sanitizers takes
# several seconds to write back and read again, so it has three times the time an input.
timeout_of() {
  case "$1" in
    archive_fuzz) echo $((timeout * 3)) ;;
    *) echo "$timeout" ;;
  esac
}

max_len_of() {
  case "$1" in
    archive_fuzz | gif_fuzz | heif_fuzz | jpeg_fuzz | mime_fuzz | plist_fuzz | png_fuzz | records_fuzz \
    | strings_fuzz | webp_fuzz)
      echo 1048576 ;;
    *) echo 65536 ;;
  esac
}

shopt -s nullglob
if [ $# -gt 0 ]; then
  targets=()
  for name in "$@"; do targets+=("$dir/$name"); done
else
  targets=("$dir"/*_fuzz)
fi
[ ${#targets[@]} -gt 0 ] || { echo "run-fuzzers.sh: no fuzzers in $dir" >&2; exit 1; }

summary=()
failed=0
for f in "${targets[@]}"; do
  name=$(basename "$f")
  [ -x "$f" ] || { echo "run-fuzzers.sh: no fuzzer $f" >&2; exit 1; }
  corpus="$dir/../corpus/$name"
  artifacts="$dir/../artifacts/$name"
  mkdir -p "$corpus" "$artifacts"
  seeds=()
  [ -d "$root/fuzz/corpus/$name" ] && seeds=("$root/fuzz/corpus/$name")
  max_len=$(max_len_of "$name")
  input_timeout=$(timeout_of "$name")
  echo "== $name (${seconds} s, inputs up to $max_len bytes, ${rss_mb} MB, ${input_timeout} s an input)"
  log="$dir/../$name.log"
  if "$f" -max_total_time="$seconds" -max_len="$max_len" -rss_limit_mb="$rss_mb" \
      -malloc_limit_mb="$rss_mb" -timeout="$input_timeout" -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$corpus" "${seeds[@]}" >"$log" 2>&1; then
    result=clean
  else
    result="FAULT (see $log)"
    failed=1
    tail -n 40 "$log"
  fi
  runs=$(grep -E '^stat::number_of_executed_units' "$log" | tail -n 1 | awk '{print $2}')
  summary+=("$(printf '%-16s %12s runs  %s' "$name" "${runs:-?}" "$result")")
done
printf '%s\n' "== summary" "${summary[@]}"
exit "$failed"
