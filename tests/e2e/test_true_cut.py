"""A true cut of the power: the camera frozen (SIGSTOP) while it records, the
card image copied as it is on the card then (what had not reached it is
lost, as with the power), the camera killed, and the copy put in as the card
of the next start. The card is checked before it is mounted, and no video on
it or in its lists fails to decode. The run ends with SIGINT, exit status 0
and no sanitizer report."""
import os
import signal
import subprocess
import time
import unittest

from card_rig import card_image, fs_state, inspect_card
from power_cut_case import START, PowerCutCase, started_name


class TrueCutTest(PowerCutCase):
    def test_card_image_taken_while_frozen(self):
        # finished files first: a loop file cut by an alarm, the alarm file,
        # then the next loop file part way
        self.launch()
        self.first_file()
        self.alarm()
        began = self.alarm_file()
        self.assertIsNotNone(self.cam.wait_line(START, 3, 30), self.cam.stdout()[-3000:])
        time.sleep(max(0.0, began + 14.0 - time.time()))
        copy = card_image(self.b.dir) + ".cut"
        self.cam.kill_camera(signal.SIGSTOP)
        subprocess.run(["cp", "--sparse=always", card_image(self.b.dir), copy], check=True)
        self.cut_at(time.time(), "frozen", 0.0)
        os.replace(copy, card_image(self.b.dir))
        self.assertEqual(fs_state(self.b.dir) & 1, 0)    # mounted when the power went

        self.launch()
        checked = self.cam.wait_line(r"^SD Card Checked: |^SD Card Mount Error\.", 1, 90)
        self.assertIsNotNone(checked, self.cam.stdout()[-3000:])
        self.assertIn("SD Card Not Cleanly Unmounted, Checking: e2fsck -p ", self.cam.stdout())
        self.assertNotIn("Mount Error", checked[1], self.cam.stdout()[-3000:])
        self.first_file()
        time.sleep(1.0)
        docs = self.cam.lists()
        recording = started_name(self.cam.lines(START)[-1][1])[1]
        self.stop_camera()
        self.assertEqual([c for c in self.b.commands() if c.startswith("e2fsck ")],
                         ["e2fsck -p " + os.path.join(self.b.dir, "dev", "mmcblk0p1")])

        found = inspect_card(self.b.dir)
        self.assertIsNone(found.get("error"), found)
        before = ["%s/%s" % f for _, f in self.runs[0]["starts"]]
        self.report("recorded before the cut: %s; on the card after it:" % ", ".join(before),
                    ["%s %.1f s" % (n, v.get("duration", 0.0)) for n, v in sorted(found.items()) if n != "other"])
        self.check_media(dict(found), docs, [recording])


if __name__ == "__main__":
    unittest.main()
