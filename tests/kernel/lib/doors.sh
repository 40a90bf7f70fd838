# The two doors to the simulated expander: the real kernel in a guest and the
# preloaded simulator on this machine; both run a scenario file of
# tests/kernel/scenarios/ (sourced by tests/kernel/run.sh).

# The image files the scenarios download: a few pieces each, one without and
# one with the firmware signature.
make_images() {
  mkdir -p "$1"
  yes 'unsigned configuration image piece' | head -c 1300 > "$1/unsigned.bin"
  # The signature bytes 50 4D 43 00, in octal.
  { printf '\120\115\103\000'; yes 'signed firmware image piece' | head -c 1100; } > "$1/signed.bin"
}

# newc cpio of the current directory's files named on stdin.
pack_cpio() {
  if command -v cpio >/dev/null 2>&1; then cpio -o -H newc --quiet -R 0:0
  else "$busybox" cpio -o -H newc 2>/dev/null
  fi
}

# build_base_initramfs FILE: busybox, modules, handler and corvane.
build_base_initramfs() {
  bash "$root/sim/guest/build-initramfs.sh" "$kernel_tree" "$corvane_bin" "$tcmu_bin" "$1" \
    >"$1.log" 2>&1 || { tail -n 5 "$1.log"; return 1; }
}

# guest_door SCENARIOS OUT: one boot running every run of the scenario file;
# the guest's /out lands in OUT, and OUT/door.failed says why it failed.
guest_door() {
  local scen=$1 out=$2 g=$2.build
  mkdir -p "$out" "$g/scenario"
  cp "$scen" "$g/scenario/scenarios.txt"
  make_images "$g/scenario"
  (cd "$g" && find scenario | pack_cpio | gzip -1) > "$g/scenario.cpio.gz"
  cat "$base_initramfs" "$g/scenario.cpio.gz" > "$g/initrd.gz"
  local t0=$SECONDS
  # no_timer_check: under software emulation on a busy host the kernel's
  # IO-APIC timer check can miss its ticks and panic the boot.
  timeout 170 qemu-system-x86_64 -accel tcg -m 256 -smp 1 -no-reboot -nographic \
    -display none -monitor none -nic none \
    -kernel "$vmlinuz" -initrd "$g/initrd.gz" \
    -append "console=ttyS0 panic=-1 quiet no_timer_check" \
    -serial "file:$g/console.txt" -serial "file:$g/results.txt" >"$g/qemu.log" 2>&1
  local rc=$?
  echo $((SECONDS - t0)) > "$out/seconds"
  cp "$g/console.txt" "$out/console.txt" 2>/dev/null
  [ $rc -eq 0 ] || { echo "QEMU ended with $rc after $((SECONDS - t0))s" > "$out/door.failed"; return 1; }
  sed -n '/=====BEGIN RESULTS=====/,/=====END RESULTS=====/p' "$g/results.txt" |
    grep -v '=====' | tr -d '\r' | base64 -d | tar -xzf - -C "$out" ||
    { echo "no results came back" > "$out/door.failed"; return 1; }
  [ "$(cat "$out/stage" 2>/dev/null)" = done ] ||
    { echo "the guest stopped at stage $(cat "$out/stage" 2>/dev/null)" > "$out/door.failed"; return 1; }
  [ "$(cat "$out/scenario.rc")" = 0 ] ||
    { echo "the scenario script failed" > "$out/door.failed"; return 1; }
}

