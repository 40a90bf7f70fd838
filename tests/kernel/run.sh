#!/bin/bash
# Real-kernel scenarios: corvane against a real /dev/sgN. Boots Debian's cloud
# kernel under QEMU (software emulation) with LIO's user backstore answered
# by corvane-tcmu over the loopback fabric, runs each file of
# tests/kernel/scenarios/ inside (one boot each), and compares every run with the same run through the preloaded
# simulator on this machine. A scenario marked "kernel-only" (one that needs
# what only the guest has, such as several paths to one expander or a node's
# SCSI address) is checked on its own terms instead. corvane-pages status
# runs are also checked against what the guest's kernel and expander hold.
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
cache=${CORVANE_KERNEL_CACHE:-${HOME:-/tmp}/.cache/corvane-kernel}
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
. "$here/lib/paths.sh"
. "$here/lib/status.sh"

[ "$(uname -m)" = x86_64 ] || skip "the guest is x86-64 and this machine is $(uname -m)"
model_ready || skip "the expander model is not in the tree yet"
prepare_qemu || skip "QEMU cannot be had here ($prepare_reason)"
prepare_packages || skip "the guest's packages cannot be fetched ($prepare_reason)"
prepare_builds || die "building the guest's programs failed ($prepare_reason)"
prepare_jsonschema || die "the status documents cannot be checked ($prepare_reason)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
base_initramfs=$work/base.cpio.gz
build_base_initramfs "$base_initramfs" || die "the guest's initramfs could not be built"

# One boot per scenario file, two at a time (a guest uses one core).
start=$SECONDS
scenario_files=("$here"/scenarios/*.txt)
for scen in "${scenario_files[@]}"; do
  name=$(basename "$scen" .txt)
  while [ "$(jobs -rp | wc -l)" -ge 2 ]; do wait -n; done
  guest_door "$scen" "$work/$name/kernel" &
done
wait
echo "kernel: ${#scenario_files[@]} boots done in $((SECONDS - start))s"

failures=0 runs=0
for scen in "${scenario_files[@]}"; do
  name=$(basename "$scen" .txt) k=$work/$name/kernel
  runs=$((runs + $(grep -c -e '^run ' -e '^pages ' -e '^start ' "$scen")))
  if [ -f "$k/door.failed" ]; then
    echo "kernel: $name: the guest run failed: $(cat "$k/door.failed")"
    sed 's/^/  guest: /' "$k/scenario.out" 2>/dev/null | tail -n 20
    tail -n 20 "$k/console.txt" 2>/dev/null | sed 's/^/  console: /'
    failures=1
    continue
  fi
  echo "kernel: $name: guest ran $(grep -c -e '^run ' -e '^pages ' -e '^start ' "$scen") runs, boot to power-off $(cat "$k/seconds")s"
  check_expectations "$scen" "$k" || failures=1
  if grep -q '^path ' "$scen"; then
    check_paths "$scen" "$k" || failures=1
  fi
  if grep -q '^pages [^ ]* status' "$scen"; then
    check_status "$scen" "$k" || failures=1
  fi
  if grep -qx 'kernel-only' "$scen"; then
    :
  elif [ -n "$sim_launcher" ]; then
    if host_door "$scen" "$work/$name/preload"; then
      compare_doors "$scen" "$k" "$work/$name/preload" || failures=1
    else
      echo "kernel: $name: the preloaded simulator run failed: $(cat "$work/$name/preload/door.failed")"
      failures=1
    fi
  fi
done
[ -n "$sim_launcher" ] || echo "kernel: note: no preloaded simulator in $build; the doors were not compared"
[ -n "$keep" ] && { mkdir -p "$keep" && cp -r "$work"/. "$keep"/; }
if [ "$failures" -ne 0 ]; then
  echo "kernel: FAILED ($runs runs in ${#scenario_files[@]} boots)"
  exit 1
fi
echo "kernel: $runs runs in ${#scenario_files[@]} boots, all as expected"
