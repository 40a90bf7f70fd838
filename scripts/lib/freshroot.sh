# A fresh minimal Debian 12 root, as a new user's machine: made once with
# mmdebstrap (variant minbase, plus git and ca-certificates) from this
# machine's Debian apt sources, cached as a tarball, unpacked anew for each
# use, and entered with chroot inside a private mount namespace.
# Sourced by .ci/run and tests/package/run.sh; needs root.
#
#   freshroot_prepare                 install mmdebstrap, make or reuse the tarball
#   freshroot_unpack DIR              unpack a fresh root into DIR (removed first)
#   freshroot_run DIR [BIND...] -- COMMAND...
#                                     run COMMAND as root inside DIR; each BIND
#                                     is HOSTDIR:DIR_INSIDE, bound read-write
#   freshroot_remove DIR              remove an unpacked root
#
# The cache (CORVANE_CI_CACHE, default /var/cache/corvane-ci) keeps the
# tarball, the .deb files apt downloads inside the roots and their package
# lists, so a second run downloads nothing it already has.

freshroot_cache=${CORVANE_CI_CACHE:-/var/cache/corvane-ci}
freshroot_suite=bookworm
freshroot_include=ca-certificates,git
freshroot_tarball=

# shellcheck source=scripts/lib/common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# This machine's apt sources for Debian itself, in deb822 form. Sources for
# other suites or other vendors' repositories are left out: the fresh root is
# plain Debian 12.
_freshroot_sources() {
  local out=$1 f
  : > "$out"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # One stanza per blank-line-separated block; keep those signed by
    # Debian's archive keyring or naming a Debian suite of this release.
    awk -v suite="$freshroot_suite" '
      BEGIN { RS = ""; ORS = "\n\n" }
      /Suites:[^\n]*(^|[ \t])'"$freshroot_suite"'([- \t\n]|$)/ && !/Enabled: *no/ &&
        (/debian-archive-keyring/ || !/Signed-By:/) { print }
    ' "$f" >> "$out"
  done
  local lists=()
  [ -f /etc/apt/sources.list ] && lists+=(/etc/apt/sources.list)
  for f in /etc/apt/sources.list.d/*.list; do [ -f "$f" ] && lists+=("$f"); done
  if [ ${#lists[@]} -gt 0 ]; then
    # One-line entries: deb [options] URI SUITE COMPONENTS...
    awk -v suite="$freshroot_suite" '
      $1 == "deb" {
        i = 2; opts = ""
        if ($2 ~ /^\[/) { while ($i !~ /\]$/) { opts = opts " " $i; i++ } opts = opts " " $i; i++ }
        if ($(i + 1) !~ "^" suite "(-[a-z]+)?(/updates)?$") next
        if (opts ~ /signed-by/ && opts !~ /debian-archive-keyring/) next
        comps = ""; for (j = i + 2; j <= NF; j++) comps = comps " " $j
        printf "Types: deb\nURIs: %s\nSuites: %s\nComponents:%s\n\n", $i, $(i + 1), comps
      }' "${lists[@]}" >> "$out"
  fi
  if ! grep -q '^URIs:' "$out"; then
    printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: %s %s-updates\nComponents: main\n\n' \
      "$freshroot_suite" "$freshroot_suite" > "$out"
    printf 'Types: deb\nURIs: http://deb.debian.org/debian-security\nSuites: %s-security\nComponents: main\n' \
      "$freshroot_suite" >> "$out"
  fi
}

freshroot_prepare() {
  [ "$(id -u)" -eq 0 ] || { echo "freshroot: needs root" >&2; return 1; }
  need_packages --tolerate-update mmdebstrap util-linux tar || return 1
  mkdir -p "$freshroot_cache/apt-archives/partial" "$freshroot_cache/apt-lists/partial" || return 1
  local sources key
  sources=$(mktemp) || return 1
  _freshroot_sources "$sources"
  # The tarball is named after what went into it: new sources make a new one.
  key=$( { cat "$sources"; echo "$freshroot_suite $freshroot_include $(dpkg --print-architecture)"; } |
         sha256sum | cut -c1-12)
  freshroot_tarball=$freshroot_cache/$freshroot_suite-minbase-$key.tar
  if [ ! -s "$freshroot_tarball" ]; then
    echo "freshroot: making $freshroot_tarball"
    local tmp=$freshroot_cache/partial-$$.tar
    cp "$sources" "$freshroot_cache/sources-$key.sources"
    if ! mmdebstrap --quiet --mode=root --format=tar --variant=minbase --include="$freshroot_include" \
         "$freshroot_suite" "$tmp" "$freshroot_cache/sources-$key.sources" </dev/null; then
      rm -f "$tmp" "$sources"
      echo "freshroot: mmdebstrap failed" >&2
      return 1
    fi
    mv "$tmp" "$freshroot_tarball"
    # Tarballs of other sources that no run has used for a month.
    find "$freshroot_cache" -maxdepth 1 -name "$freshroot_suite-minbase-*.tar" -atime +30 -delete
  fi
  rm -f "$sources"
}

freshroot_unpack() {
  local dir=$1
  [ -n "$freshroot_tarball" ] || { echo "freshroot: call freshroot_prepare first" >&2; return 1; }
  freshroot_remove "$dir" || return 1
  mkdir -p "$dir" && tar -C "$dir" -xf "$freshroot_tarball"
}

freshroot_remove() {
  local dir=$1
  [ -e "$dir" ] || return 0
  # Nothing is mounted below the root outside freshroot_run's namespace, but
  # make sure before removing, so a left-over mount never loses host files.
  if grep -qF " $dir/" /proc/self/mounts 2>/dev/null; then
    echo "freshroot: $dir still has mounts; not removing it" >&2
    return 1
  fi
  rm -rf --one-file-system "$dir"
}

# Runs COMMAND inside the root. /dev, /proc and /sys are the machine's (QEMU
# and binfmt_misc need them); the apt caches come from the cache directory.
# The mounts live in a private mount namespace and vanish with it.
freshroot_run() {
  local dir=$1
  shift
  local binds=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do binds+=("$1"); shift; done
  [ "${1:-}" = -- ] && shift
  binds+=("$freshroot_cache/apt-archives:/var/cache/apt/archives"
          "$freshroot_cache/apt-lists:/var/lib/apt/lists")
  # shellcheck disable=SC2016
  in_private_mounts bash -c '
    set -e
    dir=$1; nbinds=$2; shift 2
    mount --rbind /dev "$dir/dev"
    mount -t proc proc "$dir/proc"
    mount --rbind /sys "$dir/sys"
    # Programs inside never reach the machine'"'"'s system log.
    if [ -e "$dir/dev/log" ] || [ -L "$dir/dev/log" ]; then
      mount --bind /dev/null "$dir/dev/log" 2>/dev/null || true
    fi
    mkdir -p "$dir/tmp" && chmod 1777 "$dir/tmp"
    for ((i = 0; i < nbinds; i++)); do
      host=${1%%:*} inside=${1#*:}
      shift
      mkdir -p "$host" "$dir$inside"
      mount --bind "$host" "$dir$inside"
    done
    cp /etc/resolv.conf "$dir/etc/resolv.conf" 2>/dev/null || true
    exec chroot "$dir" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 CI="${CI:-}" \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
  ' freshroot "$dir" "${#binds[@]}" "${binds[@]}" "$@" </dev/null
}
