"""The phone's commands on the real camera: settings read back with
configparser, the clock through the board's setrtc, quotas, stop and
resume, and commands that get no reply."""
import configparser
import json
import os
import struct
import time
import unittest

from app_channel import Phone, private_network
from capture_media import decode_errors, probe, stream
from dashcam_board import Board, Camera, board, SANITIZER_MARKS

HEARTBEAT = 0x11111111
IN_NAMESPACE = os.geteuid() == 0 and private_network()


def reply(cmd, status):
    """The bytes of a one-status reply frame, built here from the layout."""
    param = bytes([status])
    csum = sum(struct.pack(">HIH", 0x0100, cmd, 1) + param) & 0xFFFF
    return struct.pack(">2sHHIH", b"\xff\xf0", csum, 0x0100, cmd, 1) + param


@unittest.skipUnless(IN_NAMESPACE, "needs a network namespace of its own (root)")
class AppCommandsTest(unittest.TestCase):
    def setUp(self):
        self.b = Board()
        self.cam = Camera(self.b.dir, netns=False)  # already in the test's own network
        self.assertTrue(self.cam.wait_for("Main Loop...\n", 20), self.cam.stdout() + self.cam.stderr())
        self.p = Phone()
        for _ in range(3):
            self.assertIsNotNone(self.p.read(5), "greeting")

    def tearDown(self):
        self.p.close()
        self.cam.close()
        self.b.close()

    def stop(self):
        self.p.close()
        self.assertEqual(self.cam.stop(), 0, self.cam.stderr())
        for mark in SANITIZER_MARKS:
            self.assertNotIn(mark, self.cam.stderr())

    def ask(self, cmd, param=b""):
        """The next frame after sending one; the recorder's pushes of
        finished files (0x3001-0x3003) may come between and are passed over."""
        self.p.send(cmd, param)
        while True:
            f = self.p.read(5)
            self.assertIsNotNone(f, "no reply to %#x" % cmd)
            if f[0] not in (0x3001, 0x3002, 0x3003):
                return f

    def nothing_before_heartbeat(self):
        f = self.ask(HEARTBEAT)
        return f[0] == HEARTBEAT

    def ini(self, section, key):
        c = configparser.ConfigParser()
        c.read(os.path.join(self.b.dir, "root", "system.ini"))
        return c.get(section, key, fallback=None)

    def test_settings_table(self):
        # command, key, a value below, inside and above the range (None: none)
        rows = [
            (0x7001, "connectauth", None, 1, 2),
            (0x7005, "snapshot_associate_video", None, 1, 2),
            (0x7009, "gensor_level", 5, 6, None),
            (0x7011, "enableparkingmonitor", None, 1, 2),
            (0x7013, "parkingtimethreshold", 0, 9, None),
            (0x7015, "gesture_capture", None, 0, 2),
            (0x7017, "gesture_trigger_level", None, 2, 3),
            (0x7022, "speedunit", None, 1, None),
            (0x7101, "voice_powerup", None, 0, 2),
            (0x7103, "voice_powerdown", None, 0, 2),
            (0x7105, "voice_gps", None, 0, 2),
            (0x7107, "voice_g_snapshot", None, 0, 2),
            (0x7109, "voice_a_snapshot", None, 0, 2),
            (0x710B, "voice_m_snapshot", None, 0, 2),
            (0x7111, "voice_parking", None, 0, 2),
        ]
        for cmd, key, below, inside, above in rows:
            with self.subTest(key=key):
                before = self.ini("funcset", key)
                self.assertEqual(self.ask(cmd)[2], reply(cmd + 1, 0), "empty parameter")
                for v in (below, above):
                    if v is not None:
                        self.assertEqual(self.ask(cmd, bytes([v]))[2], reply(cmd + 1, 0), v)
                self.assertEqual(self.ini("funcset", key), before)
                self.assertEqual(self.ask(cmd, bytes([inside]))[2], reply(cmd + 1, 1))
                self.assertEqual(self.ini("funcset", key), str(inside))
        self.stop()

    def test_quotas(self):
        self.assertEqual(self.ask(0x800D, bytes([60, 30]))[2], reply(0x800E, 0))
        self.assertEqual(self.ask(0x800D, bytes([60, 30, 10]))[2], reply(0x800E, 1))
        for key, value in [("commonvideoonsdquota", "60"), ("alarmvideoonsdquota", "30"),
                           ("alarmimageonsdquota", "10")]:
            self.assertEqual(self.ini("storageset", key), value)
        f = self.ask(0x800B)
        self.assertEqual((f[0], f[1]), (0x800C, struct.pack(">BIII", 1, 60, 30, 10)))
        self.stop()

    def test_clock(self):
        f = self.ask(0x6003, struct.pack(">HBBBBB", 2024, 1, 5, 8, 30, 0))
        self.assertEqual(f[2].hex(" "), "ff f0 00 67 01 00 00 00 60 04 00 01 01")
        self.assertIn("setrtc -s time 2024/01/05/08/30/00", self.b.commands())
        with open(os.path.join(self.b.dir, "log", "clock.log")) as c:
            self.assertIn("2024-01-05 08:30:00 UTC", c.read())
        prompts = os.path.join(self.b.dir, "log", "prompts.log")
        with open(prompts) as pl:
            self.assertIn("PCM 5\n", pl.read())
        board("standin", self.b.dir, "setrtc", "1")
        with open(prompts) as pl:
            heard = pl.read().count("PCM 5\n")
        f = self.ask(0x6003, struct.pack(">HBBBBB", 2024, 1, 5, 9, 0, 0))
        self.assertEqual(f[2], reply(0x6004, 0))
        board("standin", self.b.dir, "setrtc", "0")
        ran = self.b.commands()
        for name, param in [("month 13", struct.pack(">HBBBBB", 2024, 13, 5, 8, 30, 0)),
                            ("31 April", struct.pack(">HBBBBB", 2024, 4, 31, 8, 30, 0)),
                            ("1999", struct.pack(">HBBBBB", 1999, 1, 5, 8, 30, 0)),
                            ("six bytes", struct.pack(">HBBBB", 2024, 1, 5, 8, 30))]:
            self.assertEqual(self.ask(0x6003, param)[2], reply(0x6004, 0), name)
        self.assertEqual(self.b.commands(), ran, "nothing run")
        with open(prompts) as pl:
            self.assertEqual(pl.read().count("PCM 5\n"), heard, "no prompt after a failure")
        self.stop()

    def test_stop_resume_and_silent_commands(self):
        self.p.send(0x4001)
        f = self.p.read_until(0x3004, 20)  # a recording camera pushes the file it cut first
        self.assertIsNotNone(f)
        self.assertEqual(f[2].hex(" "), "ff f0 00 35 01 00 00 00 30 04 00 00")
        self.p.send(0x4001)
        self.assertTrue(self.nothing_before_heartbeat(), "the second stop sends nothing")
        self.assertTrue(self.cam.wait_for("exec stop_record\n", 5))
        self.p.send(0x4002)
        self.p.send(0x4002)
        self.assertTrue(self.nothing_before_heartbeat())
        self.assertEqual(self.cam.stdout().count("exec resume_record\n"), 1)
        for cmd, param in [(0x9999, b""), (0x710D, b""), (0x710D, b"\x01\x02")]:
            self.p.send(cmd, param)
        self.assertTrue(self.nothing_before_heartbeat())
        self.stop()


    def read_for(self, seconds, until=None):
        frames = []
        end = time.time() + seconds
        while time.time() < end:
            f = self.p.read(end - time.time())
            if f is None:
                break
            frames.append(f)
            if until is not None and until(frames):
                break
        return frames

    def test_stop_and_resume_while_recording(self):
        self.assertTrue(self.cam.wait_for("STARTING RECORD", 60), self.cam.stdout())
        time.sleep(3)
        self.p.send(0x4001)
        got = self.read_for(20, lambda fs: {0x3001, 0x3004} <= {f[0] for f in fs})
        cmds = [f[0] for f in got]
        self.assertEqual(cmds.count(0x3004), 1, cmds)
        self.assertIn(0x3001, cmds, "the file cut by the stop is pushed")
        text = json.dumps(json.loads([f for f in got if f[0] == 0x3001][-1][1].decode()))
        mp4 = []
        for top, _, names in os.walk(self.b.card):
            mp4 += [os.path.join(top, n) for n in names if n.upper().endswith(".MP4")]
        named = [f for f in mp4 if os.path.basename(f) in text]
        self.assertEqual(len(named), 1, (text, mp4))
        info = probe(named[0])
        self.assertEqual(stream(info, "video")["codec_name"], "h264")
        self.assertEqual(stream(info, "audio")["codec_name"], "aac")
        self.assertEqual(decode_errors(named[0]), "")
        # Stopped: a power cut and its return leave it stopped.
        starts = self.cam.stdout().count("STARTING RECORD")
        self.b.gpio(0, 1)
        self.assertTrue(self.cam.wait_for("SYSTEM POWER DOWN", 10))
        self.b.gpio(0, 0)
        self.assertTrue(wait_count(self.cam, "SYSTEM POWER RESUME", 2, 10))
        time.sleep(2)
        self.assertEqual(self.cam.stdout().count("STARTING RECORD"), starts, "still stopped")
        self.p.send(0x4002)
        self.assertTrue(self.cam.wait_for("exec resume_record\n", 5))
        self.assertTrue(wait_count(self.cam, "STARTING RECORD", starts + 1, 30), "recording resumed")
        time.sleep(2)
        self.b.gpio(0, 1)
        got = self.read_for(20, lambda fs: 0x3001 in [f[0] for f in fs])
        self.assertIn(0x3001, [f[0] for f in got], "the power cut finishes the next file")
        self.b.gpio(0, 0)
        self.stop()


def wait_count(cam, text, count, timeout):
    end = time.time() + timeout
    while time.time() < end:
        if cam.stdout().count(text) >= count:
            return True
        time.sleep(0.1)
    return cam.stdout().count(text) >= count


if __name__ == "__main__":
    unittest.main()
