# Running corvane and corvane-pages for the expander modules.
#
# The programs are /usr/sbin/corvane and /usr/sbin/corvane-pages unless the
# environment names others (CORVANE_BIN, CORVANE_PAGES_BIN); a command prefix
# in CORVANE_COMMAND_PREFIX (split as a shell would) goes before each of them,
# for a wrapper such as the simulated expander's launcher.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import os
import shlex

CHECK_CHANGE = 0
CHECK_NOTHING_TO_DO = 2
CHECK_REFUSED = 3
VERIFY_OK = 0
VERIFY_OTHER_VERSION = 4


def command(program, args, environ=None):
    """The argument vector that runs program ('corvane' or 'corvane-pages') with args."""
    environ = os.environ if environ is None else environ
    prefix = shlex.split(environ.get("CORVANE_COMMAND_PREFIX", ""))
    if program == "corvane":
        path = environ.get("CORVANE_BIN") or "/usr/sbin/corvane"
    else:
        path = environ.get("CORVANE_PAGES_BIN") or "/usr/sbin/corvane-pages"
    return prefix + [path] + list(args)


def run(module, program, args):
    """Runs the program: (exit status, standard output, standard error)."""
    return module.run_command(command(program, args), check_rc=False)


def parse_document(text):
    """The JSON document corvane-pages wrote, or None when there is none."""
    try:
        doc = json.loads(text)
    except ValueError:
        return None
    return doc if isinstance(doc, dict) else None


def last_message(doc, err):
    """The reason a run gives: its last message, else its last line on standard error."""
    if doc:
        messages = doc.get("messages") or []
        if messages:
            last = messages[-1]
            return last.get("text", str(last)) if isinstance(last, dict) else str(last)
    lines = [line for line in (err or "").splitlines() if line.strip()]
    return lines[-1] if lines else ""


def identity_key(status):
    """What tells one expander from another: its designator, else its serial number."""
    identity = (status or {}).get("identity") or {}
    designator = identity.get("designator") or {}
    if designator.get("value"):
        return "designator:" + designator["value"]
    if identity.get("serial"):
        return "serial:" + identity["serial"]
    return None


def active_version(status, kind):
    """The version of the active firmware ('firmware') or data ('configuration') image."""
    key = "firmware_images" if kind == "firmware" else "data_images"
    for image in (status or {}).get(key) or []:
        if image.get("active"):
            return image.get("version")
    return None


def group_expanders(statuses):
    """One entry per expander from (device, status) pairs, its paths in order."""
    expanders = []
    by_key = {}
    for device, status in statuses:
        key = identity_key(status)
        if key is not None and key in by_key:
            by_key[key]["paths"].append(device)
            continue
        identity = (status or {}).get("identity") or {}
        entry = {
            "identity": key,
            "serial": identity.get("serial"),
            "designator": (identity.get("designator") or {}).get("value"),
            "vendor": identity.get("vendor"),
            "product": identity.get("product"),
            "paths": [device],
            "firmware_images": (status or {}).get("firmware_images") or [],
            "data_images": (status or {}).get("data_images") or [],
            "firmware_version": active_version(status, "firmware"),
            "data_version": active_version(status, "configuration"),
        }
        expanders.append(entry)
        if key is not None:
            by_key[key] = entry
    return expanders


def enclosure_nodes(sysfs="/sys/class/scsi_generic"):
    """The SCSI generic nodes of enclosure services devices (SCSI type 13)."""
    nodes = []
    try:
        names = sorted(os.listdir(sysfs))
    except OSError:
        return nodes
    for name in names:
        try:
            with open(os.path.join(sysfs, name, "device", "type")) as f:
                if f.read().strip() == "13":
                    nodes.append("/dev/" + name)
        except OSError:
            continue
    return nodes


def read_status(module, device):
    """(status dict or None, reason) of one node, from corvane-pages status --json."""
    rc, out, err = run(module, "corvane-pages", ["status", "--json", device])
    doc = parse_document(out)
    if rc != 0 or doc is None or not isinstance(doc.get("status"), dict):
        return None, last_message(doc, err) or "corvane-pages status exited %d" % rc
    return doc["status"], ""
