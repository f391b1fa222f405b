#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Installs a build into a temporary prefix, moves that prefix (an installed tree must not
# depend on where it was made), and checks it as a consumer meets it:
#   - the shared library exports nothing from an `internal` namespace, and the installed headers
#     open no such namespace (what they would declare there could be called but not linked);
#   - testdata/consumer builds with find_package(kelvane), against the shared and the static
#     library, and runs;
#   - the same program builds with pkg-config alone (no engine's .pc file in reach: a shared
#     library's consumer needs none) and runs.
#   - the headers kept at the paths of an earlier layout compile, each with its deprecation note.
# Usage: scripts/consumer-check.sh BUILD_DIR [CMAKE]. CTest runs it as `consumer_check`.
set -eu
build=$(cd "$1" && pwd)
cmake=${2:-cmake}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/kelvane-consumer.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

fail() { echo "consumer-check: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$work/installed" >"$work/install.log" ||
  { cat "$work/install.log" >&2; fail "install failed"; }
mv "$work/installed" "$work/prefix"
prefix=$work/prefix

library=$(find "$prefix" -name libkelvane.so -print | head -n 1)
[ -n "$library" ] || fail "no libkelvane.so under the prefix"
leaked=$(nm -D --defined-only "$library" | c++filt | grep -E ' kelvane::([A-Za-z0-9_]+::)*[A-Za-z0-9_]*internal::' || true)
[ -z "$leaked" ] || fail "internal functions are exported:
$leaked"
# The namespaces that cmake/kelvane.map keeps local: internal, and any ending in _internal.
declared=$(grep -rnE '^[[:space:]]*namespace[[:space:]]+([A-Za-z0-9_]+::)*([A-Za-z0-9_]*_)?internal([[:space:]{]|$)' \
  "$prefix/include" | sed "s|^$prefix/include/||" || true)
[ -z "$declared" ] || fail "installed headers declare what the shared library keeps local (move it to an internal/ header):
$declared"

# find_package, shared and static.
"$cmake" -S "$source_dir/testdata/consumer" -B "$work/cmake" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" >"$work/cmake.log" 2>&1 &&
  "$cmake" --build "$work/cmake" -j2 >>"$work/cmake.log" 2>&1 ||
  { cat "$work/cmake.log" >&2; fail "find_package consumer did not build"; }
"$work/cmake/consumer_shared" || fail "find_package consumer (shared) failed"
"$work/cmake/consumer_static" || fail "find_package consumer (static) failed"

# pkg-config, with only the library's own .pc file in reach: a user of the shared library needs
# no engine's development files. The program is compiled once and linked twice.
pc_dir=$(dirname "$(find "$prefix" -name kelvane.pc -print | head -n 1)")
export PKG_CONFIG_LIBDIR="$pc_dir"
unset PKG_CONFIG_PATH || true
cflags=$(pkg-config --cflags kelvane) || fail "pkg-config does not know kelvane"
libs=$(pkg-config --libs kelvane)
static_libs=$(pkg-config --static --libs kelvane)
libdir=$(pkg-config --variable=libdir kelvane)
[ -f "$libdir/libkelvane.so" ] || fail "pkg-config's libdir $libdir does not hold the library"
cxx=${CXX:-c++}
# shellcheck disable=SC2086  # the flags are words
"$cxx" -std=c++20 -O1 -c "$source_dir/testdata/consumer/main.cc" $cflags -o "$work/main.o" ||
  fail "pkg-config consumer did not compile"
# shellcheck disable=SC2086
"$cxx" "$work/main.o" $libs -Wl,-rpath,"$libdir" -o "$work/consumer_pc" &&
  "$work/consumer_pc" || fail "pkg-config consumer (shared) failed"
# shellcheck disable=SC2086
"$cxx" "$work/main.o" -Wl,-Bstatic -lkelvane -Wl,-Bdynamic $(echo "$static_libs" | sed 's/-lkelvane//') \
  -o "$work/consumer_pc_static" && "$work/consumer_pc_static" ||
  fail "pkg-config consumer (static) failed"

# Headers kept at the paths of an earlier layout still compile, each with its deprecation note.
moved=$(grep -rl '^// Deprecated: moved to' "$prefix/include/kelvane" | sed "s|^$prefix/include/||" | sort)
[ -n "$moved" ] || fail "no forwarding headers were installed"
printf '#include <%s>\n' $moved >"$work/moved.cc"
"$cxx" -std=c++20 -fsyntax-only -I"$prefix/include" "$work/moved.cc" 2>"$work/moved.log" ||
  { cat "$work/moved.log" >&2; fail "a forwarding header does not compile"; }
notes=$(grep -c 'note: .#pragma message: .* is deprecated' "$work/moved.log" || true)
[ "$notes" -eq "$(echo "$moved" | wc -l)" ] ||
  fail "$notes deprecation notes for $(echo "$moved" | wc -l) forwarding headers"
