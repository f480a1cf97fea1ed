"""The motion sensor checks' camera runs and card readers."""
import glob
import os
import re
import struct
import time

from capture_media import decode_errors, probe, stream
from dashcam_board import SANITIZER_MARKS, Camera, board, netns_available, wait_until, BoardCase

STANDBY = ["2 0x90 0x0000 0x00", "2 0x98 0x0007 0x03"]
TRIGGER_GESTURE, TRIGGER_ACCEL = 2, 4


def skip_box(path):
    """The trigger mask and the (letter, index) records of an alarm file's skip box."""
    data = open(path, "rb").read()
    at, mask, records = 0, 0, []
    while at + 8 <= len(data):
        size, kind = struct.unpack_from(">I4s", data, at)
        header = 8
        if size == 1:
            (size,) = struct.unpack_from(">Q", data, at + 8)
            header = 16
        if size < header:
            break
        if kind == b"skip":
            c = at + 8
            while c + 8 <= at + size:
                csize, ckind = struct.unpack_from(">I4s", data, c)
                if ckind == b"altg":
                    (mask,) = struct.unpack_from(">I", data, c + 12)
                elif ckind == b"asct":
                    (count,) = struct.unpack_from(">I", data, c + 12)
                    for i in range(count):
                        r = c + 16 + 73 * i
                        records.append((chr(data[r]),) + struct.unpack_from(">Ii", data, r + 1))
                c += max(csize, 8)
        at += size
    return mask, records


class SensorsCase(BoardCase):
    def start(self, env=None, record=True):
        # The camera's servers listen on the device's ports: a namespace of its own where one can be made.
        self.cam = Camera(self.b.dir, env=env, netns=netns_available() == "")
        self.assertTrue(self.cam.wait_for("Main Loop...\n", 60), self.cam.stdout() + self.cam.stderr())
        if record:
            self.assertTrue(self.cam.wait_for("STARTING RECORD", 60), self.cam.stdout())

    def stop(self):
        status = self.cam.stop(timeout=60)
        err = self.cam.stderr()
        self.assertEqual(status, 0, self.cam.stdout()[-2000:] + err)
        for mark in SANITIZER_MARKS:
            self.assertNotIn(mark, err)
        self.assertIn("Clean Up I2c Dev Done...\n", self.cam.stdout())

    def first_run(self, **settings):
        """A run that creates the settings file, then the given funcset keys."""
        self.start(record=False)
        self.stop()
        self.cam.close()
        self.cam = None
        for f in glob.glob(os.path.join(self.b.card, "DCIM", "*", "*")):
            os.remove(f)
        path = os.path.join(self.b.dir, "root", "system.ini")
        text = open(path).read()
        for key, value in settings.items():
            text, n = re.subn(r"(?m)^%s=.*$" % re.escape(key), "%s=%d" % (key, value), text)
            self.assertEqual(n, 1, key)
        with open(path, "w") as f:
            f.write(text)

    def files(self, folder, pattern="*"):
        return sorted(os.path.basename(p) for p in glob.glob(os.path.join(self.b.card, "DCIM", folder, pattern)))

    def i2c_log(self):
        with open(os.path.join(self.b.dir, "log", "i2c.log")) as f:
            return [" ".join(l.split()[1:]) for l in f]

    def prompts(self):
        return board("prompts", self.b.dir).stdout.splitlines()

    def calibrated(self):
        self.assertTrue(self.cam.wait_for("IR SENSOR CORRECTION SUCCESS(", 30), self.cam.stdout())

    def shake_until_alarm(self, timeout=30.0):
        end = time.time() + timeout
        while time.time() < end:
            board("shake", self.b.dir)
            if self.cam.wait_for("ACCELERATE ALARM\n", 3.0):
                return True
        return False

    def check_alarm_video(self, trigger, letter):
        """The one alarm video: it plays, decodes cleanly, and its skip box
        holds the trigger and the alarm image."""
        videos = self.files("101video", "*.MP4")
        self.assertEqual(len(videos), 1, videos)
        path = os.path.join(self.b.card, "DCIM", "101video", videos[0])
        self.assertEqual(stream(probe(path), "video")["codec_name"], "h264")
        self.assertEqual(decode_errors(path), "")
        mask, records = skip_box(path)
        self.assertEqual(mask & trigger, trigger)
        images = self.files("104snap", letter + "*.JPG")
        self.assertTrue(images, self.files("104snap"))
        self.assertIn(letter, [r[0] for r in records])
