#!/bin/bash
# Builds corvane and runs every test:
#   native      x86-64 build, unit and end-to-end tests
#   sanitize    the same under AddressSanitizer and UndefinedBehaviorSanitizer
#   aarch64     cross build, whole suite under qemu-user emulation
#   needed-libs both corvane programs need the C library only
#   fuzz        every libFuzzer target for 30 s (scripts/fuzz.sh --short)
#   kernel      real-kernel scenarios, when tests/kernel/run.sh exists
#   fleet       a rolling update with ansible-core over simulated hosts (tests/fleet/run.sh)
#   package     Debian packages for amd64 and arm64, lintian, installed and
#               used in a fresh Debian 12 root (tests/package/run.sh)
# Exits non-zero if anything failed. Build trees go under build/.
# Warnings are errors here (CORVANE_WERROR). CORVANE_TEST_SKIP names stages
# to leave out (e.g. "package" where CI runs the package test on its own).
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1
jobs=${CORVANE_JOBS:-2}
logs=build/logs
# shellcheck source=scripts/lib/common.sh
. "$root/scripts/lib/common.sh"

# Some runners start without HOME; the caches below it need one.
if [ -z "${HOME:-}" ]; then
  HOME=$(getent passwd "$(id -u)" | cut -d: -f6)
  export HOME
fi

bash scripts/setup.sh || { echo "test: setup failed"; exit 1; }
mkdir -p "$logs"

summary=()
total_passed=0 total_failed=0 total_skipped=0 any_failure=0

wanted() { [[ " ${CORVANE_TEST_SKIP:-} " != *" $1 "* ]]; }

note() {  # stage result seconds detail
  summary+=("$(printf '%-12s %-7s %5ss  %s' "$1" "$2" "$3" "$4")")
  [ "$2" = ok ] || any_failure=1
}

launcher_args=()
if command -v ccache >/dev/null 2>&1 && [ -n "$HOME" ] && [ -w "$HOME" ]; then
  launcher_args=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# suite NAME cmake-arguments...: configures build/NAME, builds it and runs its
# tests with ctest, in the environment the caller set up.
suite() {
  local name=$1 dir=build/$1 start=$SECONDS
  shift
  echo
  echo "==== $name: configure and build ===="
  if ! { cmake -S . -B "$dir" -G Ninja -DCORVANE_WERROR=ON "${launcher_args[@]}" "$@" &&
         cmake --build "$dir" -j"$jobs"; } > "$logs/$name.build.log" 2>&1; then
    tail -n 60 "$logs/$name.build.log"
    echo "$name: build failed (whole log: $logs/$name.build.log)"
    total_failed=$((total_failed + 1))
    note "$name" FAILED $((SECONDS - start)) "build failed"
    return
  fi
  local built=$((SECONDS - start))
  echo "$name: built in ${built}s"
  echo "==== $name: tests ===="
  ctest --test-dir "$dir" -j"$jobs" --output-on-failure --timeout 600 --no-tests=error \
    2>&1 | tee "$logs/$name.ctest.log"
  local status=${PIPESTATUS[0]}
  local counts out_of failed skipped
  counts=$(grep -E 'tests failed out of [0-9]+' "$logs/$name.ctest.log" | tail -n 1)
  out_of=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$counts")
  failed=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$counts")
  skipped=$(grep -cE '^[[:space:]]*[0-9]+ - .*\(Skipped\)' "$logs/$name.ctest.log")
  [ -n "$out_of" ] || out_of=0
  [ -n "$failed" ] || failed=$((status == 0 ? 0 : 1))
  total_passed=$((total_passed + out_of - failed - skipped))
  total_failed=$((total_failed + failed))
  total_skipped=$((total_skipped + skipped))
  local detail="build ${built}s; $((out_of - failed - skipped)) passed, $failed failed, $skipped skipped"
  if [ "$status" -eq 0 ]; then
    note "$name" ok $((SECONDS - start)) "$detail"
  else
    note "$name" FAILED $((SECONDS - start)) "$detail"
  fi
}

suite native -DCMAKE_BUILD_TYPE=RelWithDebInfo

sanitizer_env
suite sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_SANITIZE=ON
unset ASAN_OPTIONS UBSAN_OPTIONS

if bash scripts/setup.sh --check-foreign-exec; then
  no_foreign_exec=0
else
  no_foreign_exec=1
  echo "aarch64: this machine cannot start aarch64 programs directly (no binfmt_misc"
  echo "aarch64: handler, or an emulator whose forked children hang); tests that start"
  echo "aarch64: corvane or the simulator, or fork, are skipped there"
fi
QEMU_LD_PREFIX=$(qemu_ld_prefix) CORVANE_NO_FOREIGN_EXEC=$no_foreign_exec \
  suite aarch64 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/aarch64-linux-gnu.cmake"

echo
echo "==== needed-libs: dynamic dependencies of corvane ===="
start=$SECONDS needed_ok=1
for pair in native:x86_64 aarch64:aarch64; do
  program=build/${pair%%:*}/src/corvane
  # aarch64: the loader too, for the stack protector of the static libraries
  if [ ! -x "$program" ] || ! bash tests/build/check_needed.sh readelf "$program" "${pair#*:}"; then
    needed_ok=0
  fi
done
if [ "$needed_ok" -eq 1 ]; then
  note needed-libs ok $((SECONDS - start)) "x86-64 and aarch64 corvane need the C library only"
else
  total_failed=$((total_failed + 1))
  note needed-libs FAILED $((SECONDS - start)) "a corvane build is missing or needs more than libc.so.6"
fi

# script_stage NAME TITLE OK_DETAIL FAILED_DETAIL COMMAND...: runs COMMAND,
# its output shown and kept in $logs/NAME.log, and notes the stage. A stage
# that says "NAME: skipped: ..." is noted with that line.
script_stage() {
  local name=$1 title=$2 ok_detail=$3 failed_detail=$4 start=$SECONDS
  shift 4
  echo
  echo "==== $name: $title ===="
  if "$@" 2>&1 | tee "$logs/$name.log"; [ "${PIPESTATUS[0]}" -eq 0 ]; then
    local skipped
    skipped=$(grep -m1 "^$name: skipped" "$logs/$name.log")
    note "$name" ok $((SECONDS - start)) "${skipped:-$ok_detail; see $logs/$name.log}"
  else
    total_failed=$((total_failed + 1))
    note "$name" FAILED $((SECONDS - start)) "$failed_detail; see $logs/$name.log"
  fi
}

if wanted fuzz; then
  script_stage fuzz "every fuzz target for a short fixed budget" "each target 30s, no finding" \
    "a target found a fault or did not build" bash scripts/fuzz.sh --short 30
fi
if wanted fleet; then
  script_stage fleet "rolling update over simulated hosts" "check mode, rollout, stop and rerun as expected" \
    "the fleet run went wrong" bash tests/fleet/run.sh build/native
fi

if [ -f tests/kernel/run.sh ] && wanted kernel; then
  script_stage kernel "real-kernel scenarios" "real-kernel scenarios passed" "a scenario failed" \
    bash tests/kernel/run.sh
fi
if wanted package; then
  script_stage package "Debian packages in a fresh root" \
    "amd64 and arm64 built, lintian clean, installed and purged" "a package check failed" \
    bash tests/package/run.sh
fi

echo
echo "==== summary (logs in $logs/) ===="
printf '%s\n' "${summary[@]}"
echo "total wall time: ${SECONDS}s"
echo "total: $total_passed passed, $total_failed failed, $total_skipped skipped"
exit "$any_failure"
