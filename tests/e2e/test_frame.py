"""The camera binary and the board tool, end to end."""
import os
import struct
import unittest

from dashcam_board import Board, Camera, board


class CameraStartTest(unittest.TestCase):
    def test_refuses_to_start_without_a_board(self):
        for root in (None, "", "/", "/nonexistent/board"):
            cam = Camera(root)
            try:
                self.assertEqual(cam.proc.wait(10), 1, root)
                self.assertIn("BOARD_ROOT", cam.stderr())
                self.assertNotIn("BUILD DATE", cam.stdout())
            finally:
                cam.close()

    def test_runs_until_sigint_and_exits_cleanly(self):
        b = Board()
        cam = Camera(b.dir)
        try:
            self.assertTrue(cam.wait_for("Main Loop...\n"))
            self.assertTrue(cam.stdout().startswith("BUILD DATE: [Jul 31 2017 15:08:32]\n"))
            self.assertEqual(cam.stop(), 0)
            self.assertIn("Exiting...", cam.stdout())
            self.assertNotIn("ERROR: AddressSanitizer", cam.stderr())
            self.assertNotIn("runtime error", cam.stderr())
        finally:
            cam.close()
            b.close()


class BoardToolTest(unittest.TestCase):
    def setUp(self):
        self.b = Board()

    def tearDown(self):
        self.b.close()

    def test_fresh_board_has_idle_inputs(self):
        self.assertEqual(self.b.gpio(80), 1)   # reset key released
        self.assertEqual(self.b.gpio(0), 0)    # power present
        self.assertEqual(self.b.commands(), [])

    def test_pin_levels_are_the_masked_register_words(self):
        # pin n: group n//10, bit n%10, word at base + group*0x10000 + (1 << (bit+2))
        cases = [(0, 0x20140004, 0), (1, 0x20140008, 1), (67, 0x201A0200, 7),
                 (71, 0x201B0008, 1), (80, 0x201C0004, 0), (87, 0x201C0200, 7)]
        mem = os.path.join(self.b.dir, "dev", "mem")
        for pin, addr, bit in cases:
            for level in (1, 0, 1):
                self.b.gpio(pin, level)
                with open(mem, "rb") as f:
                    f.seek(addr)
                    word = struct.unpack("<I", f.read(4))[0]
                self.assertEqual(word, level << bit, (pin, level))
                self.assertEqual(self.b.gpio(pin), level)

    def test_invalid_pins_are_refused(self):
        for pin in (-1, 8, 9, 88, 90):
            self.assertNotEqual(board("gpio", self.b.dir, pin, check=False).returncode, 0, pin)

    def test_register_words(self):
        board("reg", self.b.dir, "0x10020050", "0x1")
        self.assertEqual(board("reg", self.b.dir, "0x10020050").stdout.strip(), "0x00000001")

    def test_not_a_board_folder(self):
        r = board("gpio", "/nonexistent/x", 0, check=False)
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("not a board folder", r.stderr)


if __name__ == "__main__":
    unittest.main()
