#!/bin/bash
# Runs inside a fresh Debian 12 root (tests/package/run.sh): installs the
# amd64 packages from DIR with apt-get, uses them, rotates the operation log,
# purges them and checks what is left. The root is thrown away afterwards, so
# corvane may write this root's /var/log here.
#
#   inside.sh DIR
set -uo pipefail
dir=$1
cd "$dir" || exit 1
failures=0
check() {  # description command...
  local what=$1
  shift
  if "$@"; then echo "  ok: $what"; else echo "  FAILED: $what"; failures=$((failures + 1)); fi
}
# shellcheck source=scripts/lib/common.sh
. "$dir/common.sh"
export DEBIAN_FRONTEND=noninteractive

# The tools the checks use, installed before the snapshot of the file system.
need_packages man-db logrotate bash-completion binutils || exit 1

# Every file and directory outside the volatile areas.
snapshot() {
  find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /tmp -o -path /run \
    -o -path /var/cache -o -path /var/lib/apt -o -path /var/lib/dpkg -o -path /var/log/apt \
    -o -path /var/lib/man-db \) -prune -o -print | grep -vE '^/var/log/(dpkg\.log|alternatives\.log)$' |
    LC_ALL=C sort
}
snapshot > before.txt

echo "package: apt-get install ./corvane_*_amd64.deb ./corvane-sim_*_amd64.deb"
apt-get install -y -qq ./corvane_*_amd64.deb ./corvane-sim_*_amd64.deb >/dev/null || exit 1

check "corvane on root's PATH is /usr/sbin/corvane" test "$(command -v corvane)" = /usr/sbin/corvane
check "man -w 8 corvane" test "$(man -w 8 corvane)" = /usr/share/man/man8/corvane.8.gz
check "man 8 corvane shows the page" bash -c 'man 8 corvane 2>/dev/null | grep -q "EXIT STATUS"'
check "man 1 expander-sim" test -n "$(man -w 1 expander-sim)"
check "corvane needs libc.so.6 only" check_libc_only readelf /usr/sbin/corvane amd64

# corvane under the packaged simulator: nothing reaches /var/log.
sim=/tmp/sim-state
expander-sim --state "$sim" --capture "$sim/capture" -- /usr/sbin/corvane query /dev/sgsim0 > query.txt
check "query under expander-sim exits 0" test $? -eq 0
check "query prints the four version lines" \
  diff <(printf 'Active Image:  image0\nImage Version: 103\nActive Data:   data0\nData Version:  015\n') query.txt
expander-sim --state "$sim" --capture "$sim/capture" -- /usr/sbin/corvane log /dev/sgsim0 > log.txt
check "log under expander-sim exits 0" test $? -eq 0
check "log says where it saved the log" grep -qx 'log saved in /var/log/expander_log.txt!' log.txt
check "log's decoded event lines are captured" grep -q '"LINK SSP: RX Nak CRC Error"' "$sim/capture/expander_log.txt"
expander-sim --state "$sim" --capture "$sim/capture" -- /usr/sbin/corvane-pages capture /tmp/case /dev/sgsim0 > capture.txt
check "corvane-pages capture under expander-sim exits 0" test $? -eq 0
check "corvane-pages decodes the capture offline" \
  bash -c 'corvane-pages decode /tmp/case | grep -q "\"LINK SSP: RX Nak CRC Error\""'
check "man -w 8 corvane-pages" test "$(man -w 8 corvane-pages)" = /usr/share/man/man8/corvane-pages.8.gz
check "the JSON Schemas are installed" test -s /usr/share/corvane/schema/corvane-pages-status.schema.json
expander-sim --state "$sim" --capture "$sim/capture" -- /usr/sbin/corvane-pages status --json /dev/sgsim0 > status.json
check "corvane-pages status --json under expander-sim exits 0" test $? -eq 0
check "status --json names its format version" grep -q '"json_format_version"' status.json
for unit in corvane-metrics.service corvane-metrics.timer corvane-events@.service corvane-events@.timer; do
  check "$unit is installed" test -f "/lib/systemd/system/$unit"
done
check "no corvane timer is enabled" bash -c '! ls /etc/systemd/system/*.wants/corvane-* 2>/dev/null | grep -q .'
expander-sim --state "$sim" --capture "$sim/capture" -- /usr/sbin/corvane-pages health /dev/sgsim0 > health.txt
check "corvane-pages health finds the simulated critical element" test $? -eq 2
check "corvane-pages health names it" grep -q ': element 4 Critical$' health.txt
check "the simulated runs left /var/log alone" test ! -e /var/log/expander_log.txt

