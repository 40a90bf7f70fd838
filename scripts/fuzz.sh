#!/bin/bash
# Builds the libFuzzer targets of tests/fuzz with clang 14 under
# AddressSanitizer and UndefinedBehaviorSanitizer (build/fuzz) and runs each
# target in turn, one fuzzing process at a time:
#
#   scripts/fuzz.sh [SECONDS]          campaign: SECONDS per target (default 600),
#                                      corpus kept in build/fuzz/campaign/<target>
#                                      (seeded from tests/fuzz/corpus, grows across runs)
#   scripts/fuzz.sh --short [SECONDS]  the test stage: SECONDS per target (default 30)
#                                      from a fresh copy of the seed corpus and a fixed seed
#   scripts/fuzz.sh --keep-going ...   campaign that steps over findings (libFuzzer's
#                                      fork mode with one worker) and counts them
#   scripts/fuzz.sh --workers N ...    campaign with N fuzzing processes per target
#                                      (one a core), sharing the corpus; the
#                                      executions printed are their sum
#   scripts/fuzz.sh --no-sanitizers ...  campaign of the targets built without the
#                                      sanitizers (build/fuzz-plain), several times
#                                      faster: for counting executions of the checks
#                                      a target makes itself (page_file's JSON)
#   scripts/fuzz.sh --make-corpus      rewrites tests/fuzz/corpus from the simulated
#                                      expander's built-in pages (the hand-written
#                                      page_file seeds are kept)
#   CORVANE_FUZZ_TARGETS="format ..."  runs only the targets named
#
# Prints each target's executions, coverage (cov: edges, ft: features) and
# rate; findings go to build/fuzz/<mode>/<target>/artifacts. Exits non-zero
# on any finding. The source tree is never written, except by --make-corpus.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1
# shellcheck source=scripts/lib/common.sh
. "$root/scripts/lib/common.sh"
build=build/fuzz
targets=(${CORVANE_FUZZ_TARGETS:-log_road nv_assembly format bounded_copy page_file})

# Longest input per target: a page buffer and its selector byte; five reads
# of 2048 bytes; a header, format and text; a header and the copy arena;
# a page file as hex text.
declare -A max_len=([log_road]=8501 [nv_assembly]=10240 [format]=512 [bounded_copy]=1035 [page_file]=16384)

mode=campaign keep_going=0 make_corpus=0 seconds= workers=1 sanitize=ON
while [ $# -gt 0 ]; do
  case $1 in
    --short) mode=short ;;
    --no-sanitizers) sanitize=OFF build=build/fuzz-plain ;;
    --keep-going) keep_going=1 ;;
    --make-corpus) make_corpus=1 ;;
    --workers) shift; workers=${1:-} ;;
    -h|--help) sed -n '2,27p' "$0"; exit 0 ;;
    *) seconds=$1 ;;
  esac
  shift
done
if [ -z "$seconds" ]; then
  if [ "$mode" = short ]; then seconds=30; else seconds=600; fi
fi
case $seconds in
  ''|*[!0-9]*) echo "fuzz: SECONDS must be a whole number, not '$seconds'" >&2; exit 2 ;;
esac
case $workers in
  ''|*[!0-9]*|0) echo "fuzz: --workers takes a count of 1 or more, not '$workers'" >&2; exit 2 ;;
esac
if [ "$sanitize" = OFF ] && [ "$mode" = short ]; then
  echo "fuzz: the test stage always runs with the sanitizers" >&2
  exit 2
fi
if [ "$workers" -gt 1 ] && { [ "$mode" = short ] || [ "$keep_going" -eq 1 ]; }; then
  echo "fuzz: --workers is for campaigns without --keep-going" >&2
  exit 2
fi

bash scripts/fuzz-setup.sh || { echo "fuzz: setup failed" >&2; exit 1; }

