"""The GPS receiver end to end: the real binary on a board whose receiver is
the board tool's pseudo-terminal feeder, fed NMEA this project did not write
(gpsbabel output and logs in the styles of several receivers)."""
import csv
import datetime
import os
import shutil
import signal
import subprocess
import sys
import time
import unittest

from dashcam_board import BOARD_TOOL, SANITIZER_MARKS, Board, Camera, board, wait_until

OSD_FRAMES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "OSD", "osd_frames.py")
CHAR_SET_32 = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "OSD", "data",
                           "CharImageDataBase32.bin")

try:
    import pynmea2
except ImportError:  # Debian's python3-nmea2
    pynmea2 = None

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data", "gps")
FIXTURES = ["ublox_nmea23.nmea", "sirf_nmea22.nmea", "mtk_nmea41.nmea", "garmin_nmea20.nmea"]


def void_rmc(i):
    body = "GPRMC,0000%02d.00,V,,,,,,,310717,,,N" % i
    ck = 0
    for c in body.encode():
        ck ^= c
    return "$%s*%02X\r\n" % (body, ck)


def sentence(body):
    ck = 0
    for c in body.encode():
        ck ^= c
    return "$%s*%02X\r\n" % (body, ck)


def fix_rmc(when, knots):
    return sentence("GPRMC,%s.00,A,4717.11437,N,00833.91522,E,%.1f,77.52,%s,,,A"
                    % (when.strftime("%H%M%S"), knots, when.strftime("%d%m%y")))


def ubx(body):
    a = b = 0
    for c in body:
        a = (a + c) & 0xFF
        b = (b + a) & 0xFF
    return b"\xb5\x62" + bytes(body) + bytes([a, b])


def expected_records(text):
    """Fields 2-6 of the record each valid GPRMC gives, as pynmea2 reads
    them, cut to the camera's copy limits."""
    out = []
    for line in text.splitlines():
        line = line.strip()
        if not line.startswith("$GPRMC"):
            continue
        try:
            msg = pynmea2.parse(line, check=True)
        except pynmea2.ParseError:
            continue
        if msg.data[1] != "A":
            continue
        d = msg.data
        out.append([d[2][:12], d[3][:1], d[4][:12], d[5][:1], d[6][:8]])
    return out


