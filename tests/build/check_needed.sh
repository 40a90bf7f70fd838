#!/bin/bash
# Checks that a built program was made for the expected processor and that
# its dynamic section asks for the C library and nothing else.
# Usage: check_needed.sh READELF PROGRAM PROCESSOR [--loader-ok]
# shellcheck source=scripts/lib/common.sh
. "$(dirname "$0")/../../scripts/lib/common.sh"
check_libc_only "$1" "$2" "$3" "${4:-}"
