"""Reads "kind<TAB>document" lines, kind common, alarm or image (a whole
category list), with "final-" in front for the lists taken at the end, and
parses every document with Python's json module. Checks that each document
is a list of its category, newest first, that names every video, title,
archive and image once at most, with an empty name only for a size of 0. For each final list
prints one "path<TAB>size" line per named file (its folder/name) and one
"total<TAB>kind<TAB>bytes" line. Prints the problems and exits 1 when there
is any."""
import json
import sys

CATEGORIES = {
    "common": ("commonvideo", "mp4data",
               [("mp4folder", "filename", "filesize"), ("titlefolder", "title", "titlesize"),
                ("thumbfolder", "thumb", "thumbsize")]),
    "alarm": ("alarmvideo", "mp4data",
              [("mp4folder", "filename", "filesize"), ("titlefolder", "title", "titlesize")]),
    "image": ("snapshot", "jpgdata", [("jpgfolder", "filename", "filesize")]),
}


def check(cat, top, problems, files):
    kind, key, parts = CATEGORIES[cat]
    if top.get("type") != kind or type(top.get(key)) is not list:
        problems.append("%s: not a %s list: %r" % (cat, kind, list(top.keys())))
        return None
    seen = set()
    total = 0
    times = [obj.get("time") for obj in top[key]]
    if any(type(t) is not str for t in times) or times != sorted(times, reverse=True):
        problems.append("%s: times not newest first: %r" % (cat, times))
    for obj in top[key]:
        for folder_key, name_key, size_key in parts:
            name = obj.get(name_key)
            size = obj.get(size_key)
            if type(name) is not str or type(size) is not int or size < 0:
                problems.append("%s: %s %r size %r" % (cat, name_key, name, size))
                continue
            if name == "":
                if size != 0:
                    problems.append("%s: no %s but %s %d" % (cat, name_key, size_key, size))
                continue
            path = top[folder_key] + "/" + name
            if path in seen:
                problems.append("%s: %s named twice" % (cat, path))
            seen.add(path)
            total += size
            files.append((path, size))
    return total


def main():
    problems = []
    out = []
    count = 0
    for line in sys.stdin.read().split("\n"):
        if not line:
            continue
        kind, doc = line.split("\t", 1)
        final = kind.startswith("final-")
        cat = kind[len("final-"):] if final else kind
        count += 1
        try:
            top = json.loads(doc)
        except ValueError as e:
            problems.append("%s: %s in %r" % (kind, e, doc[:200]))
            continue
        files = []
        total = check(cat, top, problems, files)
        if final and total is not None:
            out += ["%s\t%d" % f for f in files]
            out.append("total\t%s\t%d" % (cat, total))
    for p in problems[:40]:
        print("problem\t" + p)
    for o in out:
        print(o)
    print("parsed\t%d" % count)
    sys.exit(1 if problems or count == 0 else 0)


main()
