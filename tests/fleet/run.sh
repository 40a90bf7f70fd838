#!/bin/bash
# A firmware rollout over a simulated fleet with Debian's ansible-core and the
# corvane.expander collection as built (ansible-galaxy collection build):
#   - module unit tests, ansible-doc, ansible-lint (Debian's);
#   - 21 hosts (local connection), each its own simulated expander state;
#     host03 reaches its expander through two nodes, host12 ignores the
#     activation;
#   - check mode reports what would change and sends no SEND DIAGNOSTIC;
#   - the first run changes and verifies every healthy expander of the
#     batches up to host12's, host12 fails and the later batches are untouched;
#   - the rollout finished without host12, then run again: nothing changed.
#
#   tests/fleet/run.sh [BUILD_DIR]     default build/native (built when missing)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
build=$(realpath -m "${1:-build/native}")
# shellcheck source=scripts/lib/common.sh
. "$root/scripts/lib/common.sh"

need_packages ansible-core ansible-lint python3 python3-jsonschema
if [ ! -x "$build/src/corvane-pages" ] || [ ! -x "$build/sim/expander-sim" ]; then
  bash scripts/setup.sh
  cmake -S . -B "$build" -G Ninja >/dev/null
  cmake --build "$build" -j"${CORVANE_JOBS:-2}" --target corvane corvane-pages expander-sim \
    expander_sim_preload expander-sim-image >/dev/null
fi

work=$(mktemp -d /tmp/corvane-fleet.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "fleet: FAILED: $*"; failures=$((failures + 1)); }
pass() { echo "fleet: ok: $*"; }

# Ansible's own state and temporary files stay in the work directory.
export HOME=$work/home ANSIBLE_LOCAL_TEMP=$work/ansible-tmp ANSIBLE_REMOTE_TEMP=$work/ansible-tmp
export ANSIBLE_COLLECTIONS_PATH=$work/collections ANSIBLE_NOCOLOR=1 ANSIBLE_FORCE_COLOR=0
export ANSIBLE_HOST_KEY_CHECKING=False ANSIBLE_RETRY_FILES_ENABLED=False ANSIBLE_FORKS=5
mkdir -p "$HOME"

echo "==== module unit tests"
if /usr/bin/python3 ansible/tests/unit/test_modules.py >"$work/unit.log" 2>&1; then
  pass "module unit tests"
else
  cat "$work/unit.log"; fail "module unit tests"
fi

echo "==== collection build and install"
ansible-galaxy collection build ansible --output-path "$work/dist" --force >/dev/null
tarball=$(ls "$work"/dist/corvane-expander-*.tar.gz)
ansible-galaxy collection install "$tarball" -p "$work/collections" --force >/dev/null
pass "built and installed $(basename "$tarball")"

for module in expander_facts expander_firmware; do
  if ansible-doc "corvane.expander.$module" >"$work/doc.txt" 2>&1 && grep -q "EXAMPLES" "$work/doc.txt"; then
    pass "ansible-doc corvane.expander.$module"
  else
    cat "$work/doc.txt"; fail "ansible-doc corvane.expander.$module"
  fi
done

echo "==== ansible-lint"
if (cd ansible && ansible-lint --offline -q playbooks/rolling_update.yml plugins) >"$work/lint.log" 2>&1; then
  pass "ansible-lint clean"
else
  cat "$work/lint.log"; fail "ansible-lint"
fi

