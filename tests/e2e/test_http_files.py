"""The camera's file replies and special URLs on a board, in a network
namespace of its own: byte ranges, URL handling, conditional requests, the
order of head lines, the lists, the captured JPEG, the live sub-stream, the
speed test and a recorded loop file downloaded whole and in pieces."""
import http.client
import json
import os
import subprocess
import tempfile
import threading
import time
import unittest

from dashcam_board import SANITIZER_MARKS, Board, Camera, netns_available

PORT = 80
FIFTY = bytes(range(65, 65 + 26)) + bytes(range(97, 97 + 24))


def nal_types(data):
    """NAL unit types of an Annex-B stream in order."""
    types, i = [], 0
    while True:
        i = data.find(b"\x00\x00\x01", i)
        if i < 0 or i + 3 >= len(data):
            return types
        types.append(data[i + 3] & 0x1F)
        i += 3


def read_head(sock):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(1)
        if not chunk:
            break
        data += chunk
    return data.decode("latin-1")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def head_names(head):
    return [line.split(":", 1)[0] for line in head.split("\r\n")[1:] if line]


class CameraCase(unittest.TestCase):
    """One camera for the class."""

    @classmethod
    def prepare(cls, b):
        pass

    @classmethod
    def setUpClass(cls):
        cls.b = Board()
        cls.prepare(cls.b)
        cls.cam = Camera(cls.b.dir, netns=True)
        if not cls.cam.wait_for("Main Loop...\n", timeout=90):
            out, err = cls.cam.stdout(), cls.cam.stderr()
            cls.cam.close()
            cls.b.close()
            raise AssertionError(out[-2000:] + err[-2000:])

    @classmethod
    def tearDownClass(cls):
        try:
            status = cls.cam.stop()
            out, err = cls.cam.stdout(), cls.cam.stderr()
            assert status == 0, out[-2000:] + err[-2000:]
            for mark in SANITIZER_MARKS:
                assert mark not in err, err[-4000:]
        finally:
            cls.cam.close()
            cls.b.close()

    def curl(self, *args, timeout=60):
        return self.cam.run(["curl", "-s", "--max-time", "30"] + list(args), capture_output=True, timeout=timeout)

    def http(self):
        conn = http.client.HTTPConnection("127.0.0.1", PORT, timeout=30)
        conn.sock = self.cam.connect(PORT)
        return conn