# What a new administrator runs into, tried on the installed packages: no
# success that did not happen, every failure with its reason.
sim_run() { expander-sim --state "$sim" --capture "$sim/capture" --transcript "$sim/transcript" -- "$@"; }
: > empty.bin
rm -f "$sim/transcript"
sim_run /usr/sbin/corvane download=empty.bin /dev/sgsim0 > empty.txt 2> empty.err
check "download of an empty image fails" test $? -eq 255
check "it says so on screen" grep -qx 'Firmware update failed!' empty.txt
check "and why on standard error" grep -q 'the image is empty; nothing was sent' empty.err
check "and no SEND DIAGNOSTIC reached the expander" bash -c '! grep -q "cdb=1d" "$1/transcript" 2>/dev/null' _ "$sim"
sim_run /usr/sbin/corvane download=/dev/zero /dev/sgsim0 > zero.txt 2> zero.err
check "download=/dev/zero is refused" grep -q 'not a regular file; nothing was sent' zero.err
sim_run /usr/sbin/corvane query /dev/sgsim0 > /dev/full 2> full.err
check "a query whose output is lost is not a success" test $? -ne 0
check "corvane-pages image /dev/zero ends, refused" \
  bash -c 'timeout 20 corvane-pages image /dev/zero > /dev/null 2>&1; s=$?; [ "$s" -ne 0 ] && [ "$s" -ne 124 ]'
(cd /tmp && expander-sim-image --help > /dev/null)
check "expander-sim-image --help exits 0" test $? -eq 0
check "and writes no file" test ! -e /tmp/--help
check "the corvane package recommends logrotate" bash -c 'dpkg-query -W -f "\${Recommends}" corvane | grep -q logrotate'

# Completion of the command word, of download='s file name and of the nodes.
completion() {  # line words...: prints the completions of the last word
  bash -c '. /usr/share/bash-completion/bash_completion
           . /usr/share/bash-completion/completions/corvane
           COMP_LINE=$1; shift
           COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_POINT=${#COMP_LINE}
           _corvane; printf "%s\n" "${COMPREPLY[@]}"' completion "$@"
}
check "completion of d is download=" test "$(completion 'corvane d' corvane d)" = download=
check "completion of the command words" \
  test "$(completion 'corvane ' corvane '' | tr '\n' ' ')" = "query download= reset log "
samples=/usr/share/corvane-sim/samples
check "completion of download= names files" \
  test "$(completion "corvane download=$samples/fi" corvane download = "$samples/fi")" = "$samples/firmware_104.bin"
# Nodes sg0..sg11, of which sg2 and sg10 are enclosures (type 13), sg11 has
# no sysfs entry.
mkdir -p fake/dev
for n in 0 1 2 3 10 11; do
  touch "fake/dev/sg$n"
  [ "$n" = 11 ] && continue
  mkdir -p "fake/sys/sg$n/device"
  case $n in 2|10) echo 13 ;; 1) echo 5 ;; *) echo 0 ;; esac > "fake/sys/sg$n/device/type"
done
check "nodes: enclosures first, each group in number order" \
  test "$(bash -c '. /usr/share/bash-completion/completions/corvane; _corvane_sg_nodes fake/dev fake/sys' |
          sed 's|.*/||' | tr '\n' ' ')" = "sg2 sg10 sg0 sg1 sg3 sg11 "

# Rotation: a real run creates the log, a forced rotation compresses it and
# creates an empty one, the next run appends to that. Queries send nothing
# to the system log.
corvane query /dev/sg-none > /dev/null 2> none.err
check "a failed query exits 255" test $? -eq 255
check "and says why on standard error" grep -q '^/dev/sg-none: cannot open: No such file or directory' none.err
check "the log is created 0640 on first use" test "$(stat -c '%a' /var/log/expander_log.txt)" = 640
check "logrotate -d accepts the rotation file" bash -c 'logrotate -d /etc/logrotate.d/corvane > rotate-debug.txt 2>&1'
check "forced rotation" logrotate -f /etc/logrotate.d/corvane
check "the old log is compressed" bash -c 'zcat /var/log/expander_log.txt.1.gz | grep -q "query /dev/sg-none"'
check "the new log is 0640 root:adm" test "$(stat -c '%a %U:%G' /var/log/expander_log.txt)" = "640 root:adm"
corvane query /dev/sg-other > /dev/null
check "the next run writes the new log" bash -c 'grep -q "query /dev/sg-other" /var/log/expander_log.txt &&
                                               ! grep -q "query /dev/sg-none" /var/log/expander_log.txt'

echo "package: apt-get purge corvane corvane-sim"
apt-get purge -y -qq corvane corvane-sim >/dev/null || exit 1
check "purge removes the program" test ! -e /usr/sbin/corvane
check "purge removes the rotation file" test ! -e /etc/logrotate.d/corvane
check "the operation log stays" test -s /var/log/expander_log.txt
snapshot > after.txt
# What may differ: the operation log and its rotations, logrotate's state.
diff before.txt after.txt | grep '^[<>]' |
  grep -vE '^> /var/log/expander_log\.txt(\.1\.gz)?$|^> /var/lib/logrotate/status$' > left.txt
check "purge leaves nothing else behind" test ! -s left.txt
[ -s left.txt ] && sed 's/^/    /' left.txt

echo "package: $failures failed checks inside the fresh root"
[ "$failures" -eq 0 ]
