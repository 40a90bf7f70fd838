# Shell helpers of the test guest (busybox sh): the SCSI target stack, the
# simulated expanders behind it, and corvane runs whose output is kept.

# Modules in dependency order (each one's depends= comes before it).
GUEST_MODULES="configfs uio scsi_common target_core_mod target_core_user scsi_mod tcm_loop sg"
CONFIGFS=/sys/kernel/config

guest_load_modules() {
  for m in $GUEST_MODULES; do
    insmod /lib/modules/$m.ko || { echo "insmod $m failed"; return 1; }
  done
  mount -t configfs configfs $CONFIGFS || return 1
  [ -d $CONFIGFS/target ] || return 1
}

# guest_wait_for PATH [tenths]: waits until PATH exists.
guest_wait_for() {
  n=${2:-100}
  while [ ! -e "$1" ]; do
    n=$((n - 1))
    [ $n -le 0 ] && return 1
    sleep 0.1
  done
}

# expander_add INDEX SERIAL [FAULTS] [PAGES]: a user backstore answered by
# its own handler process, a loopback target of its own, and the sg node it
# yields (its path is printed and left in /tmp/exp$INDEX.sg).
expander_add() {
  idx=$1 serial=$2 faults=$3 pages=$4
  name=exp$idx
  dev=$CONFIGFS/target/core/user_$idx/$name
  mkdir -p $dev || return 1
  echo -n "dev_config=corvane/$name" > $dev/control
  echo -n "dev_size=1048576" > $dev/control
  echo -n "hw_block_size=512" > $dev/control
  # Longer than any request's own timeout, so that a late answer shows as
  # the initiator's time-out rather than the backstore's.
  echo 180 > $dev/attrib/cmd_time_out || return 1
  echo 1 > $dev/enable || return 1
  uio=
  for u in /sys/class/uio/uio*; do
    case "$(cat $u/name)" in */$name/*) uio=/dev/${u##*/} ;; esac
  done
  [ -n "$uio" ] || { echo "no uio device for $name"; return 1; }
  mkdir -p /tmp/state$idx
  naa=$(printf '5001405c%08x' $((idx + 1)))
  corvane-tcmu --uio $uio --serial "$serial" --naa $naa --state /tmp/state$idx \
    ${faults:+--faults "$faults"} ${pages:+--pages "$pages"} \
    --record /out/record$idx.txt --ready /tmp/ready$idx </dev/null >/out/handler$idx.err 2>&1 &
  echo $! > /tmp/handler$idx.pid
  echo "$serial" > /tmp/exp$idx.serial
  guest_wait_for /tmp/ready$idx 100 || { echo "handler $idx did not start"; return 1; }
  tpg=$CONFIGFS/target/loopback/naa.$(printf '5001405a%08x' $((idx + 1)))/tpgt_1
  mkdir -p $tpg/lun/lun_0 || return 1
  echo -n naa.$(printf '5001405b%08x' $((idx + 1))) > $tpg/nexus || return 1
  ln -s $dev $tpg/lun/lun_0/$name || return 1
  expander_find_sg "$serial" > /tmp/exp$idx.sg || { echo "no sg node for $name"; return 1; }
  cat /tmp/exp$idx.sg
}

# expander_path INDEX PATH: a further path to expander INDEX, its backstore
# exported once more through a LUN of a loopback target of its own (its own
# SCSI host); the new sg node is printed and left in /tmp/exp$PATH.sg, so
# that @PATH names it.
expander_path() {
  idx=$1 path=$2
  name=exp$idx
  dev=$CONFIGFS/target/core/user_$idx/$name
  [ -d $dev ] && [ -f /tmp/exp$idx.serial ] || { echo "no expander $idx"; return 1; }
  tpg=$CONFIGFS/target/loopback/naa.$(printf '5001405d%08x' $((path + 1)))/tpgt_1
  mkdir -p $tpg/lun/lun_0 || return 1
  echo -n naa.$(printf '5001405e%08x' $((path + 1))) > $tpg/nexus || return 1
  ln -s $dev $tpg/lun/lun_0/$name || return 1
  known=$(cat /tmp/exp*.sg 2>/dev/null)
  expander_find_sg "$(cat /tmp/exp$idx.serial)" "$known" > /tmp/exp$path.sg ||
    { echo "no second sg node for $name"; return 1; }
  cat /tmp/exp$path.sg
}

