"""The card's factory marker files in the real camera: the model check and
burn-in prompts of the supervision loop."""
import os
import unittest

from app_channel import private_network
from dashcam_board import Camera, board, SANITIZER_MARKS, BoardCase, wait_until

IN_NAMESPACE = os.geteuid() == 0 and private_network()


@unittest.skipUnless(IN_NAMESPACE, "needs a network namespace of its own (root)")
class FactoryMarkersTest(BoardCase):
    def prompts(self):
        return board("prompts", self.b.dir).stdout.splitlines()

    def test_model_check_and_burn_in_prompts(self):
        ft = os.path.join(self.b.card, "tavika-ft")
        os.makedirs(ft, exist_ok=True)
        open(os.path.join(ft, ".checkmodelcfg"), "w").close()
        with open(os.path.join(ft, ".testcfg"), "w") as f:
            f.write("burnintest=Y\r\n")
        self.cam = Camera(self.b.dir, netns=False)  # this process has its own namespace already
        self.assertTrue(self.cam.wait_for("Main Loop...\n", 30), self.cam.stderr())
        self.assertTrue(self.cam.wait_for("BURN IN TEST MODE[Y]\n", 30), self.cam.stdout())
        # the model check every 100 cycles, burn-in every 500 on an untested device
        self.assertTrue(wait_until(lambda: self.prompts().count("PCM 17") >= 2, 40), self.prompts())
        self.assertTrue(wait_until(lambda: "PCM 16" in self.prompts(), 60), self.prompts())

        # without the card burn-in is off, the model check goes on
        off = self.cam.stdout().count("BURN IN TEST MODE[N]\n")
        board("card", self.b.dir, "remove")
        self.assertTrue(wait_until(lambda: self.cam.stdout().count("BURN IN TEST MODE[N]\n") > off, 30),
                        self.cam.stdout())
        seen = self.prompts().count("PCM 17")
        self.assertTrue(wait_until(lambda: self.prompts().count("PCM 17") > seen, 40), self.prompts())

        self.assertEqual(self.cam.stop(), 0, self.cam.stderr())
        for mark in SANITIZER_MARKS:
            self.assertNotIn(mark, self.cam.stderr())
        self.cam = None


if __name__ == "__main__":
    unittest.main()
