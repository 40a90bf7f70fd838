#!/bin/bash
# Installs what building and testing corvane needs on Debian 12, and lets
# this machine run aarch64 programs under qemu-user emulation.
# Quiet and quick when everything is already in place.
#
#   scripts/setup.sh                      install and register (idempotent)
#   scripts/setup.sh --check-foreign-exec exit 0 if aarch64 programs can be
#                                         started directly (execve), else 1
set -euo pipefail

cross_sysroot=/usr/aarch64-linux-gnu

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Each entry: a file or command that must exist, then the package giving it.
requirements=(
  "cmd:cmake cmake"
  "cmd:ninja ninja-build"
  "cmd:g++ g++"
  "cmd:readelf binutils"
  "cmd:setpriv util-linux"
  "cmd:ccache ccache"
  "file:/usr/include/gtest/gtest.h libgtest-dev"
  "file:/usr/include/gmock/gmock.h libgmock-dev"
  "file:/usr/src/googletest/CMakeLists.txt googletest"
  "cmd:aarch64-linux-gnu-g++ g++-aarch64-linux-gnu"
  "cmd:qemu-aarch64-static qemu-user-static"
  # The sg3 utilities' static library, for this machine and for the aarch64
  # cross build (the arm64 copy needs arm64 added to dpkg's architectures).
  "file:/usr/lib/$(uname -m)-linux-gnu/libsgutils2.a libsgutils2-dev"
  "file:/usr/lib/aarch64-linux-gnu/libsgutils2.a libsgutils2-dev:arm64"
  "file:/usr/include/nlohmann/json.hpp nlohmann-json3-dev"
  "cmd:prometheus-node-exporter prometheus-node-exporter"
  "cmd:promtool prometheus"
  "cmd:curl curl"
)

# A package named for another architecture can only be installed once dpkg
# knows that architecture.
add_foreign_architectures() {
  local arch
  for arch in $(missing_packages | sed -n 's/.*:\([a-z0-9]*\)$/\1/p' | sort -u); do
    [ "$arch" = "$(dpkg --print-architecture)" ] && continue
    dpkg --print-foreign-architectures | grep -qx "$arch" && continue
    echo "setup: adding the $arch architecture to dpkg"
    as_root dpkg --add-architecture "$arch"
  done
}

missing_packages() {
  local entry what package
  for entry in "${requirements[@]}"; do
    what=${entry%% *} package=${entry#* }
    case $what in
      cmd:*) command -v "${what#cmd:}" >/dev/null 2>&1 || echo "$package" ;;
      file:*) [ -e "${what#file:}" ] || echo "$package" ;;
    esac
  done
}

install_missing() {
  add_foreign_architectures
  local packages
  packages=$(missing_packages | sort -u | tr '\n' ' ')
  [ -z "${packages// /}" ] && return 0
  echo "setup: installing $packages"
  export DEBIAN_FRONTEND=noninteractive
  as_root apt-get update -qq -o DPkg::Lock::Timeout=600
  # shellcheck disable=SC2086
  as_root apt-get install -y -qq -o DPkg::Lock::Timeout=600 --no-install-recommends $packages >/dev/null
  local still
  still=$(missing_packages | tr '\n' ' ')
  if [ -n "${still// /}" ]; then
    echo "setup: still missing after install: $still" >&2
    return 1
  fi
}

# Registers qemu-aarch64-static with binfmt_misc, so that an aarch64 program
# a test starts is run under emulation like a native one. The F flag opens
# the emulator at registration, so it works from any mount namespace.
register_binfmt() {
  local dir=/proc/sys/fs/binfmt_misc
  [ -e "$dir/qemu-aarch64" ] && return 0
  if [ ! -e "$dir/register" ]; then
    as_root mount -t binfmt_misc binfmt_misc "$dir" 2>/dev/null || true
    # A handler registered before (by the machine, or outside this root)
    # shows only once the file system is mounted here.
    [ -e "$dir/qemu-aarch64" ] && return 0
  fi
  if [ ! -e "$dir/register" ]; then
    echo "setup: binfmt_misc is not available; aarch64 programs cannot be started directly"
    return 0
  fi
  local rule
  if [ -r /usr/lib/binfmt.d/qemu-aarch64.conf ]; then
    rule=$(cat /usr/lib/binfmt.d/qemu-aarch64.conf)
  else
    rule=':qemu-aarch64:M::\x7f\x45\x4c\x46\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00:\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-aarch64-static:OF'
  fi
  if ! printf '%s' "$rule" | as_root tee "$dir/register" >/dev/null 2>&1; then
    echo "setup: could not register qemu-aarch64 with binfmt_misc; aarch64 programs cannot be started directly"
  fi
}

# Builds a tiny aarch64 program and starts it the way a test would.
check_foreign_exec() {
  local dir
  dir=$(mktemp -d)
  trap 'rm -rf "$dir"' RETURN
  printf 'int main(void) { return 42; }\n' > "$dir/probe.c"
  aarch64-linux-gnu-gcc -o "$dir/probe" "$dir/probe.c" 2>/dev/null || return 1
  local status=0
  QEMU_LD_PREFIX=$cross_sysroot "$dir/probe" 2>/dev/null || status=$?
  [ "$status" -eq 42 ]
}

if [ "${1:-}" = "--check-foreign-exec" ]; then
  check_foreign_exec
  exit
fi

install_missing
register_binfmt
