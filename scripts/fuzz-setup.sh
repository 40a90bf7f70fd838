#!/bin/bash
# Installs what the fuzz targets need on Debian 12: clang 14 and its
# libFuzzer and sanitizer runtimes, CMake and Ninja. Quiet and quick when
# everything is in place; proves the toolchain by linking a tiny target.
set -euo pipefail

# shellcheck source=scripts/lib/common.sh
. "$(dirname "$0")/lib/common.sh"

# Links an empty fuzz target with the runtimes the real targets use.
toolchain_works() {
  command -v clang++-14 >/dev/null 2>&1 && command -v cmake >/dev/null 2>&1 &&
    command -v ninja >/dev/null 2>&1 || return 1
  local dir status=0
  dir=$(mktemp -d)
  printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }\n' \
    > "$dir/probe.cpp"
  clang++-14 -fsanitize=fuzzer,address,undefined "$dir/probe.cpp" -o "$dir/probe" \
    >/dev/null 2>&1 || status=1
  rm -rf "$dir"
  return "$status"
}

toolchain_works && exit 0
need_packages clang-14 libclang-rt-14-dev cmake ninja-build
if ! toolchain_works; then
  echo "fuzz-setup: clang++-14 still cannot link a libFuzzer target" >&2
  exit 1
fi
