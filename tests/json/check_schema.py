#!/usr/bin/python3
"""corvane-pages' JSON documents against their shipped schemas.

Runs corvane-pages under the simulated expander (built-in pages, faults, a
capture, every page code, a failed page, the NV crash dump), validates every
fresh document and every golden file of tests/json/golden with Debian's
python3-jsonschema (draft 2020-12), and fails when a golden file of the
current major version no longer validates. --regenerate rewrites the golden
files from the fresh documents.

usage: check_schema.py PAGES SIM SCHEMA_DIR GOLDEN_DIR [--regenerate]
"""
import json
import os
import subprocess
import sys
import tempfile

from jsonschema import Draft202012Validator

CURRENT_MAJOR = 1


def load_schemas(schema_dir):
    schemas = {}
    for name in sorted(os.listdir(schema_dir)):
        if not name.endswith(".schema.json"):
            continue
        with open(os.path.join(schema_dir, name), encoding="utf-8") as f:
            schema = json.load(f)
        Draft202012Validator.check_schema(schema)
        kind = name[len("corvane-pages-"):-len(".schema.json")]
        schemas[kind] = Draft202012Validator(schema)
    return schemas


def strict_load(text, what):
    def no_duplicates(pairs):
        keys = [k for k, _ in pairs]
        if len(keys) != len(set(keys)):
            raise ValueError(f"{what}: a key appears twice")
        return dict(pairs)

    def no_constant(name):
        raise ValueError(f"{what}: {name} is no JSON")

    return json.loads(text, object_pairs_hook=no_duplicates, parse_constant=no_constant)


def errors_of(schemas, doc, what):
    kind = doc.get("document") if isinstance(doc, dict) else None
    if kind not in schemas:
        return [f"{what}: no schema for document kind {kind!r}"]
    return [f"{what}: {'/'.join(map(str, e.path))}: {e.message}"
            for e in schemas[kind].iter_errors(doc)]


def run(pages, sim, state, args, faults=()):
    command = [sim, "--state", state]
    for fault in faults:
        command += ["--fault", fault]
    command += ["--", pages] + args
    done = subprocess.run(command, capture_output=True, check=False)
    return done.returncode, done.stdout.decode("utf-8")


def fresh_documents(pages, sim, work):
    """(name, text, expected exit status) of every document the cases give."""
    state = os.path.join(work, "state")
    capture = os.path.join(work, "capture")
    short = os.path.join(work, "short")
    node = "/dev/sgsim0"
    image = os.path.join(work, "firmware.bin")
    with open(image, "wb") as f:
        f.write(b"PMC\0" + bytes(range(256)) * 5)
    docs = []

    def add(name, args, faults=(), status=0):
        code, out = run(pages, sim, state, args, faults)
        docs.append((name, out, code, status))

    add("status", ["status", "--json", node])
    add("status-open-fails", ["status", "--json", node], ["open:*"], 1)
    add("status-no-firmware-page", ["status", "--json", node], ["check:0x82/*"], 1)
    add("capture", ["capture", "--json", capture, node])
    add("capture-short-page", ["capture", "--json", short, node], ["short:0x80/*=100"])
    add("capture-refused", ["capture", "--json", os.path.join(work, "refused"), node], ["open:*"], 1)
    add("decode-capture", ["decode", "--json", capture])
    for name in ["page_82", "page_80", "page_02", "page_0a", "page_f3"]:
        add("decode-" + name, ["decode", "--json", os.path.join(capture, name + ".bin")])
    chunks = sorted(n for n in os.listdir(capture) if n.startswith("page_f4_"))
    add("decode-nv-crash-dump", ["decode", "--json"] + [os.path.join(capture, n) for n in chunks])
    add("decode-nv-incomplete", ["decode", "--json", os.path.join(capture, chunks[0])], status=1)
    bad = os.path.join(work, "bad_80.bin")
    with open(os.path.join(capture, "page_80.bin"), "rb") as f:
        page = bytearray(f.read())
    page[40] ^= 0xFF  # a record byte: the checksum no longer matches
    with open(bad, "wb") as f:
        f.write(page)
    add("decode-failed-page", ["decode", "--json", bad], status=1)
    add("decode-unchecked-page", ["decode", "--json", "--unchecked", bad], status=1)
    add("decode-refused-file", ["decode", "--json", "/dev/null"], status=1)
    add("image", ["image", "--json", "--pieces", image])
    docs.append(("manifest", open(os.path.join(capture, "manifest.json"), encoding="utf-8").read(), 0, 0))
    return docs


