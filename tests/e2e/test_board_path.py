"""The camera on a board whose folder name holds blanks, quotes and shell
syntax: the card mounts and nothing is made outside the board."""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from dashcam_board import BOARD_TOOL, CARD_RIG, DASHCAM, Camera, board

SANITIZER_LINES = ("AddressSanitizer", "LeakSanitizer", "runtime error", "UndefinedBehaviorSanitizer")


def mount_fields(line):
    """A mount table line's fields, the kernel's octal escapes decoded."""
    out = []
    for f in line.split(" "):
        if f:
            for code in ("040", "011", "012", "134"):
                f = f.replace("\\" + code, chr(int(code, 8)))
            out.append(f)
    return out


def loop_lines(image):
    out = subprocess.run(["losetup", "-a"], capture_output=True, text=True).stdout
    return [l for l in out.splitlines() if image in l]


class BoardPathTest(unittest.TestCase):
    def setUp(self):
        # top/ holds the board and the camera's working folder, nothing else
        self.top = tempfile.mkdtemp(prefix="dashcam-e2e-")
        self.cwd = os.path.join(self.top, "cwd")
        os.mkdir(self.cwd)
        self.cam = None

    def tearDown(self):
        if self.cam is not None:
            self.cam.close()
        shutil.rmtree(self.top, ignore_errors=True)

    def make_board(self, leaf, *init):
        path = os.path.join(self.top, leaf)
        board("init", "--force", *init, path)
        return path

    def run_camera(self, path, command=None):
        self.cam = Camera(path, command=command, cwd=self.cwd)
        self.assertTrue(self.cam.wait_for("Main Loop...\n", timeout=60), self.cam.stdout() + self.cam.stderr())
        out = self.cam.stdout()
        self.assertIn("SD Card Mounted.Block Size:4096 Byte\n", out)
        self.assertIn("SD Card Not Read Only.\n", out)
        self.assertNotIn("SD Card Mount Error.", out)
        return out

    def stop_camera(self):
        status = self.cam.stop()
        out, err = self.cam.stdout(), self.cam.stderr()
        self.assertEqual(status, 0, out + err)
        for bad in SANITIZER_LINES:
            self.assertNotIn(bad, err)
        self.assertEqual(out.splitlines()[-1], "Exiting...")
        self.cam.close()
        self.cam = None

    def assert_nothing_outside(self, leaf):
        self.assertEqual(sorted(os.listdir(self.top)), sorted(["cwd", leaf]))
        self.assertEqual(os.listdir(self.cwd), [])

    def assert_card_commands(self, folder):
        commands = board("commands", os.path.dirname(os.path.dirname(folder))).stdout.splitlines()
        self.assertEqual(commands, ["umount " + folder, "mount -oremount,rw " + folder])

    def test_folder_card_mounts_inside_the_board(self):
        for leaf in ("with blank", "it's a $(board);x"):
            with self.subTest(leaf=leaf):
                path = self.make_board(leaf)
                folder = os.path.join(os.path.realpath(path), "tmp", "mmc0")
                self.run_camera(path)
                # the board's mount table has the card on its folder
                with open(os.path.join(path, "proc", "mounts")) as f:
                    lines = [mount_fields(l.rstrip("\n")) for l in f]
                self.assertEqual([l[:4] for l in lines],
                                 [[os.path.join(os.path.realpath(path), "dev", "mmcblk0p1"), folder, "ext2",
                                   "rw,relatime"]])
                self.assert_card_commands(folder)
                self.stop_camera()
                self.assert_nothing_outside(leaf)
                shutil.rmtree(path)

    @unittest.skipUnless(CARD_RIG, "the card rig needs root and loop devices")
    def test_card_image_mounts_inside_the_board(self):
        leaf = "it's a $(board) & more"
        path = self.make_board(leaf)
        folder = os.path.join(os.path.realpath(path), "tmp", "mmc0")
        image = os.path.realpath(os.path.join(path, "card", "card.img"))
        with open("/proc/self/mounts") as f:
            mounts = f.read()
        self.run_camera(path, command=[sys.executable, BOARD_TOOL, "card", path, "attach", "--", DASHCAM])
        self.assert_card_commands(folder)
        self.stop_camera()
        with open("/proc/self/mounts") as f:
            self.assertEqual(f.read(), mounts)
        for _ in range(200):                    # the loop devices clear themselves
            if not loop_lines(image):
                break
            time.sleep(0.01)
        self.assertEqual(loop_lines(image), [])
        self.assertFalse(os.path.exists(os.path.join(path, "card", "mntns")))
        self.assert_nothing_outside(leaf)


if __name__ == "__main__":
    unittest.main()
