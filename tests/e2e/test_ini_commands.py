"""The command interface behind "/ini.htm" on the real camera, with curl,
raw sockets and Python's own readers, in a network namespace of the test's
own: the boot environment in the flash image, the storage settings and
report, deleting and formatting recordings, pausing and resuming
recording, and the factory-test flag across a restart."""
import configparser
import json
import os
import re
import socket
import struct
import subprocess
import time
import unittest
import zlib

from app_channel import Phone, private_network
from capture_media import decode_errors, probe, stream
from dashcam_board import Board, Camera, board, card_files, head_and_body, SANITIZER_MARKS, wait_until

IN_NAMESPACE = os.geteuid() == 0 and private_network()
PORT = 80
ENV_OFFSET = 0x80000
ENV_SIZE = 0x40000
MAC = "02:5a:c3:0e:91:7b"
PRESET_ENV = {"devmodel": "ZQ1", "manufacturedate": "2017/07/31 15:08:32", "firmware_ver": "0102"}
PRODUCT_JSON = ('{"model": "ZQ1" ,"manufacturetime": "2017/07/31 15:08:32" ,"romversion": "0102" '
                ',"macaddr": "025ac30e917b"}')
VIDEO_DIR = os.path.join("DCIM", "100video")
TITLE_DIR = os.path.join("DCIM", "103thumb")
ARCHIVE_DIR = os.path.join("DCIM", "102thumb")
CMD_NOTIFY_FILE_DELETE = 0x3005


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def env_block(board_dir):
    with open(os.path.join(board_dir, "dev", "mtd0"), "rb") as f:
        f.seek(ENV_OFFSET)
        return f.read(ENV_SIZE)


def env_entries(block):
    """The block's name=value entries, up to the empty one that ends the list."""
    return block[4:].split(b"\0\0", 1)[0].split(b"\0")


def crc_holds(block):
    return len(block) == ENV_SIZE and struct.unpack("<I", block[:4])[0] == zlib.crc32(block[4:ENV_SIZE])


def space_text(n):
    """A byte count as the storage report writes it."""
    if n > 1073741823:
        return "%.2f GB" % (n / 1073741824)
    if n > 1048575:
        return "%.2f MB" % (n / 1048576)
    if n > 1023:
        return "%.2f KB" % (n / 1024)
    return "%d B" % n


def card_space(path):
    st = os.statvfs(path)
    return st.f_blocks * st.f_frsize, st.f_bfree * st.f_frsize


def raw_request(data):
    s = socket.create_connection(("127.0.0.1", PORT), timeout=30)
    try:
        s.sendall(data)
        return head_and_body(s)
    finally:
        s.close()


def count_in(cam, text):
    return cam.stdout().count(text)


