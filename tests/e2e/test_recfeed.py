"""build/recfeed: recorded time through the engine onto a card folder, read
back with ffprobe and decoded with ffmpeg, finished as the camera finishes its
files, and kept whole by the camera's own card scan."""
import hashlib
import os
import re
import shutil
import struct
import subprocess
import tarfile
import unittest

from dashcam_board import RECFEED, SANITIZER_MARKS, Board, Camera, card_files, index_lists, run_recfeed

FINAL_NAME = re.compile(r"^(\d{14})_(\d+)\.MP4$")


def probe_frames(path):
    r = subprocess.run(["ffprobe", "-v", "error", "-count_packets", "-select_streams", "v:0",
                        "-show_entries", "stream=nb_read_packets,width,height", "-of", "csv=p=0", path],
                       capture_output=True, text=True, check=True)
    w, h, n = r.stdout.strip().split(",")
    return int(w), int(h), int(n)


def without_stamps(path):
    """The file's bytes with the creation and modification times of mvhd,
    tkhd and mdhd zeroed: what two recordings of the same input share."""
    with open(path, "rb") as f:
        data = bytearray(f.read())

    def walk(start, end):
        at = start
        while at + 8 <= end:
            size, kind = struct.unpack_from(">I4s", data, at)
            if size == 1:
                size = struct.unpack_from(">Q", data, at + 8)[0]
            if size < 8 or at + size > end:
                raise AssertionError("bad box at %d in %s" % (at, path))
            if kind in (b"moov", b"trak", b"mdia"):
                walk(at + 8, at + size)
            elif kind in (b"mvhd", b"tkhd", b"mdhd"):
                stamp = 16 if data[at + 8] == 1 else 8
                data[at + 12:at + 12 + stamp] = bytes(stamp)
            at += size
    walk(0, len(data))
    return bytes(data)


def key_flags(path):
    r = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                        "packet=flags", "-of", "csv=p=0", path], capture_output=True, text=True, check=True)
    return ["K" in line for line in r.stdout.split()]


