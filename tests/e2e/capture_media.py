"""Readers of the camera's recordings for the whole-program checks: ffprobe,
a full decode, the picture barcode and the audio tone."""
import json
import os
import struct
import subprocess
import sys

MEDIA_CHECK = os.path.join(os.path.dirname(__file__), "..", "AVCapture", "media_check.py")


def probe(path):
    r = subprocess.run(["ffprobe", "-v", "error", "-show_streams", "-show_format", "-of", "json", path],
                       capture_output=True, text=True, check=True)
    return json.loads(r.stdout)


def stream(info, kind):
    return [s for s in info["streams"] if s["codec_type"] == kind][0]


def first_frame_is_key(path):
    r = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-read_intervals", "%+#1",
                        "-show_entries", "frame=key_frame,pict_type", "-of", "json", path],
                       capture_output=True, text=True, check=True)
    frames = json.loads(r.stdout)["frames"]
    return bool(frames) and frames[0]["key_frame"] == 1


def decode_errors(path):
    """What a full decode with ffmpeg -v error prints (nothing for a sound file)."""
    r = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "null", "-"], capture_output=True, text=True)
    return r.stdout + r.stderr


def barcodes(path, width, height, frames=None):
    """The picture numbers of a file's pictures (the first `frames`, or all)."""
    cmd = ["ffmpeg", "-v", "error", "-i", path]
    if frames is not None:
        cmd += ["-frames:v", str(frames)]
    cmd += ["-f", "rawvideo", "-pix_fmt", "gray", "-"]
    raw = subprocess.run(cmd, capture_output=True, check=True).stdout
    r = subprocess.run([sys.executable, MEDIA_CHECK, "barcode", str(width), str(height), "16", "16"],
                       input=raw, capture_output=True, check=True)
    return json.loads(r.stdout)["indices"]


def last_barcode(path, width, height):
    """The number of a file's last picture."""
    raw = subprocess.run(["ffmpeg", "-v", "error", "-sseof", "-1", "-i", path, "-f", "rawvideo", "-pix_fmt",
                          "gray", "-"], capture_output=True, check=True).stdout
    r = subprocess.run([sys.executable, MEDIA_CHECK, "barcode", str(width), str(height), "16", "16"],
                       input=raw, capture_output=True, check=True)
    return json.loads(r.stdout)["indices"][-1]


def audio_tone(path):
    """(RMS, zero crossings a second) of the file's audio as 16-bit mono."""
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-vn", "-f", "s16le", "-ac", "1", "-ar", "8000", "-"],
                         capture_output=True, check=True).stdout
    samples = struct.unpack("<%dh" % (len(raw) // 2), raw[:len(raw) // 2 * 2])
    if not samples:
        return 0.0, 0.0
    rms = (sum(s * s for s in samples) / len(samples)) ** 0.5
    crossings = sum(1 for a, b in zip(samples, samples[1:]) if (a < 0) != (b < 0))
    return rms, crossings / (len(samples) / 8000.0)
