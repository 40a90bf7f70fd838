#!/bin/bash
# Checks that a built program was made for the expected processor and that
# its dynamic section asks for the C library and nothing else.
# Usage: check_needed.sh READELF PROGRAM PROCESSOR [--loader-ok]
# shellcheck source=scripts/lib/common.sh
. "$(dirname "$0")/../../scripts/lib/common.sh"
# Debian's static sg3 utilities library is built with the stack protector,
# whose guard value lives in the loader on aarch64; --loader-ok allows the C
# library's own loader on every processor.
case $3 in
  aarch64|arm64) check_libc_only "$1" "$2" "$3" --loader-ok ;;
  *) check_libc_only "$1" "$2" "$3" "${4:-}" ;;
esac