def cpu_seconds(pid):
    """User and system CPU time of a process so far."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Feeder:
    """sim/board gps on the board, up once it said "ready"."""

    def __init__(self, board_dir, *args):
        self.proc = subprocess.Popen([sys.executable, BOARD_TOOL, "gps", board_dir] + list(args),
                                     stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        if line.strip() != "ready":
            raise RuntimeError("feeder said %r" % line)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(10)
        self.proc.stdout.close()


@unittest.skipIf(pynmea2 is None, "python3-nmea2 is not installed")
class GpsDriveTest(unittest.TestCase):
    def setUp(self):
        self.b = Board()
        self.cam = None
        self.feeder = None

    def tearDown(self):
        if self.cam is not None:
            self.cam.close()
        if self.feeder is not None:
            self.feeder.stop()
        self.b.close()

    def assert_clean_exit(self):
        status = self.cam.stop()
        out, err = self.cam.stdout(), self.cam.stderr()
        self.assertEqual(status, 0, out + err)
        for bad in SANITIZER_MARKS:
            self.assertNotIn(bad, err)
        self.assertEqual(out.splitlines()[-1], "Exiting...")

    def gps_dir(self):
        return os.path.join(self.b.card, "gps")

    def test_foreign_nmea_gives_one_record_per_valid_fix(self):
        babel = os.path.join(self.b.dir, "babel.nmea")
        if shutil.which("gpsbabel") is None:
            self.skipTest("gpsbabel is not installed")
        subprocess.run(["gpsbabel", "-i", "gpx", "-f", os.path.join(DATA, "drive.gpx"),
                        "-x", "track,speed", "-o", "nmea", "-F", babel], check=True)
        parts = []
        for name in FIXTURES:
            with open(os.path.join(DATA, name), newline="") as f:
                parts.append(f.read())
        with open(babel, newline="") as f:
            parts.append(f.read())
        # voids first, while the camera sets the receiver up and finds its card
        text = "".join(void_rmc(i) for i in range(16)) + "".join(parts)
        expected = expected_records(text)
        self.assertGreater(len(expected), 15)
        drive = os.path.join(self.b.dir, "drive.nmea")
        with open(drive, "w", newline="") as f:
            f.write(text)

        today = datetime.datetime.now(datetime.timezone.utc).date()
        names = {(today - datetime.timedelta(days=7)).strftime("%Y%m%d.dat"): True,
                 (today - datetime.timedelta(days=8)).strftime("%Y%m%d.dat"): False,
                 "2017731.dat": False, "abc.dat": True, "20170799.dat": False}
        os.makedirs(self.gps_dir(), exist_ok=True)
        for n in names:
            with open(os.path.join(self.gps_dir(), n), "w") as f:
                f.write("#\r\n")

        self.feeder = Feeder(self.b.dir, drive, "--speedup", "4")
        self.cam = Camera(self.b.dir)
        track = os.path.join(self.gps_dir(), today.strftime("%Y%m%d.dat"))

        def rows():
            if not os.path.exists(track):
                return []
            with open(track, newline="") as f:
                return list(csv.reader(f))
        self.assertTrue(wait_until(lambda: len(rows()) >= len(expected) + 1, timeout=150),
                        "%r\n%s" % (rows(), self.cam.stdout()[-3000:]))
        time.sleep(0.5)
        self.assert_clean_exit()

        with open(track, "rb") as f:
            raw = f.read()
        self.assertTrue(raw.endswith(b"\r\n"))
        self.assertEqual(raw.count(b"\r\n"), raw.count(b"\n"))
        got = rows()
        self.assertEqual(got[0], ["#"])
        self.assertEqual([r[1:6] for r in got[1:]], expected)
        for r in got[1:]:
            self.assertEqual(len(r), 7, r)
            self.assertRegex(r[0], r"^\d{14}$")
            self.assertEqual(r[0][:8], today.strftime("%Y%m%d"))

        # the ten set-up frames and nothing else
        frames = b""
        for body in ([6, 1, 8, 0, 0xF0, 0, 0, 0, 0, 0, 0, 1], [6, 1, 8, 0, 0xF0, 2, 0, 0, 0, 0, 0, 1],
                     [6, 1, 8, 0, 0xF0, 1, 0, 0, 0, 0, 0, 1], [6, 1, 8, 0, 0xF0, 5, 0, 0, 0, 0, 0, 1],
                     [6, 8, 6, 0, 0xE8, 3, 1, 0, 1, 0]):
            frames += ubx(body) * 2
        with open(os.path.join(self.b.dir, "log", "gps-tx.bin"), "rb") as f:
            self.assertEqual(f.read(), frames)
        self.assertEqual(board("prompts", self.b.dir).stdout.splitlines().count("PCM 9"), 1)
        left = set(os.listdir(self.gps_dir()))
        for n, kept in names.items():
            self.assertEqual(n in left, kept, n)

    def test_feeder_killed_mid_run_and_silent_receiver(self):
        self.feeder = Feeder(self.b.dir, "--speedup", "5")
        self.cam = Camera(self.b.dir)
        self.assertTrue(self.cam.wait_for("SAVE GPS DATA ENABLED...\n", timeout=30), self.cam.stdout())
        # The camera records meanwhile: its CPU over 2 s with the line alive
        # is the baseline a busy loop on the dead line would add to.
        start = cpu_seconds(self.cam.proc.pid)
        time.sleep(2.0)
        baseline = cpu_seconds(self.cam.proc.pid) - start
        self.feeder.proc.send_signal(signal.SIGKILL)
        self.feeder.proc.wait(10)
        before = cpu_seconds(self.cam.proc.pid)
        time.sleep(2.0)
        # the hung-up line is polled with pauses, not in a busy loop
        self.assertLess(cpu_seconds(self.cam.proc.pid) - before - baseline, 1.0)
        self.assertIsNone(self.cam.proc.poll())
        self.assert_clean_exit()
        self.assertIn("CSerialDevManager Thread Quiting...\n", self.cam.stderr())

        # a receiver that never speaks: the port opens, nothing reaches the video or the prompts
        self.feeder.stop()
        os.remove(os.path.join(self.b.dir, "log", "prompts.log"))
        self.feeder = Feeder(self.b.dir, "--silent")
        self.cam = Camera(self.b.dir)
        self.assertTrue(self.cam.wait_for("Main Loop...\n", timeout=30))
        time.sleep(2.5)
        self.assert_clean_exit()
        out = self.cam.stdout()
        self.assertNotIn("Init Serial Dev Manager Failed...", out)
        self.assertNotIn("GPS MODULE ACTIVE", out)
        self.assertFalse(os.path.exists(os.path.join(self.b.dir, "log", "prompts.log")))

    def test_board_without_the_uart(self):
        self.cam = Camera(self.b.dir)
        self.assertTrue(self.cam.wait_for("Init Serial Dev Manager Failed...\n", timeout=30), self.cam.stdout())
        self.assertTrue(self.cam.wait_for("Main Loop...\n", timeout=30))
        self.assert_clean_exit()


class GpsSpeedOverlayTest(unittest.TestCase):
    """The speed from the receiver in the recorded picture (no NMEA reader needed)."""

    setUp = GpsDriveTest.setUp
    tearDown = GpsDriveTest.tearDown
    assert_clean_exit = GpsDriveTest.assert_clean_exit

    def test_frame_after_the_first_fix_shows_the_speed(self):
        # 54 knots is 100 km/h; a few epochs without a fix first
        now = datetime.datetime.now(datetime.timezone.utc)
        text = "".join(void_rmc(i) for i in range(3))
        text += "".join(fix_rmc(now + datetime.timedelta(seconds=i), 54.0) for i in range(120))
        drive = os.path.join(self.b.dir, "drive.nmea")
        with open(drive, "w", newline="") as f:
            f.write(text)
        self.feeder = Feeder(self.b.dir, drive)
        self.cam = Camera(self.b.dir)
        prompts = os.path.join(self.b.dir, "log", "prompts.log")

        def fixed():
            if not os.path.exists(prompts):
                return False
            with open(prompts) as f:
                return "PCM 9" in f.read().split("\n")
        self.assertTrue(wait_until(fixed, timeout=60), self.cam.stdout()[-3000:])
        # the next second's overlay is drawn before the dump starts
        time.sleep(1.5)
        board("media", self.b.dir, "dump", "on")
        dump = os.path.join(self.b.dir, "log", "venc0.h264")
        self.assertTrue(wait_until(lambda: os.path.exists(dump) and os.path.getsize(dump) > 200000, timeout=30))
        time.sleep(1.0)
        board("media", self.b.dir, "dump", "off")
        self.assert_clean_exit()

        size = 1920 * 1080
        raw = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", dump, "-f", "rawvideo",
                              "-pix_fmt", "gray", "-"], capture_output=True, check=True).stdout
        count = len(raw) // size
        self.assertGreaterEqual(count, 2)
        last = raw[max(0, count - 5) * size:count * size]  # the dump's last pictures
        r = subprocess.run([sys.executable, OSD_FRAMES, "text", "1920", "1080", "1072", "1040", CHAR_SET_32,
                            "100 km/h"], input=last, capture_output=True)
        self.assertEqual(r.returncode, 0, r.stdout.decode() + r.stderr.decode())
        self.assertIn(b'"ok": true', r.stdout)


class FeederTest(unittest.TestCase):
    """The board tool's receiver seen from the camera's side of the line."""

    def setUp(self):
        self.b = Board()
        self.feeder = None

    def tearDown(self):
        if isinstance(self.feeder, Feeder):
            self.feeder.stop()
        elif self.feeder is not None:
            self.feeder.terminate()
            self.feeder.wait(10)
            self.feeder.stdout.close()
        self.b.close()

    def open_port(self):
        import termios
        import tty
        fd = os.open(os.path.join(self.b.dir, "dev", "ttyAMA1"), os.O_RDWR | os.O_NOCTTY)
        tty.setraw(fd, termios.TCSANOW)
        return fd

    def read_lines(self, fd, count, timeout=20.0):
        import select
        data = b""
        end = time.time() + timeout
        while data.count(b"\n") < count and time.time() < end:
            r, _, _ = select.select([fd], [], [], 0.2)
            if r:
                data += os.read(fd, 4096)
        return data.decode("latin-1").splitlines()

    def test_stdin_text_in_epochs_after_the_first_frame_and_looped(self):
        text = "$PMTK011,MTKGPS*08\r\n" + "".join(void_rmc(i) for i in range(3))
        self.feeder = subprocess.Popen([sys.executable, BOARD_TOOL, "gps", self.b.dir, "-", "--speedup", "10", "--loop"],
                                       stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.feeder.stdin.write(text)
        self.feeder.stdin.close()
        self.assertEqual(self.feeder.stdout.readline(), "ready\n")
        fd = self.open_port()
        try:
            time.sleep(0.5)
            self.assertEqual(self.read_lines(fd, 1, timeout=0.5), [])   # silent until set up
            frame = ubx([6, 8, 6, 0, 0xE8, 3, 1, 0, 1, 0])
            os.write(fd, frame[:5])
            time.sleep(0.3)
            self.assertEqual(self.read_lines(fd, 1, timeout=0.3), [])   # half a frame is not a frame
            os.write(fd, frame[5:])
            lines = self.read_lines(fd, 9)
        finally:
            os.close(fd)
        self.assertEqual(lines[0], "$PMTK011,MTKGPS*08")       # goes with the first RMC
        self.assertEqual(lines[1], void_rmc(0).strip())
        self.assertEqual(lines[3], void_rmc(2).strip())
        self.assertEqual(lines[4], "$PMTK011,MTKGPS*08")       # looped
        with open(os.path.join(self.b.dir, "log", "gps-tx.bin"), "rb") as f:
            self.assertEqual(f.read(), frame)

    def test_link_goes_with_the_feeder(self):
        self.feeder = Feeder(self.b.dir, "--silent")
        link = os.path.join(self.b.dir, "dev", "ttyAMA1")
        self.assertTrue(os.path.islink(link))
        self.feeder.stop()
        self.feeder = None
        self.assertFalse(os.path.lexists(link))


if __name__ == "__main__":
    unittest.main()