@unittest.skipUnless(os.path.exists(RECFEED) and shutil.which("ffprobe"), "recfeed or ffprobe missing")
class RecfeedTest(unittest.TestCase):
    def setUp(self):
        self.b = Board()
        self.card = self.b.card

    def tearDown(self):
        self.b.close()

    def files(self, sub):
        d = os.path.join(self.card, "DCIM", sub)
        return sorted(os.path.join(d, n) for n in os.listdir(d)) if os.path.isdir(d) else []

    def names(self, sub):
        return [os.path.basename(f) for f in self.files(sub)]

    def assert_finished(self, video, frames, title_dir, thumb_dir=None):
        """A final name with the duration of its frames, its title image and,
        given thumb_dir, its thumbnail archive beside it."""
        m = FINAL_NAME.match(os.path.basename(video))
        self.assertIsNotNone(m, video)
        self.assertEqual(int(m.group(2)), -(-frames // 30), video)
        with open(os.path.join(self.card, "DCIM", title_dir, m.group(1) + ".JPG"), "rb") as f:
            self.assertEqual(f.read(3), b"\xff\xd8\xff")
        if thumb_dir is not None:
            with tarfile.open(os.path.join(self.card, "DCIM", thumb_dir, m.group(1) + ".TGZ"), "r:gz") as t:
                members = [i for i in t.getmembers() if i.isfile()]
            self.assertGreater(len(members), 0, video)
            self.assertTrue(all(i.name.endswith(".JPG") for i in members), video)

    def assert_lists_name_the_card(self, lists):
        common, alarm, image = lists
        self.assertEqual((common["type"], alarm["type"], image["type"]), ("commonvideo", "alarmvideo", "snapshot"))
        # Newest first; every file of the card named once, with its size.
        def named(doc, key):
            return [e[key] for e in doc["mp4data"] if e[key] != ""]
        self.assertEqual(named(common, "filename"), self.names("100video")[::-1])
        self.assertEqual(named(common, "title"), self.names("103thumb")[::-1])
        self.assertEqual(named(common, "thumb"), self.names("102thumb")[::-1])
        self.assertEqual(named(alarm, "filename"), self.names("101video")[::-1])
        self.assertEqual(named(alarm, "title"), self.names("105thumb")[::-1])
        self.assertEqual(image["jpgdata"], [])
        for doc, folders in ((common, {"filename": "100video", "title": "103thumb", "thumb": "102thumb"}),
                             (alarm, {"filename": "101video", "title": "105thumb"})):
            for e in doc["mp4data"]:
                for key, folder in folders.items():
                    size_key = "filesize" if key == "filename" else key + "size"
                    if e[key] == "":
                        self.assertEqual(e[size_key], 0)
                        continue
                    path = os.path.join(self.card, "DCIM", folder, e[key])
                    self.assertEqual(e[size_key], os.path.getsize(path), path)
                self.assertEqual(e["duration"], int(FINAL_NAME.match(e["filename"]).group(2)))

    def assert_camera_scan_keeps_every_file(self):
        before = card_files(self.card)
        cam = Camera(self.b.dir)
        try:
            self.assertTrue(cam.wait_for("Main Loop...\n"), cam.stdout() + cam.stderr())
            # The card callback (and its scan) runs before the loop starts.
            self.assertIn("IN CRecord SD STATE CALLBACK...\n", cam.stdout())
            status = cam.stop()
            self.assertEqual(status, 0, cam.stderr())
            for mark in SANITIZER_MARKS:
                self.assertNotIn(mark, cam.stderr())
        finally:
            cam.close()
        # Every file is still there as it was; the camera may have added its
        # own recording meanwhile.
        now = card_files(self.card)
        for path, size in before.items():
            self.assertEqual(now.get(path), size, path)
        added = sorted(set(now) - set(before))
        for path in added:
            self.assertIn(os.path.dirname(path), ("DCIM/100video", "DCIM/102thumb", "DCIM/103thumb"), added)

    def test_loop_and_alarm_files(self):
        r = run_recfeed(self.card, 40, 20)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertNotIn("AddressSanitizer", r.stderr)
        common, alarm = self.files("100video"), self.files("101video")
        self.assertEqual(len(common), 2)
        self.assertEqual(len(alarm), 1)
        # The alarm at second 20 cuts the loop file at the I-frame that leaves
        # the 6 s cache next (second 14); the alarm file holds 10 s.
        self.assertEqual([probe_frames(f) for f in common + alarm],
                         [(1920, 1080, 360), (1920, 1080, 480), (1920, 1080, 300)])
        self.assertTrue(os.path.basename(alarm[0]).startswith("20240105083014"))
        for f in common + alarm:
            flags = key_flags(f)
            self.assertEqual(flags, [i % 30 == 0 for i in range(len(flags))], f)
            d = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", f, "-f", "null", "-"],
                               capture_output=True, text=True)
            self.assertEqual(d.stderr, "", f)
        # Finished as the camera finishes them: final names and titles (the
        # first thumbnail is taken 20 s into a file, so these have none).
        self.assertEqual(self.names("100video"), ["20240105083002_12.MP4", "20240105083024_16.MP4"])
        self.assertEqual(self.names("101video"), ["20240105083014_10.MP4"])
        for f, frames in zip(common, (360, 480)):
            self.assert_finished(f, frames, "103thumb")
        self.assert_finished(alarm[0], 300, "105thumb")
        self.assertEqual(sorted(os.listdir(os.path.join(self.card, "DCIM"))),
                         ["100video", "101video", "103thumb", "105thumb"])
        self.assert_lists_name_the_card(index_lists(r.stdout))
        self.assert_camera_scan_keeps_every_file()

    def test_two_full_loop_files_around_an_alarm(self):
        r = run_recfeed(self.card, 400, 200)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertNotIn("AddressSanitizer", r.stderr)
        # 180 s, cut at the alarm, the alarm file, 180 s, the rest.
        self.assertEqual(self.names("100video"), ["20240105083002_180.MP4", "20240105083302_12.MP4",
                                                  "20240105083324_180.MP4", "20240105083624_16.MP4"])
        self.assertEqual(self.names("101video"), ["20240105083314_10.MP4"])
        for f in self.files("100video"):
            full = os.path.basename(f).endswith("_180.MP4")
            self.assert_finished(f, probe_frames(f)[2], "103thumb", "102thumb" if full else None)
        self.assertEqual(self.names("102thumb"), ["20240105083002.TGZ", "20240105083324.TGZ"])
        self.assert_finished(self.files("101video")[0], probe_frames(self.files("101video")[0])[2], "105thumb")
        self.assert_lists_name_the_card(index_lists(r.stdout))
        self.assert_camera_scan_keeps_every_file()

    def test_journal_leaves_the_files_as_they_were(self):
        """The recovery journal changes no byte of a finished file (but the
        wall-clock stamps of the two runs), and none is left on the card."""
        other = Board()
        try:
            with_journal = run_recfeed(self.card, 30, 12)
            without = run_recfeed(other.card, 30, 12, options=("--no-journal",))
            self.assertEqual((with_journal.returncode, without.returncode), (0, 0), with_journal.stderr + without.stderr)
            self.assertEqual(card_files(self.card), card_files(other.card))
            videos = [p for p in card_files(self.card) if p.endswith(".MP4")]
            self.assertEqual(len(videos), 3)
            for p in videos:
                self.assertEqual(hashlib.sha256(without_stamps(os.path.join(self.card, p))).hexdigest(),
                                 hashlib.sha256(without_stamps(os.path.join(other.card, p))).hexdigest(), p)
        finally:
            other.close()

    def test_power_cut_then_the_next_start_recovers(self):
        """recfeed --power-cut leaves the open alarm file unfinished with its
        journal and the 6 s cache only in the spill; the next run's card scan
        finishes the alarm file with both under its final name with its
        trigger, and lists it: the recording reaches the last flush."""
        r = run_recfeed(self.card, 18, 10, options=("--power-cut",))
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("POWER CUT", r.stdout)
        self.assertEqual([n for n in self.names("101video") if n.endswith("_0.MP4")], ["20240105083004_0.MP4"])
        self.assertIn(".20240105083004_0.MP4.jnl", self.names("101video"))
        spill = [n for n in os.listdir(os.path.join(self.card, "DCIM")) if n.endswith(".spl")]
        self.assertEqual(sorted(spill), [".cache0.spl", ".cache1.spl"])
        r = run_recfeed(self.card, 1)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertNotIn("AddressSanitizer", r.stderr)
        self.assertIn("[RECOVER]", r.stdout)
        # The alarm file keeps what followed its own 10 s up to the cut.
        self.assertEqual(self.names("101video"), ["20240105083004_14.MP4"])
        self.assertEqual(self.names("100video")[0], "20240105083002_2.MP4")
        self.assertFalse([n for n in os.listdir(os.path.join(self.card, "DCIM")) if n.startswith(".")])
        for f in self.files("100video") + self.files("101video"):
            d = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", f, "-f", "null", "-"],
                               capture_output=True, text=True)
            self.assertEqual(d.stderr, "", f)
        self.assertEqual(probe_frames(self.files("101video")[0]), (1920, 1080, 420))
        flags = key_flags(self.files("101video")[0])
        self.assertEqual(flags, [i % 30 == 0 for i in range(len(flags))])
        lists = index_lists(r.stdout)
        self.assertEqual([(e["filename"], e["trigger"]) for e in lists[1]["mp4data"]],
                         [("20240105083004_14.MP4", "A")])
        self.assert_lists_name_the_card(lists)

    def test_usage(self):
        r = subprocess.run([RECFEED], capture_output=True, text=True)
        self.assertEqual(r.returncode, 2)
        self.assertIn("usage", r.stderr)


if __name__ == "__main__":
    unittest.main()
