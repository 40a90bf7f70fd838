#!/usr/bin/python3
"""corvane-pages status runs of a real-kernel scenario, checked on their own
terms: what each run shows must be what the guest's kernel and the expander
behind it hold.

For every "pages LABEL status [--json] @N" line of the scenario file:
  - the device is expander N's sg node, the SCSI address is the one sysfs
    gives that node (H:C:T:L), vendor, product and revision are the INQUIRY
    names sysfs shows, the serial is the scenario's, and the designator is
    the NAA name of the kernel's wwid;
  - a run expected to end 0 shows both firmware images and both data
    images as the expander's state file (kept by the guest after the run)
    holds them, the active ones marked and first;
  - a run expected to fail names page 0x82 and a reason on standard error
    (in the document's messages with --json) and shows no images; a line
    "says LABEL TEXT" of the scenario names text that reason must hold;
  - a --json run's output is one strict JSON document, valid against the
    shipped schema, whose exit_status is the run's.

usage: check_status.py SCENARIOS OUT SCHEMA_DIR
"""
import json
import os
import re
import sys

from jsonschema import Draft202012Validator

ADDRESS = re.compile(r"^\d+:\d+:\d+:\d+$")


def read_pairs(path):
    pairs = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            key, _, value = line.rstrip("\n").partition("=")
            pairs[key] = value
    return pairs


def read_nodes(path):
    """The guest's devices file: "N NODE" lines."""
    nodes = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            words = line.split()
            if len(words) == 2:
                nodes[words[0]] = words[1]
    return nodes


def strict_load(text):
    def no_duplicates(pairs):
        keys = [k for k, _ in pairs]
        if len(keys) != len(set(keys)):
            raise ValueError("a key appears twice")
        return dict(pairs)

    def no_constant(name):
        raise ValueError(f"{name} is no JSON")

    return json.loads(text, object_pairs_hook=no_duplicates, parse_constant=no_constant)


def version_text(hex_text):
    """A version as the state file keeps it (six hex digits), as shown."""
    return "".join(" " if b == 0 else chr(b) for b in bytes.fromhex(hex_text))


def held_images(state):
    """The images the expander holds: (firmware, data) lists, active first."""
    def images(kind, prefix, active):
        return [{"name": f"{prefix}{n}", "number": n,
                 "version": version_text(state[f"{kind}_version_{n}"]), "active": n == active}
                for n in (active, 1 - active)]
    return (images("image", "image", int(state["active_image"])),
            images("data", "data", int(state["active_data"])))


def expected_identity(out, index, node, serial):
    problems = []
    sysfs = read_pairs(os.path.join(out, f"sysfs{index}.txt"))
    address = sysfs.get("address", "")
    if not ADDRESS.match(address):
        problems.append(f"sysfs gives expander {index} ({node}) no H:C:T:L address: {address!r}")
    wwid = ""
    with open(os.path.join(out, "identity"), encoding="utf-8") as f:
        for line in f:
            words = line.split()
            if words[:2] == [index, node] and len(words) == 3:
                wwid = words[2]
    if not wwid.startswith("naa."):
        problems.append(f"the kernel gives {node} no NAA wwid: {wwid!r}")
    identity = {
        "device": node,
        "scsi_address": address,
        "vendor": sysfs.get("vendor", "").rstrip(),
        "product": sysfs.get("model", "").rstrip(),
        "revision": sysfs.get("rev", "").rstrip(),
        "serial": serial,
        "designator": {"value": "0x" + wwid[len("naa."):].lower(), "type": {"code": 3, "text": "NAA"}},
    }
    return identity, problems


def text_lines(stdout):
    """The status text as (key, value) pairs, in order."""
    pairs = []
    for line in stdout.splitlines():
        key, sep, value = line.partition(":")
        if sep:
            pairs.append((key, value.strip()))
    return pairs


def check_text(label, stdout, identity, images):
    problems = []
    pairs = text_lines(stdout)
    fields = dict(p for p in pairs if p[0] not in ("firmware", "data"))
    want = {"device": identity["device"], "address": identity["scsi_address"],
            "vendor": identity["vendor"], "product": identity["product"],
            "revision": identity["revision"], "serial": identity["serial"],
            "designator": f"{identity['designator']['value']} (NAA)"}
    for key, value in want.items():
        if fields.get(key) != value:
            problems.append(f"{label}: {key} shown as {fields.get(key)!r}, expected {value!r}")
    shown = [(k, v) for k, v in pairs if k in ("firmware", "data")]
    expected = []
    if images is not None:
        for kind, entries in zip(("firmware", "data"), images):
            for e in entries:
                # The line's padding goes, and with it a version's last blank.
                line = f"{e['name']}  version {e['version']}" + ("  (active)" if e["active"] else "")
                expected.append((kind, line.strip()))
    if shown != expected:
        problems.append(f"{label}: images shown as {shown}, expected {expected}")
    return problems


