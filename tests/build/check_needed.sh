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

needed=$("$readelf" -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\].*/\1/p' | LC_ALL=C sort | tr '\n' ' ')
echo "$program ($machine) needs: $needed"
# On aarch64 the stack protector's guard value of hardened static libraries
# (Debian's libsgutils2.a) lives in the dynamic loader, which is part of the
# C library like libc.so.6.
case $processor:$needed in
  *:"libc.so.6 ") ;;
  aarch64:"ld-linux-aarch64.so.1 libc.so.6 "|arm64:"ld-linux-aarch64.so.1 libc.so.6 ") ;;
  *)
    echo "$program must need the C library (libc.so.6) only"
    exit 1
    ;;
esac
