"""The camera on a real card: for each run, `sim/board card DIR attach` puts
the board's ext2 image on loop devices in a private mount namespace and runs
the camera there, so a run can be cut off like the power and the next one
started on the same card. Run as a program (inside such an attach) it reads
every video and image of the card mounted read-only and prints what it found."""
import calendar
import concurrent.futures
import json
import os
import re
import signal
import struct
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from dashcam_board import BOARD_TOOL, DASHCAM, Camera, board, netns_available  # noqa: E402
from sensors_case import skip_box  # noqa: E402

PART_OFFSET = 1 << 20
EXT2_STATE_AT = PART_OFFSET + 1024 + 58
MEDIA_FOLDERS = ("100video", "101video", "104snap")
TRIGGER_ACCEL = 4


def rig_unavailable():
    """Why the camera cannot run on a real card here, or ""."""
    if os.geteuid() != 0:
        return "the card rig needs root (loop devices and a private mount namespace)"
    if not os.path.exists("/dev/loop-control"):
        return "no loop devices here (/dev/loop-control is missing)"
    return netns_available()


def card_image(board_dir):
    return os.path.join(board_dir, "card", "card.img")


def fs_state(board_dir):
    """The ext2 superblock's state field in the card image (1: cleanly unmounted)."""
    with open(card_image(board_dir), "rb") as f:
        f.seek(EXT2_STATE_AT)
        return struct.unpack("<H", f.read(2))[0]


def set_fs_state(board_dir, state):
    with open(card_image(board_dir), "r+b") as f:
        f.seek(EXT2_STATE_AT)
        f.write(struct.pack("<H", state))


def name_time(name):
    """The start time (UTC seconds) of a card file from its name."""
    m = re.search(r"(\d{14})", name)
    return calendar.timegm(time.strptime(m.group(1), "%Y%m%d%H%M%S"))


def video_duration_part(name):
    """The duration part D of YYYYMMDDhhmmss_D[(n)]....MP4."""
    return int(re.match(r"\d{14}_(\d+)", name).group(1))