def schema_catches_breakage(schemas, golden_dir):
    """A removed, renamed or retyped key must make a golden document fail."""
    path = os.path.join(golden_dir, "status.json")
    if not os.path.exists(path):
        return [f"{path}: missing"]
    with open(path, encoding="utf-8") as f:
        base = json.load(f)
    breakages = {
        "exit_status removed": lambda d: d.pop("exit_status"),
        "exit_status retyped": lambda d: d.update(exit_status="0"),
        "identity key renamed": lambda d: d["status"]["identity"].update(
            serial_number=d["status"]["identity"].pop("serial")),
        "designator not 0x": lambda d: d["status"]["identity"]["designator"].update(value="5001"),
        "version major raised": lambda d: d.update(json_format_version=[2, 0]),
        "image active retyped": lambda d: d["status"]["firmware_images"][0].update(active="yes"),
    }
    problems = []
    for what, change in breakages.items():
        doc = json.loads(json.dumps(base))
        change(doc)
        if not errors_of(schemas, doc, what):
            problems.append(f"schema check: {what} still validates")
    # The decoded fields of a page, each golden decode document its own.
    decoded = {
        "decode-page_80.json": {
            "event severity text only": lambda p: p["events"][0].update(severity="info"),
            "event params retyped": lambda p: p["events"][0].update(params=["0x0", 0, 0]),
        },
        "decode-page_02.json": {
            "element bit retyped": lambda p: p["elements"][0].update(swap=0),
            "element bit removed": lambda p: p["overall"].pop("dev_bypassed_b"),
        },
        "decode-page_0a.json": {
            "sas address not 0x": lambda p: p["descriptors"][0]["sas"]["phys"][0].update(
                sas_address="5000a1b2c3d40001"),
        },
        "decode-page_f3.json": {
            "phy field renamed": lambda p: p["phys"][0].update(rate=p["phys"][0].pop("sxl_rate")),
        },
    }
    for name, changes in decoded.items():
        path = os.path.join(golden_dir, name)
        if not os.path.exists(path):
            problems.append(f"{path}: missing")
            continue
        with open(path, encoding="utf-8") as f:
            base = json.load(f)
        for what, change in changes.items():
            doc = json.loads(json.dumps(base))
            change(doc["pages"][0])
            if not errors_of(schemas, doc, what):
                problems.append(f"schema check: {what} still validates")
    return problems


def normalised(doc, work):
    """The document with what changes from run to run (time, paths) fixed."""
    text = json.dumps(doc, indent=2, ensure_ascii=False).replace(work, "/WORK")
    doc = json.loads(text)
    manifest = doc.get("manifest")
    if isinstance(manifest, dict) and "time" in manifest:
        manifest["time"] = "2026-01-01 00:00:00 UTC"
    return doc


def main(argv):
    if len(argv) not in (5, 6):
        print(__doc__, file=sys.stderr)
        return 2
    pages, sim, schema_dir, golden_dir = argv[1:5]
    regenerate = len(argv) == 6 and argv[5] == "--regenerate"
    schemas = load_schemas(schema_dir)
    problems = []
    checked = 0
    with tempfile.TemporaryDirectory(prefix="corvane-json-") as work:
        for name, text, code, expected in fresh_documents(pages, sim, work):
            checked += 1
            if code != expected:
                problems.append(f"fresh {name}: exit status {code}, expected {expected}")
            try:
                doc = strict_load(text, name)
            except ValueError as error:
                problems.append(f"fresh {name}: not one strict JSON document: {error}")
                continue
            problems += errors_of(schemas, doc, "fresh " + name)
            if doc.get("document") != "manifest" and doc.get("exit_status") != code:
                problems.append(f"fresh {name}: exit_status {doc.get('exit_status')} but the run ended {code}")
            if regenerate:
                os.makedirs(golden_dir, exist_ok=True)
                with open(os.path.join(golden_dir, name + ".json"), "w", encoding="utf-8") as f:
                    json.dump(normalised(doc, work), f, indent=2, ensure_ascii=False)
                    f.write("\n")
    golden = sorted(n for n in os.listdir(golden_dir) if n.endswith(".json")) if os.path.isdir(golden_dir) else []
    if not golden:
        problems.append(f"{golden_dir}: no golden files")
    for name in golden:
        with open(os.path.join(golden_dir, name), encoding="utf-8") as f:
            text = f.read()
        try:
            doc = strict_load(text, name)
        except ValueError as error:
            problems.append(f"golden {name}: {error}")
            continue
        version = doc.get("json_format_version", [None])
        if version[0] != CURRENT_MAJOR:
            continue  # another major version keeps its own schema
        checked += 1
        problems += errors_of(schemas, doc, "golden " + name)
    problems += schema_catches_breakage(schemas, golden_dir)
    for problem in problems:
        print(problem, file=sys.stderr)
    print(f"{checked} documents checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
