#!/bin/sh
# Checks that every include between the folders of src/ points down the
# layers below, bottom first: a folder may include its own headers and those
# of the folders listed before it, never one listed after it.
#   check_layers.sh SRC_DIR
set -u
src=$1
layers="common bounded oplog sg ses decode logs cli pages"

rank() {
  n=0
  for layer in $layers; do
    [ "$layer" = "$1" ] && { echo "$n"; return; }
    n=$((n + 1))
  done
  echo -1
}

status=0
for dir in "$src"/*/; do
  folder=$(basename "$dir")
  own=$(rank "$folder")
  if [ "$own" -lt 0 ]; then
    echo "src/$folder is in no layer"
    status=1
    continue
  fi
  for target in $(grep -rhoE '^#include "[a-z_]+/' "$dir" | sed -E 's/#include "([a-z_]+)\//\1/' | sort -u); do
    other=$(rank "$target")
    if [ "$other" -lt 0 ] || [ "$other" -gt "$own" ]; then
      grep -rnE "^#include \"$target/" "$dir" | sed "s#^$src/#src/#;s/^/points up: /"
      status=1
    fi
  done
done
[ "$status" -eq 0 ] && echo "every include in src/ points down"
exit "$status"
