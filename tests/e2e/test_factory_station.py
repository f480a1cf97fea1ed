"""The factory test server of the real camera against a test station
written from the protocol (factory_station.py), in a network namespace of
the test's own."""
import os
import signal
import socket
import struct
import subprocess
import time
import unittest
import zlib

import factory_station as fs
from app_channel import private_network
from dashcam_board import Board, Camera, board, SANITIZER_MARKS
from test_main import pin_level, wait_until

IN_NAMESPACE = os.geteuid() == 0 and private_network()
ENV_OFFSET = 0x80000
ENV_SIZE = 0x40000


def flash_env(board_dir):
    """The boot environment's variables, read from the flash file by hand."""
    with open(os.path.join(board_dir, "dev", "mtd0"), "rb") as f:
        f.seek(ENV_OFFSET)
        block = f.read(ENV_SIZE)
    if struct.unpack("<I", block[:4])[0] != zlib.crc32(block[4:]):
        return None
    found = {}
    for entry in block[4:].split(b"\0\0", 1)[0].split(b"\0"):
        if entry:
            name, _, value = entry.partition(b"=")
            found[name.decode()] = value.decode()
    return found


def lines(path):
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return f.read().splitlines()


def listening(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=2).close()
        return True
    except OSError:
        return False


@unittest.skipUnless(IN_NAMESPACE, "needs a network namespace of its own (root)")
class FactoryStationTest(unittest.TestCase):
    def setUp(self):
        self.b = Board()
        self.cam = None
        self.stations = []

    def tearDown(self):
        for s in self.stations:
            s.close()
        if self.cam is not None:
            self.cam.close()
        self.b.close()

    def start(self, env_vars=None):
        for name, value in (env_vars or {}).items():
            board("env", self.b.dir, name, value)
        self.cam = Camera(self.b.dir, netns=False)  # this process has its own namespace already
        self.assertTrue(self.cam.wait_for("Main Loop...\n", 30), self.cam.stdout() + self.cam.stderr())

    def stop(self):
        for s in self.stations:
            s.close()
        self.stations = []
        self.assertEqual(self.cam.stop(), 0, self.cam.stderr())
        for mark in SANITIZER_MARKS:
            self.assertNotIn(mark, self.cam.stderr())
        self.cam = None

    def tcp(self):
        s = fs.TcpStation()
        self.stations.append(s)
        return s

    def udp(self):
        s = fs.UdpStation()
        self.stations.append(s)
        return s

    def test_discovery_and_single_steps(self):
        board("mac", self.b.dir, "02:AA:BB:CC:DD:0E")
        board("rtc", self.b.dir, "2017-07-31 15:08:32")
        self.start({"firmware_ver": "0102"})
        r = self.udp().request(fs.DISCOVERY, 0x4321)
        self.assertIsNotNone(r)
        self.assertEqual((r.len + 4, r.code, r.seq, r.ret), (57, 0x0102, 0x4321, 0))
        d = fs.Discovery(r.payload)
        self.assertEqual((d.head, d.mac, d.firmware, d.title, d.tested),
                         (b"\x51\x01", "02:aa:bb:cc:dd:0e", b"0102", "kx-recorder", 0))
        t = self.tcp()
        r = t.request(fs.DISCOVERY, 2)
        self.assertEqual(fs.Discovery(r.payload).mac, "02:aa:bb:cc:dd:0e")

        r = t.request(fs.IMAGE_SENSOR, 17)
        self.assertEqual((r.code, r.ret), (0x0104, 1))  # capture runs
        r = t.request(fs.SD, 3)
        self.assertEqual((r.code, r.ret), (0x010C, 1))
        self.assertEqual(struct.unpack(">I", r.payload)[0] & 3, 3)
        r = t.request(fs.RTC, 4)
        self.assertEqual(r.ret, 1)
        self.assertEqual(r.payload[:6], struct.pack(">HBBBB", 2017, 7, 31, 15, 8))
        self.assertEqual(len(r.payload), 7)
        board("rtc", self.b.dir, "fail")
        r = t.request(fs.RTC, 5)
        self.assertEqual((r.ret, r.payload), (0, b""))
        # both motion-sensor chips are on a fresh board; no GPS receiver speaks
        for cmd, ret in ((fs.IR_SENSOR, 1), (fs.G_SENSOR, 1), (fs.GPS, 0)):
            r = t.request(cmd, 6)
            self.assertEqual((r.code, r.ret), (cmd + 1, ret))
        r = t.request(fs.MIC, 7)
        self.assertEqual((r.ret, r.payload), (0, b""))

        # refused: no reply; the next good request is answered alone
        bad_crc = bytearray(fs.packet(fs.SD, 8))
        bad_crc[0] ^= 1
        refused = [bytes(bad_crc), fs.packet(fs.SD, 9, b"x" * 119), fs.packet(fs.SD, 10, length=5),
                   fs.packet(fs.SD, 11, b"abcd", length=12), fs.packet(0x0111, 12)]
        for data in refused:
            t.send_raw(data)
            self.assertIsNone(t.read(0.7), data.hex())
            r = t.request(fs.DISCOVERY, 13)
            self.assertEqual((r.code, r.seq), (0x0102, 13))
        r = t.request(fs.LED, 14)  # no duration
        self.assertEqual((r.code, r.ret), (0x0106, 0))

        board("card", self.b.dir, "remove")
        self.assertTrue(wait_until(lambda: t.request(fs.SD, 15).ret == 0, 20))
        r = t.request(fs.SD, 16)
        self.assertEqual(len(r.payload), 4)
        self.stop()

    def test_multi_step_tests(self):
        self.start()
        t = self.tcp()
        seen = []

        def lit(r):
            if r.ret == fs.BUSY and not seen:
                seen.append(wait_until(lambda: pin_level(self.b.dir, 71) and pin_level(self.b.dir, 67), 10))

        self.assertEqual(t.steps(fs.LED, 1, struct.pack(">H", 500), lit), [2, 3])
        self.assertEqual(seen, [True])
        self.assertEqual(pin_level(self.b.dir, 67), 0)  # 71 is the recording LED again
        self.assertEqual(t.steps(fs.LED, 2, struct.pack(">H", 3000)), [2, 2, 2, 3])
        self.assertEqual(pin_level(self.b.dir, 67), 0)  # 71 is the recording LED again

        self.assertEqual(t.steps(fs.SPEAKER, 3), [2] * 5 + [3])
        self.assertIn("PCM 8", board("prompts", self.b.dir).stdout.splitlines())
        r = t.request(fs.MIC, 4)
        self.assertEqual((r.ret, r.payload), (1, b"kx-ft.aac\0"))
        self.assertTrue(os.path.exists(os.path.join(self.b.dir, "tmp", "kx-ft.aac")))

        self.b.gpio(80, 0)
        self.assertEqual(t.steps(fs.RESET_KEY, 5, struct.pack(">H", 1000)), [2, 1])
        self.b.gpio(80, 1)
        self.assertEqual(t.steps(fs.RESET_KEY, 6, struct.pack(">H", 1000)), [2, 2, 2, 0])

        # a new request mid-LED, then a closed connection mid-LED
        t.send(fs.LED, 7, struct.pack(">H", 20000))
        self.assertEqual(t.read().ret, 2)
        self.assertTrue(wait_until(lambda: pin_level(self.b.dir, 67) == 1, 10))
        t.send(fs.DISCOVERY, 8)
        while True:
            r = t.read()
            if r.code != 0x0106:
                break
        self.assertEqual(r.code, 0x0102)
        self.assertEqual(pin_level(self.b.dir, 67), 0)  # 71 is the recording LED again
        u = self.tcp()
        u.send(fs.LED, 9, struct.pack(">H", 20000))
        self.assertEqual(u.read().ret, 2)
        self.assertTrue(wait_until(lambda: pin_level(self.b.dir, 67) == 1, 10))
        u.close()
        self.assertTrue(wait_until(lambda: pin_level(self.b.dir, 67) == 0, 10))

        # speaker tests cut off by a new request and by a closed connection:
        # a full one afterwards still leaves a recording for the microphone test
        prompts = os.path.join(self.b.dir, "log", "prompts.log")
        played = lines(prompts).count("PCM 8")
        t.send(fs.SPEAKER, 10)
        self.assertEqual(t.read().ret, 2)
        self.assertTrue(wait_until(lambda: lines(prompts).count("PCM 8") > played, 10))
        t.send(fs.SD, 11)
        while True:
            r = t.read()
            if r.code != 0x010A:
                break
        self.assertEqual(r.code, 0x010C)
        v = self.tcp()
        v.send(fs.SPEAKER, 12)
        self.assertEqual(v.read().ret, 2)
        v.close()
        self.assertEqual(t.steps(fs.SPEAKER, 13), [2] * 5 + [3])
        self.assertEqual(t.request(fs.MIC, 14).ret, 1)
        self.stop()

    def test_set_time_table(self):
        self.start()
        t = self.tcp()
        clock_log = os.path.join(self.b.dir, "log", "clock.log")
        cases = [
            # what, sys, rtc, date, setrtc status, RET, command logged, clock line
            ("month 13", 1, 1, (2017, 13, 1, 0, 0, 0), 0, 0, None, None),
            ("31 February", 1, 1, (2017, 2, 31, 0, 0, 0), 0, 0, None, None),
            ("both flags 0", 0, 0, (2017, 7, 31, 15, 8, 32), 0, 1, None, None),
            ("RTC", 0, 1, (2017, 7, 31, 15, 8, 32), 0, 1, "setrtc -s time 2017/7/31/15/8/32", None),
            ("setrtc fails", 0, 1, (2017, 7, 31, 15, 8, 32), 1, 0, "setrtc -s time 2017/7/31/15/8/32", None),
            ("clock", 1, 0, (2016, 2, 29, 23, 59, 59), 0, 1, None, "2016-02-29 23:59:59 UTC 1456790399"),
        ]
        for what, sys_flag, rtc_flag, date, status, ret, command, clock in cases:
            with self.subTest(what):
                board("standin", self.b.dir, "setrtc", status)
                commands_before = self.b.commands()
                prompts_before = board("prompts", self.b.dir).stdout.splitlines()
                clock_before = lines(clock_log)
                r = t.request(fs.SET_TIME, 1, fs.time_param(sys_flag, rtc_flag, *date))
                self.assertEqual((r.code, r.ret), (0x0120, ret))
                new_commands = self.b.commands()[len(commands_before):]
                self.assertEqual(new_commands, [command] if command else [])
                new_prompts = board("prompts", self.b.dir).stdout.splitlines()[len(prompts_before):]
                self.assertEqual(new_prompts, ["PCM 5"] if command and ret == 1 else [])
                self.assertEqual(lines(clock_log)[len(clock_before):], [clock] if clock else [])
        self.stop()

    def test_five_clients(self):
        self.start()
        four = [self.tcp() for _ in range(4)]
        for s in four:
            self.assertEqual(s.request(fs.SD, 1).code, 0x010C)
        fifth = self.tcp()
        self.assertTrue(fifth.closed_by_peer())
        for i, s in enumerate(four):
            self.assertEqual(s.request(fs.DISCOVERY, i).seq, i)
        self.assertIn("MAX CLIENT REACHED.", self.cam.stdout())
        self.stop()

    def test_test_done_then_restart(self):
        self.start({"firmware_ver": "0102"})
        t = self.tcp()
        r = t.request(fs.TEST_DONE, 5, fs.done_param(0x5153, 2017, 7, 31, 15, 8, 32))
        self.assertEqual((r.code, r.seq, r.ret), (0xF0F2, 5, 1))
        env = flash_env(self.b.dir)
        self.assertEqual(env["devmodel"], "ZQ3PRO")
        self.assertEqual(env["manufacturedate"], "2017/07/31 15:08:32")
        self.assertEqual(env["factorytest"], "yes")
        self.assertEqual(env["hwver"], "v1.0.0")
        self.assertEqual(env["firmware_ver"], "0102")
        self.assertTrue(t.closed_by_peer())
        self.assertTrue(wait_until(lambda: not listening(fs.TCP_PORT), 10))
        self.assertIsNone(self.udp().request(fs.DISCOVERY, 1, host="127.0.0.1", timeout=1))
        self.stop()

        # a tested device serves nothing ...
        self.start()
        self.assertIn("FACTORY TEST WAS DONE.", self.cam.stdout())
        self.assertFalse(listening(fs.TCP_PORT))
        self.stop()

        # ... unless the card's test file forces it, with its title
        ft = os.path.join(self.b.card, "tavika-ft")
        os.makedirs(ft, exist_ok=True)
        with open(os.path.join(ft, ".testcfg"), "w") as f:
            f.write("# line station\nforcediscovery=Y\ntitle=Line 7\n")
        self.start()
        t = self.tcp()
        d = fs.Discovery(t.request(fs.DISCOVERY, 1).payload)
        self.assertEqual((d.tested, d.title), (1, "Line 7"))
        r = t.request(fs.IMAGE_SENSOR, 2)
        self.assertEqual((r.code, r.ret, r.payload), (0xFFFF, 0, b""))
        self.stop()

    def test_unknown_model_stores_zq2(self):
        self.start()
        r = self.tcp().request(fs.TEST_DONE, 1, fs.done_param(0x1234, 2018, 1, 2, 3, 4, 5))
        self.assertEqual(r.ret, 1)
        env = flash_env(self.b.dir)
        self.assertEqual((env["devmodel"], env["manufacturedate"]), ("ZQ2", "2018/01/02 03:04:05"))
        self.stop()


if __name__ == "__main__":
    unittest.main()
