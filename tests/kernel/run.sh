#!/bin/bash
# Real-kernel scenarios: corvane against a real /dev/sgN. Boots Debian's cloud
# kernel under QEMU (software emulation) with LIO's user backstore answered
# by corvane-tcmu over the loopback fabric, runs tests/kernel/scenarios.txt
# inside, and compares every run with the same run through the preloaded
# simulator on this machine.
#
#   tests/kernel/run.sh [--build DIR] [--keep DIR]
#
# --build names a configured build tree holding corvane (default: the
# native tree of scripts/test.sh, else one made under build/kernel/tree).
# --keep leaves the results of both doors in DIR.
# Downloads are cached in $CORVANE_KERNEL_CACHE (default ~/.cache/corvane-kernel).
# Exits 0 with "skipped: <reason>" when this machine cannot boot a guest;
# non-zero only when a scenario fails or the two doors disagree.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
here=$root/tests/kernel
cache=${CORVANE_KERNEL_CACHE:-$HOME/.cache/corvane-kernel}
build= keep=
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$2; shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--keep DIR]" >&2; exit 2 ;;
  esac
done

skip() { echo "kernel: skipped: $*"; exit 0; }
die() { echo "kernel: FAILED: $*"; exit 1; }

. "$here/lib/prepare.sh"
. "$here/lib/doors.sh"

[ "$(uname -m)" = x86_64 ] || skip "the guest is x86-64 and this machine is $(uname -m)"
model_ready || skip "the expander model is not in the tree yet"
prepare_qemu || skip "QEMU cannot be had here ($prepare_reason)"
prepare_packages || skip "the guest's packages cannot be fetched ($prepare_reason)"
prepare_builds || die "building the guest's programs failed ($prepare_reason)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
start=$SECONDS
guest_door "$work/guest" || die "the guest run failed: $guest_reason"
echo "kernel: guest booted and ran in $((SECONDS - start))s"
failures=0
check_expectations "$work/guest" || failures=1
if [ -n "$sim_launcher" ]; then
  host_door "$work/host" || die "the preloaded simulator run failed: $host_reason"
  compare_doors "$work/guest" "$work/host" || failures=1
else
  echo "kernel: note: no preloaded simulator in $build; the doors were not compared"
fi
[ -n "$keep" ] && { mkdir -p "$keep" && cp -r "$work"/. "$keep"/; }
runs=$(grep -c '^run ' "$here/scenarios.txt")
if [ "$failures" -ne 0 ]; then
  echo "kernel: FAILED ($runs runs, one boot)"
  exit 1
fi
echo "kernel: $runs runs in one boot, all as expected"
