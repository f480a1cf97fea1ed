"""A card pulled while the camera records on it and put back: the file it
was recording, a loop file and then an alarm file, is kept and listed, and
recording resumes. The run ends with SIGINT, exit status 0 and no sanitizer
report."""
import time
import unittest

from card_rig import TRIGGER_ACCEL, inspect_card, listed_names, name_time
from dashcam_board import board
from power_cut_case import START, PowerCutCase, started_name

PULLED_FOR_S = 3.0


class CardPullTest(PowerCutCase):
    def pull(self, after):
        """Takes the card out `after` seconds from now and puts it back;
        the name of the file recorded when it went, and the first file after."""
        time.sleep(after)
        _, recording = started_name(self.cam.lines(START)[-1][1])
        starts = len(self.cam.lines(START))
        mounts = len(self.cam.lines(r"^SD Card Mounted\."))
        board("card", self.b.dir, "remove")
        self.assertIsNotNone(self.cam.wait_line(r"^SD Card Removed\.$", 1, 10), self.cam.stdout()[-3000:])
        time.sleep(PULLED_FOR_S)
        board("card", self.b.dir, "insert")
        self.assertIsNotNone(self.cam.wait_line(r"^SD Card Mounted\.", mounts + 1, 20), self.cam.stdout()[-3000:])
        resumed = self.cam.wait_line(START, starts + 1, 30)
        self.assertIsNotNone(resumed, self.cam.stdout()[-3000:])
        return recording, started_name(resumed[1])[1]

    def test_pulled_mid_file_and_put_back(self):
        self.launch()
        self.first_file()
        loop, loop_next = self.pull(6.0)
        self.alarm()
        self.alarm_file()
        alarm, alarm_next = self.pull(4.0)
        time.sleep(2.0)
        docs = self.cam.lists()
        recording = started_name(self.cam.lines(START)[-1][1])[1]
        self.stop_camera()

        listed = listed_names(docs)
        found = inspect_card(self.b.dir)
        self.assertIsNone(found.get("error"), found)
        for folder, name, resumed in (("100video", loop, loop_next), ("101video", alarm, alarm_next)):
            with self.subTest(pulled=name):
                kept = [n for n in listed.get(folder, {}) if name_time(n) == name_time(name)]
                self.assertEqual(len(kept), 1, (name, sorted(listed.get(folder, {}))))
                info = found.get(folder + "/" + kept[0], {})
                self.assertTrue(info.get("probe_ok") and info.get("decode_ok"), info)
                # most of what was recorded before the pull is in it
                self.assertGreater(info.get("duration", 0.0), 2.0, info)
                self.assertGreater(name_time(resumed), name_time(name))
                if folder == "101video":
                    self.assertTrue(info.get("trigger", 0) & TRIGGER_ACCEL, info)
                    self.assertIn("A", listed[folder][kept[0]]["trigger"])
        self.check_media(dict(found), docs, [recording])


if __name__ == "__main__":
    unittest.main()
