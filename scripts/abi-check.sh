#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Compares the ABI of a build's shared library with the ABI stored for the released version
# (abi/kelvane.abi.gz, made by abidw from the public headers; abi/version holds the version it
# describes). Any difference fails, until the stored ABI and the version are updated together:
# a compatible change (something added) needs a higher version, an incompatible one a higher
# major version, which is the soname.
#
#   scripts/abi-check.sh BUILD_DIR [CMAKE]            the check (CTest runs it as abi_check)
#   scripts/abi-check.sh BUILD_DIR [CMAKE] --update   store the build's ABI with the project
#                                                     version, once the version allows it
set -euo pipefail
build=$(cd "$1" && pwd)
cmake=${2:-cmake}
update=${3:-}
root=$(cd "$(dirname "$0")/.." && pwd)
stored="$root/abi/kelvane.abi.gz"
stored_version_file="$root/abi/version"
work=$(mktemp -d "${TMPDIR:-/tmp}/kelvane-abi.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

say() { echo "abi-check: $*" >&2; }
for tool in abidw abidiff; do
  command -v "$tool" >/dev/null || { say "$tool is missing (Debian: abigail-tools)"; exit 1; }
done

version=$(sed -n 's/^project(kelvane VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
library=$(readlink -f "$build/libkelvane.so")
[ -f "$library" ] || { say "no shared library in $build"; exit 1; }

# The public ABI: what the installed headers declare, as the shared library exports it.
"$cmake" --install "$build" --prefix "$work/prefix" --component development >/dev/null
abidw --no-show-locs --no-corpus-path --headers-dir "$work/prefix/include" --drop-private-types \
  --out-file "$work/current.abi" "$library"

if [ ! -f "$stored" ]; then
  [ "$update" = --update ] || { say "no stored ABI: run 'make abi-update'"; exit 1; }
  stored_version=none
  status=0
else
  gzip -dc "$stored" >"$work/stored.abi"
  stored_version=$(cat "$stored_version_file")
  set +e
  abidiff --no-show-locs --drop-private-types --suppressions "$root/abi/suppressions.ini" \
    "$work/stored.abi" "$work/current.abi" \
    >"$work/report" 2>&1
  status=$?
  set -e
  # abidiff's status is a bit set: 1 an error, 2 a usage error, 4 a change, 8 an incompatible one.
  if [ $((status & 3)) -ne 0 ]; then
    cat "$work/report" >&2
    say "abidiff failed"
    exit 1
  fi
fi

major() { echo "${1%%.*}"; }
newer() { [ "$1" != "$2" ] && [ "$(printf '%s\n%s\n' "$1" "$2" | sort -V | tail -n 1)" = "$1" ]; }

if [ "$update" != --update ]; then
  if [ "$status" -ne 0 ]; then
    cat "$work/report" >&2
    if [ $((status & 8)) -ne 0 ]; then
      say "the ABI changed incompatibly since $stored_version: raise the major version (the"
      say "soname) in CMakeLists.txt, or keep the old interface, then run 'make abi-update'"
    else
      say "the ABI changed since $stored_version: raise the version in CMakeLists.txt, then"
      say "run 'make abi-update'"
    fi
    exit 1
  fi
  if [ "$version" != "$stored_version" ]; then
    say "the version is $version but the stored ABI is $stored_version's: run 'make abi-update'"
    exit 1
  fi
  say "the ABI of libkelvane.so.$(major "$version") is the stored ABI of $version"
  exit 0
fi

# --update: the version must say what kind of change this is.
if [ "$stored_version" != none ]; then
  if [ $((status & 8)) -ne 0 ] && [ "$(major "$version")" -le "$(major "$stored_version")" ]; then
    cat "$work/report" >&2
    say "incompatible change: the major version must rise above $(major "$stored_version")"
    exit 1
  fi
  if [ "$status" -ne 0 ] && ! newer "$version" "$stored_version"; then
    cat "$work/report" >&2
    say "the ABI changed: the version must rise above $stored_version"
    exit 1
  fi
fi
mkdir -p "$root/abi"
gzip -9n <"$work/current.abi" >"$stored"
echo "$version" >"$stored_version_file"
say "stored the ABI of $version (was $stored_version)"
