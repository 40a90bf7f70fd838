#!/bin/bash
# Installs what building and testing corvane needs on Debian 12, and lets
# this machine run aarch64 programs under qemu-user emulation.
# Quiet and quick when everything is already in place.
#
#   scripts/setup.sh                      install and register (idempotent)
#   scripts/setup.sh --check-foreign-exec exit 0 if aarch64 programs can be
#                                         started directly (execve), else 1
set -euo pipefail

# shellcheck source=scripts/lib/common.sh
. "$(dirname "$0")/lib/common.sh"

# What building and testing needs, by Debian package. The sg3 utilities'
# static library is needed for this machine and for the aarch64 cross build;
# the JSON library and the schema validator for corvane-pages' documents.
requirements=(cmake ninja-build g++ binutils util-linux ccache libgtest-dev libgmock-dev
              googletest g++-aarch64-linux-gnu qemu-user-static libsgutils2-dev
              libsgutils2-dev:arm64 sg3-utils python3-jsonschema
              # the arm64 C library and C++ runtime the emulated tests run on
              libc6:arm64 libstdc++6:arm64
              # corvane-pages' JSON, and the watch test's node exporter, promtool and curl
              nlohmann-json3-dev prometheus-node-exporter prometheus curl)

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

# Builds a tiny aarch64 program and starts it the way a test would: it forks
# and its child's status comes back, as the tests that start programs need.
# Some qemu-user releases hang a forked guest child; that counts as "cannot".
check_foreign_exec() {
  local dir
  dir=$(mktemp -d)
  trap 'rm -rf "$dir"' RETURN
  cat > "$dir/probe.c" <<'PROBE'
#include <sys/wait.h>
#include <unistd.h>
int main(void) {
  pid_t child = fork();
  if (child == 0) _exit(42);
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 1;
  return WEXITSTATUS(status);
}
PROBE
  aarch64-linux-gnu-gcc -o "$dir/probe" "$dir/probe.c" 2>/dev/null || return 1
  local status=0
  QEMU_LD_PREFIX=$(qemu_ld_prefix) timeout 20 "$dir/probe" 2>/dev/null || status=$?
  [ "$status" -eq 42 ]
}

if [ "${1:-}" = "--check-foreign-exec" ]; then
  check_foreign_exec
  exit
fi

need_packages "${requirements[@]}"
register_binfmt
