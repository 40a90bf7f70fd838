#!/bin/bash
# Installs what the fuzz targets need on Debian 12: clang 14 and its
# libFuzzer and sanitizer runtimes, CMake and Ninja. Quiet and quick when
# everything is in place; proves the toolchain by linking a tiny target.
set -euo pipefail

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

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
echo "fuzz-setup: installing clang-14 libclang-rt-14-dev cmake ninja-build"
export DEBIAN_FRONTEND=noninteractive
as_root apt-get update -qq -o DPkg::Lock::Timeout=600
as_root apt-get install -y -qq -o DPkg::Lock::Timeout=600 --no-install-recommends \
  clang-14 libclang-rt-14-dev cmake ninja-build >/dev/null
if ! toolchain_works; then
  echo "fuzz-setup: clang++-14 still cannot link a libFuzzer target" >&2
  exit 1
fi
