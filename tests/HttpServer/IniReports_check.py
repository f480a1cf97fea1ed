"""Reads a report body of the web commands from stdin with json and checks
the pattern the test injected. Prints "ok", or one line per fault."""
import json
import sys


def pairs(items):
    # keeps the members in the order they were sent
    return items


def main():
    kind = sys.argv[1]
    doc = json.loads(sys.stdin.read(), object_pairs_hook=pairs)
    keys = [k for k, _ in doc]
    obj = dict(doc)
    faults = []

    def expect(what, got, want):
        if got != want:
            faults.append("%s: %r, expected %r" % (what, got, want))

    head = [("cmd", kind_name(kind)), ("success", True), ("ret", 0), ("msg", "")]
    expect("head", doc[:4], head)
    if kind == "exposure":
        expect("keys", keys, ["cmd", "success", "ret", "msg", "expTime", "aGain", "dGain", "ispDGain",
                              "exp", "avgLum", "isMax", "minExpTime", "curDrc", "hist256", "hist5"])
        scalars = {"expTime": 101, "aGain": 102, "dGain": 103, "ispDGain": 104, "exp": 105,
                   "avgLum": 250, "isMax": 1, "minExpTime": -107, "curDrc": 108}
        for k, v in scalars.items():
            expect(k, obj.get(k), v)
        want256 = [[1000 + 7 * i] for i in range(255)] + [[4000000000]]
        expect("hist256", obj.get("hist256"), want256)
        expect("hist5", obj.get("hist5"), [[60000 + i] for i in range(5)])
    elif kind == "zone":
        expect("keys", keys, ["cmd", "success", "ret", "msg", "hist5thresh",
                              "hist5_1", "hist5_2", "hist5_3", "hist5_4", "hist5_5"])
        expect("hist5thresh", obj.get("hist5thresh"), [11, 22, 33, 255])
        for b in range(5):
            rows = obj.get("hist5_%d" % (b + 1))
            want = [[r * 1000 + c * 10 + b + 1 for c in range(17)] for r in range(15)]
            expect("hist5_%d" % (b + 1), rows, want)
            if isinstance(rows, list):
                for row in rows:
                    if any(not isinstance(v, int) or isinstance(v, bool) for v in row):
                        faults.append("hist5_%d: a value that is not a bare number" % (b + 1))
                        break
    print("\n".join(faults) if faults else "ok")


def kind_name(kind):
    return {"exposure": "getexposureinfo", "zone": "getaeglobalhist5statistics"}[kind]


if __name__ == "__main__":
    main()
