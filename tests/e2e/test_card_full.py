"""The camera on a card smaller than the free-space floor: recording stops at
the first free-space pass, and the card check of the supervision loop asks
the driver to check the card."""
import sys
import unittest

from dashcam_board import BOARD_TOOL, CARD_RIG, DASHCAM, SANITIZER_MARKS, Board, Camera, board, wait_until


@unittest.skipUnless(CARD_RIG, "the card rig needs root and loop devices")
class CardTooSmallTest(unittest.TestCase):
    def setUp(self):
        self.b = Board(card_mb=448)
        self.cam = None

    def tearDown(self):
        if self.cam is not None:
            self.cam.close()
        self.b.close()

    def prompts(self):
        return board("prompts", self.b.dir).stdout.splitlines()

    def test_no_room_to_record_gives_the_card_check_prompt(self):
        self.cam = Camera(self.b.dir, command=[sys.executable, BOARD_TOOL, "card", self.b.dir, "attach", "--",
                                               DASHCAM])
        self.assertTrue(self.cam.wait_for("Main Loop...\n", timeout=60), self.cam.stdout() + self.cam.stderr())
        self.assertIn("SD Card Mounted.Block Size:4096 Byte\n", self.cam.stdout())
        self.assertTrue(wait_until(lambda: "NOT ANY COMMON RECORD FILE TO DELETE..." in self.cam.stderr(), 30),
                        self.cam.stdout()[-2000:] + self.cam.stderr())
        self.assertEqual(self.prompts(), [])
        # the card check runs once a minute (every 1200 cycles of 50 ms)
        self.assertTrue(wait_until(lambda: "PCM 12" in self.prompts(), 120), self.prompts())
        self.assertEqual(self.prompts(), ["PCM 12"])
        status = self.cam.stop()
        out, err = self.cam.stdout(), self.cam.stderr()
        self.assertEqual(status, 0, out[-2000:] + err)
        for mark in SANITIZER_MARKS:
            self.assertNotIn(mark, err)
        self.assertEqual(out.splitlines()[-1], "Exiting...")


if __name__ == "__main__":
    unittest.main()
