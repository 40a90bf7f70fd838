#!/bin/bash
# Builds the benchmark suite (Release, build/bench-release) and runs all of it:
#   micro       formats against snprintf and {fmt}, copy routines against the
#               C library, the log road in-process against its fopen floor
#   log         the whole log command of the largest page set under the
#               simulated expander against a floor program doing only its
#               mandated I/O (requests and one fopen/fprintf/fclose an entry)
#   syscalls    strace: one write an entry, no system call beyond the floor's
#   download    1 KiB to 16 MiB images against a floor doing the same freads
#               and requests
#   decode      corvane-pages decode --json against its text, in instructions
#               (callgrind), of a capture from the simulated expander and of
#               the largest page set
# and prints one table of ratios (ours / reference). Raw results (JSON) go to
# build/bench/. Never part of the tests. Settings (environment):
#   BENCH_MIN_TIME  seconds per micro benchmark repetition (default 0.04)
#   BENCH_REPS      micro benchmark repetitions (default 25)
# The micro benchmarks run their repetitions in random order, so that a
# change in the machine's speed during the run (other guests, the clock)
# falls on ours and the reference alike instead of on whichever ran then.
#   BENCH_RUNS      runs of each whole command (default 21)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${CORVANE_JOBS:-2}
min_time=${BENCH_MIN_TIME:-0.04}
reps=${BENCH_REPS:-25}
runs=${BENCH_RUNS:-21}
build=build/bench-release
out=build/bench

# shellcheck source=scripts/lib/common.sh
. "$root/scripts/lib/common.sh"
need_packages cmake ninja-build g++ libbenchmark-dev libfmt-dev strace python3 valgrind

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANE_BENCH=ON -DCORVANE_TESTS=OFF \
  >/dev/null
cmake --build "$build" -j"$jobs" >/dev/null
rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

corvane=$root/$build/src/corvane
sim=$root/$build/sim/expander-sim
bin=$root/$build/bench
node=/dev/sgsim0

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)" | tee "$out/load.txt"

# --- micro benchmarks -------------------------------------------------------
"$bin/corvane_bench" --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true \
  --benchmark_enable_random_interleaving=true \
  --benchmark_min_time="$min_time" --benchmark_out="$out/micro.json" \
  --benchmark_out_format=json >"$out/micro.txt"

# --- the log command of the largest page set --------------------------------
pages=$work/pages
far_pages=$work/far_pages
mkdir -p "$pages" "$far_pages"
"$bin/bench-make-pages" "$pages"
"$bin/bench-make-pages" "$far_pages" far
mkdir -p "$work/state" "$work/floor_state"

# One traced run of each: entries, bytes and system calls.
strace -f -qq -o "$work/corvane.strace" \
  "$sim" --state "$work/state" --pages "$pages" --capture "$work/state/capture" -- \
  "$corvane" log "$node" >/dev/null
log_file=$work/state/capture/expander_log.txt
entries=$(grep -c 'openat(.*expander_log.txt' "$work/corvane.strace")
bytes=$(stat -c %s "$log_file")
per_entry=$((bytes / entries))
# Entries that start with the log's time stamp ("Tue Dec  8 13:10:18 2026 ").
stamped=$(grep -cE '^[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4} ' "$log_file")
strace -f -qq -o "$work/floor.strace" \
  "$sim" --state "$work/floor_state" --pages "$pages" --capture "$work/floor_state/capture" -- \
  "$bin/bench-log-floor" "$node" "$entries" "$per_entry" "$stamped" >/dev/null
python3 bench/syscalls.py "$work/corvane.strace" "$work/floor.strace" "$out/syscalls.json"

rm -f "$log_file"
"$bin/bench-timed" "$runs" "$out/log_command.json" corvane floor -- \
  "$sim" --state "$work/state" --pages "$pages" --capture "$work/state/capture" -- \
  "$corvane" log "$node" ::: \
  "$sim" --state "$work/floor_state" --pages "$pages" --capture "$work/floor_state/capture" -- \
  "$bin/bench-log-floor" "$node" "$entries" "$per_entry" "$stamped"
"$bin/bench-timed" "$runs" "$out/log_command_far.json" far_stamps present_stamps -- \
  "$sim" --state "$work/state" --pages "$far_pages" --capture "$work/state/capture" -- \
  "$corvane" log "$node" ::: \
  "$sim" --state "$work/state" --pages "$pages" --capture "$work/state/capture" -- \
  "$corvane" log "$node"
rm -rf "$work/state/capture" "$work/floor_state/capture"

# --- other commands: peak memory ---------------------------------------------
"$bin/bench-timed" 3 "$out/query.json" query reset -- \
  "$sim" --state "$work/state" --capture "$work/state/capture" -- "$corvane" query "$node" ::: \
  "$sim" --state "$work/state" --capture "$work/state/capture" -- "$corvane" reset "$node"

# --- downloads ---------------------------------------------------------------
for size in 1024 65536 1048576 16777216; do
  image=$work/image_$size.bin
  "$root/$build/sim/expander-sim-image" --config --size "$size" "$image"
  n=$runs
  [ "$size" -ge 16777216 ] && n=5
  "$bin/bench-timed" "$n" "$out/download_$size.json" corvane floor -- \
    "$sim" --state "$work/state" --capture "$work/state/capture" -- \
    "$corvane" "download=$image" "$node" ::: \
    "$sim" --state "$work/state" --capture "$work/state/capture" -- \
    "$bin/bench-download-floor" "$node" "$image"
  rm -f "$image"
  rm -rf "$work/state/capture"
done

# --- decode --json against decode, in instructions ---------------------------
pages_bin=$root/$build/src/corvane-pages
"$sim" --state "$work/state" -- "$pages_bin" capture "$work/capture" "$node" >/dev/null
instructions() {  # corvane-pages arguments...: the instructions of one run
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$pages_bin" "$@" 2>&1 >/dev/null |
    sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}
{
  echo "{"
  sep=""
  for set in capture pages; do
    text=$(instructions decode "$work/$set")
    json=$(instructions decode --json "$work/$set")
    printf '%s  "%s": {"text": %s, "json": %s}\n' "$sep" "$set" "$text" "$json"
    sep=","
  done
  echo "}"
} >"$out/decode_json.json"

echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)" | tee -a "$out/load.txt"
python3 bench/report.py "$out"
