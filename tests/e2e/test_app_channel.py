"""The app channel of the real camera, with a phone written from the
protocol, in a network namespace of the test's own."""
import json
import os
import re
import struct
import time
import unittest

from app_channel import Phone, frame, private_network
from capture_media import probe
from dashcam_board import Board, Camera, board, SANITIZER_MARKS
from test_main import pin_level, wait_until

HEARTBEAT = 0x11111111
IN_NAMESPACE = os.geteuid() == 0 and private_network()


@unittest.skipUnless(IN_NAMESPACE, "needs a network namespace of its own (root)")
class AppChannelTest(unittest.TestCase):
    def setUp(self):
        self.b = Board()
        self.cam = None
        self.phones = []

    def tearDown(self):
        for p in self.phones:
            p.close()
        if self.cam is not None:
            self.cam.close()
        self.b.close()

    def start(self, env_vars=None, ini=None):
        for name, value in (env_vars or {}).items():
            board("env", self.b.dir, name, value)
        self.cam = Camera(self.b.dir, netns=False)  # already in the test's own network
        self.assertTrue(self.cam.wait_for("Main Loop...\n", 20), self.cam.stdout() + self.cam.stderr())

    def phone(self):
        p = Phone()
        self.phones.append(p)
        return p

    def greeting(self, p, count):
        frames = []
        for _ in range(count):
            f = p.read(5)
            self.assertIsNotNone(f, "greeting frames so far: %r" % frames)
            frames.append(f)
        return frames

    def stop(self):
        for p in self.phones:
            p.close()
        self.phones = []
        self.assertEqual(self.cam.stop(), 0, self.cam.stderr())
        for mark in SANITIZER_MARKS:
            self.assertNotIn(mark, self.cam.stderr())

    def test_greeting_table(self):
        self.start({"devmodel": "ZQ2", "manufacturedate": "2017/07/31 15:08:32",
                    "firmware_ver": "0102", "devicesn": "SN123"})
        p = self.phone()
        f = self.greeting(p, 3)
        self.assertEqual(f[0][2].hex(" "), "ff f0 01 86 01 00 00 00 00 01 00 0e "
                         "01 02 20 17 07 31 01 02 02 11 22 33 44 55")
        self.assertEqual((f[1][0], f[1][1]), (0x0002, b"ZQ2"))
        self.assertEqual((f[2][0], f[2][1]), (0x0010, b"SN123"))
        self.assertIsNone(p.read(0.5))
        # The clock never set: the phone is asked for the time after the serial.
        board("rtc", self.b.dir, "1970-01-01 00:00:05")
        p2 = self.phone()
        f = self.greeting(p2, 4)
        self.assertEqual([x[0] for x in f], [0x0001, 0x0002, 0x0010, 0x6001])
        self.assertEqual(f[3][2].hex(" "), "ff f0 00 62 01 00 00 00 60 01 00 00")
        # A clock that cannot be read: no time request.
        board("rtc", self.b.dir, "fail")
        p3 = self.phone()
        self.greeting(p3, 3)
        self.assertIsNone(p3.read(0.5))
        self.stop()

    def test_framing_on_one_connection(self):
        self.start()
        p = self.phone()
        self.greeting(p, 3)
        hb = frame(HEARTBEAT)
        steps = [
            ("two frames in one send", [hb + hb], 2),
            ("junk before FF F0", [b"\x00\x13\xff\x00" + hb], 1),
            ("split 5 + 7", [hb[:5], hb[5:]], 1),
            ("a lone FF ending a send", [b"\xff", hb[1:]], 1),
            ("a head declaring 4000 bytes, then a heartbeat",
             [bytes.fromhex("fff0000001000000700" "10fa0") + hb], 1),
            ("a 2048-byte frame", [frame(0x7FFF, b"z" * 2036) + hb], 1),
        ]
        for name, sends, answers in steps:
            for s in sends:
                p.send_raw(s)
                time.sleep(0.1)
            for _ in range(answers):
                f = p.read(3)
                self.assertIsNotNone(f, name)
                self.assertEqual(f[2].hex(" "), "ff f0 00 45 01 00 11 11 11 11 00 00", name)
            self.assertIsNone(p.read(0.3), name)
        p.send(0x11111112)
        self.assertTrue(p.wait_eof(3))
        self.stop()

    def test_silence_drop_and_heartbeats(self):
        self.start()
        kept = self.phone()
        self.greeting(kept, 3)
        self.assertTrue(wait_until(lambda: pin_level(self.b.dir, 67) == 1, 3))
        for _ in range(4):
            time.sleep(10)
            kept.send(HEARTBEAT)
            self.assertIsNotNone(kept.read(3))
        self.assertIsNone(kept.eof_at, "kept 40 s by a heartbeat every 10 s")
        quiet = time.time()
        self.assertTrue(kept.wait_eof(20))
        self.assertGreaterEqual(kept.eof_at - quiet, 14.0)
        self.assertLessEqual(kept.eof_at - quiet, 16.5)
        self.assertTrue(wait_until(lambda: pin_level(self.b.dir, 67) == 0, 3))
        self.stop()

    def test_displacement(self):
        self.start()
        a = self.phone()
        self.greeting(a, 3)
        b = self.phone()
        f = a.read(3)
        told = time.time()
        self.assertEqual(f[2].hex(" "), "ff f0 00 47 01 00 11 11 11 13 00 00")
        self.assertTrue(a.wait_eof(3))
        self.assertGreaterEqual(a.eof_at - told, 0.35)
        self.assertLessEqual(a.eof_at - told, 0.85)
        g = self.greeting(b, 3)
        self.assertEqual(g[0][0], 0x0001)
        self.assertEqual(pin_level(self.b.dir, 67), 1)
        self.stop()

    def test_pairing_by_the_spoken_code(self):
        # A settings file with pairing on; the camera completes the rest of it.
        with open(os.path.join(self.b.dir, "root", "system.ini"), "w") as f:
            f.write("[default]\nversion=3\n[funcset]\nconnectauth=1\n")
        self.start()
        p = self.phone()
        self.greeting(p, 3)
        mac = bytes.fromhex("a1b2c3d4e5f6")
        p.send(0x1001, mac)
        self.assertEqual(p.read(3)[2].hex(" "), "ff f0 00 13 01 00 00 00 10 02 00 00")
        p.send(0x1005)
        self.assertTrue(self.cam.wait_for("produce rand number = ", 5))
        code = int(re.search(r"produce rand number = (\d+)", self.cam.stdout()).group(1))
        want = ["PCM 28"] + ["PCM %d" % (18 + int(d)) for d in "%04d" % code]
        self.assertTrue(wait_until(lambda: board("prompts", self.b.dir).stdout.splitlines()[-5:] == want, 15),
                        board("prompts", self.b.dir).stdout)
        p.send(0x1003, struct.pack(">I", (code + 1) % 10000))
        self.assertEqual(p.read(3)[1], b"\x01")
        p.send(0x1003, struct.pack(">I", code))
        self.assertEqual(p.read(3)[2].hex(" "), "ff f0 00 16 01 00 00 00 10 04 00 01 00")
        with open(os.path.join(self.b.dir, "root", "access_auth"), "rb") as fa:
            self.assertEqual(fa.read(), b"a1b2c3d4e5f6;")
        p.send(0x1001, mac)
        self.assertEqual(p.read(3)[1], b"\x00")
        p.send(0x1001, bytes.fromhex("010203040506"))
        self.assertEqual(p.read(3)[0], 0x1002, "another phone still needs the code")
        self.stop()

    def test_power_cut_pushes_the_recording_to_a_paired_phone(self):
        with open(os.path.join(self.b.dir, "root", "system.ini"), "w") as f:
            f.write("[default]\nversion=3\n[funcset]\nconnectauth=1\n")
        self.start()
        self.assertTrue(self.cam.wait_for("STARTING RECORD", 60), self.cam.stdout())
        p = self.phone()
        self.greeting(p, 3)
        p.send(0x1001, bytes.fromhex("a1b2c3d4e5f6"))
        self.assertEqual(p.read(3)[0], 0x1002)
        p.send(0x1005)
        self.assertTrue(self.cam.wait_for("produce rand number = ", 5))
        code = int(re.search(r"produce rand number = (\d+)", self.cam.stdout()).group(1))
        p.send(0x1003, struct.pack(">I", code))
        self.assertEqual(p.read(3)[2].hex(" "), "ff f0 00 16 01 00 00 00 10 04 00 01 00")
        # A few seconds of video, then the power goes.
        time.sleep(4)
        self.b.gpio(0, 1)
        self.assertTrue(self.cam.wait_for("SYSTEM POWER DOWN", 10), self.cam.stdout())
        f = p.read_until(0x3001, 30)
        self.assertIsNotNone(f, self.cam.stdout()[-3000:])
        doc = json.loads(f[1].decode())
        self.assertEqual((doc["type"], doc["mp4folder"]), ("commonvideo", "DCIM/100video"))
        self.assertEqual(len(doc["mp4data"]), 1, doc)
        entry = doc["mp4data"][0]
        path = os.path.join(self.b.card, doc["mp4folder"], entry["filename"])
        self.assertTrue(os.path.isfile(path), (path, os.listdir(os.path.dirname(path))))
        self.assertEqual(os.path.getsize(path), entry["filesize"])
        info = probe(path)
        codecs = sorted(st["codec_name"] for st in info["streams"])
        self.assertEqual(codecs, ["aac", "h264"], path)
        self.stop()
