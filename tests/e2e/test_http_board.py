"""The camera's web server on a board, in a network namespace of its own so
it listens on the device's port 80: listings, refused URLs, methods and
limits, the idle close, a browser's view of a listing, and a flood of
connections."""
import html.parser
import http.client
import os
import resource
import shutil
import socket
import subprocess
import tempfile
import time
import unittest
import urllib.parse

from dashcam_board import SANITIZER_MARKS, Board, Camera, head_and_body, netns_available

PORT = 80
ARTIFACTS = os.path.join(os.environ.get("DASHCAM_BINARY_DIR", tempfile.gettempdir()), "e2e-artifacts")
ODD_NAMES = ["a b.txt", "%&.txt", "<x>.txt", "q\"uote's.txt", "#hash?.txt", "semi;colon=.txt"]


class Anchors(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.links = []
        self._href = None
        self._text = ""

    def handle_starttag(self, tag, attrs):
        if tag == "a":
            self._href = dict(attrs).get("href")
            self._text = ""

    def handle_data(self, data):
        if self._href is not None:
            self._text += data

    def handle_endtag(self, tag):
        if tag == "a" and self._href is not None:
            self.links.append((self._href, self._text))
            self._href = None


@unittest.skipIf(netns_available() != "", netns_available())
class HttpBoardTest(unittest.TestCase):
    def setUp(self):
        self.b = Board()
        os.makedirs(os.path.join(self.b.card, "DCIM", "100video"), exist_ok=True)
        for n in ODD_NAMES:
            with open(os.path.join(self.b.card, n), "w") as f:
                f.write("file " + n)
        # a file outside the document root, next to the card folder
        with open(os.path.join(self.b.dir, "tmp", "x"), "w") as f:
            f.write("OUTSIDE-THE-ROOT")
        self.cam = Camera(self.b.dir, netns=True)
        self.assertTrue(self.cam.wait_for("Main Loop...\n", timeout=60), self.cam.stdout() + self.cam.stderr())
        self.assertIn("listening on: http://0.0.0.0:80/\n", self.cam.stdout())
        self.assertIn("IN CHttpServer SD STATE CALLBACK...\n", self.cam.stdout())

    def tearDown(self):
        try:
            status = self.cam.stop()
            out, err = self.cam.stdout(), self.cam.stderr()
            self.assertEqual(status, 0, out[-2000:] + err)
            for mark in SANITIZER_MARKS:
                self.assertNotIn(mark, err)
            lines = out.splitlines()
            self.assertIn("HTTP Server Thread Quiting...", lines)
            self.assertLess(lines.index("HTTP Server Thread Quiting..."), lines.index("HTTP Clean Up Done..."))
            self.assertEqual(lines[-1], "Exiting...")
        finally:
            self.cam.close()
            self.b.close()

    def curl(self, *args):
        r = self.cam.run(["curl", "-s", "--max-time", "20"] + list(args), capture_output=True)
        return r.stdout

    def status(self, *args):
        return self.curl("-o", "/dev/null", "-w", "%{http_code}", *args).decode()

    def raw(self, data):
        s = self.cam.connect(PORT)
        try:
            s.sendall(data)
            return head_and_body(s)
        finally:
            s.close()

    def test_card_root_listing_and_refused_urls(self):
        listing = self.curl("http://127.0.0.1/").decode("utf-8")
        p = Anchors()
        p.feed(listing)
        texts = [t for _, t in p.links]
        for n in ODD_NAMES + ["DCIM"]:
            self.assertIn(n, texts, listing)
        self.assertIn("<title>/</title>", listing)
        for url in ("/../x", "/%2e%2e/x", "/..%2f..%2fetc/passwd", "//etc/passwd", "/%2e%2e%2fx", "/DCIM/../../x"):
            with self.subTest(url=url):
                r = self.cam.run(["curl", "-s", "--max-time", "20", "--path-as-is", "-w", "\n%{http_code}",
                                  "http://127.0.0.1" + url], capture_output=True)
                body, _, code = r.stdout.rpartition(b"\n")
                self.assertIn(code, (b"400", b"404"))
                self.assertNotIn(b"OUTSIDE-THE-ROOT", body)
                self.assertNotIn(b"root:", body)

    def test_kept_alive_connection_with_http_client(self):
        conn = http.client.HTTPConnection("127.0.0.1", PORT, timeout=20)
        conn.sock = self.cam.connect(PORT)
        first = conn.sock
        for method, url, status in (("GET", "/", 200), ("HEAD", "/", 200), ("GET", "/DCIM/", 200),
                                    ("GET", "/nothing.mp4", 404)):
            with self.subTest(method=method, url=url):
                conn.request(method, url)
                r = conn.getresponse()
                body = r.read()
                self.assertEqual(r.status, status)
                self.assertEqual(r.getheader("Keep-Alive"), "timeout=60")
                self.assertEqual(r.getheader("Content-Type"), "text/html")
                if method == "HEAD":
                    self.assertEqual(body, b"")
                else:
                    self.assertEqual(len(body), int(r.getheader("Content-Length")))
                self.assertIs(conn.sock, first)      # the same connection throughout
        conn.close()

    def test_methods_and_limits(self):
        self.assertEqual(self.status("-d", "x", "http://127.0.0.1/"), "501")
        head, body = self.raw(b"FOO / HTTP/1.1\r\n\r\n")
        self.assertTrue(head.startswith("HTTP/1.1 400 Bad Request\r\n"), head)
        self.assertIn(b"FOO is not a valid HTTP/1.1 method.", body)
        line = b"GET / HTTP/1.1\r\nX: "
        request = line + b"p" * (4001 - len(line) - 4) + b"\r\n\r\n"
        self.assertEqual(len(request), 4001)
        head, body = self.raw(request)
        self.assertTrue(head.startswith("HTTP/1.1 413 Request Entity Too Large\r\n"), head)
        self.assertIn("Connection: close\r\n", head + "\r\n")

    def test_one_idle_close_after_sixty_seconds(self):
        s = self.cam.connect(PORT)
        s.settimeout(90)
        start = time.monotonic()
        self.assertEqual(s.recv(1), b"")
        waited = time.monotonic() - start
        s.close()
        self.assertGreaterEqual(waited, 59.5)
        self.assertLessEqual(waited, 66.0)

    @unittest.skipIf(shutil.which("chromium") is None, "chromium missing")
    def test_browser_sees_the_names(self):
        profile = tempfile.mkdtemp(prefix="dashcam-chromium-")
        os.makedirs(ARTIFACTS, exist_ok=True)
        shot = os.path.join(ARTIFACTS, "http-listing.png")
        flags = ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--user-data-dir=" + profile]
        try:
            dom = self.cam.run(flags + ["--dump-dom", "http://127.0.0.1/"], capture_output=True, timeout=120)
            self.cam.run(flags + ["--screenshot=" + shot, "--window-size=800,600", "http://127.0.0.1/"],
                         capture_output=True, timeout=120)
        finally:
            shutil.rmtree(profile, ignore_errors=True)
        p = Anchors()
        p.feed(dom.stdout.decode("utf-8"))
        found = {}
        for href, text in p.links:
            found[text] = urllib.parse.unquote(urllib.parse.urlsplit(urllib.parse.urljoin("http://127.0.0.1/", href)).path)
        for n in ODD_NAMES:
            with self.subTest(name=n):
                self.assertIn(n, found, dom.stdout[:2000])
                self.assertEqual(found[n], "/" + n)   # the link leads to the name itself
        self.assertTrue(os.path.getsize(shot) > 0)

    def test_a_thousand_connections_then_an_answer(self):
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 4096), hard))
        socks = []
        try:
            for _ in range(1000):
                try:
                    socks.append(self.cam.connect(PORT, timeout=5))
                except OSError:
                    pass
            self.assertGreater(len(socks), 900)
            self.assertIsNone(self.cam.proc.poll())
        finally:
            for s in socks:
                s.close()
            resource.setrlimit(resource.RLIMIT_NOFILE, (soft, hard))
        deadline = time.monotonic() + 30
        code = ""
        while time.monotonic() < deadline and code != "200":
            code = self.status("http://127.0.0.1/")
        self.assertEqual(code, "200")


if __name__ == "__main__":
    unittest.main()
