"""The recording camera killed without warning (SIGKILL: the power gone with
no hold-up) at 21 moments on a real card and restarted on it each time:
around file changes, during alarm files, and in plain loop recording. Then
every video on the card and in the lists plays, each cut lost at most the
last moments before it, and every alarm file cut off is kept with its
trigger. The last run ends with SIGINT, exit status 0 and no sanitizer report."""
import unittest

from card_rig import inspect_card
from power_cut_case import PowerCutCase

# (what the delay counts from, seconds): "launch" the camera's start, "loop"
# its first file, "alarm" the accelerometer alarm (the loop file is cut at
# the next key frame, within a second), "alarm file" the alarm file's first
# picture (it ends 10 s later, with the next loop file).
MOMENTS = [
    ("launch", 5.0),
    ("loop", 0.3), ("loop", 2.0), ("loop", 4.5), ("loop", 7.0), ("loop", 10.0),
    ("alarm", 0.0), ("alarm", 0.3), ("alarm", 0.6), ("alarm", 0.9),
    ("alarm file", 0.2), ("alarm file", 0.5), ("alarm file", 0.9),
    ("alarm file", 3.0), ("alarm file", 6.0),
    ("alarm file", 9.2), ("alarm file", 9.7),
    ("alarm file", 10.2), ("alarm file", 10.5), ("alarm file", 10.9), ("alarm file", 12.0),
]


class PowerCutTest(PowerCutCase):
    def cut_off(self, kind, delay):
        cam = self.launch()
        if kind == "launch":
            return self.cut_at(cam.launched + delay, kind, delay)
        first = self.first_file()
        if kind == "loop":
            return self.cut_at(first + delay, kind, delay)
        alarm = self.alarm()
        if kind == "alarm":
            return self.cut_at(alarm + delay, kind, delay)
        return self.cut_at(self.alarm_file() + delay, kind, delay)

    def near_changes(self):
        """How many cuts fell within 1 s before a file change, within 1 s
        after one, and inside an alarm file."""
        before = after = during = 0
        for run in self.runs:
            changes = [t for t, _ in run["starts"][1:]]
            alarm_files = [t for t, (folder, _) in run["starts"] if folder == "101video"]
            k = run["killed"]
            if changes and 0 < k - changes[-1] <= 1.0:
                after += 1
            if run["alarms"] and not alarm_files and k - run["alarms"][-1] < 1.0:
                before += 1     # the loop file is cut at the key frame that comes within the second
            if alarm_files and changes[-1] == alarm_files[-1]:
                during += 1
                if 9.0 <= k - alarm_files[-1] < 10.0:
                    before += 1  # the alarm file ends 10 s after it began
        return before, after, during

    def test_killed_at_many_moments(self):
        for kind, delay in MOMENTS:
            self.cut_off(kind, delay)
        docs, final_starts = self.final_run()
        found = inspect_card(self.b.dir)
        self.assertIsNone(found.get("error"), found)

        before, after, during = self.near_changes()
        self.report("cuts: %d; within 1 s before a change %d, within 1 s after %d, in an alarm file %d"
                    % (len(self.runs), before, after, during), [])
        self.assertGreaterEqual(len(self.runs), 20)
        self.assertGreaterEqual(before, 3)
        self.assertGreaterEqual(after, 3)
        self.assertGreaterEqual(during, 3)

        self.check_media(dict(found), docs, final_starts)
        self.check_alarms_cut(found, docs)
        self.check_losses(found)


if __name__ == "__main__":
    unittest.main()
