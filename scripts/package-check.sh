#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the Debian packages of a build folder with CPack and checks what can be checked without
# installing them: lintian finds no error and no warning; each package's name, version, section,
# Multi-Arch and dependencies; the files it holds (and those it must not), its copyright file and
# changelogs; the shared library's shlibs file and ldconfig trigger; and that apt resolves the
# packages together on this machine.
# Usage: scripts/package-check.sh BUILD_DIR [CPACK]. CTest runs it as `package_check`.
set -euo pipefail
build=$(cd "$1" && pwd)
cpack=${2:-cpack}
cmake=cmake
[[ "$cpack" == */* ]] && cmake="$(dirname "$cpack")/cmake"
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/kelvane-package.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

failures=0
fail() {
  echo "package-check: $*" >&2
  failures=$((failures + 1))
}

# What the packages hold beyond the default build (the manual, where doxygen is installed).
"$cmake" --build "$build" --target kelvane_package_files >"$work/build.log" 2>&1 ||
  { cat "$work/build.log" >&2; echo "package-check: building kelvane_package_files failed" >&2; exit 1; }
"$cpack" --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; echo "package-check: cpack failed" >&2; exit 1; }

version=$(sed -n 's/^project(kelvane VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
shlibs_version=$(sed -n 's/^set(KELVANE_SHLIBS_MIN_VERSION \([0-9.]*\)).*/\1/p' "$root/CMakeLists.txt")
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
  sed 's/, */\n/g' <<<"$2" | sed 's/ .*//' | grep -xF "$3" >/dev/null ||
    fail "$1 does not depend on $3 (Depends: $2)"
}

# name architecture section multi-arch, one package a line; the manual only where it is made.
expected="$runtime $arch libs same
libkelvane-dev $arch libdevel same
libkelvane-static-dev $arch libdevel same
kelvane-tools $arch utils foreign"
grep -q '^set(CPACK_COMPONENTS_ALL .*doc' "$build/CPackConfig.cmake" &&
  expected+=$'\n'"libkelvane-doc all doc foreign"

declare -A debs
while read -r name deb_arch section multiarch; do
  deb="$work/${name}_${deb_version}_${deb_arch}.deb"
  if [ ! -f "$deb" ]; then
    fail "no $(basename "$deb") (made: $(cd "$work" && ls ./*.deb 2>/dev/null | tr '\n' ' '))"
    continue
  fi
  debs[$name]=$deb
  [ "$(field "$deb" Package)" = "$name" ] || fail "$deb is package $(field "$deb" Package)"
  [ "$(field "$deb" Version)" = "$deb_version" ] || fail "$name has version $(field "$deb" Version)"
  [ "$(field "$deb" Section)" = "$section" ] || fail "$name is in section $(field "$deb" Section), not $section"
  [ "$(field "$deb" Multi-Arch)" = "$multiarch" ] ||
    fail "$name has Multi-Arch '$(field "$deb" Multi-Arch)', not $multiarch"
  list=$(files "$deb")
  for doc in copyright changelog.Debian.gz changelog.gz; do
    has_file "$name" "$list" "^/usr/share/doc/$name/${doc//./\\.}$"
  done
  # The newest entry of the Debian changelog is this version.
  top=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO "./usr/share/doc/$name/changelog.Debian.gz" 2>/dev/null |
        gzip -dc | head -n 1 || true)
  [[ "$top" == "kelvane ($deb_version) "* ]] || fail "$name's changelog.Debian.gz starts '$top'"
done <<<"$expected"
[ "$failures" -eq 0 ] || exit 1

# lintian: no error and no warning on any package.
if ! lintian --fail-on error,warning "${debs[@]}" >"$work/lintian.log" 2>&1; then
  grep -v 'running with root privileges' "$work/lintian.log" >&2 || true
  fail "lintian finds errors or warnings"
fi

# The shared library: its shlibs line asks for the version that added the newest symbol, which
# is the version of the stored ABI; dpkg runs ldconfig through a trigger, not maintainer scripts.
deb=${debs[$runtime]}
list=$(files "$deb")
deps=$(field "$deb" Depends)
has_file "$runtime" "$list" "/libkelvane\.so\.$major$"
has_file "$runtime" "$list" "/libkelvane\.so\.$version$"
lacks_file "$runtime" "$list" '/include/|\.a$|/libkelvane\.so$|/bin/'
for dep in libc6 libstdc++6 libicu72 libssl3 libsqlite3-0 libsodium23 libcairo2 libpango-1.0-0 \
           libturbojpeg0 libplist3 fonts-dejavu-core fonts-wqy-microhei fonts-noto-color-emoji; do
  depends_on "$runtime" "$deps" "$dep"