@unittest.skipIf(netns_available() != "", netns_available())
class FileRepliesTest(CameraCase):
    @classmethod
    def prepare(cls, b):
        card = b.card
        os.makedirs(os.path.join(card, "DCIM", "100video"), exist_ok=True)
        with open(os.path.join(card, "f50.bin"), "wb") as f:
            f.write(FIFTY)
        for name, data in (("x.JPG", b"J"), ("x.jpg", b"j")):
            with open(os.path.join(card, name), "wb") as f:
                f.write(data)
        os.makedirs(os.path.join(card, "site"), exist_ok=True)
        with open(os.path.join(card, "site", "index.html"), "w") as f:
            f.write("<p>site</p>")
        os.mkfifo(os.path.join(card, "pipe"))
        os.makedirs(os.path.join(card, "tavika-ft"), exist_ok=True)
        with open(os.path.join(card, "tavika-ft", "testspeed.dat"), "wb") as f:
            f.write(os.urandom(4 << 20))

    def test_ranges_on_fifty_bytes(self):
        cases = [
            ("0-99", 206, "bytes 0-49/50", FIFTY),
            ("-20", 206, "bytes 30-49/50", FIFTY[30:]),
            ("10-", 206, "bytes 10-49/50", FIFTY[10:]),
            ("0-0", 206, "bytes 0-0/50", FIFTY[:1]),
            ("-0", 416, None, b"You requested a range outside of the file."),
            ("50-", 416, None, b"You requested a range outside of the file."),
            ("10-5", 416, None, b"You requested a backward range."),
            ("abc", 200, None, FIFTY),
            ("5", 200, None, FIFTY),
            ("0-9,20-29", 206, "bytes 0-9/50", FIFTY[:10]),
            ("18446744073709551615-", 416, None, b"You requested a range outside of the file."),
            ("-99999999999999999999", 206, "bytes 0-49/50", FIFTY),
        ]
        conn = self.http()
        for rng, status, content_range, body in cases:
            with self.subTest(range=rng):
                conn.request("GET", "/f50.bin", headers={"Range": "bytes=" + rng})
                r = conn.getresponse()
                data = r.read()
                self.assertEqual(r.status, status)
                self.assertEqual(r.getheader("Content-Range"), content_range)
                if status == 416:
                    self.assertIn(body, data)
                else:
                    self.assertEqual(data, body)
                # curl reads the same
                c = self.curl("-H", "Range: bytes=" + rng, "-w", "\n%{http_code}", "http://127.0.0.1/f50.bin")
                got, _, code = c.stdout.rpartition(b"\n")
                self.assertEqual(int(code), status)
                if status != 416:
                    self.assertEqual(got, body)
        # HEAD with a range: the 206 head and no body
        conn.request("HEAD", "/f50.bin", headers={"Range": "bytes=10-19"})
        r = conn.getresponse()
        self.assertEqual((r.status, r.read()), (206, b""))
        self.assertEqual(r.getheader("Content-Length"), "10")
        self.assertEqual(r.getheader("Content-Range"), "bytes 10-19/50")
        conn.close()

    def test_urls(self):
        cases = [
            ("/../etc/passwd", "400", None),
            ("/%2e%2e/x", "400", None),
            ("/a/../ini.htm?cmd=nosuch", "200", None),
            ("/ini%2Ehtm?cmd=x", "200", None),
            ("/INI.HTM", "404", None),
            ("/ini.htm/", "500", None),  # a folder request: there is no such folder
            ("/capturemain.jpeg?t=5", "200", "image/jpeg"),
            ("/site", "301", None),
            ("/x.JPG", "200", "application/octet-stream"),
            ("/x.jpg", "200", "image/jpeg"),
            ("/pipe", "403", None),
            ("/site/", "200", "text/html"),
        ]
        for url, code, ctype in cases:
            with self.subTest(url=url):
                r = self.curl("--path-as-is", "-o", "/dev/null", "-w", "%{http_code} %{content_type}",
                              "http://127.0.0.1" + url)
                got_code, _, got_type = r.stdout.decode().partition(" ")
                self.assertEqual(got_code, code)
                if ctype is not None:
                    self.assertEqual(got_type, ctype)
        r = self.curl("http://127.0.0.1/ini%2Ehtm?cmd=nosuch")
        self.assertEqual(r.stdout, b"US nosuch")
        for url, where in (("/DCIM", "/DCIM/"), ("/DCIM?x=1", "/DCIM/?x=1")):
            with self.subTest(url=url):
                r = self.curl("-o", "/dev/null", "-w", "%{http_code} %{redirect_url}", "http://127.0.0.1" + url)
                self.assertEqual(r.stdout.decode(), "301 http://127.0.0.1" + where)
        # one hop to 200
        r = self.curl("-L", "--max-redirs", "1", "-o", "/dev/null", "-w", "%{http_code} %{num_redirects}",
                      "http://127.0.0.1/DCIM?x=1")
        self.assertEqual(r.stdout.decode(), "200 1")
        self.assertEqual(self.curl("http://127.0.0.1/site/").stdout, b"<p>site</p>")

    def test_if_modified_since(self):
        conn = self.http()
        conn.request("GET", "/f50.bin")
        r = conn.getresponse()
        r.read()
        modified = r.getheader("Last-Modified")
        stamp = time.strptime(modified, "%a, %d %b %Y %H:%M:%S GMT")
        rfc850 = time.strftime("%A, %d-%b-%y %H:%M:%S GMT", stamp)
        for since, status in ((modified, 304), (rfc850, 200)):
            with self.subTest(since=since):
                conn.request("GET", "/f50.bin", headers={"If-Modified-Since": since})
                r = conn.getresponse()
                body = r.read()
                self.assertEqual(r.status, status)
                self.assertEqual(body, b"" if status == 304 else FIFTY)
        conn.close()

    def test_head_lines_in_order(self):
        full = ["Date", "Accept-Ranges", "Keep-Alive", "Content-Length", "Content-Type", "Last-Modified"]
        cases = [
            (b"GET /f50.bin HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK", full),
            (b"GET /f50.bin HTTP/1.1\r\nRange: bytes=1-2\r\n\r\n", "HTTP/1.1 206 Partial Content",
             ["Date", "Accept-Ranges", "Keep-Alive", "Content-Length", "Content-Range", "Content-Type",
              "Last-Modified"]),
            (b"GET /commonvideo.json HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK", full),
            (b"HEAD /capturemain.jpeg HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK", full),
            (b"GET /nothing HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found",
             ["Date", "Accept-Ranges", "Keep-Alive", "Content-Length", "Content-Type"]),
            (b"GET /site HTTP/1.1\r\n\r\n", "HTTP/1.1 301 Moved Permanently",
             ["Date", "Location", "Keep-Alive", "Content-Length", "Content-Type"]),
        ]
        for request, status, names in cases:
            with self.subTest(request=request):
                s = self.cam.connect(PORT)
                s.sendall(request)
                head = read_head(s)
                s.close()
                self.assertEqual(head.split("\r\n")[0], status)
                self.assertEqual(head_names(head), names)

    def test_lists_parse(self):
        for url, kind in (("/commonvideo.json", "commonvideo"), ("/alarmvideo.json", "alarmvideo"),
                          ("/alarmjpg.json", "alarmjpg")):
            with self.subTest(url=url):
                r = self.curl("http://127.0.0.1" + url)
                doc = json.loads(r.stdout)
                self.assertIsInstance(doc, dict)

    def test_captured_jpeg(self):
        out = tempfile.mktemp(suffix=".jpg")
        try:
            r = self.curl("-o", out, "-w", "%{http_code}", "http://127.0.0.1/capturemain.jpeg")
            self.assertEqual(r.stdout, b"200")
            p = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=codec_name,width,height",
                                "-of", "csv=p=0", out], capture_output=True, text=True)
            self.assertEqual(p.stdout.strip(), "mjpeg,1920,1080")
        finally:
            if os.path.exists(out):
                os.remove(out)
        r = self.curl("-I", "http://127.0.0.1/capturemain.jpeg")
        self.assertIn(b"Content-Type: image/jpeg", r.stdout)

    def test_live_substream(self):
        out = tempfile.mktemp(suffix=".h264")
        try:
            r = self.curl("--max-time", "3", "-o", out, "http://127.0.0.1/livesubstream.h264")
            self.assertEqual(r.returncode, 28)
            data = read(out)
            types = nal_types(data)
            self.assertEqual(types[:3], [7, 8, 5])
            self.assertNotIn(6, types)
            p = subprocess.run(["ffprobe", "-v", "error", "-f", "h264", "-show_entries",
                                "stream=codec_name,width,height", "-of", "csv=p=0", out],
                               capture_output=True, text=True)
            self.assertEqual(p.stdout.strip(), "h264,640,480")
        finally:
            if os.path.exists(out):
                os.remove(out)

    def test_two_live_viewers_decode(self):
        outs = [tempfile.mktemp(suffix=".h264") for _ in range(2)]
        try:
            first = threading.Thread(target=self.curl, args=("--max-time", "6", "-o", outs[0],
                                                             "http://127.0.0.1/livesubstream.h264"))
            first.start()
            time.sleep(2.5)  # the second joins the running stream
            self.curl("--max-time", "3", "-o", outs[1], "http://127.0.0.1/livesubstream.h264")
            first.join()
            for out in outs:
                data = read(out)
                self.assertGreater(len(data), 0)
                self.assertIn(nal_types(data)[0], (7, 5))
                p = subprocess.run(["ffmpeg", "-v", "error", "-f", "h264", "-i", out, "-f", "null", "-"],
                                   capture_output=True, text=True)
                self.assertEqual(p.stderr, "", out)
        finally:
            for out in outs:
                if os.path.exists(out):
                    os.remove(out)

    def test_speed_test_pauses_once_per_request(self):
        before = self.cam.stdout().count("http cmd PauseRecord")
        conn = self.http()
        for i in range(2):
            conn.request("GET", "/tavika-ft/testspeed.dat")
            r = conn.getresponse()
            self.assertEqual(len(r.read()), 4 << 20)
            end = time.time() + 10
            while time.time() < end and self.cam.stdout().count("http cmd ResumeRecord") < before + i + 1:
                time.sleep(0.05)
            out = self.cam.stdout()
            self.assertEqual(out.count("http cmd PauseRecord"), before + i + 1)
            self.assertEqual(out.count("http cmd ResumeRecord"), before + i + 1)  # connection still open
        conn.close()


