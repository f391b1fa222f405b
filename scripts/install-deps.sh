#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the Debian packages that building, testing and running Kelvane need.
#   scripts/install-deps.sh          build, tests, demo
#   scripts/install-deps.sh --bench  also the peers that only the benchmarks measure against
#   scripts/install-deps.sh --fuzz   also clang's fuzzing runtime
#   scripts/install-deps.sh --coverage  also gcovr, for make coverage
# Packages already present are skipped; the package lists are refreshed only when needed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev
  libcli11-dev
  libasio-dev
  fonts-dejavu-core
  # The condensed and light DejaVu faces the font tests look up by every form of their name.
  fonts-dejavu-extra
  # Avatars and drawn text beyond Latin, Greek, Cyrillic, Arabic and Hebrew: CJK and colour emoji.
  fonts-wqy-microhei fonts-noto-color-emoji
  shared-mime-info
  iproute2
  # The tool's test reads kelvane(1) as lintian does (man, groff).
  man-db
  # The ABI check of make test (abidw, abidiff).
  abigail-tools
  # make package and its check: CPack reads the binaries' dependencies through file and
  # dpkg-shlibdeps; lintian holds the packages to Debian's policy.
  file dpkg-dev lintian
  # The reference manual (make docs) and its check in make test: Doxygen, and Python for the
  # filter that hands it the headers' comments.
  doxygen python3
)
# The engines' development packages, from the one list of them.
while read -r module deb _; do
  case "$module" in '' | '#'*) continue ;; esac
  packages+=("$deb")
done <"$root/cmake/engines.txt"
# libheif-dev brings libheif1, which in Debian 12 links its decoders (libde265, dav1d) and the
# encoders the tests write HEIC and AVIF with (x265, libaom) itself: no plugin packages to add.
bench_packages=(libbenchmark-dev libboost-dev libcurl4-openssl-dev libopencv-dev libvips-dev)
fuzz_packages=(clang libclang-rt-14-dev)
coverage_packages=(gcovr)

for arg in "$@"; do
  case "$arg" in
    --bench) packages+=("${bench_packages[@]}") ;;
    --fuzz) packages+=("${fuzz_packages[@]}") ;;
    --coverage) packages+=("${coverage_packages[@]}") ;;
    *) echo "install-deps.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  sudo=sudo
else
  sudo=
fi
export DEBIAN_FRONTEND=noninteractive
echo "install-deps.sh: installing ${missing[*]}"
if ! $sudo apt-get install -y --no-install-recommends "${missing[@]}"; then
  $sudo apt-get update
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
