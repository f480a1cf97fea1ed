"""Shared helpers for the whole-program checks: board folders and the binary."""
import json
import os
import shutil
import signal
import subprocess
import tempfile
import sys
import time

SOURCE_DIR = os.environ.get("DASHCAM_SOURCE_DIR", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
BINARY_DIR = os.environ.get("DASHCAM_BINARY_DIR", os.path.join(SOURCE_DIR, "build"))
DASHCAM = os.environ.get("DASHCAM_BIN", os.path.join(BINARY_DIR, "dashcam"))
BOARD_TOOL = os.path.join(SOURCE_DIR, "sim", "board")
RECFEED = os.path.join(BINARY_DIR, "recfeed")
# What a sanitizer report holds in the standard error.
SANITIZER_MARKS = ("AddressSanitizer", "LeakSanitizer", "runtime error", "UndefinedBehaviorSanitizer")


def board(*args, check=True):
    r = subprocess.run([sys.executable, BOARD_TOOL] + [str(a) for a in args],
                       capture_output=True, text=True)
    if check and r.returncode != 0:
        raise RuntimeError("sim/board %s failed: %s" % (" ".join(map(str, args)), r.stderr))
    return r


def run_recfeed(card, seconds, *alarms, timeout=240):
    """build/recfeed over the card folder; the finished process."""
    return subprocess.run([RECFEED, card, str(seconds)] + [str(a) for a in alarms],
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


class Board:
    """A fresh board folder, removed afterwards."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="dashcam-e2e-")
        board("init", "--force", self.dir)

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


class Camera:
    """The camera binary running on a board, with its output collected."""

    def __init__(self, board_dir, env=None, command=None, cwd=None):
        """`command`: what runs the binary (default: the binary itself);
        `cwd`: its working folder."""
        e = dict(os.environ)
        e.pop("BOARD_ROOT", None)
        if board_dir is not None:
            e["BOARD_ROOT"] = board_dir
        e.setdefault("ASAN_OPTIONS", "detect_leaks=1")
        if env:
            e.update(env)
        self.out_path = tempfile.mktemp(prefix="dashcam-out-")
        self.err_path = tempfile.mktemp(prefix="dashcam-err-")
        with open(self.out_path, "w") as out, open(self.err_path, "w") as err:
            self.proc = subprocess.Popen(command or [DASHCAM], stdout=out, stderr=err, env=e, cwd=cwd)

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
