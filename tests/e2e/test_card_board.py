"""The board tool's SD card: its image, its register words and its stand-ins."""
import os
import struct
import subprocess
import sys
import time
import unittest

from dashcam_board import BOARD_TOOL, CARD_RIG, Board, board

CARD_DETECT = 0x10020050
WRITE_PROTECT = 0x10020054


def read(path):
    with open(path) as f:
        return f.read()


def word(board_dir, addr):
    with open(os.path.join(board_dir, "dev", "mem"), "rb") as f:
        f.seek(addr)
        return struct.unpack("<I", f.read(4))[0]


class CardImageTest(unittest.TestCase):
    def setUp(self):
        self.b = Board()

    def tearDown(self):
        self.b.close()

    def test_init_makes_a_sparse_image_with_one_ext2_partition(self):
        for mb in (8, 64):
            with self.subTest(mb=mb):
                board("init", "--force", "--card-mb", mb, self.b.dir)
                img = os.path.join(self.b.dir, "card", "card.img")
                st = os.stat(img)
                self.assertEqual(st.st_size, mb << 20)
                self.assertLess(st.st_blocks * 512, st.st_size // 2)   # sparse
                with open(img, "rb") as f:
                    mbr = f.read(512)
                    self.assertEqual(mbr[510:512], b"\x55\xaa")
                    ptype = mbr[446 + 4]
                    start, count = struct.unpack("<II", mbr[446 + 8:446 + 16])
                    self.assertEqual((ptype, start, count), (0x83, 2048, (mb << 20) // 512 - 2048))
                    f.seek(start * 512 + 1024)
                    sb = f.read(1024)
                magic, = struct.unpack("<H", sb[56:58])
                self.assertEqual(magic, 0xEF53)
                blocks, = struct.unpack("<I", sb[4:8])
                log_size, = struct.unpack("<I", sb[24:28])
                self.assertEqual(blocks * (1024 << log_size), count * 512)
                # without the rig the card is the plain folder
                self.assertTrue(os.path.isfile(os.path.join(self.b.dir, "dev", "mmcblk0p1")))
                self.assertEqual(read(os.path.join(self.b.dir, "sys", "block", "mmcblk0", "ro")), "0\n")
                self.assertEqual(board("card-path", self.b.dir).stdout.strip(), img)

    def test_card_words(self):
        self.assertEqual(word(self.b.dir, CARD_DETECT) & 1, 0)     # in the slot at power-on
        steps = [(["remove"], CARD_DETECT, 1), (["insert"], CARD_DETECT, 0),
                 (["protect", "on"], WRITE_PROTECT, 1), (["protect", "off"], WRITE_PROTECT, 0)]
        for args, addr, value in steps:
            with self.subTest(args=args):
                board("card", self.b.dir, *args)
                self.assertEqual(word(self.b.dir, addr), value)
                self.assertEqual(int(board("reg", self.b.dir, hex(addr)).stdout, 16), value)
        for bad in (["eject"], ["protect"], ["protect", "maybe"], ["insert", "now"]):
            with self.subTest(bad=bad):
                self.assertEqual(board("card", self.b.dir, *bad, check=False).returncode, 2)


class CardStandInTest(unittest.TestCase):
    def setUp(self):
        self.b = Board()
        self.env = dict(os.environ, PATH=os.path.join(self.b.dir, "bin") + ":" + os.environ["PATH"])
        self.folder = os.path.join(self.b.dir, "tmp", "mmc0")
        os.makedirs(os.path.join(self.folder, "DCIM", "100video"))
        open(os.path.join(self.folder, "DCIM", "100video", "old.mp4"), "w").close()

    def tearDown(self):
        self.b.close()

    def run_standin(self, *args):
        return subprocess.run(list(args), env=self.env, capture_output=True, text=True).returncode

    def test_mkdosfs_formats_only_the_boards_card(self):
        outside = os.path.join(self.b.dir, "..", os.path.basename(self.b.dir) + "-outside.img")
        with open(outside, "wb") as f:
            f.write(b"keep")
        try:
            for dev in ["/dev/null", outside, os.path.join(self.b.dir, "dev", "mem"),
                        os.path.join(self.b.dir, "dev", "mmcblk0"), os.path.join(self.b.dir, "card", "card.img")]:
                with self.subTest(dev=dev):
                    self.assertNotEqual(self.run_standin("mkdosfs", "-v", dev), 0)
            with open(outside, "rb") as f:
                self.assertEqual(f.read(), b"keep")
        finally:
            os.remove(outside)
        self.assertEqual(os.listdir(self.folder), ["DCIM"])

        # told to fail: nothing is touched
        board("standin", self.b.dir, "mkdosfs", 1, "--times", 2)
        node = os.path.join(self.b.dir, "dev", "mmcblk0p1")
        self.assertEqual([self.run_standin("mkdosfs", "-v", node) for _ in range(2)], [1, 1])
        self.assertEqual(os.listdir(self.folder), ["DCIM"])
        # the plain folder card is emptied, but not while mounted
        with open(os.path.join(self.b.dir, "proc", "mounts"), "w") as f:
            f.write("%s %s ext2 rw,relatime 0 0\n" % (node, os.path.realpath(self.folder)))
        self.assertNotEqual(self.run_standin("mkdosfs", "-v", node), 0)
        open(os.path.join(self.b.dir, "proc", "mounts"), "w").close()
        self.assertEqual(self.run_standin("mkdosfs", "-v", node), 0)
        self.assertEqual(os.listdir(self.folder), [])
        self.assertEqual(self.b.commands().count("mkdosfs -v " + node), 4)

    def test_mount_remounts_the_folder_cards_line(self):
        table = os.path.join(self.b.dir, "proc", "mounts")
        node = os.path.join(self.b.dir, "dev", "mmcblk0p1")
        line = "%s %s ext2 %%s,relatime 0 0\n" % (node, os.path.realpath(self.folder))
        with open(table, "w") as f:
            f.write(line % "ro")
        self.assertEqual(self.run_standin("mount", "-oremount,rw", self.folder), 0)
        self.assertEqual(read(table), line % "rw")
        # outside the board: refused, nothing changed
        with open(table, "w") as f:
            f.write(line % "ro")
        self.assertNotEqual(self.run_standin("mount", "-oremount,rw", "/tmp"), 0)
        self.assertEqual(read(table), line % "ro")
        # not mounted there
        self.assertEqual(self.run_standin("mount", "-o", "remount,rw", os.path.join(self.b.dir, "tmp")), 32)
        # any other mount is only logged
        self.assertEqual(self.run_standin("mount", "-t", "proc", "proc", "/proc"), 0)
        self.assertIn("mount -t proc proc /proc", self.b.commands())


def loop_lines(image):
    out = subprocess.run(["losetup", "-a"], capture_output=True, text=True).stdout
    return [l for l in out.splitlines() if image in l]


@unittest.skipUnless(CARD_RIG, "card attach needs root and loop devices")
class CardAttachTest(unittest.TestCase):
    def setUp(self):
        self.b = Board(card_mb=32)
        self.image = os.path.realpath(os.path.join(self.b.dir, "card", "card.img"))
        with open("/proc/self/mounts") as f:
            self.mounts = f.read()

    def tearDown(self):
        with open("/proc/self/mounts") as f:
            self.assertEqual(f.read(), self.mounts)
        self.b.close()

    def attach(self, script, check=True):
        return board("card", self.b.dir, "attach", "--", sys.executable, "-c", script, self.b.dir, check=check)

    def test_card_on_loop_devices_for_one_command(self):
        script = (
            "import os, subprocess, sys\n"
            "b = sys.argv[1]\n"
            "part = os.path.realpath(b + '/dev/mmcblk0p1')\n"
            "subprocess.check_call(['mount', b + '/dev/mmcblk0p1', b + '/tmp/mmc0'])\n"
            "open(b + '/tmp/mmc0/hello', 'w').write('card')\n"
            "path = subprocess.run([sys.executable, '%s', 'card-path', b], capture_output=True, text=True).stdout\n"
            "print(part, path.strip(), open(b + '/sys/block/mmcblk0/ro').read().strip())\n" % BOARD_TOOL)
        r = self.attach(script)
        part, path, ro = r.stdout.split()
        self.assertTrue(part.startswith("/dev/loop"), part)
        self.assertEqual(path, part)
        self.assertEqual(ro, "0")
        # afterwards: nothing mounted, no loop device, the plain folder card
        for _ in range(200):
            if not loop_lines(self.image):
                break
            time.sleep(0.01)
        self.assertEqual(loop_lines(self.image), [])
        self.assertTrue(os.path.isfile(os.path.join(self.b.dir, "dev", "mmcblk0p1")))
        self.assertFalse(os.path.exists(os.path.join(self.b.dir, "card", "mntns")))
        self.assertEqual(board("card-path", self.b.dir).stdout.strip(), self.image)
        # what was written is on the image
        r = self.attach("import os, subprocess, sys\n"
                        "b = sys.argv[1]\n"
                        "subprocess.check_call(['mount', '-o', 'ro', b + '/dev/mmcblk0p1', b + '/tmp/mmc0'])\n"
                        "print(open(b + '/tmp/mmc0/hello').read())\n")
        self.assertEqual(r.stdout.strip(), "card")

    def test_exit_status_of_the_command(self):
        self.assertEqual(self.attach("import sys; sys.exit(7)", check=False).returncode, 7)
        self.assertEqual(board("card", self.b.dir, "attach", check=False).returncode, 2)


if __name__ == "__main__":
    unittest.main()
