# Runs the scenario file /scenario/scenarios.txt inside the test guest
# (sourced by /init from /scenario). Lines:
#   expander INDEX SERIAL [FAULTS]   a simulated expander behind its own LUN
#   run LABEL ARGS...                one corvane run; @N stands for expander
#                                    N's sg node, @missing for a node that
#                                    does not exist
#   pages LABEL ARGS...              one corvane-pages run, in /out/LABEL, so
#                                    that relative paths stay in the results
# The sg node of each expander is written to /out/devices.

guest_dev_for() {
  case $1 in
    @missing) echo /dev/sg9 ;;
    @[0-9]*) cat /tmp/exp${1#@}.sg ;;
    *) echo "$1" ;;
  esac
}

: > /out/devices
: > /var/log/messages
while read -r kind a b c; do
  case $kind in
    expander)
      dev=$(expander_add "$a" "$b" "$c") || { echo "expander $a did not come up"; exit 1; }
      echo "$a $dev" >> /out/devices
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