echo "==== fleet of 21 simulated hosts"
sim=$build/sim/expander-sim
"$build/sim/expander-sim-image" --version 105 "$work/firmware_105.bin"
inventory=$work/inventory.yml
# The clone may live at a path with blanks or quotes: every value goes into the
# inventory as a quoted YAML string, and every path in a command line is quoted.
yaml_string() { /usr/bin/python3 -c 'import json,sys; print(json.dumps(sys.argv[1]))' "$1"; }
shell_word() { /usr/bin/python3 -c 'import shlex,sys; print(shlex.quote(sys.argv[1]))' "$1"; }
{
  echo "expanders:"
  echo "  hosts:"
  for n in $(seq -w 1 21); do
    host=host$n state=$work/hosts/host$n
    mkdir -p "$state"
    extra="" device=/dev/sgsim0
    [ "$n" = 03 ] && extra="--nodes 2" device=/dev/sgsim1
    [ "$n" = 12 ] && extra="--quirk ignore-activation"
    echo "    $host:"
    echo "      ansible_connection: local"
    echo "      ansible_python_interpreter: /usr/bin/python3"
    echo "      expander_device: $(yaml_string "$device")"
    echo "      expander_state: $(yaml_string "$state")"
    echo "      expander_environment:"
    echo "        CORVANE_BIN: $(yaml_string "$build/src/corvane")"
    echo "        CORVANE_PAGES_BIN: $(yaml_string "$build/src/corvane-pages")"
    # The prefix is split as a shell would split it, so each path in it is quoted.
    prefix="$(shell_word "$sim") --state $(shell_word "$state") --transcript $(shell_word "$state/transcript") $extra --"
    echo "        CORVANE_COMMAND_PREFIX: $(yaml_string "$prefix")"
  done
} >"$inventory"

playbook() {  # log-name ansible-playbook-arguments...
  local log=$work/$1.log
  shift
  ansible-playbook -i "$inventory" ansible/playbooks/rolling_update.yml \
    -e expander_image="$work/firmware_105.bin" -e expander_version=105 -e expander_verify_timeout=2 \
    "$@" >"$log" 2>&1
}

recap() {  # log: the PLAY RECAP lines
  sed -n '/PLAY RECAP/,$p' "$1" | grep -E '^host'
}

count() {  # log field value: hosts whose recap field has that value
  recap "$1" | grep -c " $2=$3 " || true
}

version_of() {  # host: the active firmware version its expander runs
  local state=$work/hosts/$1 device=/dev/sgsim0
  [ "$1" = host03 ] && device=/dev/sgsim0
  local extra=()
  [ "$1" = host03 ] && extra=(--nodes 2)
  "$sim" --state "$state" "${extra[@]}" -- "$build/src/corvane-pages" status --json "$device" |
    /usr/bin/python3 -c 'import json,sys; d=json.load(sys.stdin); print([i["version"] for i in d["status"]["firmware_images"] if i["active"]][0])'
}

sends() {  # host: SEND DIAGNOSTIC requests in its transcript
  grep -c ' cdb=1d' "$work/hosts/$1/transcript" 2>/dev/null || true
}

# Facts: one entry per expander, two paths for host03.
cat >"$work/facts.yml" <<'YAML'
---
- name: Expander facts
  hosts: host03
  gather_facts: false
  environment: "{{ expander_environment }}"
  tasks:
    - name: Gather
      corvane.expander.expander_facts:
        devices: [/dev/sgsim0, /dev/sgsim1]
    - name: Show
      ansible.builtin.debug:
        msg: "expanders={{ ansible_facts.expanders | length }} paths={{ ansible_facts.expanders[0].paths | join(',') }}"
YAML
ansible-playbook -i "$inventory" "$work/facts.yml" >"$work/facts.log" 2>&1 || true
if grep -q '"expanders=1 paths=/dev/sgsim0,/dev/sgsim1"' "$work/facts.log"; then
  pass "expander_facts: host03's two paths are one expander"
else
  cat "$work/facts.log"; fail "expander_facts on two paths"
fi