done
[ "$shlibs_version" = "$(cat "$root/abi/version")" ] ||
  fail "KELVANE_SHLIBS_MIN_VERSION is $shlibs_version, the stored ABI's version $(cat "$root/abi/version")"
dpkg-deb -e "$deb" "$work/control"
shlibs=$(cat "$work/control/shlibs" 2>/dev/null || true)
[ "$shlibs" = "libkelvane $major $runtime (>= $shlibs_version)" ] || fail "$runtime's shlibs reads '$shlibs'"
grep -qx 'activate-noawait ldconfig' "$work/control/triggers" 2>/dev/null ||
  fail "$runtime has no 'activate-noawait ldconfig' trigger"
for script in preinst postinst prerm postrm; do
  [ ! -e "$work/control/$script" ] || fail "$runtime has a $script script"
done

# Development files: headers without internals, the shared library's link, the package files;
# nothing of the engines' development packages, whose headers the installed ones do not include.
deb=${debs[libkelvane-dev]}
list=$(files "$deb")
deps=$(field "$deb" Depends)
for pattern in '/include/kelvane/kelvane\.h$' '/include/kelvane/version_macros\.h$' \
               '/include/kelvane/platform/core/result\.h$' '/libkelvane\.so$' \
               '/cmake/kelvane/kelvaneConfig\.cmake$' '/cmake/kelvane/kelvaneTargets\.cmake$' \
               '/pkgconfig/kelvane\.pc$'; do
  has_file libkelvane-dev "$list" "$pattern"
done
lacks_file libkelvane-dev "$list" '/internal/|/testing/|_test\.|\.cc$|\.so\.[0-9]|/bin/|\.a$|StaticTargets'
[ "$deps" = "$runtime (= $deb_version)" ] || fail "libkelvane-dev depends on '$deps', not $runtime (= $deb_version) alone"

# The static library, with the engines' development packages it needs.
deb=${debs[libkelvane-static-dev]}
list=$(files "$deb")
deps=$(field "$deb" Depends)
has_file libkelvane-static-dev "$list" '/libkelvane\.a$'
has_file libkelvane-static-dev "$list" '/cmake/kelvane/kelvaneStaticTargets\.cmake$'
lacks_file libkelvane-static-dev "$list" '/include/|\.so|/bin/'
grep -qF "libkelvane-dev (= $deb_version)" <<<"$deps" ||
  fail "libkelvane-static-dev does not depend on libkelvane-dev (= $deb_version)"
# An engine behind an option (a third field) only where the build has the option ON.
while read -r module dev option _; do
  case "$module" in '' | '#'*) continue ;; esac
  if [ -n "$option" ] && ! grep -qE "^$option:BOOL=(ON|1|TRUE|YES)$" "$build/CMakeCache.txt"; then
    continue
  fi
  depends_on libkelvane-static-dev "$deps" "$dev"
done <"$root/cmake/engines.txt"

# The tool, linked to the shared library: its dependency comes from the shlibs file.
deb=${debs[kelvane-tools]}
list=$(files "$deb")
deps=$(field "$deb" Depends)
has_file kelvane-tools "$list" '/bin/kelvane$'
lacks_file kelvane-tools "$list" '/include/|/lib/'
grep -qF "$runtime (>= $shlibs_version)" <<<"$deps" ||
  fail "kelvane-tools does not depend on $runtime (>= $shlibs_version) (Depends: $deps)"

if [ -n "${debs[libkelvane-doc]:-}" ]; then
  has_file libkelvane-doc "$(files "${debs[libkelvane-doc]}")" '^/usr/share/doc/libkelvane-doc/html/index\.html$'
fi

# apt resolves the packages together (nothing is installed).
if ! apt-get install --simulate --no-install-recommends "${debs[@]}" >"$work/apt.log" 2>&1; then
  cat "$work/apt.log" >&2
  fail "apt cannot install the packages together"
fi

[ "$failures" -eq 0 ] || exit 1
echo "package-check: ${!debs[*]} $deb_version are lintian-clean and well formed"