@unittest.skipUnless(IN_NAMESPACE, "needs a network namespace of its own (root)")
class IniCommandsTest(unittest.TestCase):
    """One camera for the class; the factory check restarts it."""

    @classmethod
    def setUpClass(cls):
        cls.b = Board()
        board("mac", cls.b.dir, MAC)
        for name, value in PRESET_ENV.items():
            board("env", cls.b.dir, name, value)
        cls.cam = None
        cls.start_camera()

    @classmethod
    def start_camera(cls):
        cls.cam = Camera(cls.b.dir, netns=False)  # this process has its own namespace already
        if not cls.cam.wait_for("Main Loop...\n", timeout=90):
            out, err = cls.cam.stdout(), cls.cam.stderr()
            cls.cam.close()
            cls.cam = None
            raise AssertionError(out[-2000:] + err[-2000:])

    @classmethod
    def stop_camera(cls):
        cam, cls.cam = cls.cam, None
        try:
            status = cam.stop(timeout=60)
            out, err = cam.stdout(), cam.stderr()
            assert status == 0, out[-2000:] + err[-2000:]
            for mark in SANITIZER_MARKS:
                assert mark not in err, err[-4000:]
            assert out.splitlines()[-1] == "Exiting...", out[-2000:]
        finally:
            cam.close()

    @classmethod
    def tearDownClass(cls):
        try:
            if cls.cam is not None:
                cls.stop_camera()
        finally:
            cls.b.close()

    def curl(self, *args):
        r = subprocess.run(["curl", "-s", "--max-time", "120"] + list(args), capture_output=True, timeout=180)
        self.assertEqual(r.returncode, 0, r.stderr)
        return r.stdout

    def ini(self, query):
        """The body of a GET of /ini.htm?<query>, its length checked against its head."""
        out = self.curl("-D", "-", "http://127.0.0.1/ini.htm?" + query)
        head, _, body = out.partition(b"\r\n\r\n")
        self.assertTrue(head.startswith(b"HTTP/1.1 200 OK\r\n"), head)
        length = re.search(rb"\r\nContent-Length: (\d+)", head)
        self.assertIsNotNone(length, head)
        self.assertEqual(int(length.group(1)), len(body))
        return body

    def card_path(self, *parts):
        return os.path.join(self.b.card, *parts)

    # ---- the boot environment ----

    def test_boot_environment_in_flash(self):
        self.assertEqual(self.ini("cmd=getproductinfo").decode(), PRODUCT_JSON)
        self.assertEqual(json.loads(PRODUCT_JSON)["macaddr"], MAC.replace(":", ""))

        self.assertEqual(self.ini("cmd=setdevicesn&value=SN123"), b"OK")
        block = env_block(self.b.dir)
        self.assertTrue(crc_holds(block))
        self.assertIn(b"devicesn=SN123\0", block)
        self.assertIn(b"devicesn=SN123", env_entries(block))
        for name, value in PRESET_ENV.items():
            self.assertIn(("%s=%s" % (name, value)).encode(), env_entries(block))
        self.assertEqual(self.ini("cmd=getdevicesn"), b"SN123")

        # the longest serial its 2552-byte buffer holds is stored whole
        longest = "".join(chr(48 + i % 43) for i in range(2551))  # "0" to "Z"
        self.assertEqual(self.ini("cmd=setdevicesn&value=" + longest), b"OK")
        self.assertIn(("devicesn=" + longest).encode(), env_entries(env_block(self.b.dir)))
        self.assertEqual(self.ini("cmd=getdevicesn"), longest.encode())
        self.assertEqual(self.ini("cmd=setdevicesn&value=SN123"), b"OK")

        # a serial longer than its buffer is refused, never cut or erased
        image = read_bytes(os.path.join(self.b.dir, "dev", "mtd0"))
        self.assertEqual(self.ini("cmd=setdevicesn&value=" + "7" * 2552), b"NG")
        self.assertEqual(read_bytes(os.path.join(self.b.dir, "dev", "mtd0")), image)
        self.assertIn(b"devicesn=SN123", env_entries(env_block(self.b.dir)))
        self.assertEqual(self.ini("cmd=getdevicesn"), b"SN123")

        self.assertEqual(self.ini("cmd=getubootenv&name=devicesn"), b"OK getubootenv\ndevicesn=SN123")
        head, body = raw_request(b"GET /ini.htm?cmd=getdevicesn HTTP/1.1\r\n\r\n")
        self.assertEqual(head.split("\r\n")[0], "HTTP/1.1 200 OK")
        self.assertEqual([line.split(":", 1)[0] for line in head.split("\r\n")[1:]],
                         ["Date", "Accept-Ranges", "Keep-Alive", "Content-Length", "Content-Type", "Last-Modified"])
        self.assertIn("\r\nContent-Type: text/html\r\n", head)
        self.assertEqual(body, b"SN123")
        self.assertEqual(self.ini("cmd=getubootenv&name=nosuchvariable"), b"NG getubootenv")

        # memory only: the flash image keeps every byte
        self.assertEqual(self.ini("cmd=setubootenv&name=x&value=1&savetoflash=0"), b"OK setubootenv")
        self.assertEqual(read_bytes(os.path.join(self.b.dir, "dev", "mtd0")), image)
        self.assertEqual(self.ini("cmd=getubootenv&name=x"), b"OK getubootenv\nx=1")
        self.assertEqual(self.ini("cmd=setubootenv&name=x&savetoflash=0"), b"OK setubootenv")
        self.assertEqual(self.ini("cmd=getubootenv&name=x"), b"NG getubootenv")
        self.assertEqual(read_bytes(os.path.join(self.b.dir, "dev", "mtd0")), image)

    # ---- the storage settings and report ----

    def settings_path(self):
        return os.path.join(self.b.dir, "root", "system.ini")

    def test_storage_quota_settings_and_report(self):
        body = self.ini("cmd=setstoragequota&commonvideo=60&alarmvideo=30&alarmimage=10")
        self.assertEqual(json.loads(body), {"cmd": "setstoragequota", "success": True, "ret": 0, "msg": ""})
        self.assertEqual(body, b'{"cmd":"setstoragequota","success":true,"ret":0,"msg":""}')
        c = configparser.ConfigParser()
        with open(self.settings_path()) as f:
            c.read_file(f)
        self.assertEqual({k: c.get("storageset", k) for k in ("commonvideoonsdquota", "alarmvideoonsdquota",
                                                              "alarmimageonsdquota")},
                         {"commonvideoonsdquota": "60", "alarmvideoonsdquota": "30", "alarmimageonsdquota": "10"})

        self.assertEqual(self.ini("cmd=getiniconfig"), read_bytes(self.settings_path()))

        # a value out of range stores nothing
        settings = read_bytes(self.settings_path())
        body = self.ini("cmd=setstoragequota&commonvideo=60&alarmvideo=-1&alarmimage=10")
        self.assertEqual(json.loads(body)["ret"], -1)
        self.assertEqual(read_bytes(self.settings_path()), settings)

        # free space moves while the camera records and the machine works: a
        # reading of the card before and after each report brackets it
        for attempt in range(5):
            total0, free0 = card_space(self.b.card)
            doc = json.loads(self.ini("cmd=getstorageinfo"))
            total1, free1 = card_space(self.b.card)
            frees = {space_text(f) for f in (free0, free1)}
            if total0 == total1 and doc["freespace"] in frees:
                break
            low, high = sorted((free0, free1))
            number, unit = doc["freespace"].split(" ")
            if unit == space_text(low).split(" ")[1] == space_text(high).split(" ")[1]:
                scale = {"GB": 1 << 30, "MB": 1 << 20, "KB": 1 << 10, "B": 1}[unit]
                if low / scale - 0.006 <= float(number) <= high / scale + 0.006:
                    break
        else:
            self.fail("free space %r, the card between %d and %d bytes" % (doc["freespace"], free0, free1))
        self.assertEqual(list(doc), ["cmd", "success", "ret", "msg", "sdstate", "totalspace", "freespace",
                                     "commonvideoused", "alarmvideoused", "amarmimageused",
                                     "commonvideoquota", "alarmvideoquota", "alarmimagequota"])
        self.assertEqual((doc["cmd"], doc["success"], doc["ret"], doc["msg"]), ("getstorageinfo", True, 0, ""))
        self.assertEqual(doc["sdstate"] & 3, 3, "inserted and mounted")
        self.assertEqual(doc["totalspace"], space_text(total1))
        for key in ("commonvideoused", "alarmvideoused", "amarmimageused"):
            self.assertRegex(doc[key], r"^\[\d+\.\d\d%\](\d+ B|\d+\.\d\d [KMG]B)$")
        self.assertEqual((doc["commonvideoquota"], doc["alarmvideoquota"], doc["alarmimagequota"]), (60, 30, 10))

    # ---- recordings: pause, resume, delete, format ----

    def recording_started(self, count, timeout=90):
        self.assertTrue(wait_until(lambda: count_in(self.cam, "STARTING RECORD [") >= count, timeout, 0.1),
                        self.cam.stdout()[-3000:])
        return re.findall(r"STARTING RECORD \[([^\]]+)\]", self.cam.stdout())[count - 1]

    def finished_files(self, open_path, archived=True, timeout=90):
        """The video, title and (when archived) archive of the recording
        started as open_path, once they are on the card."""
        key = os.path.basename(open_path).split("_")[0]
        names = [self.card_path(TITLE_DIR, key + ".JPG")]
        if archived:
            names.append(self.card_path(ARCHIVE_DIR, key + ".TGZ"))

        def videos():
            folder = self.card_path(VIDEO_DIR)
            return [n for n in os.listdir(folder) if n.startswith(key + "_") and n.endswith(".MP4")
                    and not n.endswith("_0.MP4")] if os.path.isdir(folder) else []

        done = wait_until(lambda: len(videos()) == 1 and all(os.path.exists(n) for n in names)
                          and not os.path.exists(open_path), timeout, 0.1)
        self.assertTrue(done, self.cam.stdout()[-3000:])
        return [self.card_path(VIDEO_DIR, videos()[0])] + names

    def wait_thumbnail(self, open_path, timeout=120):
        """Waits for the first thumbnail of the open recording (one every 600 frames)."""
        folder = os.path.join(self.b.dir, "tmp", os.path.basename(open_path).split("_")[0])
        self.assertTrue(wait_until(lambda: os.path.isdir(folder) and any(n.endswith(".JPG") for n in os.listdir(folder)),
                                   timeout, 0.2), self.cam.stdout()[-3000:])

    def pause(self, method_head=False):
        before = count_in(self.cam, "http cmd PauseRecord")
        if method_head:
            out = self.curl("-I", "http://127.0.0.1/ini.htm?cmd=PauseRecord")
            self.assertTrue(out.startswith(b"HTTP/1.1 200 OK\r\n"), out)
            self.assertIn(b"\r\nContent-Length: 2\r\n", out)
        else:
            self.assertEqual(self.ini("cmd=PauseRecord"), b"OK")
        self.assertTrue(wait_until(lambda: count_in(self.cam, "http cmd PauseRecord") > before, 10))

    def record_a_file(self, starts):
        """Resumes recording, lets it run and pauses it: the finished files."""
        self.assertEqual(self.ini("cmd=ResumeRecord"), b"OK")
        path = self.recording_started(starts + 1)
        time.sleep(3)  # some seconds of video
        self.pause()
        return self.finished_files(path, archived=False)

    def test_recordings_pause_delete_and_format(self):
        starts = count_in(self.cam, "STARTING RECORD [")
        first = self.recording_started(max(starts, 1))
        self.wait_thumbnail(first)
        starts = count_in(self.cam, "STARTING RECORD [")
        self.pause(method_head=True)
        a = self.finished_files(first)
        # paused: no next file for a while
        time.sleep(5)
        self.assertEqual(count_in(self.cam, "STARTING RECORD ["), starts)
        self.assertEqual([n for n in os.listdir(self.card_path(VIDEO_DIR)) if n.endswith("_0.MP4")], [])
        b = self.record_a_file(starts)
        starts += 1

        phone = Phone()
        try:
            self.assertIsNotNone(phone.read(10), "greeting")  # the camera has taken the phone
            self.assertEqual(self.ini("cmd=deletecommonvideo&filename=" + os.path.basename(a[0])),
                             b"OK deletecommonvideo")
            for p in a:
                self.assertFalse(os.path.exists(p), p)
            pushed = None
            end = time.time() + 20
            while pushed is None and time.time() < end:
                f = phone.read(end - time.time())
                self.assertIsNotNone(f, "no deletion notice")
                if f[0] == CMD_NOTIFY_FILE_DELETE:
                    pushed = f
        finally:
            phone.close()
        self.assertIsNotNone(pushed)
        doc = json.loads(pushed[1].decode())
        records = [r for v in doc.values() if isinstance(v, list) for r in v]
        self.assertEqual([os.path.basename(r["filename"]) for r in records], [os.path.basename(a[0])], doc)

        # refused requests leave the other recording alone
        line = ("GET /ini.htm?cmd=deletecommonvideo&filename=%s HTTP/1.1\r\nX: " % os.path.basename(b[0])).encode()
        request = line + b"p" * (4001 - len(line) - 4) + b"\r\n\r\n"
        self.assertEqual(len(request), 4001)
        head, _ = raw_request(request)
        self.assertTrue(head.startswith("HTTP/1.1 413 "), head)
        head, _ = raw_request(("GET /ini.htm?cmd=deletecommonvideo&filename=%s\0 HTTP/1.1\r\n\r\n"
                               % os.path.basename(b[0])).encode())
        self.assertTrue(head.startswith("HTTP/1.1 400 "), head)
        # parameters are not decoded: "%00" is three more characters of the name
        head, body = raw_request(("GET /ini.htm?cmd=deletecommonvideo&filename=%s%%00 HTTP/1.1\r\n\r\n"
                                  % os.path.basename(b[0])).encode())
        self.assertTrue(head.startswith("HTTP/1.1 200 OK\r\n"), head)
        self.assertEqual(body, b"NG deletecommonvideo")
        for p in b:
            self.assertTrue(os.path.exists(p), p)

        # a format while recording empties the card; recording goes on
        self.assertEqual(self.ini("cmd=ResumeRecord"), b"OK")
        recording = self.recording_started(starts + 1)
        starts += 1
        marker = self.card_path("marker.txt")
        with open(marker, "w") as f:
            f.write("kept?")
        time.sleep(2)  # a key of its own for the next file
        body = self.ini("cmd=formatsd")
        self.assertEqual(body, b'{"cmd":"formatsd","success":true,"ret":0,"msg":""}')
        self.assertTrue(self.cam.wait_for("SD FORMAT DONE(ret=0)", 10), self.cam.stdout()[-3000:])
        for p in b + [recording, marker]:
            self.assertFalse(os.path.exists(p), p)
        after = self.recording_started(starts + 1)
        time.sleep(3)
        self.pause()
        video = self.finished_files(after, archived=False)[0]
        old_keys = {os.path.basename(p).split("_")[0].split(".")[0] for p in a + b + [recording]}
        self.assertNotIn(os.path.basename(after).split("_")[0], old_keys)
        left = [n for n in card_files(self.b.card) if os.path.basename(n).split("_")[0].split(".")[0] in old_keys]
        self.assertEqual(left, [])
        listed = json.loads(self.ini("cmd=commonvideolist"))
        names = [os.path.basename(r["filename"]) for v in listed.values() if isinstance(v, list) for r in v]
        self.assertEqual(names, [os.path.basename(video)], listed)
        info = probe(video)
        self.assertEqual(stream(info, "video")["codec_name"], "h264")
        self.assertEqual(stream(info, "audio")["codec_name"], "aac")
        self.assertEqual(decode_errors(video), "")
        self.assertEqual(self.ini("cmd=ResumeRecord"), b"OK")

    # ---- the factory-test flag ----

    def test_factory_flag_across_restart(self):
        self.assertEqual(self.ini("cmd=forcefactoryretestdone"), b"OK forcefactoryretestdone")
        block = env_block(self.b.dir)
        self.assertTrue(crc_holds(block))
        self.assertIn(b"factorytest=yes", env_entries(block))

        # the flag is read at start
        type(self).stop_camera()
        type(self).start_camera()
        self.assertTrue(self.cam.wait_for("FACTORY TEST WAS DONE.", 30), self.cam.stdout()[-3000:])

        self.assertEqual(self.ini("cmd=forcefactoryretest"), b"OK forcefactoryretest")
        block = env_block(self.b.dir)
        self.assertTrue(crc_holds(block))
        self.assertEqual([e for e in env_entries(block) if e.startswith(b"factorytest=")], [])
        for name, value in PRESET_ENV.items():
            self.assertIn(("%s=%s" % (name, value)).encode(), env_entries(block))


if __name__ == "__main__":
    unittest.main()
