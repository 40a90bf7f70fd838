#!/usr/bin/python
# Facts about the SAS expanders of a host, from corvane-pages status --json.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: expander_facts
short_description: Gather facts about the SAS expanders of a host
version_added: "1.3.0"
description:
  - Reads every SAS expander of the host with C(corvane-pages status --json)
    (INQUIRY, vital product data pages 0x80 and 0x83 and the firmware status
    page 0x82; nothing is sent that changes an expander).
  - Reports one entry per expander however many paths (SCSI generic nodes)
    reach it, the paths grouped by the expander's designator, else its serial
    number.
  - The programs are C(/usr/sbin/corvane-pages) unless the environment names
    another in E(CORVANE_PAGES_BIN); E(CORVANE_COMMAND_PREFIX) is a command
    put before it (for example the simulated expander's launcher).
options:
  devices:
    description:
      - The SCSI generic nodes to read.
      - When empty, every node of an enclosure services device (SCSI type 13)
        under C(/sys/class/scsi_generic).
    type: list
    elements: str
    default: []
author:
  - corvane developers
notes:
  - Supports check mode; it only reads.
requirements:
  - corvane (corvane-pages) installed on the managed host
"""

EXAMPLES = r"""
- name: Gather the expanders of the host
  corvane.expander.expander_facts:

- name: Read two nodes that may reach one expander
  corvane.expander.expander_facts:
    devices:
      - /dev/sg3
      - /dev/sg7

- name: Show what each expander runs
  ansible.builtin.debug:
    msg: "{{ item.serial }}: firmware {{ item.firmware_version }} via {{ item.paths | join(', ') }}"
  loop: "{{ ansible_facts.expanders }}"
"""

RETURN = r"""
ansible_facts:
  description: Facts added to the host.
  returned: always
  type: dict
  contains:
    expanders:
      description: One entry per expander.
      type: list
      elements: dict
      contains:
        identity:
          description: C(designator:VALUE) or C(serial:VALUE), what tells the expander apart.
          type: str
        serial:
          description: Unit serial number (VPD page 0x80).
          type: str
        designator:
          description: First designator of VPD page 0x83, in hex.
          type: str
        paths:
          description: The nodes that reach the expander.
          type: list
          elements: str
        firmware_version:
          description: Version of the active firmware image.
          type: str
        data_version:
          description: Version of the active data image.
          type: str
        firmware_images:
          description: Both firmware images as corvane-pages status reports them.
          type: list
          elements: dict
        data_images:
          description: The data images as corvane-pages status reports them.
          type: list
          elements: dict
unreadable:
  description: Nodes that could not be read, with the reason.
  returned: always
  type: list
  elements: dict
  sample: [{"device": "/dev/sg9", "reason": "/dev/sg9: cannot open: Permission denied"}]
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.corvane.expander.plugins.module_utils.corvane import (
    enclosure_nodes,
    group_expanders,
    read_status,
)


def main():
    module = AnsibleModule(
        argument_spec=dict(devices=dict(type="list", elements="str", default=[])),
        supports_check_mode=True,
    )
    devices = module.params["devices"] or enclosure_nodes()
    statuses = []
    unreadable = []
    for device in devices:
        status, reason = read_status(module, device)
        if status is None:
            unreadable.append({"device": device, "reason": reason})
        else:
            statuses.append((device, status))
    module.exit_json(
        changed=False,
        ansible_facts={"expanders": group_expanders(statuses)},
        unreadable=unreadable,
    )


if __name__ == "__main__":
    main()
