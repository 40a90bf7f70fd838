"""Unit tests of the expander modules' logic (no Ansible run, no device)."""
import os
import sys
import tempfile
import unittest

# The collection is imported as Ansible imports it: ansible_collections.corvane.expander.
_ROOT = tempfile.mkdtemp(prefix="corvane-collection-")
os.makedirs(os.path.join(_ROOT, "ansible_collections", "corvane"))
os.symlink(os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")),
           os.path.join(_ROOT, "ansible_collections", "corvane", "expander"))
sys.path.insert(0, _ROOT)

from ansible_collections.corvane.expander.plugins.module_utils import corvane  # noqa: E402
from ansible_collections.corvane.expander.plugins.modules import expander_firmware  # noqa: E402


def status(serial, designator, firmware="103", data="015"):
    return {
        "identity": {"serial": serial, "designator": {"value": designator} if designator else None},
        "firmware_images": [{"name": "image0", "version": firmware, "active": True},
                            {"name": "image1", "version": "102", "active": False}],
        "data_images": [{"name": "data0", "version": data, "active": True}],
    }


def check_doc(outcome, kind="firmware", reason="why", running="103"):
    return {"status": status("S1", "0x01", firmware=running), "image": {"kind": kind} if kind else None,
            "result": {"outcome": outcome, "reason": reason}, "messages": []}


class Commands(unittest.TestCase):
    def test_paths_and_prefix_come_from_the_environment(self):
        self.assertEqual(corvane.command("corvane", ["query", "/dev/sg1"], {}),
                         ["/usr/sbin/corvane", "query", "/dev/sg1"])
        self.assertEqual(corvane.command("corvane-pages", ["status"], {}), ["/usr/sbin/corvane-pages", "status"])
        env = {"CORVANE_BIN": "/opt/c", "CORVANE_PAGES_BIN": "/opt/p",
               "CORVANE_COMMAND_PREFIX": "expander-sim --state '/tmp/a b' --"}
        self.assertEqual(corvane.command("corvane", ["reset", "/dev/sg1"], env),
                         ["expander-sim", "--state", "/tmp/a b", "--", "/opt/c", "reset", "/dev/sg1"])
        self.assertEqual(corvane.command("corvane-pages", ["x"], env)[-2:], ["/opt/p", "x"])


class Facts(unittest.TestCase):
    def test_one_entry_per_expander_with_its_paths(self):
        statuses = [("/dev/sg0", status("S1", "0x01")), ("/dev/sg1", status("S2", "0x02", firmware="105")),
                    ("/dev/sg2", status("S1", "0x01")), ("/dev/sg3", status("S3", None)),
                    ("/dev/sg4", status("S3", None)), ("/dev/sg5", {"identity": {}})]
        expanders = corvane.group_expanders(statuses)
        self.assertEqual([e["paths"] for e in expanders],
                         [["/dev/sg0", "/dev/sg2"], ["/dev/sg1"], ["/dev/sg3", "/dev/sg4"], ["/dev/sg5"]])
        self.assertEqual([e["firmware_version"] for e in expanders[:3]], ["103", "105", "103"])
        self.assertEqual(expanders[2]["identity"], "serial:S3")
        self.assertIsNone(expanders[3]["identity"])

    def test_active_version_by_kind(self):
        s = status("S1", "0x01", firmware="104", data="016")
        self.assertEqual(corvane.active_version(s, "firmware"), "104")
        self.assertEqual(corvane.active_version(s, "configuration"), "016")
        self.assertIsNone(corvane.active_version({}, "firmware"))

    def test_reason_from_messages_or_standard_error(self):
        self.assertEqual(corvane.last_message({"messages": [{"text": "a"}, {"text": "b"}]}, "c"), "b")
        self.assertEqual(corvane.last_message(None, "x\ny\n\n"), "y")
        self.assertEqual(corvane.last_message({}, ""), "")
        self.assertIsNone(corvane.parse_document("not json"))
        self.assertIsNone(corvane.parse_document("[1]"))


class CheckVerdicts(unittest.TestCase):
    # (name, exit status, document, verdict, reason starts with)
    CASES = [
        ("would change", 0, check_doc("change"), "change", "why"),
        ("nothing to do", 2, check_doc("nothing_to_do"), "ok", "why"),
        ("refused", 3, check_doc("refused", kind=None, reason="empty"), "fail", "refused: empty"),
        ("no document", 1, None, "fail", "corvane-pages check exited 1"),
        ("usage error without document", 2, None, "fail", "corvane-pages check exited 2"),
        ("status 0 with a refusal inside", 0, check_doc("refused"), "fail", "corvane-pages check exited 0"),
        ("status 2 without nothing to do", 2, check_doc("change"), "fail", "corvane-pages check exited 2"),
        ("change without image kind", 0, check_doc("change", kind=None), "fail", "corvane-pages check exited 0"),
        ("other status", 7, check_doc("change"), "fail", "corvane-pages check exited 7"),
    ]

    def test_only_a_clear_answer_downloads_or_skips(self):
        for name, rc, doc, verdict, reason in self.CASES:
            with self.subTest(name):
                got = expander_firmware.judge_check(rc, doc, "stderr line")
                self.assertEqual(got[0], verdict)
                self.assertTrue(got[1].startswith(reason), got[1])

    def test_version_before_is_the_active_one_of_the_kind(self):
        self.assertEqual(expander_firmware.judge_check(0, check_doc("change", running="101"), "")[3], "101")
        self.assertEqual(expander_firmware.judge_check(0, check_doc("change", kind="configuration"), "")[3], "015")

    def test_reset_where_the_kind_needs_it(self):
        for kind, reset, wanted in [("configuration", "auto", True), ("firmware", "auto", False),
                                    ("firmware", "always", True), ("configuration", "never", False)]:
            with self.subTest(kind=kind, reset=reset):
                self.assertEqual(expander_firmware.needs_reset(kind, reset), wanted)


if __name__ == "__main__":
    unittest.main()