echo "==== fuzz: building the targets in $build ===="
mkdir -p "$build"
if ! { CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja \
         -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_FUZZ=ON -DCORVANE_FUZZ_SANITIZE="$sanitize" &&
       cmake --build "$build" -j"${CORVANE_JOBS:-2}"; } > "$build.log" 2>&1; then
  tail -n 40 "$build.log"
  echo "fuzz: build failed (whole log: $build.log)"
  exit 1
fi
bin=$root/$build/tests/fuzz

if [ "$make_corpus" -eq 1 ]; then
  # The page-file seeds (pages as binary and as hex text) are written by hand
  # and kept; the generator writes the others.
  for t in "${targets[@]}"; do
    [ "$t" = page_file ] && continue
    rm -rf "tests/fuzz/corpus/$t"
    mkdir -p "tests/fuzz/corpus/$t"
  done
  "$bin/fuzz_make_corpus" tests/fuzz/corpus || exit 1
  du -sh --apparent-size tests/fuzz/corpus/*
  exit 0
fi

# The sanitizers stop at the first fault; leaks count as findings.
sanitizer_env

summary=() failed=0
for t in "${targets[@]}"; do
  work=$root/$build/$mode/$t
  if [ "$mode" = short ]; then rm -rf "$work"; fi
  mkdir -p "$work/artifacts"
  if [ ! -d "$work/corpus" ]; then
    mkdir -p "$work/corpus"
    cp tests/fuzz/corpus/"$t"/* "$work/corpus/"
  fi
  args=(-max_total_time="$seconds" -max_len="${max_len[$t]}" -timeout=25
        -print_final_stats=1 -artifact_prefix="$work/artifacts/")
  # The test stage starts from a fixed seed, so every run walks the same
  # inputs first and a finding can be replayed; campaigns take a fresh seed.
  if [ "$mode" = short ]; then
    args+=(-seed=1)
  fi
  if [ "$keep_going" -eq 1 ]; then
    args+=(-fork=1 -ignore_crashes=1 -ignore_ooms=1 -ignore_timeouts=1)
  fi
  if [ "$workers" -gt 1 ]; then
    args+=(-jobs="$workers" -workers="$workers")
  fi
  echo
  echo "==== fuzz: $t for ${seconds}s ===="
  start=$SECONDS
  # The target runs in its work folder, where fork mode keeps its scratch files.
  rm -f "$work"/fuzz-*.log
  (cd "$work" && "$bin/fuzz_$t" "${args[@]}" corpus) > "$work/fuzz.log" 2>&1
  status=$?
  took=$((SECONDS - start))
  # The last progress line of a process carries its totals: "#N ... cov: C
  # ft: F ... exec/s: R". With several workers each writes fuzz-<n>.log.
  logs=("$work/fuzz.log")
  if [ "$workers" -gt 1 ]; then logs=("$work"/fuzz-*.log); fi
  execs=0 cov= ft=
  for log in "${logs[@]}"; do
    last=$(grep -E '^#[0-9]+' "$log" | tail -n 1)
    execs=$((execs + $(sed -nE 's/^#([0-9]+).*/\1/p' <<<"$last" | grep . || echo 0)))
    cov=$(sed -nE 's/.*cov: ([0-9]+).*/\1/p' <<<"$last")
    ft=$(sed -nE 's/.*ft: ([0-9]+).*/\1/p' <<<"$last")
  done
  found=$(find "$work/artifacts" -type f | wc -l)
  rate=$(( took > 0 ? ${execs:-0} / took : 0 ))
  line=$(printf '%-12s %10s execs %7s exec/s  cov %5s  ft %6s  %4ss  findings %s' \
    "$t" "${execs:-?}" "$rate" "${cov:-?}" "${ft:-?}" "$took" "$found")
  summary+=("$line")
  if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
    failed=1
    cat "${logs[@]}" | grep -E 'ERROR|SUMMARY|runtime error|fuzz:' | head -n 20
    echo "fuzz: $t found a fault (log: $work/fuzz.log, inputs: $work/artifacts)"
  fi
  echo "$line"
done

echo
echo "==== fuzz: summary ($mode, ${seconds}s per target) ===="
printf '%s\n' "${summary[@]}"
exit "$failed"