# Prints the sg node whose unit serial number page holds SERIAL, leaving out
# the nodes named in EXCEPT (one a line).
expander_find_sg() {
  n=100
  while [ $n -gt 0 ]; do
    for s in /sys/class/scsi_generic/sg*; do
      [ -e "$s/device/vpd_pg80" ] || continue
      if [ -n "$2" ] && echo "$2" | grep -qx "/dev/${s##*/}"; then continue; fi
      if grep -q "$1" "$s/device/vpd_pg80" 2>/dev/null && [ -e /dev/${s##*/} ]; then
        echo /dev/${s##*/}
        return 0
      fi
    done
    n=$((n - 1))
    sleep 0.1
  done
  return 1
}

# run_corvane LABEL ARGS...: runs corvane and keeps its screen output, exit
# status, the operation log lines and the audit lines it wrote, in /out/LABEL.
run_corvane() {
  label=$1
  shift
  out=/out/$label
  mkdir -p $out
  rm -f /var/log/expander_log.txt
  handlers_restart || { echo "a handler did not restart" > $out/stderr; return 1; }
  corvane "$@" </dev/null > $out/stdout 2>$out/stderr
  echo $? > $out/status
  [ -f /var/log/expander_log.txt ] && mv /var/log/expander_log.txt $out/log
  syslog_take $out/syslog "$label"
}

# run_pages LABEL ARGS...: runs corvane-pages in /out/LABEL and keeps its
# screen output and exit status there, beside what it wrote, and what each
# expander held afterwards (its state file, as stateN.txt).
run_pages() {
  label=$1
  shift
  out=/out/$label
  mkdir -p $out
  handlers_restart || { echo "a handler did not restart" > $out/stderr; return 1; }
  (cd $out && corvane-pages "$@" </dev/null > stdout 2> stderr; echo $? > status)
  for s in /tmp/state*/state.txt; do
    [ -f "$s" ] || continue
    d=${s%/state.txt}
    cp "$s" "$out/state${d#/tmp/state}.txt"
  done
}

# run_started LABEL ARGS...: starts corvane in the background, its screen
# output and exit status kept in /out/LABEL; the first run of a group starts
# the handlers afresh. run_group_wait collects the group.
run_started() {
  label=$1
  shift
  out=/out/$label
  mkdir -p $out
  if [ -z "$group_pids" ]; then
    rm -f /var/log/expander_log.txt
    handlers_restart || { echo "a handler did not restart" > $out/stderr; return 1; }
  fi
  (corvane "$@" </dev/null > $out/stdout 2>$out/stderr; echo $? > $out/status) &
  group_pids="$group_pids $!"
}

# run_group_wait GROUP: waits for every run started since the last group and
# keeps their shared operation log and audit lines, and the names in the
# lock directory, in /out/GROUP.
run_group_wait() {
  out=/out/$1
  mkdir -p $out
  for p in $group_pids; do wait "$p"; done
  group_pids=
  [ -f /var/log/expander_log.txt ] && mv /var/log/expander_log.txt $out/log
  syslog_take $out/syslog "$1"
  ls /run/corvane > $out/locks 2>/dev/null
}

# Starts every handler's model afresh, as each run of corvane behind the
# preloaded door starts its own: fault counters restart, the state stays.
handlers_restart() {
  for p in /tmp/handler*.pid; do
    [ -e "$p" ] || continue
    i=${p#/tmp/handler}
    i=${i%.pid}
    rm -f /tmp/ready$i
    kill -HUP "$(cat "$p")" || return 1
    guest_wait_for /tmp/ready$i 100 || return 1
  done
}

# Waits until syslogd has written a marker sent after corvane's lines, then
# moves the lines before it into FILE.
syslog_take() {
  logger -t guest-mark "end $2"
  n=100
  while ! grep -q "guest-mark: end $2\$" /var/log/messages 2>/dev/null; do
    n=$((n - 1))
    [ $n -le 0 ] && break
    sleep 0.05
  done
  # Kept as "facility.level ident: message": the time and host name go.
  grep -v -e "guest-mark: " -e " syslog\.[a-z]* syslogd" /var/log/messages |
    sed 's/^[A-Z][a-z][a-z] [ 0-9][0-9] [0-9:]\{8\} [^ ]* //' > "$1"
  : > /var/log/messages
}

guest_send_results() {
  echo "=====BEGIN RESULTS====="  > /dev/ttyS1
  tar -C /out -cf - . | gzip | base64 > /dev/ttyS1
  echo "=====END RESULTS=====" > /dev/ttyS1
}
