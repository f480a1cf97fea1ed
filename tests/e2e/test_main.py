"""The camera process end to end: start-up, the supervision loop driven
through the board's pins, the signals and the orderly shut-down."""
import configparser
import os
import signal
import struct
import time
import unittest
import wave

from dashcam_board import Camera, board, wait_until, BoardCase

GPIO_BASE = 0x20140000


def pin_level(board_dir, pin):
    """A pin's level read straight from the register file (no subprocess)."""
    group, bit = divmod(pin, 10)
    addr = GPIO_BASE + group * 0x10000 + (1 << (bit + 2))
    with open(os.path.join(board_dir, "dev", "mem"), "rb") as f:
        f.seek(addr)
        return (struct.unpack("<I", f.read(4))[0] >> bit) & 1


def read_ini(path):
    cp = configparser.ConfigParser()
    with open(path) as f:
        cp.read_file(f)
    return cp


class CameraRunTest(BoardCase):
    def reboots(self):
        # The card's mount commands share the log; only the reboots matter here.
        return [c for c in self.b.commands() if c.split()[0] == "reboot"]

    def start(self):
        self.cam = Camera(self.b.dir)
        self.assertTrue(self.cam.wait_for("Main Loop...\n"), self.cam.stdout() + self.cam.stderr())
        return self.cam

    def prompts(self):
        return board("prompts", self.b.dir).stdout.splitlines()

    def count(self, text):
        return self.cam.stdout().count(text)

    def assert_clean_exit(self, status):
        out, err = self.cam.stdout(), self.cam.stderr()
        self.assertEqual(status, 0, out + err)
        for bad in ("AddressSanitizer", "LeakSanitizer", "runtime error", "UndefinedBehaviorSanitizer"):
            self.assertNotIn(bad, err)
        lines = out.splitlines()
        # the shut-down lines, in order, and nothing after "Exiting..."
        for a, b in (("Quiting system...", "Begin Clean Up..."), ("Begin Clean Up...", "Exiting...")):
            self.assertLess(lines.index(a), lines.index(b))
        self.assertEqual(lines[-1], "Exiting...")

    def test_power_line_loss_and_return(self):
        cam = self.start()
        self.assertTrue(wait_until(lambda: self.count("\nSYSTEM POWER RESUME...\n") == 1))
        time.sleep(0.3)
        self.assertEqual(self.prompts(), [])          # boot resume is silent

        self.b.gpio(0, 1)
        self.assertTrue(wait_until(lambda: self.count("\nSYSTEM POWER DOWN...\n") == 1))
        self.assertTrue(wait_until(lambda: self.prompts() == ["PCM 11"]))
        time.sleep(0.3)                               # still down: nothing more
        self.assertEqual(self.count("\nSYSTEM POWER DOWN...\n"), 1)

        self.b.gpio(0, 0)
        self.assertTrue(wait_until(lambda: self.count("\nSYSTEM POWER RESUME...\n") == 2))
        self.assertTrue(wait_until(lambda: self.prompts() == ["PCM 11", "PCM 10"]))
        self.assert_clean_exit(cam.stop())

    def test_power_loss_prompt_switches_the_speaker_amplifier(self):
        # a 2 s recording: time enough to see the amplifier on
        with wave.open(os.path.join(self.b.dir, "pcmsource", "en", "off.wav"), "wb") as w:
            w.setnchannels(1)
            w.setsampwidth(2)
            w.setframerate(8000)
            w.writeframes(struct.pack("<16000h", *([1000, -1000] * 8000)))
        cam = self.start()
        self.assertTrue(wait_until(lambda: self.count("\nSYSTEM POWER RESUME...\n") == 1))
        self.assertEqual(pin_level(self.b.dir, 1), 0)
        self.b.gpio(0, 1)
        # the "off" recording of the board plays with the amplifier on, then it goes off
        self.assertTrue(wait_until(lambda: pin_level(self.b.dir, 1) == 1, step=0.002))
        self.assertTrue(wait_until(lambda: pin_level(self.b.dir, 1) == 0, step=0.002))
        self.assertEqual(self.prompts(), ["PCM 11"])
        self.assert_clean_exit(cam.stop())

    def test_reset_key_short_press_cancels_long_press_resets(self):
        root = os.path.join(self.b.dir, "root")
        with open(os.path.join(root, "access_auth"), "w") as f:
            f.write("a0b1c2d3e4f5;")
        cam = self.start()
        ini = os.path.join(root, "system.ini")
        self.assertTrue(wait_until(lambda: os.path.exists(ini)))
        # the user's settings, changed the way a later start would find them
        text = open(ini).read().replace("volume=13", "volume=4").replace("language=1", "language=2")
        cam.stop()
        self.cam.close()
        with open(ini, "w") as f:
            f.write(text)
        self.assertEqual(read_ini(ini)["funcset"]["volume"], "4")

        cam = self.start()
        self.b.gpio(80, 0)                            # about 1.5 s: released in time
        time.sleep(1.5)
        self.b.gpio(80, 1)
        self.assertTrue(wait_until(lambda: "\nSYSTEM RESET Cancel...\n" in cam.stdout()))
        self.assertIsNone(cam.proc.poll())

        self.b.gpio(80, 0)                            # held 3.5 s: reset
        pressed = time.time()
        try:
            status = cam.proc.wait(10)
        finally:
            self.b.gpio(80, 1)
        self.assertGreater(time.time() - pressed, 2.5)
        self.assert_clean_exit(status)
        out = cam.stdout()
        self.assertIn("SYSTEM RESET.\n", out)
        self.assertEqual(self.reboots(), ["reboot"])
        self.assertFalse(os.path.exists(os.path.join(root, "access_auth")))
        self.assertIn("PCM 29", self.prompts())
        settings = read_ini(ini)
        self.assertEqual(settings["funcset"]["volume"], "13")
        self.assertEqual(settings["funcset"]["language"], "1")

    def test_update_signal_lights_both_leds_promptly(self):
        cam = self.start()
        self.assertTrue(wait_until(lambda: self.count("\nSYSTEM POWER RESUME...\n") == 1))
        self.assertEqual((pin_level(self.b.dir, 71), pin_level(self.b.dir, 67)), (0, 0))
        sent = time.time()
        cam.signal(signal.SIGUSR1)
        self.assertTrue(wait_until(lambda: pin_level(self.b.dir, 71) == 1 and pin_level(self.b.dir, 67) == 1,
                                   timeout=2.0, step=0.002))
        self.assertLess(time.time() - sent, 0.1)
        self.assertTrue(wait_until(lambda: "PCM 15" in self.prompts()))
        self.assertIn("\nsystem will restart for update\n", cam.stderr())
        time.sleep(0.2)
        self.assertIsNone(cam.proc.poll())            # the process carries on
        self.assert_clean_exit(cam.stop())

    def test_sigint_stops_and_cleans_up_in_order(self):
        cam = self.start()
        time.sleep(0.3)
        cam.signal(signal.SIGINT)
        status = cam.proc.wait(10)
        self.assert_clean_exit(status)
        self.assertIn("\nreceived signal 2\n", cam.stderr())
        lines = cam.stdout().splitlines()
        start = lines.index("BUILD DATE: [Jul 31 2017 15:08:32]")
        self.assertLess(start, lines.index("Main Loop..."))
        self.assertLess(lines.index("Main Loop..."), lines.index("Quiting system..."))
        # the settings store saved the file at clean-up
        self.assertEqual(read_ini(os.path.join(self.b.dir, "root", "system.ini"))["default"]["version"], "3")
        self.assertEqual(self.reboots(), [])

    VERSION_TEXT = "firmware_ver=1.07$bootargs=mem=64M$bootcmd=bootm 0x82000000$"

    def env(self):
        """The boot environment as the board's own reader (zlib.crc32) sees it."""
        lines = board("env", self.b.dir).stdout.splitlines()
        return [tuple(line.split("=", 1)) for line in lines]

    def test_version_file_goes_into_the_boot_environment(self):
        path = os.path.join(self.b.dir, "root", "version.txt")
        board("env", self.b.dir, "devmodel", "ZQ1")
        with open(path, "w") as f:
            f.write(self.VERSION_TEXT)
        cam = self.start()
        self.assert_clean_exit(cam.stop())
        out = cam.stdout()
        self.assertLess(out.index("first start write version\n"), out.index("write version ok!\n"))
        self.assertIn("ERASE 80000 40000 OK\n", out)
        self.assertFalse(os.path.exists(path))
        self.assertEqual(self.env(), [("devmodel", "ZQ1"), ("firmware_ver", "1.07"),
                                      ("bootargs", "mem=64M"), ("bootcmd", "bootm 0x82000000")])
        # the start-up row loads the block and shows the version
        self.assertIn("firmware_ver=1.07\n", out[out.index("write version ok!\n"):])

    def test_version_file_stays_when_the_flash_erase_fails(self):
        path = os.path.join(self.b.dir, "root", "version.txt")
        with open(path, "w") as f:
            f.write(self.VERSION_TEXT)
        board("mtd", self.b.dir, "erase-fail")
        cam = self.start()
        self.assert_clean_exit(cam.stop())
        out = cam.stdout()
        self.assertLess(out.index("first start write version\n"), out.index("write version fail!\n"))
        self.assertIn("MTD erase error on /dev/mtd0: ", out)
        self.assertIn("SAVEENV ERR\n", out)
        self.assertIn("Device Not Init...\n", out)  # erased flash
        self.assertTrue(os.path.exists(path))
        self.assertEqual(self.env(), [])

if __name__ == "__main__":
    unittest.main()
