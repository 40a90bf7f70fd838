#!/bin/bash
# Builds corvane and the simulated expander, then services the simulated
# expander the way an administrator would service a real one:
#   query, download= of a signed firmware image, query again, log.
# The simulator keeps the operation log and the audit lines in a capture
# directory, shown at the end; nothing is written to /var/log or syslog.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1
build=build/demo
work=$build/run

bash scripts/setup.sh || exit 1
mkdir -p "$build" || exit 1
echo "==== building corvane and the simulated expander in $build ===="
if ! { cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_TESTS=OFF &&
       cmake --build "$build" -j2; } > "$build.log" 2>&1; then
  tail -n 40 "$build.log"
  echo "demo: build failed (whole log: $build.log)"
  exit 1
fi

corvane=$root/$build/src/corvane
sim=$root/$build/sim/expander-sim
if [ ! -x "$sim" ]; then
  echo "demo: the simulated expander was not built ($sim)"
  exit 1
fi

rm -rf "$work"
mkdir -p "$work"
state=$work/state capture=$work/capture

# run ARGS...: one corvane run against the simulated expander /dev/sgsim0.
# Every run of the demo succeeds against the factory state: another exit
# status, or a page the log command could not collect, fails the demo.
failures=0
run() {
  echo
  echo "\$ corvane $*"
  local status=0
  "$sim" --state "$state" --capture "$capture" -- "$corvane" "$@" > "$work/out.txt" 2>&1 || status=$?
  cat "$work/out.txt"
  echo "(exit status $status)"
  if [ "$status" -ne 0 ] || grep -q ' faild$' "$work/out.txt"; then
    echo "demo: this run did not succeed"
    failures=$((failures + 1))
  fi
}

# A signed firmware image: its first four bytes are the firmware signature
# 50 4D 43 00, and the simulator takes the new version (104) from it.
image=sim/samples/firmware_104.bin

run query /dev/sgsim0
run "download=$image" /dev/sgsim0
run query /dev/sgsim0
run log /dev/sgsim0

echo
echo "==== operation log ($capture/expander_log.txt) ===="
cat "$capture/expander_log.txt" 2>/dev/null || echo "(empty)"
echo
echo "==== audit lines sent to syslog ($capture/audit.txt) ===="
cat "$capture/audit.txt" 2>/dev/null || echo "(none)"

if [ ! -s "$capture/expander_log.txt" ]; then
  echo "demo: the simulator captured no operation log"
  failures=$((failures + 1))
fi
if [ "$failures" -ne 0 ]; then
  echo "demo: FAILED ($failures problems above)"
  exit 1
fi
echo
echo "demo: all runs succeeded"
