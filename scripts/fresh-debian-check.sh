#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs the README's set-up lines, exactly as printed, in a fresh Debian 12 root: a minimal root
# made by debootstrap, /proc, /sys, /dev and /run mounted, the checkout's committed state cloned
# in by the README's own clone line, then `make test` and `make demo`. Everything is unmounted
# and removed afterwards, whatever the result.
#
#   scripts/fresh-debian-check.sh [--no-fallback]
#
# Only the bare debootstrap output is cached between runs (KELVANE_CI_CACHE, by default
# /var/cache/kelvane-ci, refreshed after KELVANE_CI_CACHE_DAYS days, 7 by default): nothing that a
# fresh machine would not have. Where the root cannot be made (not root, no debootstrap, no
# route to the package archive), the script says so loudly and falls back to a plain `make test`
# in the checkout, unless --no-fallback is given.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
suite=bookworm
mirror=${KELVANE_CI_MIRROR:-http://deb.debian.org/debian}
cache_dir=${KELVANE_CI_CACHE:-/var/cache/kelvane-ci}
cache_days=${KELVANE_CI_CACHE_DAYS:-7}
base_tar="$cache_dir/$suite-minbase.tar"
fallback=1
[ "${1:-}" = "--no-fallback" ] && fallback=0

say() { printf 'fresh-debian-check: %s\n' "$*" >&2; }
loud() {
  printf '\n%s\n' "!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!" >&2
  printf '!!! fresh-debian-check: %s\n' "$@" >&2
  printf '%s\n\n' "!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!" >&2
}
fall_back() {
  loud "$1" "The README's commands were NOT tried on a fresh Debian 12 root;" \
    "running a plain 'make test' in this checkout instead."
  [ "$fallback" -eq 1 ] || exit 1
  cd "$repo" && exec make test
}
elapsed() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }

# The README's lines: the fenced block after the "fresh-machine" marker holds the prerequisites
# and the clone; the commands themselves are the README's `make test` and `make demo` lines.
readme="$repo/README.md"
setup=$(awk '/<!-- fresh-machine -->/ {armed = 1; next}
             armed && /^```/ {if (inside) exit; inside = 1; next}
             inside {print}' "$readme")
[ -n "$setup" ] || { say "README.md has no fenced block after <!-- fresh-machine -->"; exit 1; }
grep -q '<repository-url>' <<<"$setup" || { say "the README's set-up has no <repository-url>"; exit 1; }
for cmd in 'make test' 'make demo'; do
  grep -q "^$cmd\b" "$readme" || { say "README.md does not print '$cmd' on a line of its own"; exit 1; }
done
if [ -n "$(git -C "$repo" status --porcelain --untracked-files=no)" ]; then
  say "note: uncommitted changes are not tried; the root clones the checkout's HEAD"
fi

[ "$(id -u)" -eq 0 ] || fall_back "not running as root, so no root can be made"
if ! command -v debootstrap >/dev/null; then
  say "installing debootstrap"
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends debootstrap >&2 ||
    fall_back "debootstrap is not installed and could not be installed"
fi

start=$(date +%s)
mkdir -p "$cache_dir"
if [ -z "$(find "$base_tar" -mtime -"$cache_days" 2>/dev/null)" ]; then
  say "making the base root with debootstrap ($suite, minbase)"
  fresh=$(mktemp -d "$cache_dir/debootstrap.XXXXXX")
  if debootstrap --variant=minbase "$suite" "$fresh/root" "$mirror" >"$fresh/log" 2>&1; then
    tar -C "$fresh/root" -cf "$base_tar.new" . && mv "$base_tar.new" "$base_tar"
    rm -rf --one-file-system "$fresh"
  else
    tail -n 20 "$fresh/log" >&2
    rm -rf --one-file-system "$fresh"
    fall_back "debootstrap could not make a $suite root (is $mirror reachable?)"
  fi
fi

work=$(mktemp -d "${TMPDIR:-/var/tmp}/kelvane-fresh.XXXXXX")
root="$work/root"
mounts=()
cleanup() {
  local status=$?
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    umount -R "${mounts[i]}" 2>/dev/null || umount -R -l "${mounts[i]}" 2>/dev/null || true
  done
  if findmnt -rn -o TARGET | grep -q "^$root/"; then
    say "mounts under $root remain; leaving it in place rather than removing through them"
  else
    rm -rf --one-file-system "$work"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$root"
tar -C "$root" -xf "$base_tar"
cp /etc/resolv.conf "$root/etc/resolv.conf"  # the network a real machine would be set up with
mount -t proc proc "$root/proc" && mounts+=("$root/proc")
mount -t sysfs sysfs "$root/sys" && mounts+=("$root/sys")
mount --rbind /dev "$root/dev" && mount --make-rslave "$root/dev" && mounts+=("$root/dev")
mount -t tmpfs tmpfs "$root/run" && mounts+=("$root/run")

# The checkout arrives as a repository to clone from, in place of the network address.
git clone --quiet --bare --no-local "$repo" "$root/srv/kelvane.git"
script="set -euxo pipefail
cd /root
${setup//<repository-url>//srv/kelvane.git}
make test
make demo"
say "running in a fresh $suite root:"
sed 's/^/    /' <<<"$script" >&2

set +e
chroot "$root" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  /bin/bash -c "$script"
status=$?
set -e
took=$(elapsed $(($(date +%s) - start)))
if [ "$status" -eq 0 ]; then
  say "the README's set-up, make test and make demo passed in a fresh $suite root in $took"
else
  say "FAILED (exit $status) in a fresh $suite root after $took"
fi
exit "$status"
