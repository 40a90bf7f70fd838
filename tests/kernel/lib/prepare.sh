# What the real-kernel run needs, each step leaving a reason in
# prepare_reason when it cannot be done (sourced by tests/kernel/run.sh).

prepare_reason=

# The handler serves the expander model of sim/model (or the sources named in
# CORVANE_TCMU_MODEL_SOURCES).
model_ready() {
  [ -n "${CORVANE_TCMU_MODEL_SOURCES:-}" ] && return 0
  grep -qs 'model_open' "$root"/sim/model/*.cpp
}

as_root_install() {
  [ "$(id -u)" -eq 0 ] || { prepare_reason="not root, cannot install $*"; return 1; }
  command -v apt-get >/dev/null 2>&1 || { prepare_reason="no apt-get to install $*"; return 1; }
  local opts=(-y -qq --no-install-recommends)
  DEBIAN_FRONTEND=noninteractive apt-get install "${opts[@]}" "$@" >/dev/null 2>&1 && return 0
  apt-get update -qq >/dev/null 2>&1
  DEBIAN_FRONTEND=noninteractive apt-get install "${opts[@]}" "$@" >/dev/null 2>&1 && return 0
  prepare_reason="apt-get install $* failed"
  return 1
}

# QEMU for x86-64 guests and the tools that pack the guest's initramfs
# (cpio, xz for the kernel's compressed modules), installed on demand.
prepare_qemu() {
  local entry tool package missing=()
  for entry in qemu-system-x86_64:qemu-system-x86 cpio:cpio xz:xz-utils gzip:gzip; do
    tool=${entry%%:*} package=${entry#*:}
    command -v "$tool" >/dev/null 2>&1 || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "kernel: installing ${missing[*]}"
  as_root_install "${missing[@]}" || return 1
  for entry in qemu-system-x86_64 cpio xz gzip; do
    command -v "$entry" >/dev/null 2>&1 || { prepare_reason="$entry missing after install"; return 1; }
  done
}

# Debian's python3-jsonschema, which checks the JSON documents of the
# status runs, installed on demand.
prepare_jsonschema() {
  /usr/bin/python3 -c 'import jsonschema' >/dev/null 2>&1 && return 0
  echo "kernel: installing python3-jsonschema"
  as_root_install python3 python3-jsonschema || return 1
  /usr/bin/python3 -c 'import jsonschema' >/dev/null 2>&1 ||
    { prepare_reason="no jsonschema module after install"; return 1; }
}

# The versioned package linux-image-cloud-amd64 currently stands for.
cloud_kernel_name() {
  apt-cache depends linux-image-cloud-amd64 2>/dev/null |
    awk '/Depends: linux-image-[0-9]/ {print $2; exit}'
}

# The cloud kernel (with the SCSI target modules) and busybox-static,
# downloaded once into the cache and unpacked there. Sets kernel_tree,
# vmlinuz and busybox.
prepare_packages() {
  mkdir -p "$cache/debs" || { prepare_reason="cannot make $cache"; return 1; }
  local image deb
  image=$(cloud_kernel_name)
  if [ -z "$image" ] && [ "$(id -u)" -eq 0 ]; then
    # A machine whose package lists were never fetched knows no packages.
    apt-get update -qq >/dev/null 2>&1
    image=$(cloud_kernel_name)
  fi
  if [ -z "$image" ]; then
    # No package lists (yet): a kernel fetched before will do.
    deb=$(ls "$cache"/debs/linux-image-*-cloud-amd64_*.deb 2>/dev/null | sort -V | tail -n 1)
    [ -n "$deb" ] || { prepare_reason="apt-cache knows no linux-image-cloud-amd64"; return 1; }
    image=$(basename "$deb" | cut -d_ -f1)
  fi
  local want
  for want in "$image" busybox-static; do
    ls "$cache"/debs/"${want}"_*.deb >/dev/null 2>&1 && continue
    echo "kernel: downloading $want"
    (cd "$cache/debs" && apt-get download -qq "$want" >/dev/null 2>&1) ||
      { prepare_reason="apt-get download $want failed"; return 1; }
  done
  kernel_tree=$cache/tree-$image
  if [ ! -f "$kernel_tree/.unpacked" ]; then
    rm -rf "$kernel_tree" && mkdir -p "$kernel_tree"
    for deb in "$cache"/debs/"${image}"_*.deb "$cache"/debs/busybox-static_*.deb; do
      dpkg-deb -x "$deb" "$kernel_tree" || { prepare_reason="cannot unpack $deb"; return 1; }
    done
    touch "$kernel_tree/.unpacked"
  fi
  vmlinuz=$(ls "$kernel_tree"/boot/vmlinuz-* 2>/dev/null | head -n 1)
  busybox=$kernel_tree/bin/busybox
  [ -n "$vmlinuz" ] && [ -x "$busybox" ] || { prepare_reason="no kernel or busybox in $kernel_tree"; return 1; }
}

# corvane (from the build tree), the handler (linked statically with the
# expander model) and, when there is one, the preloaded simulator's launcher.
# Sets corvane_bin, tcmu_bin and sim_launcher.
prepare_builds() {
  if [ -z "$build" ]; then
    build=$root/build/native
    [ -x "$build/src/corvane" ] || build=$root/build/kernel/tree
  fi
  mkdir -p "$build" && build=$(cd "$build" && pwd)
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCORVANE_TESTS=OFF >/dev/null ||
      { prepare_reason="cannot configure $build"; return 1; }
  fi
  cmake --build "$build" -j2 >"$build/kernel-build.log" 2>&1 ||
    { prepare_reason="build of $build failed, see $build/kernel-build.log"; return 1; }
  corvane_bin=$build/src/corvane
  [ -x "$corvane_bin" ] || { prepare_reason="no corvane in $build"; return 1; }
  tcmu_bin=$build/sim/tcmu/corvane-tcmu
  if [ -z "${CORVANE_TCMU_MODEL_SOURCES:-}" ] && [ -x "$tcmu_bin" ]; then
    sim_launcher=$(find "$build/sim" -name expander-sim -type f -perm -u+x 2>/dev/null | head -n 1)
    return 0
  fi
  local tcmu_build=$root/build/kernel/tcmu
  mkdir -p "$root/build/kernel"
  # CORVANE_TCMU_MODEL_SOURCES may name other model sources (a ;-list).
  { cmake -S "$root/sim/tcmu" -B "$tcmu_build" -G Ninja \
      -DTCMU_MODEL_SOURCES="${CORVANE_TCMU_MODEL_SOURCES:-}" >/dev/null &&
    cmake --build "$tcmu_build" -j2; } >"$root/build/kernel/tcmu-build.log" 2>&1 ||
    { prepare_reason="handler build failed, see build/kernel/tcmu-build.log"; return 1; }
  tcmu_bin=$tcmu_build/corvane-tcmu
  sim_launcher=$(find "$build/sim" -name expander-sim -type f -perm -u+x 2>/dev/null | head -n 1)
  return 0
}