def check_json(label, stdout, status, identity, images, validator, says):
    try:
        doc = strict_load(stdout)
    except ValueError as error:
        return [f"{label}: not one strict JSON document: {error}"]
    problems = [f"{label}: {'/'.join(map(str, e.path))}: {e.message}" for e in validator.iter_errors(doc)]
    if problems:
        return problems
    if doc["document"] != "status" or doc["exit_status"] != status:
        problems.append(f"{label}: document {doc['document']!r} with exit_status {doc['exit_status']},"
                        f" the run ended {status}")
    if doc["status"]["identity"] != identity:
        problems.append(f"{label}: identity {doc['status']['identity']}, expected {identity}")
    got = (doc["status"]["firmware_images"], doc["status"]["data_images"])
    want = images if images is not None else (None, None)
    if got != tuple(want):
        problems.append(f"{label}: images {got}, expected {tuple(want)}")
    errors = [m["text"] for m in doc["messages"] if m["severity"] == "error"]
    if images is not None and errors:
        problems.append(f"{label}: errors in a good run: {errors}")
    if images is None and not any(reason_given(t, says) for t in errors):
        problems.append(f"{label}: no error names page 0x82 and a reason{holding(says)}: {doc['messages']}")
    return problems


def holding(says):
    return f" holding {says!r}" if says else ""


def reason_given(text, want):
    """A message naming the firmware status page and why it could not be had
    (holding WANT, when the scenario names what)."""
    return re.search(r"0x82\)?[^:]*: \S", text) is not None \
        and "no reason known" not in text and (want or "") in text


def scenario(path):
    expanders, runs, expect, says = {}, [], {}, {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            words = line.split()
            if len(words) >= 3 and words[0] == "expander":
                expanders[words[1]] = words[2]
            elif len(words) >= 3 and words[0] == "pages" and words[2] == "status":
                runs.append((words[1], words[3:]))
            elif len(words) == 3 and words[0] == "expect":
                expect[words[1]] = int(words[2])
            elif len(words) >= 3 and words[0] == "says":
                says[words[1]] = line.split(None, 2)[2].rstrip("\n")
    return expanders, runs, expect, says


def main(argv):
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    scen, out, schema_dir = argv[1:]
    with open(os.path.join(schema_dir, "corvane-pages-status.schema.json"), encoding="utf-8") as f:
        schema = json.load(f)
    Draft202012Validator.check_schema(schema)
    validator = Draft202012Validator(schema)
    devices = read_nodes(os.path.join(out, "devices"))
    expanders, runs, expect, says = scenario(scen)
    problems = []
    for label, args in runs:
        index = next((a[1:] for a in args if a.startswith("@")), None)
        if index not in expanders:
            problems.append(f"{label}: no simulated expander named in {args}")
            continue
        run = os.path.join(out, label)
        if not os.path.exists(os.path.join(run, "status")):
            problems.append(f"{label}: the run left no result")
            continue
        with open(os.path.join(run, "status"), encoding="utf-8") as f:
            status = int(f.read())
        with open(os.path.join(run, "stdout"), encoding="utf-8") as f:
            stdout = f.read()
        with open(os.path.join(run, "stderr"), encoding="utf-8") as f:
            stderr = f.read()
        identity, run_problems = expected_identity(out, index, devices[index], expanders[index])
        if expect.get(label, 0) == 0:
            state_path = os.path.join(run, f"state{index}.txt")
            if not os.path.exists(state_path):
                problems.append(f"{label}: the guest kept no state of expander {index}")
                continue
            images = held_images(read_pairs(state_path))
        else:
            images = None
        if "--json" in args:
            run_problems += check_json(label, stdout, status, identity, images, validator, says.get(label))
        else:
            run_problems += check_text(label, stdout, identity, images)
            if images is None and not any(reason_given(l, says.get(label)) for l in stderr.splitlines()):
                run_problems.append(f"{label}: standard error names no reason for page 0x82"
                                    f"{holding(says.get(label))}: {stderr!r}")
        if images is not None and stderr:
            run_problems.append(f"{label}: a good run wrote to standard error: {stderr!r}")
        if run_problems:
            problems += run_problems
        else:
            shown = "no images" if images is None else \
                ", ".join(f"{e['name']} {e['version']}{'*' if e['active'] else ''}" for e in images[0] + images[1])
            print(f"kernel: {label}: {identity['device']} at {identity['scsi_address']}, "
                  f"{identity['serial']}, {identity['designator']['value']}, {shown}")
    for problem in problems:
        print(f"kernel: {problem}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
