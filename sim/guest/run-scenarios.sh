# Runs the scenario file /scenario/scenarios.txt inside the test guest
# (sourced by /init from /scenario). Lines:
#   expander INDEX SERIAL [FAULTS]   a simulated expander behind its own LUN
#   run LABEL ARGS...                one corvane run; @N stands for expander
#                                    N's sg node, @missing for a node that
#                                    does not exist
#   pages LABEL ARGS...              one corvane-pages run, in /out/LABEL, so
#                                    that relative paths stay in the results
#   path INDEX PATH                  a further path to expander INDEX: its
#                                    sg node is @PATH
#   start LABEL ARGS...              a corvane run started in the background
#   wait GROUP                       waits for the runs started before it;
#                                    their shared operation log, audit lines
#                                    and lock file names go to /out/GROUP
# The sg node of each expander (and path) is written to /out/devices, and with
# the wwid the kernel gives it to /out/identity; its SCSI address and INQUIRY
# names as sysfs shows them go to /out/sysfsN.txt (key=value lines).

guest_dev_for() {
  case $1 in
    @missing) echo /dev/sg9 ;;
    @[0-9]*) cat /tmp/exp${1#@}.sg ;;
    *) echo "$1" ;;
  esac
}

: > /out/devices
: > /out/identity
: > /var/log/messages
group_pids=

# identity_note N DEV: DEV's wwid as sysfs shows it.
identity_note() {
  sys=/sys/class/scsi_generic/${2##*/}/device
  echo "$1 $2 $(cat $sys/wwid 2>/dev/null)" >> /out/identity
  {
    echo "address=$(basename "$(readlink $sys)")"
    for f in vendor model rev; do echo "$f=$(cat $sys/$f 2>/dev/null)"; done
  } > /out/sysfs$1.txt
}

while read -r kind a b c; do
  case $kind in
    expander)
      dev=$(expander_add "$a" "$b" "$c") || { echo "expander $a did not come up"; exit 1; }
      echo "$a $dev" >> /out/devices
      identity_note "$a" "$dev"
      ;;
    path)
      dev=$(expander_path "$a" "$b") || { echo "path $b to expander $a did not come up"; exit 1; }
      echo "$b $dev" >> /out/devices
      identity_note "$b" "$dev"
      ;;
    start)
      set -- $b $c
      args=
      for w in "$@"; do args="$args $(guest_dev_for "$w")"; done
      # shellcheck disable=SC2086
      run_started "$a" $args
      ;;
    wait)
      run_group_wait "$a"
      ;;
    run)
      set -- $b $c
      args=
      for w in "$@"; do args="$args $(guest_dev_for "$w")"; done
      # shellcheck disable=SC2086
      run_corvane "$a" $args
      ;;
    pages)
      set -- $b $c
      args=
      for w in "$@"; do args="$args $(guest_dev_for "$w")"; done
      # shellcheck disable=SC2086
      run_pages "$a" $args
      ;;
  esac
done < /scenario/scenarios.txt
echo "missing /dev/sg9" >> /out/devices
