"""A full loop file recorded from the camera's own sensor and microphone
(about three and a half minutes)."""
import glob
import json
import os
import time
import unittest

from capture_media import audio_tone, barcodes, decode_errors, first_frame_is_key, last_barcode, probe, stream
from dashcam_board import Camera, SANITIZER_MARKS, board, BoardCase

TONE_HZ = 1000


class LoopFileTest(BoardCase):
    def finished(self):
        return sorted(f for f in glob.glob(os.path.join(self.b.card, "DCIM", "100video", "*.MP4"))
                      if not os.path.basename(f).split("_")[1].startswith("0"))

    def test_first_loop_file(self):
        board("mic", self.b.dir, "tone", TONE_HZ)
        self.cam = Camera(self.b.dir)
        self.assertTrue(self.cam.wait_for("Main Loop...\n", timeout=60), self.cam.stdout() + self.cam.stderr())
        # the first file is packed after 180 s of video, then the next one starts
        end = time.time() + 330
        while time.time() < end and self.cam.stdout().count("STARTING RECORD") < 2:
            time.sleep(0.5)
        self.assertEqual(self.cam.stdout().count("STARTING RECORD"), 2, self.cam.stdout()[-3000:])
        time.sleep(3)
        with open(os.path.join(self.b.dir, "log", "media.json")) as f:
            media = json.load(f)
        status = self.cam.stop(timeout=60)
        out, err = self.cam.stdout(), self.cam.stderr()
        self.assertEqual(status, 0, out[-3000:] + err)
        for mark in SANITIZER_MARKS:
            self.assertNotIn(mark, err)
        files = self.finished()
        self.assertEqual(len(files), 2, files)
        first, second = files
        self.assertTrue(os.path.basename(first).endswith("_180.MP4"), first)
        info = probe(first)
        video = stream(info, "video")
        audio = stream(info, "audio")
        self.assertEqual((video["codec_name"], video["width"], video["height"]), ("h264", 1920, 1080))
        self.assertEqual(int(video["nb_frames"]), 5400)
        self.assertEqual(video["duration"], "180.000000")
        self.assertEqual((audio["codec_name"], int(audio["sample_rate"]), audio["channels"]), ("aac", 8000, 1))
        self.assertTrue(first_frame_is_key(first))
        self.assertEqual(decode_errors(first), "")
        rms, crossings = audio_tone(first)
        self.assertGreater(rms, 1000.0)                       # not silence
        self.assertAlmostEqual(crossings, 2 * TONE_HZ, delta=0.1 * 2 * TONE_HZ)
        # the next file goes on with the next picture
        self.assertEqual(barcodes(second, 1920, 1080, frames=1)[0], last_barcode(first, 1920, 1080) + 1)
        # every picture of the main stream was encoded (a starved host drops some)
        main = [v for v in media["venc"] if v["chn"] == 0][0]
        self.assertEqual(main["dropped"], 0, main)


if __name__ == "__main__":
    unittest.main()
