"""The camera records from its own simulated sensor: short runs ended by
SIGINT, whose shut-down packs the open file."""
import glob
import os
import re
import time
import unittest

from capture_media import decode_errors, first_frame_is_key, probe, stream
from dashcam_board import Camera, SANITIZER_MARKS, BoardCase


class CaptureRunTest(BoardCase):
    def run_camera(self, seconds):
        """Runs the camera until it has recorded for `seconds`, then SIGINT; its files."""
        self.cam = Camera(self.b.dir)
        self.assertTrue(self.cam.wait_for("Main Loop...\n", timeout=60), self.cam.stdout() + self.cam.stderr())
        self.assertTrue(self.cam.wait_for("STARTING RECORD", timeout=60), self.cam.stdout())
        time.sleep(seconds)
        status = self.cam.stop(timeout=60)
        out, err = self.cam.stdout(), self.cam.stderr()
        self.assertEqual(status, 0, out + err)
        for mark in SANITIZER_MARKS:
            self.assertNotIn(mark, err)
        self.assertIn("CAVCapture Thread Quiting...", out)
        self.assertEqual(out.splitlines()[-1], "Exiting...")
        return sorted(glob.glob(os.path.join(self.b.card, "DCIM", "100video", "*.MP4")))

    def set_setting(self, key, value):
        """Writes one funcset key into the settings file the first run made."""
        path = os.path.join(self.b.dir, "root", "system.ini")
        with open(path) as f:
            text = f.read()
        text, n = re.subn(r"(?m)^%s=.*$" % re.escape(key), "%s=%d" % (key, value), text)
        self.assertEqual(n, 1)
        with open(path, "w") as f:
            f.write(text)

    def first_run(self):
        """A run that only creates the settings file."""
        cam = Camera(self.b.dir)
        self.assertTrue(cam.wait_for("Main Loop...\n", timeout=60), cam.stdout() + cam.stderr())
        self.assertEqual(cam.stop(timeout=60), 0)
        cam.close()
        for f in glob.glob(os.path.join(self.b.card, "DCIM", "*", "*")):
            os.remove(f)

    def test_720p_setting_records_720p(self):
        self.first_run()
        self.set_setting("res_mode", 0)
        files = self.run_camera(4)
        self.assertEqual(len(files), 1, files)
        self.assertRegex(os.path.basename(files[0]), r"^\d{14}_\d+_720p\.MP4$")
        info = probe(files[0])
        video = stream(info, "video")
        self.assertEqual((video["codec_name"], video["width"], video["height"]), ("h264", 1280, 720))
        self.assertTrue(first_frame_is_key(files[0]))
        self.assertEqual(decode_errors(files[0]), "")
        self.assertIn("=========PIC_HD720============", self.cam.stdout())

    def test_imx_straps_record(self):
        self.b.gpio(73, 1)
        files = self.run_camera(4)
        self.assertEqual(len(files), 1, files)
        self.assertNotIn("_720p", files[0])
        info = probe(files[0])
        video = stream(info, "video")
        self.assertEqual((video["codec_name"], video["width"], video["height"]), ("h264", 1920, 1080))
        audio = stream(info, "audio")
        self.assertEqual((audio["codec_name"], int(audio["sample_rate"]), audio["channels"]), ("aac", 8000, 1))
        self.assertEqual(decode_errors(files[0]), "")
        # a board without a GPS receiver's port says so; nothing else fails
        errors = [l for l in self.cam.stderr().splitlines()
                  if "Error[" in l and "Open Serial[/dev/ttyAMA1]" not in l]
        self.assertEqual(errors, [], self.cam.stderr())


if __name__ == "__main__":
    unittest.main()
