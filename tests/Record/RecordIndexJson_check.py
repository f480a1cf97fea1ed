"""Reads "kind<TAB>document<TAB>positions" lines and parses every document
with Python's json module. kind is commonlist, alarmlist, imagelist (a whole
category list), or commonfile, alarmfile, imagefile (one file with its
head). positions are "x" and the hex bytes of the GPS texts of all snapshot records
in document order, comma separated. Checks the key order and value types of
every object and that each position reads back as its bytes. Prints the
problems and exits 1 when there is any."""
import json
import re
import sys

HEADS = {
    "common": (["type", "mp4folder", "titlefolder", "thumbfolder", "mp4data"],
               {"type": "commonvideo", "mp4folder": "DCIM/100video", "titlefolder": "DCIM/103thumb",
                "thumbfolder": "DCIM/102thumb"}),
    "alarm": (["type", "mp4folder", "titlefolder", "imagefolder", "mp4data"],
              {"type": "alarmvideo", "mp4folder": "DCIM/101video", "titlefolder": "DCIM/105thumb",
               "imagefolder": "DCIM/104snap"}),
    "image": (["type", "jpgfolder", "jpgdata"], {"type": "snapshot", "jpgfolder": "DCIM/104snap"}),
}
OBJECT_KEYS = {
    "common": [("filename", str), ("duration", int), ("filesize", int), ("title", str), ("titlesize", int),
               ("thumb", str), ("thumbsize", int), ("time", str)],
    "alarm": [("filename", str), ("duration", int), ("filesize", int), ("title", str), ("titlesize", int),
              ("trigger", str), ("associateddata", list), ("time", str)],
    "image": [("filename", str), ("filesize", int), ("time", str)],
}
VIDEO = re.compile(r"[0-9]{14}_(0|[1-9][0-9]*)(\([1-9][0-9]*\))?(_720p)?(_P)?\.MP4")
TITLE = re.compile(r"([0-9]{14}(\([1-9][0-9]*\))?\.(JPG|TGZ))?")
IMAGE = re.compile(r"[A-Z][0-9]{14}(\([1-9][0-9]*\))?\.JPG")
TRIGGER = re.compile(r"U|G?A?M?V?R?W?")


def check_object(cat, obj, problems, positions):
    keys = OBJECT_KEYS[cat]
    if list(obj.keys()) != [k for k, _ in keys]:
        problems.append("%s keys %s" % (cat, list(obj.keys())))
        return
    for k, t in keys:
        if type(obj[k]) is not t:
            problems.append("%s %s is %s" % (cat, k, type(obj[k]).__name__))
    name = obj["filename"]
    if not (IMAGE if cat == "image" else VIDEO).fullmatch(name):
        problems.append("%s bad filename %r" % (cat, name))
    if not re.fullmatch(r"[0-9]{14}", obj["time"]) or not name.lstrip("ABCDEFGHIJKLMNOPQRSTUVWXYZ").startswith(obj["time"]):
        problems.append("%s time %r of %r" % (cat, obj["time"], name))
    if cat != "image":
        if not TITLE.fullmatch(obj["title"]):
            problems.append("bad title %r" % obj["title"])
    if cat == "common" and not TITLE.fullmatch(obj["thumb"]):
        problems.append("bad thumb %r" % obj["thumb"])
    if cat == "alarm":
        trig = obj["trigger"]
        if trig == "" or not TRIGGER.fullmatch(trig):
            problems.append("bad trigger %r" % trig)
        for rec in obj["associateddata"]:
            if list(rec.keys()) != ["image", "position"]:
                problems.append("record keys %s" % list(rec.keys()))
                continue
            if not IMAGE.fullmatch(rec["image"]):
                problems.append("record image %r" % rec["image"])
            positions.append(rec["position"])


def main():
    problems = []
    count = 0
    for line in sys.stdin.read().split("\n"):
        if not line:
            continue
        kind, doc, want = line.split("\t")
        count += 1
        try:
            top = json.loads(doc)
        except ValueError as e:
            problems.append("%s: %s in %r" % (kind, e, doc[:200]))
            continue
        cat = kind[:-4]
        order, fixed = HEADS[cat]
        if list(top.keys()) != order:
            problems.append("%s head keys %s" % (kind, list(top.keys())))
            continue
        for k, v in fixed.items():
            if top[k] != v:
                problems.append("%s %s=%r" % (kind, k, top[k]))
        data = top[order[-1]]
        if kind.endswith("file") and len(data) != 1:
            problems.append("%s holds %d objects" % (kind, len(data)))
        positions = []
        for obj in data:
            check_object(cat, obj, problems, positions)
        expected = [bytes.fromhex(h[1:]).decode("latin-1") for h in want.split(",") if h]
        if positions != expected:
            problems.append("%s positions %r, expected %r" % (kind, positions, expected))
    for p in problems:
        print(p)
    print("parsed %d documents" % count)
    sys.exit(1 if problems or count == 0 else 0)


main()
