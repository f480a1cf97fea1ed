"""build/recfeed: recorded time through the engine onto a card folder, read
back with ffprobe and decoded with ffmpeg."""
import os
import shutil
import subprocess
import tempfile
import unittest

from dashcam_board import BINARY_DIR

RECFEED = os.path.join(BINARY_DIR, "recfeed")


def probe_frames(path):
    r = subprocess.run(["ffprobe", "-v", "error", "-count_packets", "-select_streams", "v:0",
                        "-show_entries", "stream=nb_read_packets,width,height", "-of", "csv=p=0", path],
                       capture_output=True, text=True, check=True)
    w, h, n = r.stdout.strip().split(",")
    return int(w), int(h), int(n)


def key_flags(path):
    r = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                        "packet=flags", "-of", "csv=p=0", path], capture_output=True, text=True, check=True)
    return ["K" in line for line in r.stdout.split()]


@unittest.skipUnless(os.path.exists(RECFEED) and shutil.which("ffprobe"), "recfeed or ffprobe missing")
class RecfeedTest(unittest.TestCase):
    def setUp(self):
        self.card = tempfile.mkdtemp(prefix="recfeed-card-")

    def tearDown(self):
        shutil.rmtree(self.card, ignore_errors=True)

    def files(self, sub):
        d = os.path.join(self.card, "DCIM", sub)
        return sorted(os.path.join(d, n) for n in os.listdir(d)) if os.path.isdir(d) else []

    def test_loop_and_alarm_files(self):
        r = subprocess.run([RECFEED, self.card, "40", "20"], capture_output=True, text=True, timeout=240)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertNotIn("AddressSanitizer", r.stderr)
        common, alarm = self.files("100video"), self.files("101video")
        self.assertEqual(len(common), 2)
        self.assertEqual(len(alarm), 1)
        # The alarm at second 20 cuts the loop file at the I-frame that leaves
        # the 6 s cache next (second 14); the alarm file holds 10 s.
        self.assertEqual([probe_frames(f) for f in common + alarm],
                         [(1920, 1080, 360), (1920, 1080, 480), (1920, 1080, 300)])
        self.assertTrue(os.path.basename(alarm[0]).startswith("20240105083014"))
        for f in common + alarm:
            flags = key_flags(f)
            self.assertEqual(flags, [i % 30 == 0 for i in range(len(flags))], f)
            d = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", f, "-f", "null", "-"],
                               capture_output=True, text=True)
            self.assertEqual(d.stderr, "", f)
        # Nothing but the videos on the card.
        self.assertEqual(sorted(os.listdir(os.path.join(self.card, "DCIM"))), ["100video", "101video"])

    def test_usage(self):
        r = subprocess.run([RECFEED], capture_output=True, text=True)
        self.assertEqual(r.returncode, 2)
        self.assertIn("usage", r.stderr)


if __name__ == "__main__":
    unittest.main()