@unittest.skipIf(netns_available() != "", netns_available())
class RecordedFileTest(CameraCase):
    def test_download_a_finished_loop_file(self):
        time.sleep(10)
        self.b.gpio(0, 1)  # the power is cut: the loop file is finished
        self.assertTrue(self.cam.wait_for("[CHK PACK] MV ", timeout=60), self.cam.stdout()[-3000:])
        time.sleep(1)
        doc = json.loads(self.curl("http://127.0.0.1/commonvideo.json").stdout)
        text = json.dumps(doc)
        folder = os.path.join(self.b.card, "DCIM", "100video")
        names = [n for n in os.listdir(folder) if n.endswith(".MP4") and not n.endswith("_0.MP4")]
        self.assertEqual(len(names), 1, os.listdir(folder))
        name = names[0]
        self.assertIn(name, text)
        src = os.path.join(folder, name)
        size = os.path.getsize(src)
        url = "http://127.0.0.1/DCIM/100video/" + name
        work = tempfile.mkdtemp(prefix="dashcam-dl-")
        try:
            whole = os.path.join(work, "whole.mp4")
            self.assertEqual(self.curl("-o", whole, url).returncode, 0)
            self.assertEqual(subprocess.run(["cmp", whole, src]).returncode, 0)
            a, b = os.path.join(work, "a"), os.path.join(work, "b")
            half = size // 2
            self.curl("-r", "0-%d" % (half - 1), "-o", a, url)
            self.curl("-r", "%d-" % half, "-o", b, url)
            joined = os.path.join(work, "joined.mp4")
            with open(joined, "wb") as f:
                f.write(read(a) + read(b))
            self.assertEqual(subprocess.run(["cmp", joined, src]).returncode, 0)
            resumed = os.path.join(work, "resumed.mp4")
            with open(resumed, "wb") as f:
                f.write(read(src)[:size // 3])  # a download cut short
            self.assertEqual(self.curl("-C", "-", "-o", resumed, url).returncode, 0)
            self.assertEqual(subprocess.run(["cmp", resumed, src]).returncode, 0)
            p = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=codec_name,width,height",
                                "-of", "csv=p=0", whole], capture_output=True, text=True)
            self.assertEqual(p.stdout.split(), ["h264,1920,1080", "aac"])
            p = subprocess.run(["ffmpeg", "-v", "error", "-i", whole, "-f", "null", "-"],
                               capture_output=True, text=True)
            self.assertEqual(p.stderr, "")
            # the list and the file on one connection
            v = self.curl("-v", "-o", "/dev/null", "http://127.0.0.1/commonvideo.json", "-o", "/dev/null", url)
            self.assertIn(b"Re-using existing connection", v.stderr)
        finally:
            subprocess.run(["rm", "-rf", work])

        # a download while the power is cut leaves recording paused
        resumes = self.cam.stdout().count("RESUME COMMON RECORD")
        os.makedirs(os.path.join(self.b.card, "tavika-ft"), exist_ok=True)
        with open(os.path.join(self.b.card, "tavika-ft", "testspeed.dat"), "wb") as f:
            f.write(b"s" * 100000)
        self.assertEqual(len(self.curl("http://127.0.0.1/tavika-ft/testspeed.dat").stdout), 100000)
        self.assertTrue(self.cam.wait_for("http cmd ResumeRecord", timeout=10))
        time.sleep(1)
        self.assertEqual(self.cam.stdout().count("RESUME COMMON RECORD"), resumes)
        self.b.gpio(0, 0)  # power back: recording resumes
        end = time.time() + 30
        while time.time() < end and self.cam.stdout().count("RESUME COMMON RECORD") == resumes:
            time.sleep(0.1)
        self.assertGreater(self.cam.stdout().count("RESUME COMMON RECORD"), resumes)


if __name__ == "__main__":
    unittest.main()
