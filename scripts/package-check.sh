#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the Debian packages of a build folder with CPack and checks what can be checked without
# installing them: each package's name, version, section and dependencies, the files it holds
# (and those it must not), and that apt resolves the three together on this machine.
# Usage: scripts/package-check.sh BUILD_DIR [CPACK]. CTest runs it as `package_check`.
set -euo pipefail
build=$(cd "$1" && pwd)
cpack=${2:-cpack}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/kelvane-package.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

failures=0
fail() {
  echo "package-check: $*" >&2
  failures=$((failures + 1))
}

"$cpack" --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; echo "package-check: cpack failed" >&2; exit 1; }

version=$(sed -n 's/^project(kelvane VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
major=${version%%.*}
deb_version="$version-1"
arch=$(dpkg --print-architecture)
runtime="libkelvane$major"

field() { dpkg-deb -f "$1" "$2"; }
files() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's|^\./|/|'; }
has_file() {  # PACKAGE FILE-LIST PATTERN
  grep -qE "$3" <<<"$2" || fail "$1 holds nothing matching $3"
}
lacks_file() {
  local hit
  hit=$(grep -E "$3" <<<"$2" | head -n 3 || true)
  [ -z "$hit" ] || fail "$1 must not hold $hit"
}
depends_on() {  # PACKAGE DEPENDS NAME
  sed 's/, */\n/g' <<<"$2" | sed 's/ .*//' | grep -qxF "$3" ||
    fail "$1 does not depend on $3 (Depends: $2)"
}

declare -A debs
for name in "$runtime" libkelvane-dev kelvane-tools; do
  deb="$work/${name}_${deb_version}_${arch}.deb"
  if [ ! -f "$deb" ]; then
    fail "no $(basename "$deb") (made: $(cd "$work" && ls ./*.deb 2>/dev/null | tr '\n' ' '))"
    continue
  fi
  debs[$name]=$deb
  [ "$(field "$deb" Package)" = "$name" ] || fail "$deb is package $(field "$deb" Package)"
  [ "$(field "$deb" Version)" = "$deb_version" ] || fail "$name has version $(field "$deb" Version)"
  [ -n "$(field "$deb" Maintainer)" ] || fail "$name has no maintainer"
done
[ "$failures" -eq 0 ] || exit 1

# The shared library: the engines' runtime packages, computed from the binary, and the fonts.
deb=${debs[$runtime]}
list=$(files "$deb")
deps=$(field "$deb" Depends)
[ "$(field "$deb" Section)" = libs ] || fail "$runtime is not in section libs"
has_file "$runtime" "$list" "/libkelvane\.so\.$major$"
has_file "$runtime" "$list" "/libkelvane\.so\.$version$"
lacks_file "$runtime" "$list" '/include/|\.a$|/libkelvane\.so$|/bin/'
for dep in libc6 libstdc++6 libicu72 libssl3 libsqlite3-0 libsodium23 libcairo2 libpango-1.0-0 \
           libturbojpeg0 libplist3 fonts-dejavu-core fonts-wqy-microhei fonts-noto-color-emoji; do
  depends_on "$runtime" "$deps" "$dep"
done
dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -q shlibs || fail "$runtime has no shlibs file"

# Development files: headers without internals, the static library, the package files.
deb=${debs[libkelvane-dev]}
list=$(files "$deb")
deps=$(field "$deb" Depends)
for pattern in '/include/kelvane/kelvane\.h$' '/include/kelvane/version_macros\.h$' \
               '/include/kelvane/platform/core/result\.h$' '/libkelvane\.a$' '/libkelvane\.so$' \
               '/cmake/kelvane/kelvaneConfig\.cmake$' '/cmake/kelvane/kelvaneStaticTargets\.cmake$' \
               '/pkgconfig/kelvane\.pc$'; do
  has_file libkelvane-dev "$list" "$pattern"
done
lacks_file libkelvane-dev "$list" '/internal/|/testing/|_test\.|\.cc$|\.so\.[0-9]|/bin/'
grep -qF "$runtime (= $deb_version)" <<<"$deps" || fail "libkelvane-dev does not depend on $runtime (= $deb_version)"
while read -r module dev _; do
  case "$module" in '' | '#'*) continue ;; esac
  depends_on libkelvane-dev "$deps" "$dev"
done <"$root/cmake/engines.txt"

# The tool.
deb=${debs[kelvane-tools]}
list=$(files "$deb")
deps=$(field "$deb" Depends)
has_file kelvane-tools "$list" '/bin/kelvane$'
lacks_file kelvane-tools "$list" '/include/|/lib/'
for dep in libicu72 libcairo2 fonts-dejavu-core; do depends_on kelvane-tools "$deps" "$dep"; done

# apt resolves the three together (nothing is installed).
if ! apt-get install --simulate --no-install-recommends "${debs[@]}" >"$work/apt.log" 2>&1; then
  cat "$work/apt.log" >&2
  fail "apt cannot install the three packages together"
fi

[ "$failures" -eq 0 ] || exit 1
echo "package-check: $runtime, libkelvane-dev and kelvane-tools $deb_version are well formed"
