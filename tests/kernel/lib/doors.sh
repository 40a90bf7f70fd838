# The two doors to the simulated expander: the real kernel in a guest and the
# preloaded simulator on this machine; both run tests/kernel/scenarios.txt
# (sourced by tests/kernel/run.sh).

guest_reason= host_reason=

# The image files the scenarios download: a few pieces each, one without and
# one with the firmware signature.
make_images() {
  mkdir -p "$1"
  yes 'unsigned configuration image piece' | head -c 1300 > "$1/unsigned.bin"
  { printf 'PMC\000'; yes 'signed firmware image piece' | head -c 1100; } > "$1/signed.bin"
}

# newc cpio of the current directory's files named on stdin.
pack_cpio() {
  if command -v cpio >/dev/null 2>&1; then cpio -o -H newc --quiet -R 0:0
  else "$busybox" cpio -o -H newc 2>/dev/null
  fi
}

# guest_door OUT: one boot running every scenario; the guest's /out lands in OUT.
guest_door() {
  local out=$1 g=$work/guest-build
  mkdir -p "$out" "$g/scenario"
  PATH="$PATH:$(dirname "$busybox")" bash "$root/sim/guest/build-initramfs.sh" \
    "$kernel_tree" "$corvane_bin" "$tcmu_bin" "$g/base.cpio.gz" >"$g/initramfs.log" 2>&1 ||
    { guest_reason="initramfs: $(tail -n 1 "$g/initramfs.log")"; return 1; }
  cp "$here/scenarios.txt" "$g/scenario/"
  make_images "$g/scenario"
  (cd "$g" && find scenario | pack_cpio | gzip -1) > "$g/scenario.cpio.gz"
  cat "$g/base.cpio.gz" "$g/scenario.cpio.gz" > "$g/initrd.gz"
  local t0=$SECONDS
  timeout 170 qemu-system-x86_64 -accel tcg -m 256 -smp 1 -no-reboot -nographic \
    -display none -monitor none -nic none \
    -kernel "$vmlinuz" -initrd "$g/initrd.gz" \
    -append "console=ttyS0 panic=-1 quiet" \
    -serial "file:$g/console.txt" -serial "file:$g/results.txt" >"$g/qemu.log" 2>&1
  local rc=$?
  guest_seconds=$((SECONDS - t0))
  [ $rc -eq 0 ] || { guest_reason="QEMU ended with $rc after ${guest_seconds}s (console: $g/console.txt)"; return 1; }
  sed -n '/=====BEGIN RESULTS=====/,/=====END RESULTS=====/p' "$g/results.txt" |
    grep -v '=====' | tr -d '\r' | base64 -d | tar -xzf - -C "$out" ||
    { guest_reason="no results came back"; return 1; }
  [ "$(cat "$out/stage" 2>/dev/null)" = done ] ||
    { guest_reason="the guest stopped at stage $(cat "$out/stage" 2>/dev/null)"; sed 's/^/  guest: /' "$out/scenario.out" 2>/dev/null | tail -n 20; return 1; }
  [ "$(cat "$out/scenario.rc")" = 0 ] ||
    { guest_reason="the scenario script failed"; sed 's/^/  guest: /' "$out/scenario.out" | tail -n 20; return 1; }
  cp "$g/console.txt" "$out/console.txt"
}

# Every "expect LABEL STATUS" of the scenario file holds for the runs in OUT.
check_expectations() {
  local out=$1 bad=0 label want got
  while read -r kind label want; do
    [ "$kind" = expect ] || continue
    got=$(cat "$out/$label/status" 2>/dev/null || echo none)
    if [ "$got" != "$want" ]; then
      echo "kernel: run $label ended with status $got, expected $want"
      sed 's/^/  stdout: /' "$out/$label/stdout" 2>/dev/null | head -n 20
      bad=1
    fi
  done < "$here/scenarios.txt"
  return $bad
}

# normalize DEVICES < FILE: time stamps of the operation log and of syslog
# lines become <time>, and each expander's device node becomes <devN>
# (DEVICES lines: "N PATH"), so that the two doors can be compared.
normalize() {
  local script='s/^[A-Z][a-z][a-z] [A-Z][a-z][a-z] [ 0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9] [0-9]\{4\} /<time> /'
  local n path
  while read -r n path; do
    script="$script;s#${path}\\([^0-9]\\|\$\\)#<dev$n>\\1#g"
  done < "$1"
  sed -e "$script"
}

# compare_doors GUEST HOST: every run's screen output, exit status,
# operation log and audit lines, and each expander's record of diagnostic
# commands, must agree.
compare_doors() {
  local g=$1 h=$2 bad=0 label f
  for label in $(awk '$1 == "run" {print $2}' "$here/scenarios.txt"); do
    for f in stdout status log syslog; do
      if ! diff -u --label "kernel/$label/$f" --label "preload/$label/$f" \
          <(normalize "$g/devices" < "$g/$label/$f" 2>/dev/null) \
          <(normalize "$h/devices" < "$h/$label/$f" 2>/dev/null) > "$work/diff.txt"; then
        echo "kernel: the doors disagree on $label/$f:"
        head -n 40 "$work/diff.txt"
        bad=1
      fi
    done
  done
  for f in $(cd "$g" && ls record*.txt 2>/dev/null); do
    if ! diff -u --label "kernel/$f" --label "preload/$f" "$g/$f" "$h/$f" > "$work/diff.txt"; then
      echo "kernel: the doors disagree on the commands in $f:"
      cut -c1-160 "$work/diff.txt" | head -n 40
      bad=1
    fi
  done
  return $bad
}
