#!/usr/bin/python
# Brings a SAS expander to a wanted firmware or data version with corvane:
# check, download, reset where needed, verify.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: expander_firmware
short_description: Bring a SAS expander to a wanted firmware or data version
version_added: "1.3.0"
description:
  - Runs C(corvane-pages check) on the image and the expander. When the
    expander runs O(version) already in the image's kind (the active firmware
    image for a firmware image, the active data image for a configuration
    image), nothing is sent and the task is C(ok).
  - Otherwise runs C(corvane download=IMAGE), then C(corvane reset) where the
    kind needs it (a configuration image takes effect only at a reset), then
    C(corvane-pages verify) until the expander runs O(version).
  - Reports C(changed) only when it downloaded. Fails with the reason on any
    refusal of the check, a failed download or reset, and a failed
    verification (the expander answers with another version, or does not
    answer within O(verify_timeout)).
  - The programs are C(/usr/sbin/corvane) and C(/usr/sbin/corvane-pages)
    unless the environment names others in E(CORVANE_BIN) and
    E(CORVANE_PAGES_BIN); E(CORVANE_COMMAND_PREFIX) is a command put before
    each (for example the simulated expander's launcher).
options:
  device:
    description:
      - The SCSI generic node of the expander.
      - Either O(device) or O(serial) is required.
    type: str
  serial:
    description:
      - The expander's unit serial number; the first node of O(devices) that
        reaches it is used.
    type: str
  devices:
    description:
      - Nodes searched for O(serial); when empty, every enclosure services
        node under C(/sys/class/scsi_generic).
    type: list
    elements: str
    default: []
  image:
    description:
      - The firmware or configuration image on the managed host.
    type: path
    required: true
  version:
    description:
      - The version the expander runs afterwards, three characters as the
        firmware status page carries them (for example V(105)).
    type: str
    required: true
  reset:
    description:
      - V(auto) resets after a configuration image only; V(always) also after
        a firmware image; V(never) leaves the reset to the operator (a
        configuration image then cannot be verified).
    type: str
    choices: [auto, always, never]
    default: auto
  verify_timeout:
    description:
      - Seconds to wait for the expander to answer with O(version) after the
        download (0 to 3600).
    type: int
    default: 120
author:
  - corvane developers
notes:
  - Supports check mode (only the read-only check runs; nothing is sent to
    the expander) and diff mode (the version before and after).
requirements:
  - corvane and corvane-pages installed on the managed host
"""

EXAMPLES = r"""
- name: Firmware 105 on the expander at /dev/sg3
  corvane.expander.expander_firmware:
    device: /dev/sg3
    image: /srv/firmware/expander-105.bin
    version: "105"

- name: Configuration 016 on the expander with this serial number
  corvane.expander.expander_firmware:
    serial: "500605B00ABC1234"
    image: /srv/firmware/config-016.bin
    version: "016"
    verify_timeout: 300
"""

RETURN = r"""
device:
  description: The node used.
  returned: always
  type: str
kind:
  description: V(firmware) or V(configuration), by the image's signature.
  returned: when the check read the image
  type: str
before:
  description: The version the expander ran in the image's kind before.
  returned: when the check read the expander
  type: str
after:
  description: The version it runs afterwards (in check mode, the one it would run).
  returned: when the check read the expander
  type: str
check:
  description: The check's result (outcome and reason).
  returned: when the check ran
  type: dict
verify:
  description: The verification's summary line.
  returned: when the expander was changed
  type: str
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.corvane.expander.plugins.module_utils.corvane import (
    CHECK_CHANGE,
    CHECK_NOTHING_TO_DO,
    CHECK_REFUSED,
    VERIFY_OK,
    active_version,
    enclosure_nodes,
    last_message,
    parse_document,
    read_status,
    run,
)


def judge_check(rc, doc, err):
    """What the check says: ('change' | 'ok' | 'fail', reason, kind, running version)."""
    result = (doc or {}).get("result") or {}
    image = (doc or {}).get("image") or {}
    kind = image.get("kind")
    before = active_version((doc or {}).get("status"), kind) if kind else None
    reason = result.get("reason") or last_message(doc, err)
    if doc is None:
        return "fail", "corvane-pages check exited %d: %s" % (rc, last_message(None, err)), kind, before
    if rc == CHECK_NOTHING_TO_DO and result.get("outcome") == "nothing_to_do":
        return "ok", reason, kind, before
    if rc == CHECK_CHANGE and result.get("outcome") == "change" and kind:
        return "change", reason, kind, before
    if rc == CHECK_REFUSED:
        return "fail", "refused: " + reason, kind, before
    return "fail", "corvane-pages check exited %d: %s" % (rc, reason), kind, before


def needs_reset(kind, reset):
    return reset == "always" or (reset == "auto" and kind == "configuration")


def find_device(module, serial, devices):
    for device in devices or enclosure_nodes():
        status, dummy = read_status(module, device)
        if status and (status.get("identity") or {}).get("serial") == serial:
            return device
    return None


def main():
    module = AnsibleModule(
        argument_spec=dict(
            device=dict(type="str"),
            serial=dict(type="str"),
            devices=dict(type="list", elements="str", default=[]),
            image=dict(type="path", required=True),
            version=dict(type="str", required=True),
            reset=dict(type="str", choices=["auto", "always", "never"], default="auto"),
            verify_timeout=dict(type="int", default=120),
        ),
        required_one_of=[["device", "serial"]],
        mutually_exclusive=[["device", "serial"]],
        supports_check_mode=True,
    )
    p = module.params
    if len(p["version"]) != 3:
        module.fail_json(msg="version must be three characters, as the firmware status page carries them")
    if not 0 <= p["verify_timeout"] <= 3600:
        module.fail_json(msg="verify_timeout must be 0 to 3600 seconds")
    device = p["device"] or find_device(module, p["serial"], p["devices"])
    if device is None:
        module.fail_json(msg="no node reaches an expander with serial number %s" % p["serial"])

    rc, out, err = run(module, "corvane-pages", ["check", "--json", "--expect", p["version"], p["image"], device])
    doc = parse_document(out)
    verdict, reason, kind, before = judge_check(rc, doc, err)
    result = dict(changed=False, device=device, kind=kind, before=before, after=before,
                  check=(doc or {}).get("result"))
    if verdict == "fail":
        module.fail_json(msg="%s: %s" % (device, reason), **result)
    if verdict == "ok":
        module.exit_json(msg=reason, **result)

    label = "firmware" if kind == "firmware" else "data"
    result.update(changed=True, after=p["version"])
    if module._diff:
        result["diff"] = dict(before="%s %s: %s\n" % (device, label, before),
                              after="%s %s: %s\n" % (device, label, p["version"]))
    if module.check_mode:
        module.exit_json(msg="would download %s: %s" % (p["image"], reason), **result)

    rc, out, err = run(module, "corvane", ["download=" + p["image"], device])
    if rc != 0:
        result["after"] = None
        module.fail_json(msg="%s: download failed (exit %d): %s" % (device, rc, (err or out).strip()[-500:]),
                         stdout=out, stderr=err, **result)
    if needs_reset(kind, p["reset"]):
        rc, out, err = run(module, "corvane", ["reset", device])
        if rc != 0:
            result["after"] = None
            module.fail_json(msg="%s: reset failed (exit %d): %s" % (device, rc, (err or out).strip()[-500:]),
                             stdout=out, stderr=err, **result)
    args = ["verify", "--json", "--expect", p["version"], "--timeout", str(p["verify_timeout"])]
    if kind == "configuration":
        args.append("--data")
    rc, out, err = run(module, "corvane-pages", args + [device])
    vdoc = parse_document(out) or {}
    summary = (vdoc.get("verify") or {}).get("summary") or last_message(vdoc, err)
    result["verify"] = summary
    if rc != VERIFY_OK:
        running = (vdoc.get("verify") or {}).get("running") or {}
        result["after"] = running.get("version")
        module.fail_json(msg="%s: verification failed: %s" % (device, summary), **result)
    module.exit_json(msg=summary, **result)


if __name__ == "__main__":
    main()
