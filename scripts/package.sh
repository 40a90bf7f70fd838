#!/bin/bash
# Builds the Debian binary packages corvane and corvane-sim into
# build/packages/ for this machine's architecture, or for the ones asked for
# (another one cross-built with Debian's cross toolchain), then checks every
# package with lintian: errors or warnings fail the build.
#
#   scripts/package.sh [ARCH...]      default: $CORVANE_PACKAGE_ARCHS, or this
#                                     machine's architecture alone
#   scripts/package.sh amd64 arm64    both (the package test and CI ask so)
#
# Each architecture builds in a copy of the tree in a temporary directory
# under /tmp: dpkg-buildpackage puts its products beside the tree, and the
# build flags carry the tree's path (-ffile-prefix-map), which must hold no
# blank. The build logs are kept in build/packages/logs/. Needs root
# (or sudo) the first time, to install debhelper and the cross toolchain.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out=build/packages
jobs=${CORVANE_JOBS:-2}
archs=("$@")
# shellcheck disable=SC2206
[ ${#archs[@]} -gt 0 ] || archs=(${CORVANE_PACKAGE_ARCHS:-$(dpkg --print-architecture)})

# shellcheck source=scripts/lib/common.sh
. "$root/scripts/lib/common.sh"

# What building and checking the packages needs, by package name. A cross
# build also needs the target's C library as a package of that architecture:
# dpkg-shlibdeps reads its symbols to write the packages' dependencies
# (need_packages adds the architecture to dpkg).
needs=(build-essential debhelper dpkg-dev fakeroot cmake ninja-build lintian libsgutils2-dev nlohmann-json3-dev ansible-core)
for arch in "${archs[@]}"; do
  [ "$arch" = "$(dpkg --print-architecture)" ] && continue
  needs+=("crossbuild-essential-$arch" "libc6-dev:$arch" "libsgutils2-dev:$arch")
done
# A third-party source that fails to update must not stop the install.
need_packages --tolerate-update "${needs[@]}"

version=$(dpkg-parsechangelog -l debian/changelog -S Version)
mkdir -p "$out/logs"
rm -rf "$out"/*.deb "$out"/lintian.txt "$out"/logs/* "$out/work"
scratch=$(mktemp -d /tmp/corvane-package.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

for arch in "${archs[@]}"; do
  start=$SECONDS
  work=$scratch/$arch
  src=$work/corvane-$version
  log=$out/logs/$arch.build.log
  mkdir -p "$src"
  # The tree as committed or as it stands, without build products.
  tar -C "$root" --exclude=./build --exclude=./.git --exclude=./.cache -cf - . | tar -C "$src" -xf -
  echo "==== package: $arch ===="
  opts=(-b -us -uc --no-sign "-j$jobs")
  profiles=nocheck
  if [ "$arch" != "$(dpkg --print-architecture)" ]; then
    opts+=(-a "$arch")
    profiles=cross,nocheck
  fi
  if ! (cd "$src" && DEB_BUILD_OPTIONS="nocheck parallel=$jobs" \
        dpkg-buildpackage "${opts[@]}" -P"$profiles") > "$log" 2>&1; then
    tail -n 40 "$log"
    echo "package: $arch build failed (whole log: $log)"
    exit 1
  fi
  mv "$work"/*.deb "$out"/
  echo "package: $arch built in $((SECONDS - start))s"
done

echo "==== package: lintian ===="
# Errors and warnings fail; informational tags are shown. The tags the
# packages override on purpose are listed (with the reasons) from their
# override files: lintian counts overridden tags as failures when it shows them.
status=0
lintian --fail-on error,warning --display-info "$out"/*.deb > "$out/lintian.txt" 2>&1 || status=$?
grep -v 'running with root privileges' "$out/lintian.txt" || true
echo "package: lintian overrides:"
grep -hv '^#' debian/*.lintian-overrides | sed 's/^/  /'
if [ "$status" -ne 0 ]; then
  echo "package: lintian reports errors or warnings (see $out/lintian.txt)"
  exit 1
fi
echo "package: lintian: no errors, no warnings"
ls -l "$out"/*.deb

# The Ansible collection for rolling updates (ansible/), beside the packages.
echo "==== package: Ansible collection ===="
ansible-galaxy collection build ansible --output-path "$out" --force
