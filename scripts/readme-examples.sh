#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Holds README.md to what the build does, so that the first page a user reads cannot drift from
# the code:
#  - every ```cpp block is a whole program: it is compiled against the build folder, run, and
#    what it prints is compared with the "// Output:" comment that ends it;
#  - every ```console block is a shell session with the tool: each line "$ COMMAND" (continued
#    by a trailing backslash) runs in one bash, in order, in a scratch folder, with the build's
#    bin/ first on PATH. It must exit 0, or N when the line's comment says "# exits N". The lines
#    below a command, up to the next "$ ", are what it prints on standard output, compared whole;
#    a command with no such lines is not compared. ```sh blocks are not run.
# Programs and commands run with a fixed device (no display, no preferred language, UTC) and a
# home and temporary folder of their own, so they write nothing outside the scratch folder.
# Usage: scripts/readme-examples.sh BUILD_DIR [--print]. CTest runs it as `readme_examples`;
# --print shows what each program and command printed instead of comparing.
set -euo pipefail
build=$(cd "$1" && pwd)
print=${2:-}
root=$(cd "$(dirname "$0")/.." && pwd)
readme="$root/README.md"
work=$(mktemp -d "${TMPDIR:-/tmp}/kelvane-readme.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
cxx=${CXX:-c++}
failures=0
fail() {
  echo "readme-examples: $*" >&2
  failures=$((failures + 1))
}

untracked() { git -C "$root" status --porcelain --untracked-files=all 2>/dev/null | grep '^??' || true; }
before=$(untracked)

# ---- the tool's lines ----------------------------------------------------------------------

# One folder per command N: N/command, and N/expected when the README shows what it prints, and
# N/status, the status it must exit with.
session="$work/session"
mkdir -p "$session"
awk -v dir="$session" '
  function finish() {
    if (n == 0) return
    close(dir "/" n "/command")
    close(dir "/" n "/expected")
    print status > (dir "/" n "/status")
    close(dir "/" n "/status")
  }
  function command_line(line) {
    print line > (dir "/" n "/command")
    if (match(line, /# exits [0-9]+/)) status = substr(line, RSTART + 8, RLENGTH - 8)
    continued = line ~ /\\$/
  }
  /^```console/ {inside = 1; next}
  inside && /^```/ {inside = 0; continued = 0; next}
  !inside {next}
  continued {command_line($0); next}
  /^\$ / {
    finish(); n++; status = 0
    system("mkdir -p \"" dir "/" n "\"")
    command_line(substr($0, 3))
    next
  }
  n > 0 {print > (dir "/" n "/expected")}
  END {finish()}
' "$readme"
commands=$(find "$session" -mindepth 1 -maxdepth 1 -type d | wc -l)

if [ "$commands" -eq 0 ]; then
  fail "README.md has no \`\`\`console lines of the tool"
elif [ ! -x "$build/bin/kelvane" ]; then
  echo "readme-examples: no $build/bin/kelvane (KELVANE_BUILD_TOOLS=OFF?): the tool's lines were not run"
else
  # One script, so that a folder changed or a variable exported holds for the lines after it.
  script="$work/session.sh"
  for i in $(seq 1 "$commands"); do
    printf '{\n%s\n} >"%s/%s/out" 2>"%s/%s/err" </dev/null\necho $? >"%s/%s/got"\n' \
      "$(cat "$session/$i/command")" "$session" "$i" "$session" "$i" "$session" "$i"
  done >"$script"
  mkdir -p "$work/tool/home" "$work/tool/tmp"
  # Bounded, so that a line that never ends is reported rather than stopping the test.
  (cd "$work/tool" && env -i PATH="$build/bin:$PATH" HOME="$work/tool/home" \
    TMPDIR="$work/tool/tmp" TZ=UTC KELVANE_SCREEN=390x844@3 timeout 300 bash "$script") || true
  for i in $(seq 1 "$commands"); do
    dir="$session/$i"
    what="\$ $(head -n 1 "$dir/command")"
    if [ ! -f "$dir/got" ]; then
      fail "never ran: $what"
      continue
    fi
    if [ -n "$print" ]; then
      echo "$what"
      cat "$dir/out" "$dir/err"
      [ "$(cat "$dir/got")" = 0 ] || echo "(exit status $(cat "$dir/got"))"
      continue
    fi
    if [ "$(cat "$dir/got")" != "$(cat "$dir/status")" ]; then
      cat "$dir/err" >&2
      fail "exits $(cat "$dir/got"), not $(cat "$dir/status") as README.md says: $what"
    elif [ -f "$dir/expected" ] && ! sed -e '$a\' "$dir/out" | diff -u "$dir/expected" - \
        >"$dir/diff"; then
      fail "prints other than README.md shows: $what"
      cat "$dir/diff" >&2
    fi
  done
  if [ -z "$print" ] && [ "$failures" -eq 0 ]; then
    echo "readme-examples: $commands lines of the tool run as README.md says"
  fi
fi

# ---- the programs --------------------------------------------------------------------------

# Every ```cpp block, one file each, named after the heading above it.
awk -v dir="$work" '
  /^```/ && file == "" && !fenced {
    fenced = 1
    if ($0 ~ /^```cpp/) file = sprintf("%s/%02d-%s.cc", dir, ++n, name)
    next
  }
  /^```/ && fenced {fenced = 0; if (file != "") close(file); file = ""; next}
  fenced {if (file != "") print > file; next}
  /^#+ / {name = tolower($0); sub(/^#+ /, "", name); gsub(/[^a-z]+/, "-", name)}
' "$readme"
shopt -s nullglob
examples=("$work"/*.cc)
[ ${#examples[@]} -gt 0 ] || { echo "readme-examples: README.md has no examples" >&2; exit 1; }

# The umbrella header, which every program includes first, is parsed once: GCC takes
# kelvane/kelvane.h.gch from the first include folder in place of the header. Without it (another
# compiler, or a header that does not precompile) each program parses the header itself.
flags=(-std=c++20 -O1 -I"$root" -I"$root/include" -I"$build/generated")
if "$cxx" -dM -E -x c++ /dev/null 2>/dev/null | grep -q '__GNUC__' &&
  ! "$cxx" -dM -E -x c++ /dev/null 2>/dev/null | grep -q '__clang__'; then
  mkdir -p "$work/pch/kelvane"
  if "$cxx" "${flags[@]}" -x c++-header \
      "$root/include/kelvane/kelvane.h" -o "$work/pch/kelvane/kelvane.h.gch" 2>"$work/pch.log"; then
    flags=(-I"$work/pch" "${flags[@]}")
  fi
fi
# Compiled two at a time: the umbrella header makes each compile take a while.
compile() {
  "$cxx" "${flags[@]}" "$1.cc" -L"$build" -lkelvane -Wl,-rpath,"$build" -o "$1" 2>"$1.log"
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

for source in "${examples[@]}"; do
  name=$(basename "$source" .cc)
  binary="$work/$name"
  # What the example says it prints: the comment lines after "// Output:".
  sed -n '/^\/\/ Output:$/,$p' "$source" | tail -n +2 | sed 's|^// \{0,1\}||' >"$work/$name.expected"
  if [ -z "$print" ] && [ ! -s "$work/$name.expected" ]; then
    fail "$name has no // Output: comment"
    continue
  fi
  if [ ! -x "$binary" ]; then
    cat "$work/$name.log" >&2
    fail "$name does not compile"
    continue
  fi
  run="$work/run-$name"
  mkdir -p "$run/tmp" "$run/home"
  if ! (cd "$run" && env -i PATH="$PATH" HOME="$run/home" TMPDIR="$run/tmp" TZ=UTC \
      KELVANE_SCREEN=390x844@3 "$binary") >"$work/$name.out" 2>"$work/$name.err"; then
    cat "$work/$name.err" >&2
    fail "$name failed"
    continue
  fi
  if [ -n "$print" ]; then
    echo "== $name"
    cat "$work/$name.out"
  elif ! diff -u "$work/$name.expected" "$work/$name.out" >"$work/$name.diff"; then
    fail "$name prints other than its // Output: comment says:"
    cat "$work/$name.diff" >&2
  fi
done

# Nothing was written into the source tree.
if [ "$(untracked)" != "$before" ]; then
  diff <(echo "$before") <(untracked) >&2 || true
  fail "the examples left files in the source tree"
fi
[ "$failures" -eq 0 ] || exit 1
[ -n "$print" ] || echo "readme-examples: ${#examples[@]} programs print what README.md says"
