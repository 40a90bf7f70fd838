# shellcheck shell=bash
# Shell helpers every script of this tree sources (bash):
#
#   as_root COMMAND...          run COMMAND as root (sudo when not root)
#   need_packages [--tolerate-update] PACKAGE...
#                               install the Debian packages not yet installed:
#                               check, apt-get update once per run, install,
#                               check again; "pkg:arch" names a package of
#                               another architecture, which is added to dpkg
#   in_private_mounts COMMAND...
#                               run COMMAND in a private mount namespace, so
#                               its mounts vanish with it and reach nothing
#                               else (status 99: the mounts cannot be private)
#   check_libc_only READELF PROGRAM PROCESSOR [--loader-ok]
#                               the program is built for PROCESSOR and needs
#                               the C library alone (--loader-ok: its dynamic
#                               loader too, as a hardened arm64 build does)
#   cross_sysroot               the aarch64 C library of Debian's cross
#                               toolchain (qemu-user's -L, QEMU_LD_PREFIX)
#   qemu_ld_prefix              prints the prefix qemu-user needs to find the
#                               arm64 C library and C++ runtime: nothing where
#                               Debian's multiarch arm64 ones are installed
#                               (as cmake/aarch64-linux-gnu.cmake decides),
#                               else cross_sysroot
#   sanitizer_env               ASAN_OPTIONS and UBSAN_OPTIONS, exported, as
#                               the sanitized tests and the fuzz targets run
#                               (from sanitizer-options beside this file)
#
# Sourced, never run; sets nothing else of the caller's.

# shellcheck disable=SC2034  # used by the scripts that source this file
cross_sysroot=/usr/aarch64-linux-gnu

# Debian 12's cross C library leaves a forked child hanging under its
# qemu-user; the multiarch one (libc6:arm64) does not, so it is preferred.
qemu_ld_prefix() {
  if [ -e /lib/ld-linux-aarch64.so.1 ] && [ -e /usr/lib/aarch64-linux-gnu/libstdc++.so.6 ]; then
    echo ""
  else
    echo "$cross_sysroot"
  fi
}

sanitizer_env() {
  local line
  while IFS= read -r line; do
    case $line in
      ASAN_OPTIONS=*|UBSAN_OPTIONS=*) export "${line?}" ;;
    esac
  done < "$(dirname "${BASH_SOURCE[0]}")/sanitizer-options"
}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

_common_apt_updated=0

# Prints the packages of the arguments that are not installed.
missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || echo "$p"
  done
}

need_packages() {
  local tolerate=0
  if [ "${1:-}" = --tolerate-update ]; then tolerate=1; shift; fi
  local missing p arch
  mapfile -t missing < <(missing_packages "$@")
  [ ${#missing[@]} -eq 0 ] && return 0
  for p in "${missing[@]}"; do
    [[ $p == *:* ]] || continue
    arch=${p##*:}
    [ "$arch" = "$(dpkg --print-architecture)" ] && continue
    dpkg --print-foreign-architectures | grep -qx "$arch" && continue
    echo "${0##*/}: adding the $arch architecture to dpkg"
    as_root dpkg --add-architecture "$arch" || return 1
    _common_apt_updated=0
  done
  echo "${0##*/}: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if [ "$_common_apt_updated" -eq 0 ]; then
    # A third-party source that fails to update stops nothing where the
    # caller says so; the install below still tells if a package is missing.
    if as_root apt-get update -qq -o DPkg::Lock::Timeout=600 || [ "$tolerate" -eq 1 ]; then
      _common_apt_updated=1
    else
      return 1
    fi
  fi
  as_root apt-get install -y -qq -o DPkg::Lock::Timeout=600 --no-install-recommends \
    "${missing[@]}" >/dev/null || return 1
  mapfile -t missing < <(missing_packages "$@")
  if [ ${#missing[@]} -gt 0 ]; then
    echo "${0##*/}: still missing after install: ${missing[*]}" >&2
    return 1
  fi
}

in_private_mounts() {
  # shellcheck disable=SC2016
  # Inside a chroot / is no mount point and cannot be made private; there
  # the namespace around it already is.
  unshare -m --propagation unchanged -- bash -c '
    if ! mount --make-rprivate / 2>/dev/null && grep -q " shared:" /proc/self/mountinfo; then
      echo "cannot make the mounts private" >&2
      exit 99
    fi
    exec "$@"
  ' private-mounts "$@"
}

check_libc_only() {
  local readelf=$1 program=$2 processor=$3 loader_ok=${4:-} want_machine loader
  case $processor in
    x86_64|AMD64|amd64) want_machine='Advanced Micro Devices X86-64' loader=ld-linux-x86-64.so.2 ;;
    aarch64|arm64) want_machine='AArch64' loader=ld-linux-aarch64.so.1 ;;
    *) echo "unknown processor '$processor'"; return 1 ;;
  esac
  local machine needed
  machine=$("$readelf" -h "$program" | sed -n 's/^ *Machine: *//p')
  if [ "$machine" != "$want_machine" ]; then
    echo "$program: built for '$machine', expected '$want_machine'"
    return 1
  fi
  needed=$("$readelf" -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\].*/\1/p' | LC_ALL=C sort | tr '\n' ' ')
  needed=${needed% }
  echo "$program ($machine) needs: $needed"
  [ "$needed" = libc.so.6 ] && return 0
  # The hardened packages' stack protector keeps its guard value in the
  # loader on arm64, so the loader, part of the C library, is named too.
  [ "$loader_ok" = --loader-ok ] && [ "$needed" = "$loader libc.so.6" ] && return 0
  echo "$program must need the C library only"
  return 1
}