class RigCamera(Camera):
    """The camera run by `sim/board card DIR attach`; every stdout line is
    kept with the time it was first seen."""

    def __init__(self, board_dir, env=None):
        self.launched = time.time()
        super().__init__(board_dir, env=env,
                         command=[sys.executable, BOARD_TOOL, "card", board_dir, "attach", "--", DASHCAM])
        self.events = []        # (time seen, line)
        self._seen = 0
        self._pid = None
        self._stop = threading.Event()
        self._lock = threading.Lock()
        self._watch = threading.Thread(target=self._follow, daemon=True)
        self._watch.start()

    def _follow(self):
        while not self._stop.is_set():
            self._collect()
            time.sleep(0.01)

    def _collect(self):
        with self._lock:
            with open(self.out_path, "rb") as f:
                f.seek(self._seen)
                data = f.read()
            end = data.rfind(b"\n")
            if end < 0:
                return
            now = time.time()
            for line in data[:end].decode("latin-1").split("\n"):
                self.events.append((now, line))
            self._seen += end + 1

    def lines(self, pattern):
        """(time, line) of every line matching the regular expression so far."""
        self._collect_quietly()
        with self._lock:
            events = list(self.events)
        return [(t, l) for t, l in events if re.search(pattern, l)]

    def _collect_quietly(self):
        try:
            self._collect()
        except OSError:
            pass

    def wait_line(self, pattern, count=1, timeout=60.0):
        """The count-th (time, line) matching pattern, or None after timeout."""
        end = time.time() + timeout
        while True:
            found = self.lines(pattern)
            if len(found) >= count:
                return found[count - 1]
            if time.time() > end or self.proc.poll() is not None:
                return None
            time.sleep(0.01)

    def _is_camera(self, pid):
        """pid is the camera: a process named dashcam whose parent is the board tool."""
        try:
            with open("/proc/%d/stat" % pid) as f:
                stat = f.read()
        except OSError:
            return False
        fields = stat[stat.rfind(")") + 2:].split()
        return "(dashcam)" in stat and int(fields[1]) == self.proc.pid

    def camera_pid(self, tries=500):
        """The camera process itself, the board tool's child (None when
        it cannot be found in `tries` looks 10 ms apart)."""
        for _ in range(tries):
            if self._pid is not None and self._is_camera(self._pid):
                return self._pid
            self._pid = next((int(e) for e in os.listdir("/proc") if e.isdigit() and self._is_camera(int(e))), None)
            if self._pid is not None:
                return self._pid
            time.sleep(0.01)
        return None

    def kill_camera(self, sig=signal.SIGKILL):
        """Sends sig to the camera; the time it was sent."""
        pid = self.camera_pid()
        if pid is None:
            raise AssertionError("the camera is not running: " + self.stdout()[-2000:] + self.stderr()[-2000:])
        now = time.time()
        os.kill(pid, sig)
        return now

    def wait_gone(self, timeout=60.0):
        """Waits for the board tool to drop the card's loop devices and end."""
        self.proc.wait(timeout)
        self._stop.set()
        self._collect_quietly()

    def curl(self, url, timeout=60):
        r = self.run(["curl", "-s", "--max-time", str(timeout), url], capture_output=True, timeout=timeout + 30)
        return r.returncode, r.stdout

    def lists(self):
        """The three index documents of /ini.htm."""
        docs = {}
        for cmd in ("commonvideolist", "alarmvideolist", "alarmimagelist"):
            code, body = self.curl("http://127.0.0.1/ini.htm?cmd=" + cmd)
            if code != 0:
                raise AssertionError("curl of %s failed: %d" % (cmd, code))
            docs[cmd] = json.loads(body)
        return docs

    def stop(self, timeout=20.0):
        """SIGINT through the board tool; the camera's exit status. When it
        does not end in time it is killed before the tool, so that it never
        outlives the run."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGINT)
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self._end_camera()
            raise

    def _end_camera(self):
        """Kills the camera, so the board tool drops the card's loop devices
        and mounts and ends."""
        if self.proc.poll() is None:
            pid = self.camera_pid(tries=1)
            if pid is not None:
                try:
                    os.kill(pid, signal.SIGKILL)
                    self.proc.wait(30)
                except (OSError, subprocess.TimeoutExpired):
                    pass

    def close(self):
        """Ends the camera first, then the tool."""
        self._stop.set()
        self._end_camera()
        super().close()


def listed_names(docs):
    """{folder: {name: record}} of the three index documents."""
    out = {}
    for doc in docs.values():
        folder = os.path.basename(doc.get("mp4folder", doc.get("jpgfolder", "")))
        records = doc.get("mp4data", doc.get("jpgdata", []))
        out.setdefault(folder, {}).update({r["filename"]: r for r in records})
    return out


def inspect_card(board_dir):
    """Every video and image on the card, read with the card mounted
    read-only: {"100video/NAME": {...}, ..., "other": [names of anything
    else in those folders]}, or {"error": ...} when it could not be mounted."""
    r = board("card", board_dir, "attach", "--", sys.executable, os.path.abspath(__file__), "inspect", board_dir,
              check=False)
    if r.returncode != 0:
        raise AssertionError("card inspection failed: " + r.stdout[-2000:] + r.stderr[-2000:])
    return json.loads(r.stdout.splitlines()[-1])


def read_media(path):
    info = {"size": os.path.getsize(path)}
    r = subprocess.run(["ffprobe", "-v", "error", "-show_streams", "-show_format", "-of", "json", path],
                       capture_output=True, text=True)
    info["probe_ok"] = r.returncode == 0
    info["probe_error"] = r.stderr[-500:]
    if r.returncode == 0:
        doc = json.loads(r.stdout)
        info["duration"] = float(doc.get("format", {}).get("duration", 0) or 0)
        info["streams"] = sorted(s.get("codec_name", "") for s in doc.get("streams", []))
        video = [s for s in doc.get("streams", []) if s.get("codec_type") == "video"]
        info["frames"] = int(video[0].get("nb_frames", 0) or 0) if video else 0
    d = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "null", "-"], capture_output=True, text=True)
    info["decode_ok"] = d.returncode == 0 and not (d.stdout + d.stderr).strip()
    info["decode_error"] = (d.stdout + d.stderr)[-500:]
    if path.endswith(".MP4") and "/101video/" in path:
        info["trigger"] = skip_box(path)[0]
    return info


def inspect_main(board_dir):
    card = os.path.join(board_dir, "tmp", "mmc0")
    r = subprocess.run(["mount", "-o", "ro", os.path.join(board_dir, "dev", "mmcblk0p1"), card],
                       capture_output=True, text=True)
    if r.returncode != 0:
        print(json.dumps({"error": "mount: " + r.stderr.strip()}))
        return
    paths, others = [], []
    for folder in MEDIA_FOLDERS:
        d = os.path.join(card, "DCIM", folder)
        for n in sorted(os.listdir(d)) if os.path.isdir(d) else []:
            media = not n.startswith(".") and n.endswith(".JPG" if folder == "104snap" else ".MP4")
            (paths if media else others).append(os.path.join(d, n))
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        results = list(pool.map(read_media, paths))
    top = os.path.join(card, "DCIM")
    found = {os.path.relpath(p, top): r for p, r in zip(paths, results)}
    found["other"] = [os.path.relpath(p, top) for p in others]
    print(json.dumps(found))


if __name__ == "__main__" and sys.argv[1:2] == ["inspect"]:
    inspect_main(sys.argv[2])