# check_expectations SCENARIOS OUT: every "expect LABEL STATUS" of the
# scenario file holds for the runs in OUT.
check_expectations() {
  local scen=$1 out=$2 bad=0 label want got
  while read -r kind label want; do
    [ "$kind" = expect ] || continue
    got=$(cat "$out/$label/status" 2>/dev/null || echo none)
    if [ "$got" != "$want" ]; then
      echo "kernel: run $label ended with status $got, expected $want"
      sed 's/^/  stdout: /' "$out/$label/stdout" 2>/dev/null | head -n 20
      bad=1
    fi
  done < "$scen"
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

# compare_doors SCENARIOS GUEST HOST: every run's screen output, exit
# status, operation log and audit lines, and each expander's record of
# diagnostic commands, must agree.
compare_doors() {
  local scen=$1 g=$2 h=$3 bad=0 label f
  for label in $(awk '$1 == "run" {print $2}' "$scen"); do
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
  for label in $(awk '$1 == "pages" {print $2}' "$scen"); do
    compare_pages_run "$g" "$h" "$label" || bad=1
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

# A capture manifest without what differs between the doors by design: the
# time, and the INQUIRY data (the kernel's target and the preloaded model
# identify themselves each in their own way).
manifest_pages() {
  grep -v -e '^time:' -e '^vendor:' -e '^product:' -e '^revision:' -e '^serial:' \
    -e '^inquiry ' -e '^vpd 0x'
}

# compare_pages_run GUEST HOST LABEL: a corvane-pages run's screen output and
# exit status, every page file it wrote and its manifest agree.
compare_pages_run() {
  local g=$1 h=$2 label=$3 bad=0 f rel
  for f in stdout stderr status; do
    if ! diff -u --label "kernel/$label/$f" --label "preload/$label/$f" \
        <(normalize "$g/devices" < "$g/$label/$f" 2>/dev/null) \
        <(normalize "$h/devices" < "$h/$label/$f" 2>/dev/null) > "$work/diff.txt"; then
      echo "kernel: the doors disagree on $label/$f:"
      head -n 40 "$work/diff.txt"
      bad=1
    fi
  done
  for f in $(cd "$g/$label" && find . -name 'page_*.bin' -o -name manifest.txt | sort); do
    rel=${f#./}
    if [ "${rel##*/}" = manifest.txt ]; then
      diff -u --label "kernel/$label/$rel" --label "preload/$label/$rel" \
        <(normalize "$g/devices" < "$g/$label/$rel" | manifest_pages) \
        <(normalize "$h/devices" < "$h/$label/$rel" 2>/dev/null | manifest_pages) > "$work/diff.txt"
    else
      cmp "$g/$label/$rel" "$h/$label/$rel" > "$work/diff.txt" 2>&1
    fi || { echo "kernel: the doors disagree on $label/$rel:"; head -n 40 "$work/diff.txt"; bad=1; }
  done
  return $bad
}

# transcript_to_record < TRANSCRIPT: the preloaded door's request lines in the
# handler's record form, "cdb=HEX status=HH len=N[ sense=HEX][ data=HEX]"
# (len: the bytes sent, or the bytes delivered). Requests that never reached the target
# (result=errno:E) have no line behind a real kernel and none here; nor have
# INQUIRY requests.
transcript_to_record() {
  awk '$1 == "sgio" {
    cdb = ""; data = ""; status = ""; len = ""; dlen = ""; dir = ""; sense = ""; dead = 0
    for (i = 2; i <= NF; i++) {
      split($i, kv, "=")
      if (kv[1] == "cdb") cdb = kv[2]
      else if (kv[1] == "data_out") data = kv[2]
      else if (kv[1] == "sense") sense = " sense=" kv[2]
      else if (kv[1] == "status") status = kv[2]
      else if (kv[1] == "delivered") len = kv[2]
      else if (kv[1] == "dxfer_len") dlen = kv[2]
      else if (kv[1] == "dxfer_direction") dir = kv[2]
      else if (kv[1] == "result" && kv[2] ~ /^errno:/) dead = 1
    }
    # The handler records diagnostic commands only (the kernel sends its own
    # INQUIRY and TEST UNIT READY besides those of the programs).
    if (dead || (substr(cdb, 1, 2) != "1c" && substr(cdb, 1, 2) != "1d")) next
    if (dir == -2) printf "cdb=%s status=%02x len=%d%s data=%s\n", cdb, status, dlen, sense, data
    else printf "cdb=%s status=%02x len=%d%s\n", cdb, status, (status == 0 ? len : 0), sense
  }'
}

# host_door SCENARIOS OUT: the same runs through the preloaded simulator,
# laid out as the guest lays them out. Expander N is /dev/sgsimN with a
# state directory of its own; @missing is /dev/sgsim9, which is not simulated.
host_door() {
  local scen=$1 out=$2 kind a b c label rest w idx count=0
  local -A faults=()
  mkdir -p "$out/images"
  make_images "$out/images"
  : > "$out/devices"
  while read -r kind a b c; do
    [ "$kind" = expander ] || continue
    faults[$a]=$c
    echo "$a /dev/sgsim$a" >> "$out/devices"
    count=$((count + 1))
  done < "$scen"
  echo "missing /dev/sgsim9" >> "$out/devices"
  while read -r kind label rest; do
    [ "$kind" = run ] || [ "$kind" = pages ] || continue
    local args=()
    idx=missing
    for w in $rest; do
      case $w in
        @missing) args+=(/dev/sgsim9) ;;
        @[0-9]*) idx=${w#@}; args+=("/dev/sgsim$idx") ;;
        *) args+=("$w") ;;
      esac
    done
    local run=$out/$label
    mkdir -p "$run/capture"
    if [ "$kind" = pages ]; then
      (cd "$run" && "$sim_launcher" \
         --state "$out/state-$idx" --nodes "$count" ${faults[$idx]:+--fault "${faults[$idx]}"} \
         --transcript "$out/transcript$idx.txt" --transcript-data 70000 --capture "$run/capture" \
         -- "$(dirname "$corvane_bin")/corvane-pages" "${args[@]}" < /dev/null > stdout 2> stderr
       echo $? > status)
      rm -rf "$run/capture"
      continue
    fi
    (cd "$out/images" && PATH="$(dirname "$corvane_bin"):$PATH" "$sim_launcher" \
       --state "$out/state-$idx" --nodes "$count" ${faults[$idx]:+--fault "${faults[$idx]}"} \
       --transcript "$out/transcript$idx.txt" --transcript-data 70000 --capture "$run/capture" \
       -- corvane "${args[@]}" < /dev/null > "$run/stdout" 2> "$run/stderr")
    echo $? > "$run/status"
    [ -f "$run/capture/expander_log.txt" ] && mv "$run/capture/expander_log.txt" "$run/log"
    if [ -f "$run/capture/audit.txt" ]; then mv "$run/capture/audit.txt" "$run/syslog"; else : > "$run/syslog"; fi
  done < "$scen"
  for w in "$out"/transcript[0-9]*.txt; do
    [ -e "$w" ] || continue
    idx=${w##*/transcript}
    transcript_to_record < "$w" > "$out/record${idx%.txt}.txt"
  done
  return 0
}
