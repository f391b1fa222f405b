#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Compiles and runs the example programs of README.md against a build folder, and compares what
# each prints with the "// Output:" comment that ends it, so that the first page a user reads
# cannot drift from the code. The examples run in a scratch folder (their temporary folder and
# home), so they write nothing outside it.
# Usage: scripts/readme-examples.sh BUILD_DIR [--print]. CTest runs it as `readme_examples`;
# --print shows what each example printed instead of comparing.
set -euo pipefail
build=$(cd "$1" && pwd)
print=${2:-}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/kelvane-readme.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
cxx=${CXX:-c++}

# Every ```cpp block between the examples' heading and the next section, one file each, named
# after the #### heading above it.
awk -v dir="$work" '
  /^### Examples, one per subsystem/ {inside = 1; next}
  inside && /^## / {exit}
  inside && /^#### / {name = tolower($0); sub(/^#### /, "", name); gsub(/[^a-z]+/, "-", name)}
  inside && /^```cpp/ {file = sprintf("%s/%02d-%s.cc", dir, ++n, name); next}
  file != "" && /^```/ {close(file); file = ""; next}
  file != "" {print > file}
' "$root/README.md"
shopt -s nullglob
examples=("$work"/*.cc)
[ ${#examples[@]} -gt 0 ] || { echo "readme-examples: README.md has no examples" >&2; exit 1; }

untracked() { git -C "$root" status --porcelain --untracked-files=all 2>/dev/null | grep '^??' || true; }
before=$(untracked)
# Compiled two at a time: the umbrella header makes each compile take a while.
compile() {
  "$cxx" -std=c++20 -O1 -I"$root" -I"$root/include" -I"$build/generated" "$1.cc" \
    -L"$build" -lkelvane -Wl,-rpath,"$build" -o "$1" 2>"$1.log"
}
pids=()
for source in "${examples[@]}"; do
  if [ ${#pids[@]} -ge 2 ]; then
    wait "${pids[0]}" || true
    pids=("${pids[@]:1}")
  fi
  compile "${source%.cc}" &
  pids+=($!)
done
wait || true

failures=0
for source in "${examples[@]}"; do
  name=$(basename "$source" .cc)
  binary="$work/$name"
  # What the example says it prints: the comment lines after "// Output:".
  sed -n '/^\/\/ Output:$/,$p' "$source" | tail -n +2 | sed 's|^// \{0,1\}||' >"$work/$name.expected"
  if [ -z "$print" ] && [ ! -s "$work/$name.expected" ]; then
    echo "readme-examples: $name has no // Output: comment" >&2
    failures=$((failures + 1))
    continue
  fi
  if [ ! -x "$binary" ]; then
    cat "$work/$name.log" >&2
    echo "readme-examples: $name does not compile" >&2
    failures=$((failures + 1))
    continue
  fi
  run="$work/run-$name"
  mkdir -p "$run/tmp" "$run/home"
  # A fixed device (no display, no preferred language, UTC) and a home of its own.
  if ! (cd "$root" && env -i PATH="$PATH" HOME="$run/home" TMPDIR="$run/tmp" TZ=UTC \
      KELVANE_SCREEN=390x844@3 "$binary") >"$work/$name.out" 2>"$work/$name.err"; then
    cat "$work/$name.err" >&2
    echo "readme-examples: $name failed" >&2
    failures=$((failures + 1))
    continue
  fi
  if [ -n "$print" ]; then
    echo "== $name"
    cat "$work/$name.out"
  elif ! diff -u "$work/$name.expected" "$work/$name.out" >"$work/$name.diff"; then
    echo "readme-examples: $name prints other than its // Output: comment says:" >&2
    cat "$work/$name.diff" >&2
    failures=$((failures + 1))
  fi
done
# Nothing was written into the source tree.
if [ "$(untracked)" != "$before" ]; then
  diff <(echo "$before") <(untracked) >&2 || true
  echo "readme-examples: the examples left files in the source tree" >&2
  failures=$((failures + 1))
fi
[ "$failures" -eq 0 ] || exit 1
echo "readme-examples: ${#examples[@]} examples print what README.md says"
