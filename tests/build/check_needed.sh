#!/bin/sh
# Checks that a built program was made for the expected processor and that
# its dynamic section asks for the C library and nothing else.
# Usage: check_needed.sh READELF PROGRAM PROCESSOR
readelf=$1 program=$2 processor=$3

case $processor in
  x86_64|AMD64|amd64) want_machine='Advanced Micro Devices X86-64' ;;
  aarch64|arm64) want_machine='AArch64' ;;
  *) echo "unknown processor '$processor'"; exit 1 ;;
esac

machine=$("$readelf" -h "$program" | sed -n 's/^ *Machine: *//p')
if [ "$machine" != "$want_machine" ]; then
  echo "$program: built for '$machine', expected '$want_machine'"
  exit 1
fi

needed=$("$readelf" -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\].*/\1/p')
echo "$program ($machine) needs: $needed"
if [ "$needed" != "libc.so.6" ]; then
  echo "$program must need libc.so.6 only"
  exit 1
fi
