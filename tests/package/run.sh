#!/bin/bash
# Package test: builds the Debian packages for amd64 and arm64 with
# scripts/package.sh (which fails on any lintian error or warning), installs
# the amd64 packages in a fresh minimal Debian 12 root and uses them there
# (tests/package/inside.sh), then runs the arm64 corvane under qemu-user.
#
#   tests/package/run.sh
#
# Exits 0 with "package: skipped: <reason>" where the machine cannot make a
# fresh root (not root, not amd64, no apt); non-zero when a check fails.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root" || exit 1
out=build/packages
# shellcheck source=scripts/lib/common.sh
. "$root/scripts/lib/common.sh"

skip() { echo "package: skipped: $*"; exit 0; }
fail() { echo "package: FAILED: $*"; exit 1; }

[ "$(id -u)" -eq 0 ] || skip "a fresh root needs root (mmdebstrap, chroot)"
[ "$(dpkg --print-architecture 2>/dev/null)" = amd64 ] || skip "the packages are tested on amd64"
command -v apt-get >/dev/null 2>&1 || skip "no apt-get"
command -v unshare >/dev/null 2>&1 || skip "no unshare"

start=$SECONDS
bash scripts/package.sh amd64 arm64 || fail "building or checking the packages"
echo "package: built and checked in $((SECONDS - start))s"

# --- amd64: install, use, rotate, purge in a fresh root -------------------
. "$root/scripts/lib/freshroot.sh"
freshroot_prepare || fail "no fresh root"
work=$(mktemp -d /var/tmp/corvane-package.XXXXXX) || fail "mktemp"
trap 'freshroot_remove "$work/root"; rm -rf "$work"' EXIT
freshroot_unpack "$work/root" || fail "unpacking the fresh root"
mkdir -p "$work/root/tmp/package-test"
cp "$out"/corvane_*_amd64.deb "$out"/corvane-sim_*_amd64.deb tests/package/inside.sh \
  scripts/lib/common.sh "$work/root/tmp/package-test/" || fail "no amd64 packages in $out"
start=$SECONDS
freshroot_run "$work/root" -- bash /tmp/package-test/inside.sh /tmp/package-test ||
  fail "the amd64 packages in a fresh root"
echo "package: amd64 packages installed, used and purged in a fresh root in $((SECONDS - start))s"

# --- arm64: corvane needs only the C library and runs under qemu-user ------
deb=$(ls "$out"/corvane_*_arm64.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "no arm64 corvane package in $out"
dpkg-deb -x "$deb" "$work/arm64" || fail "cannot unpack $deb"
program=$work/arm64/usr/sbin/corvane
# The packages are built hardened (dpkg-buildflags): the loader may be named.
check_libc_only readelf "$program" arm64 --loader-ok || fail "arm64 corvane needs more than the C library"
[ "$(dpkg-deb -f "$deb" Depends)" = "$(dpkg-deb -f "$deb" Depends | grep -o '^libc6 ([^)]*)')" ] ||
  fail "arm64 corvane depends on more than libc6: $(dpkg-deb -f "$deb" Depends)"
need_packages qemu-user-static || fail "cannot install qemu-user-static"
# A sysroot holding the C library alone (with its loader): if corvane needed
# anything else it could not start.
sysroot=$work/arm64-libc
mkdir -p "$sysroot/lib"
cp -L "$cross_sysroot/lib/ld-linux-aarch64.so.1" "$cross_sysroot/lib/libc.so.6" "$sysroot/lib/" ||
  fail "no arm64 C library (libc6-arm64-cross)"
# corvane logs the rejected command line to /var/log/expander_log.txt: a
# private mount namespace with its own /var/log keeps the machine's log out.
status=0
in_private_mounts bash -c '
  mount -t tmpfs tmpfs /var/log || exit 99
  qemu-aarch64-static -L "$1" "$2" --version > "$3/usage.txt"
  status=$?
  cp /var/log/expander_log.txt "$3/arm64-log.txt" 2>/dev/null
  exit $status
' arm64 "$sysroot" "$program" "$work" || status=$?
[ "$status" -eq 255 ] || fail "arm64 corvane --version exited with $status, not 255"
grep -q '^Expander Command Line Tool  Ver 1.03 June 22 2020$' "$work/usage.txt" ||
  fail "arm64 corvane --version did not print the usage text: $(cat "$work/usage.txt")"
grep -q 'corvane --version$' "$work/arm64-log.txt" && grep -q 'Usage: ' "$work/arm64-log.txt" ||
  fail "arm64 corvane --version was not logged"
echo "package: arm64 corvane needs the C library only, prints the usage text under qemu-user and exits 255"
echo "package: all checks passed"
ls -l "$out"/*.deb
