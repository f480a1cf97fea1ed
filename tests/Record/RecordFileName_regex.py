"""Reads "row<TAB>name<TAB>expected" lines and checks every name against the
file-name pattern of its row with its own regular expression. `expected` is
"key=value" pairs (T, D, n, L, res, park, ms) that the match must give.
Prints one line per problem and exits 1 when there is any."""
import datetime
import re
import sys

N = r"(?:\((?P<n>[1-9][0-9]*)\))?"
T = r"(?P<T>[0-9]{14})"
PATTERNS = {
    "recording": T + r"_0" + N + r"\.MP4",
    "packed": T + r"_(?P<D>0|[1-9][0-9]*)" + N + r"(?P<res>_720p)?(?P<park>_P)?\.MP4",
    "title": T + N + r"\.JPG",
    "archive": T + N + r"\.TGZ",
    "image": r"(?P<L>[AGMRVWUP])" + T + N + r"\.JPG",
    "tmptitle": r"/tmp/" + T + N + r"\.JPG",
    "tmpthumb": r"/tmp/" + T + N + r"/(?P<ms>0|[1-9][0-9]*)\.JPG",
}


def main():
    problems = []
    count = 0
    for line in sys.stdin.read().splitlines():
        if not line:
            continue
        row, name, expected = line.split("\t")
        count += 1
        m = re.fullmatch(PATTERNS[row], name)
        if m is None:
            problems.append("%s: %r does not match %s" % (row, name, PATTERNS[row]))
            continue
        got = {k: v for k, v in m.groupdict().items() if v is not None}
        try:
            datetime.datetime.strptime(got["T"], "%Y%m%d%H%M%S")
        except ValueError:
            problems.append("%s: %r has no valid time" % (row, name))
        want = dict(kv.split("=", 1) for kv in expected.split(",") if kv)
        for key in ("res", "park"):
            if key in got:
                got[key] = "1"
        if got != want:
            problems.append("%s: %r gives %s, expected %s" % (row, name, sorted(got.items()), sorted(want.items())))
    for p in problems:
        print(p)
    print("checked %d names" % count)
    sys.exit(1 if problems or count == 0 else 0)


main()
