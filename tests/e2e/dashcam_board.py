"""Shared helpers for the whole-program checks: board folders and the binary."""
import ctypes
import json
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import sys
import time
import unittest

SOURCE_DIR = os.environ.get("DASHCAM_SOURCE_DIR", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
BINARY_DIR = os.environ.get("DASHCAM_BINARY_DIR", os.path.join(SOURCE_DIR, "build"))
DASHCAM = os.environ.get("DASHCAM_BIN", os.path.join(BINARY_DIR, "dashcam"))
BOARD_TOOL = os.path.join(SOURCE_DIR, "sim", "board")
RECFEED = os.path.join(BINARY_DIR, "recfeed")
# The card rig (the card image on loop devices) needs root and loop devices.
CARD_RIG = os.geteuid() == 0 and os.path.exists("/dev/loop-control")
# What a sanitizer report holds in the standard error.
SANITIZER_MARKS = ("AddressSanitizer", "LeakSanitizer", "runtime error", "UndefinedBehaviorSanitizer")


def wait_until(cond, timeout=30.0, step=0.05):
    """Polls cond every step seconds for up to timeout; its last value."""
    end = time.time() + timeout
    while time.time() < end:
        if cond():
            return True
        time.sleep(step)
    return cond()


def board(*args, check=True):
    r = subprocess.run([sys.executable, BOARD_TOOL] + [str(a) for a in args],
                       capture_output=True, text=True)
    if check and r.returncode != 0:
        raise RuntimeError("sim/board %s failed: %s" % (" ".join(map(str, args)), r.stderr))
    return r


def run_recfeed(card, seconds, *alarms, timeout=240, options=()):
    """build/recfeed over the card folder (options such as "--power-cut"
    before it); the finished process."""
    return subprocess.run([RECFEED] + list(options) + [card, str(seconds)] + [str(a) for a in alarms],
                          capture_output=True, text=True, timeout=timeout)


def index_lists(stdout):
    """The three index documents recfeed prints after its "INDEX LISTS:" line."""
    lines = stdout.splitlines()
    at = lines.index("INDEX LISTS:")
    return [json.loads(line) for line in lines[at + 1:at + 4]]


def card_files(card):
    """Every file under the card folder with its size, by path relative to it."""
    found = {}
    for top, _, names in os.walk(card):
        for n in names:
            p = os.path.join(top, n)
            found[os.path.relpath(p, card)] = os.path.getsize(p)
    return found


def head_and_body(sock, timeout=30.0):
    """One reply read from sock: the head as text and the body of its Content-Length."""
    sock.settimeout(timeout)
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(65536)
        if not chunk:
            break
        data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n"):
        if line.lower().startswith(b"content-length:"):
            length = int(line.split(b":")[1])
    while len(body) < length:
        chunk = sock.recv(65536)
        if not chunk:
            break
        body += chunk
    return head.decode("latin-1"), body


class Board:
    """A fresh board folder, removed afterwards."""

    def __init__(self, card_mb=None):
        self.dir = tempfile.mkdtemp(prefix="dashcam-e2e-")
        board("init", "--force", *(["--card-mb", card_mb] if card_mb else []), self.dir)

    def close(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def gpio(self, pin, level=None):
        if level is None:
            return int(board("gpio", self.dir, pin).stdout.strip())
        board("gpio", self.dir, pin, level)

    def commands(self):
        return board("commands", self.dir).stdout.splitlines()

    @property
    def card(self):
        """The plain folder card the camera mounts (DIR/tmp/mmc0)."""
        return os.path.join(self.dir, "tmp", "mmc0")


class BoardCase(unittest.TestCase):
    """A fresh board per test; the camera started on it (self.cam) is closed after."""

    def setUp(self):
        self.b = Board()
        self.cam = None

    def tearDown(self):
        if self.cam is not None:
            self.cam.close()
        self.b.close()


CLONE_NEWNET = 0x40000000


_NETNS_WHY = None


def netns_available():
    """Why a private network namespace cannot be made here, or "" when it can."""
    global _NETNS_WHY
    if _NETNS_WHY is None:
        if shutil.which("unshare") is None or shutil.which("nsenter") is None or shutil.which("ip") is None:
            _NETNS_WHY = "unshare, nsenter or ip missing"
        else:
            r = subprocess.run(["unshare", "--net", "true"], capture_output=True, text=True)
            _NETNS_WHY = "" if r.returncode == 0 else "no private network namespace: " + r.stderr.strip()
    return _NETNS_WHY


class Camera:
    """The camera binary running on a board, with its output collected."""

    def __init__(self, board_dir, env=None, command=None, cwd=None, netns=None):
        """`command`: what runs the binary (default: the binary itself);
        `cwd`: its working folder; `netns`: run it in a network namespace of
        its own with only loopback up, so it listens on the device's own
        ports and meets no other test (clients go through in_netns, run and
        connect). By default every camera gets one where the host allows it;
        False keeps the test's own network."""
        if netns is None:
            netns = netns_available() == ""
        e = dict(os.environ)
        e.pop("BOARD_ROOT", None)
        if board_dir is not None:
            e["BOARD_ROOT"] = board_dir
        e.setdefault("ASAN_OPTIONS", "detect_leaks=1")
        if env:
            e.update(env)
        self.out_path = tempfile.mktemp(prefix="dashcam-out-")
        self.err_path = tempfile.mktemp(prefix="dashcam-err-")
        argv = command or [DASHCAM]
        self.netns = netns
        if netns:
            # unshare and sh exec in turn: the process is the camera itself
            argv = ["unshare", "--net", "--", "sh", "-c", 'ip link set lo up && exec "$@"', "sh"] + list(argv)
        with open(self.out_path, "w") as out, open(self.err_path, "w") as err:
            self.proc = subprocess.Popen(argv, stdout=out, stderr=err, env=e, cwd=cwd)

    def in_netns(self, argv):
        """A command line that runs argv in the camera's network namespace."""
        if not self.netns:
            return list(argv)
        return ["nsenter", "--net=/proc/%d/ns/net" % self.proc.pid, "--"] + list(argv)

    def run(self, argv, **kw):
        """subprocess.run of argv beside the camera."""
        return subprocess.run(self.in_netns(argv), **kw)

    def connect(self, port, host="127.0.0.1", timeout=20.0):
        """A TCP socket to the camera, made in its namespace (a socket keeps
        the namespace it was made in)."""
        if not self.netns:
            return socket.create_connection((host, port), timeout=timeout)
        box = {}

        def make():
            libc = ctypes.CDLL(None, use_errno=True)
            fd = os.open("/proc/%d/ns/net" % self.proc.pid, os.O_RDONLY)
            try:
                if libc.setns(fd, CLONE_NEWNET) != 0:
                    box["error"] = OSError(ctypes.get_errno(), "setns")
                    return
                box["sock"] = socket.create_connection((host, port), timeout=timeout)
            except OSError as err:
                box["error"] = err
            finally:
                os.close(fd)

        # setns moves only the calling thread: a thread of its own, then gone
        t = threading.Thread(target=make)
        t.start()
        t.join()
        if "error" in box:
            raise box["error"]
        return box["sock"]

    def stdout(self):
        with open(self.out_path) as f:
            return f.read()

    def stderr(self):
        with open(self.err_path) as f:
            return f.read()

    def wait_for(self, text, timeout=10.0):
        end = time.time() + timeout
        while time.time() < end:
            if text in self.stdout():
                return True
            if self.proc.poll() is not None:
                return text in self.stdout()
            time.sleep(0.02)
        return False

    def signal(self, sig):
        self.proc.send_signal(sig)

    def stop(self, timeout=20.0):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGINT)
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        for p in (self.out_path, self.err_path):
            if os.path.exists(p):
                os.remove(p)