# check and verify --json against their published schemas, on a scratch expander.
scratch=(--state "$work/scratch" --quirk old-image-after-reset)
validate() {  # schema-name document-file
  /usr/bin/python3 - "$root/schema/corvane-pages-$1.schema.json" "$2" <<'PY'
import json, sys
import jsonschema
schema = json.load(open(sys.argv[1]))
jsonschema.Draft202012Validator(schema).validate(json.load(open(sys.argv[2])))
PY
}
json_runs=(
  "check 0 check --json --expect 105 $work/firmware_105.bin /dev/sgsim0"
  "check 3 check --json $work/missing.bin /dev/sgsim0"
  "check 3 check --json $work/firmware_105.bin /dev/sgsim4"
  "verify 4 verify --json --expect 105 --timeout 0 /dev/sgsim0"
  "verify 1 verify --json --expect 105 --timeout 0 /dev/sgsim4"
)
for entry in "${json_runs[@]}"; do
  read -r schema want args <<<"$entry"
  # shellcheck disable=SC2086
  "$sim" "${scratch[@]}" -- "$build/src/corvane-pages" $args >"$work/doc.json" 2>/dev/null && got=0 || got=$?
  if [ "$got" = "$want" ] && validate "$schema" "$work/doc.json" 2>"$work/schema.log"; then
    pass "$schema --json (exit $want) matches its schema"
  else
    cat "$work/doc.json" "$work/schema.log"; fail "$schema --json: exit $got (wanted $want) or schema mismatch"
  fi
done

# 1. Check mode: every host would change, nothing sent.
playbook check --check --diff || true
echo "check mode recap:"; recap "$work/check.log"
if [ "$(count "$work/check.log" changed 1)" -eq 21 ] && [ "$(count "$work/check.log" failed 0)" -eq 21 ] &&
   grep -q -- '-/dev/sgsim0 firmware: 103' "$work/check.log" && grep -q -- '+/dev/sgsim0 firmware: 105' "$work/check.log"; then
  pass "check mode: 21 hosts would change, diff shows 103 -> 105"
else
  cat "$work/check.log"; fail "check mode report"
fi
total_sends=0
for n in $(seq -w 1 21); do total_sends=$((total_sends + $(sends "host$n"))); done
if [ "$total_sends" -eq 0 ]; then pass "check mode: no SEND DIAGNOSTIC in any transcript"; else fail "check mode sent $total_sends SEND DIAGNOSTIC"; fi

# 2. The rollout: batches of five; host12 (third batch) fails verification.
if playbook run1; then fail "first run succeeded although host12 ignores the activation"; fi
echo "first run recap:"; recap "$work/run1.log"
for n in $(seq -w 1 15); do
  if [ "$n" = 12 ]; then continue; fi
  if recap "$work/run1.log" | grep -q "^host$n .* changed=1 .* failed=0 " && [ "$(version_of "host$n")" = 105 ]; then
    :
  else
    fail "host$n was not changed to 105 in the first run"
  fi
done
if recap "$work/run1.log" | grep -q '^host12 .* failed=1 ' && grep -q 'host12.*verification failed: not verified: /dev/sgsim0 runs firmware image 103' "$work/run1.log"; then
  pass "host12 fails with the reason (runs 103, not 105)"
else
  fail "host12's failure"
fi
untouched=0
for n in $(seq 16 21); do
  host=host$n
  if ! recap "$work/run1.log" | grep -q "^$host " && [ "$(version_of "$host")" = 103 ] && [ "$(sends "$host")" -eq 0 ]; then
    untouched=$((untouched + 1))
  fi
done
if [ "$untouched" -eq 6 ]; then pass "the rollout stopped after host12's batch: host16..host21 untouched"; else fail "later batches were touched ($untouched of 6 untouched)"; fi

# 3. Finish without the faulty host, then run again: nothing changes.
playbook run2 --limit '!host12' || fail "the rollout without host12 failed"
echo "rollout without host12 recap:"; recap "$work/run2.log"
[ "$(count "$work/run2.log" changed 1)" -eq 6 ] || fail "finishing the rollout did not change exactly host16..host21"
playbook run3 --limit '!host12' || fail "the second run failed"
echo "second run recap:"; recap "$work/run3.log"
if [ "$(count "$work/run3.log" changed 0)" -eq 20 ] && [ "$(count "$work/run3.log" failed 0)" -eq 20 ]; then
  pass "second run: nothing changed on 20 hosts"
else
  cat "$work/run3.log"; fail "second run changed something"
fi
sends_before=$(sends host05)
playbook run4 --limit host05 || true
[ "$(sends host05)" -eq "$sends_before" ] || fail "a run at the wanted version sent to the expander"

if [ "$failures" -ne 0 ]; then
  echo "fleet: $failures failure(s)"
  exit 1
fi
echo "fleet: all passed"
