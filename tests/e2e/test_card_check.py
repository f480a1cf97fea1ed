"""A card left dirty is checked with e2fsck -p before the camera mounts it;
a clean card is mounted without a check; one the check cannot repair is not
used."""
import os
import unittest

from card_rig import fs_state, inspect_card, set_fs_state
from dashcam_board import board
from power_cut_case import PowerCutCase


class CardCheckTest(PowerCutCase):
    def checks(self):
        return [c for c in self.b.commands() if c.startswith("e2fsck ")]

    def node(self):
        return os.path.join(self.b.dir, "dev", "mmcblk0p1")

    def run_camera(self, record=True):
        self.launch()
        self.assertTrue(self.cam.wait_for("Main Loop...\n", 60), self.cam.stdout() + self.cam.stderr())
        if record:
            self.first_file()

    def test_dirty_card_is_checked_once_and_records(self):
        # a clean card: no check
        self.run_camera()
        out, _ = self.stop_camera()
        self.assertNotIn("Not Cleanly Unmounted", out)
        self.assertEqual(self.checks(), [])
        self.assertEqual(fs_state(self.b.dir), 1)

        # left dirty: checked, then mounted and recorded on
        set_fs_state(self.b.dir, 0)
        self.run_camera()
        out, _ = self.stop_camera()
        self.assertIn("SD Card Not Cleanly Unmounted, Checking: e2fsck -p %s \n" % self.node(), out)
        self.assertRegex(out, r"SD Card Checked: (No Errors|Errors Repaired)\.\n")
        self.assertEqual(self.checks(), ["e2fsck -p " + self.node()])
        self.assertEqual(fs_state(self.b.dir), 1)
        found = inspect_card(self.b.dir)
        videos = [n for n in found if n.startswith("100video/")]
        self.assertEqual(len(videos), 2, found)
        for name in videos:
            with self.subTest(name=name):
                self.assertTrue(found[name]["probe_ok"] and found[name]["decode_ok"], found[name])

    def test_card_the_check_cannot_repair_is_not_used(self):
        set_fs_state(self.b.dir, 0)
        board("standin", self.b.dir, "e2fsck", 4)
        self.run_camera(record=False)
        self.assertTrue(self.cam.wait_for("SD Card Mount Error.\n", 30), self.cam.stdout()[-3000:])
        out, err = self.stop_camera()
        self.assertIn("Error[", err)
        self.assertIn("SD card check failed, the card is not mounted[status=1024]: e2fsck -p " + self.node(), err)
        self.assertNotIn("STARTING RECORD", out)
        self.assertEqual(self.checks(), ["e2fsck -p " + self.node()])
        self.assertEqual(fs_state(self.b.dir), 0)   # nothing was written to it
        self.assertEqual({n: v for n, v in inspect_card(self.b.dir).items() if n != "other"}, {})


if __name__ == "__main__":
    unittest.main()
