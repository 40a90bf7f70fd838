#!/bin/bash
# Packs the test guest's base initramfs: busybox, the SCSI target modules,
# the user-backstore handler and corvane with the C library it loads, and
# corvane-pages when the build holds it beside corvane.
#
#   build-initramfs.sh UNPACKED_DEBS_DIR CORVANE CORVANE_TCMU OUT.cpio.gz
set -euo pipefail

debs=$1 corvane=$2 tcmu=$3 out=$4
here=$(cd "$(dirname "$0")" && pwd)
modules="configfs uio scsi_common target_core_mod target_core_user scsi_mod tcm_loop sg"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root"/{bin,usr/bin,lib/modules,lib/guest,etc,scenario,out,var/log}

install -m 755 "$debs/bin/busybox" "$root/bin/busybox"
install -m 755 "$here/init" "$root/init"
install -m 644 "$here/guest-lib.sh" "$here/run-scenarios.sh" "$root/lib/guest/"
for m in $modules; do
  ko=$(find "$debs/lib/modules" -name "$m.ko" -o -name "$m.ko.xz" | head -n 1)
  [ -n "$ko" ] || { echo "module $m not found" >&2; exit 1; }
  case $ko in
    *.xz) xz -dc "$ko" > "$root/lib/modules/$m.ko" ;;
    *) cp "$ko" "$root/lib/modules/$m.ko" ;;
  esac
done
install -m 755 "$tcmu" "$root/usr/bin/corvane-tcmu"
install -m 755 "$corvane" "$root/usr/bin/corvane"
pages=$(dirname "$corvane")/corvane-pages
[ -x "$pages" ] && install -m 755 "$pages" "$root/usr/bin/corvane-pages"

# corvane is linked against the C library only: copy what it loads, with the
# ELF interpreter, at the paths it names.
for lib in $(ldd "$corvane" | grep -o '/[^ ]*'); do
  mkdir -p "$root$(dirname "$lib")"
  cp -L "$lib" "$root$lib"
done

# corvane runs as root in the guest and names the user it runs as.
echo "root:x:0:0:root:/:/bin/sh" > "$root/etc/passwd"
echo "root:x:0:" > "$root/etc/group"

# newc cpio: the cpio program where there is one, else the guest's busybox.
pack() {
  if command -v cpio >/dev/null 2>&1; then cpio -o -H newc --quiet -R 0:0
  else "$debs/bin/busybox" cpio -o -H newc 2>/dev/null
  fi
}
(cd "$root" && find . | LC_ALL=C sort | pack) | gzip -1 > "$out"
