#!/bin/bash
# The include rules between the tree's folders, each checked over every
# source file it covers ("#include "<folder>/..." lines):
#   down       src/: a folder includes its own headers and those of the
#              floors below it, never one above: common bounded oplog sg ses
#              decode logs cli pages, bottom first
#   no-fetch   src/ses/ and src/decode/ never include sg/: decoders are given
#              the bytes, they never fetch them
#   apart      src/cli/ and src/pages/ never include each other: the two
#              programs share the floors below them only
#   sim-alone  sim/ includes nothing of src/ but common/: the simulated
#              expander shares no protocol code with the program it tests
#   bench      bench/ includes nothing of src/cli/ or src/pages/
#
#   check_layers.sh ROOT          checks the tree at ROOT; 1 on a violation
#   check_layers.sh --self-test   checks a clean temporary tree, then one
#                                 deliberate violation of each rule at a
#                                 time; 1 unless each is caught by its rule
set -u

layers="common bounded oplog sg ses decode logs cli pages"
status=0

violation() {  # rule file:line text
  echo "$1: $2"
  status=1
}

# forbid RULE ROOT DIR FOLDER...: no file under ROOT/DIR includes a header
# of any FOLDER.
forbid() {
  local rule=$1 root=$2 dir=$3 folder hit
  shift 3
  [ -d "$root/$dir" ] || return 0
  for folder in "$@"; do
    while IFS= read -r hit; do
      [ -n "$hit" ] && violation "$rule" "${hit#"$root"/}"
    done < <(grep -rnE "^#include \"$folder/" "$root/$dir" 2>/dev/null)
  done
}

rank() {
  local n=0 layer
  for layer in $layers; do
    [ "$layer" = "$1" ] && { echo "$n"; return; }
    n=$((n + 1))
  done
  echo -1
}

# The floors of src/: each folder includes only from its rank and below.
check_down() {
  local root=$1 dir folder own above=() layer n
  for dir in "$root"/src/*/; do
    folder=$(basename "$dir")
    own=$(rank "$folder")
    if [ "$own" -lt 0 ]; then
      violation down "src/$folder is on no floor"
      continue
    fi
    above=()
    n=0
    for layer in $layers; do
      [ "$n" -gt "$own" ] && above+=("$layer")
      n=$((n + 1))
    done
    [ ${#above[@]} -gt 0 ] && forbid down "$root" "src/$folder" "${above[@]}"
    # A folder that is no floor at all.
    while IFS= read -r hit; do
      [ -n "$hit" ] && violation down "${hit#"$root"/} (no such floor)"
    done < <(grep -rnE '^#include "[a-z_]+/' "$dir" | grep -vE "#include \"($(tr ' ' '|' <<<"$layers"))/")
  done
}

check_tree() {
  local root=$1 layer
  check_down "$root"
  forbid no-fetch "$root" src/ses sg
  forbid no-fetch "$root" src/decode sg
  forbid apart "$root" src/cli pages
  forbid apart "$root" src/pages cli
  local not_common=()
  for layer in $layers; do [ "$layer" = common ] || not_common+=("$layer"); done
  forbid sim-alone "$root" sim "${not_common[@]}"
  forbid bench "$root" bench cli pages
}

self_test() {
  local tmp failures=0 out
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' RETURN
  # A clean tree: every folder includes what its rules allow.
  for layer in $layers; do mkdir -p "$tmp/src/$layer"; done
  mkdir -p "$tmp/sim/model" "$tmp/bench"
  printf '#include "common/bytes.h"\n' > "$tmp/src/bounded/a.cpp"
  printf '#include "common/bytes.h"\n#include "oplog/oplog.h"\n#include "ses/ses.h"\n' > "$tmp/src/decode/a.cpp"
  printf '#include "logs/logs.h"\n#include "sg/sg.h"\n' > "$tmp/src/cli/a.cpp"
  printf '#include "logs/logs.h"\n#include "decode/decode.h"\n' > "$tmp/src/pages/a.cpp"
  printf '#include "common/bytes.h"\n#include "model/state.h"\n' > "$tmp/sim/model/a.cpp"
  printf '#include "bounded/bounded.h"\n#include "logs/logs.h"\n' > "$tmp/bench/a.cpp"
  out=$(bash "$0" "$tmp")
  if [ $? -ne 0 ]; then
    echo "self-test: the clean tree was refused: $out"
    failures=$((failures + 1))
  fi
  # Each case: the rule, the file and the include that breaks it.
  local cases=(
    "down src/common/bad.h bounded/bounded.h"
    "down src/sg/bad.cpp logs/logs.h"
    "no-fetch src/ses/bad.cpp sg/sg.h"
    "no-fetch src/decode/bad.cpp sg/sg.h"
    "apart src/pages/bad.cpp cli/main.h"
    "apart src/cli/bad.cpp pages/pages.h"
    "sim-alone sim/model/bad.cpp logs/logs.h"
    "sim-alone sim/model/bad.cpp bounded/bounded.h"
    "bench bench/bad.cpp cli/main.h"
    "bench bench/bad.cpp pages/page_file.h"
  )
  local c rule file include
  for c in "${cases[@]}"; do
    read -r rule file include <<<"$c"
    printf '#include "%s"\n' "$include" > "$tmp/$file"
    out=$(bash "$0" "$tmp")
    if [ $? -eq 0 ] || ! grep -q "^$rule: $file:1:" <<<"$out"; then
      echo "self-test: $file including $include was not refused by rule $rule: $out"
      failures=$((failures + 1))
    fi
    rm -f "$tmp/$file"
  done
  # A folder of src/ on no floor.
  mkdir -p "$tmp/src/extra"
  out=$(bash "$0" "$tmp")
  if [ $? -eq 0 ] || ! grep -q "^down: src/extra is on no floor" <<<"$out"; then
    echo "self-test: a folder on no floor was not refused: $out"
    failures=$((failures + 1))
  fi
  [ "$failures" -eq 0 ] && echo "self-test: a clean tree passes and each of $((${#cases[@]} + 1)) violations is refused by its rule"
  [ "$failures" -eq 0 ]
}

if [ "${1:-}" = --self-test ]; then
  self_test
  exit
fi
check_tree "$1"
[ "$status" -eq 0 ] && echo "every include in src/, sim/ and bench/ keeps the layer rules"
exit "$status"
