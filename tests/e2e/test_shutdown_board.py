"""The camera's shut-down over a card that holds finished recordings: the
scan at start-up indexes them, SIGINT ends the process cleanly and the card
keeps every file."""
import os
import shutil
import time
import unittest

from dashcam_board import RECFEED, SANITIZER_MARKS, Board, Camera, card_files, run_recfeed


@unittest.skipUnless(os.path.exists(RECFEED), "recfeed missing")
class ShutdownOverRecordingsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # One card of recordings for every run: loop files with titles and
        # archives, an alarm file with its title.
        cls.recorded = Board()
        r = run_recfeed(cls.recorded.card, 400, 200)
        if r.returncode != 0:
            cls.recorded.close()
            raise RuntimeError("recfeed failed: " + r.stderr)
        cls.files = card_files(cls.recorded.card)

    @classmethod
    def tearDownClass(cls):
        cls.recorded.close()

    def setUp(self):
        self.b = Board()
        shutil.rmtree(self.b.card, ignore_errors=True)
        # Linked, not copied: half a gigabyte of video per board otherwise.
        shutil.copytree(self.recorded.card, self.b.card, copy_function=os.link)
        self.cam = None

    def tearDown(self):
        if self.cam is not None:
            self.cam.close()
        self.b.close()

    def run_until_sigint(self, extra_wait=0.0):
        self.cam = Camera(self.b.dir)
        self.assertTrue(self.cam.wait_for("Main Loop...\n"), self.cam.stdout() + self.cam.stderr())
        out = self.cam.stdout()
        # The card callback, and the scan in it, ran before the loop started.
        self.assertLess(out.index("IN CRecord SD STATE CALLBACK...\n"), out.index("Main Loop...\n"))
        time.sleep(extra_wait)
        status = self.cam.stop()
        err = self.cam.stderr()
        self.assertEqual(status, 0, self.cam.stdout()[-2000:] + err)
        for mark in SANITIZER_MARKS:
            self.assertNotIn(mark, err)
        self.assertEqual(self.cam.stdout().splitlines()[-1], "Exiting...")

    def assert_keeps_every_file(self):
        """Every file of the card is still there as it was; the camera may
        have added its own recording meanwhile."""
        now = card_files(self.b.card)
        for path, size in self.files.items():
            self.assertEqual(now.get(path), size, path)
        added = sorted(set(now) - set(self.files))
        for path in added:
            self.assertIn(os.path.dirname(path), ("DCIM/100video", "DCIM/102thumb", "DCIM/103thumb"), added)

    def test_card_holds_what_the_check_needs(self):
        dirs = sorted({os.path.dirname(p) for p in self.files})
        self.assertEqual(dirs, ["DCIM/100video", "DCIM/101video", "DCIM/102thumb", "DCIM/103thumb", "DCIM/105thumb"])
        self.assertTrue(all(not os.path.basename(p).split(".")[0].endswith("_0") for p in self.files))

    def test_sigint_after_the_scan_exits_cleanly_and_keeps_every_file(self):
        self.run_until_sigint()
        self.assert_keeps_every_file()

    def test_second_run_over_the_same_card(self):
        # The card as the first run left it is scanned and shut down again.
        self.run_until_sigint(extra_wait=1.0)
        self.cam.close()
        self.run_until_sigint()
        self.assert_keeps_every_file()


if __name__ == "__main__":
    unittest.main()
