"""The power-cut checks' runs of the camera on a real card and their readers."""
import os
import statistics
import sys
import time
import unittest

from card_rig import RigCamera, TRIGGER_ACCEL, listed_names, name_time, rig_unavailable, video_duration_part
from dashcam_board import SANITIZER_MARKS, Board, board

START = r"^STARTING RECORD \["
ALARM = r"^ACCELERATE ALARM$"
# What a cut may lose of what was recorded before it, and what the whole
# seconds of the file names add to that reading.
MAX_LOSS_S = 2.0
NAME_GRAIN_S = 1.0


def started_name(line):
    """The file name in a "STARTING RECORD [path]..." line, as (folder, name)."""
    path = line[line.index("[") + 1:line.rindex("]")]
    return os.path.basename(os.path.dirname(path)), os.path.basename(path)


class PowerCutCase(unittest.TestCase):
    def setUp(self):
        why = rig_unavailable()
        if why:
            self.skipTest(why)
        self.b = Board()
        self.cam = None
        self.runs = []    # one record a cut-off run

    def tearDown(self):
        if self.cam is not None:
            self.cam.close()
        self.b.close()

    def launch(self):
        self.cam = RigCamera(self.b.dir)
        return self.cam

    def first_file(self):
        found = self.cam.wait_line(START, 1, 90)
        self.assertIsNotNone(found, self.cam.stdout()[-3000:] + self.cam.stderr()[-2000:])
        return found[0]

    def alarm(self):
        """Shakes the board until the camera reports the alarm; its time."""
        before = len(self.cam.lines(ALARM))
        for _ in range(10):
            board("shake", self.b.dir)
            found = self.cam.wait_line(ALARM, before + 1, 3.0)
            if found is not None:
                return found[0]
        self.fail("no alarm: " + self.cam.stdout()[-3000:])

    def alarm_file(self):
        """The time the alarm file began (its STARTING RECORD line)."""
        for _ in range(300):
            for t, line in self.cam.lines(START):
                if started_name(line)[0] == "101video":
                    return t
            time.sleep(0.01)
        self.fail("no alarm file: " + self.cam.stdout()[-3000:])

    def cut_at(self, when, kind, delay):
        """Sleeps until `when`, then kills the camera; keeps the run's record."""
        time.sleep(max(0.0, when - time.time()))
        killed = self.cam.kill_camera()
        self.cam.wait_gone()
        err = self.cam.stderr()
        for mark in SANITIZER_MARKS:
            self.assertNotIn(mark, err)
        self.runs.append({
            "kind": kind, "delay": delay, "launched": self.cam.launched, "killed": killed,
            "starts": [(t, started_name(l)) for t, l in self.cam.lines(START)],
            "alarms": [t for t, _ in self.cam.lines(ALARM)],
        })
        self.cam.close()
        self.cam = None

    def final_run(self):
        """A last run on the card: the three lists once it records, then the
        SIGINT shut-down, exit status 0 and no sanitizer report."""
        self.launch()
        self.first_file()
        time.sleep(1.0)
        docs = self.cam.lists()
        starts = [started_name(l)[1] for _, l in self.cam.lines(START)]
        self.stop_camera()
        return docs, starts

    def stop_camera(self):
        """SIGINT: exit status 0 and no sanitizer report; the run's output
        and error text."""
        status = self.cam.stop(timeout=60)
        out, err = self.cam.stdout(), self.cam.stderr()
        self.assertEqual(status, 0, out[-2000:] + err[-2000:])
        for mark in SANITIZER_MARKS:
            self.assertNotIn(mark, err)
        self.cam.close()
        self.cam = None
        return out, err

    # ---- checks ----

    def check_media(self, found, docs, final_starts):
        """Every video and image on the card and in the lists reads and
        decodes; the lists hold finished files only, and every finished video."""
        errors = found.pop("error", None)
        self.assertIsNone(errors)
        found.pop("other", None)
        listed = listed_names(docs)
        for name, info in sorted(found.items()):
            with self.subTest(file=name):
                self.assertTrue(info["probe_ok"], info)
                self.assertTrue(info["decode_ok"], info)
        for folder, names in listed.items():
            for name in names:
                with self.subTest(listed=folder + "/" + name):
                    self.assertIn(folder + "/" + name, found)
                    if name.endswith(".MP4"):
                        self.assertGreater(video_duration_part(name), 0)
        final_times = {name_time(n) for n in final_starts}
        for name in found:
            folder, base = name.split("/")
            if base.endswith(".MP4") and name_time(base) not in final_times:
                with self.subTest(unlisted=name):
                    self.assertIn(base, listed.get(folder, {}))

    def spans(self, found):
        """(start, end) in UTC seconds of every video, by the names' start
        times and the files' durations, in order."""
        return sorted((name_time(n.split("/")[1]), name_time(n.split("/")[1]) + info.get("duration", 0.0))
                      for n, info in found.items() if n.endswith(".MP4"))

    def losses(self, spans):
        """Per cut: what was lost of the recording before it (seconds), the
        run's own restart time taken as the median of the runs that recorded."""
        restarts = []
        for run in self.runs:
            firsts = [s for s, _ in spans if run["launched"] <= s + NAME_GRAIN_S and s <= run["killed"]]
            if firsts:
                restarts.append(min(firsts) - run["launched"])
        restart = statistics.median(restarts) if restarts else 0.0
        out = []
        for run in self.runs:
            recorded = [min(e, run["killed"]) for s, e in spans if s <= run["killed"]]
            since = max(recorded + [run["launched"] + restart])
            out.append((run, run["killed"] - since))
        return restart, out

    def report(self, title, rows):
        sys.stderr.write("\n%s\n" % title)
        for row in rows:
            sys.stderr.write("  %s\n" % row)

    def check_alarms_cut(self, found, docs):
        """Every alarm file begun before a cut, whether it ended or not, is on
        the card with the accelerometer's trigger and listed with it."""
        listed = listed_names(docs).get("101video", {})
        on_card = {n.split("/")[1]: info for n, info in found.items() if n.startswith("101video/")}
        for run in self.runs:
            for _, (folder, name) in run["starts"]:
                if folder != "101video":
                    continue
                with self.subTest(alarm=name, kind=run["kind"], delay=run["delay"]):
                    at = name_time(name)
                    files = [n for n in on_card if name_time(n) == at]
                    self.assertEqual(len(files), 1, sorted(on_card))
                    self.assertTrue(on_card[files[0]].get("trigger", 0) & TRIGGER_ACCEL, on_card[files[0]])
                    self.assertIn(files[0], listed)
                    self.assertIn("A", listed[files[0]]["trigger"])

    def check_losses(self, found):
        restart, losses = self.losses(self.spans(found))
        self.report("restart (launch to first recorded picture): %.1f s; loss per cut:" % restart,
                    ["%-18s %5.1f s: lost %.1f s" % (r["kind"], r["delay"], lost) for r, lost in losses])
        for run, lost in losses:
            with self.subTest(kind=run["kind"], delay=run["delay"]):
                self.assertLessEqual(lost, MAX_LOSS_S + NAME_GRAIN_S)
