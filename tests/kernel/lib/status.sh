# Checks of the corvane-pages status runs of a scenario (sourced by
# tests/kernel/run.sh after doors.sh).

# check_status SCENARIOS OUT: each status run shows the identity the guest's
# kernel gives its node and the images its expander holds, its document
# valid against the shipped schema (see check_status.py).
check_status() {
  /usr/bin/python3 "$here/lib/check_status.py" "$1" "$2" "$root/schema"
}
