#!/usr/bin/env python3
"""Checks overlays in decoded pictures (raw frames on standard input).

    osd_frames.py timestamp W H X Y SET.bin PTS_FILE   (gray frames)
    osd_frames.py text W H X Y SET.bin TEXT            (gray frames)
    osd_frames.py logo W H X Y LOGO.bin                (yuv444p frames)
    osd_frames.py none W H X Y BOX_W BOX_H             (gray frames)

timestamp: the box at (X, Y), binarised, is compared with the texts of the
frame's time stamp second (microseconds, one a line in PTS_FILE, as UTC)
and of the seconds next to it; the best must beat every text with one digit
changed. text: the same for one fixed text in every frame. logo: the colour
inside every block of the logo is within 10 of its BT.601 value.
none: no white pixel in the box. Prints one JSON object; exits 1 on failure.
"""

import json
import os
import struct
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import osd_render  # noqa: E402

THRESHOLD = 200


def frames(w, h, planes):
    size = w * h * planes
    data = sys.stdin.buffer.read()
    return [data[i:i + size] for i in range(0, len(data) - size + 1, size)]


def mask(glyphs, text):
    """Lit pixels of a text drawn from x = 0, as a set of (x, y)."""
    lit = set()
    x0 = 0
    for ch in text:
        w, h, align, pixels = glyphs[ord(ch)]
        for y in range(h):
            for x in range(w):
                if pixels[y * align + 2 * x + 1] & 0x80:
                    lit.add((x0 + x, y))
        x0 += align // 2
    return lit, x0


def box(frame, w, x, y, bw, bh):
    return {(i, j) for j in range(bh) for i in range(bw) if frame[(y + j) * w + x + i] > THRESHOLD}


def score(glyphs, frame, w, x, y, text, height):
    m, width = mask(glyphs, text)
    seen = box(frame, w, x, y, width, height)
    return len(m ^ seen)


def wrong_texts(text):
    out = []
    for i, c in enumerate(text):
        if c.isdigit():
            for d in "0123456789":
                if d != c:
                    out.append(text[:i] + d + text[i + 1:])
    return out


def best_of(glyphs, frame, w, x, y, candidates, height):
    scores = {t: score(glyphs, frame, w, x, y, t, height) for t in candidates}
    best = min(scores, key=scores.get)
    wrong = {t: score(glyphs, frame, w, x, y, t, height) for t in wrong_texts(best) if t not in candidates}
    nearest = min(wrong, key=wrong.get) if wrong else None
    return best, scores[best], nearest, wrong.get(nearest)


def check_texts(args, texts_for):
    w, h, x, y = (int(v) for v in args[:4])
    glyphs = osd_render.load_set(args[4])
    height = max(g[1] for g in glyphs.values())
    results = []
    ok = True
    for i, frame in enumerate(frames(w, h, 1)):
        candidates = texts_for(i)
        best, s, nearest, ns = best_of(glyphs, frame, w, x, y, candidates, height)
        good = ns is None or ns >= s + 20
        lit = len(mask(glyphs, best)[0])
        good = good and s * 4 < lit
        ok = ok and good
        results.append({"frame": i, "best": best, "score": s, "lit": lit, "nearest_wrong": nearest,
                        "wrong_score": ns, "ok": good})
    return ok and results, results


def stamp(second):
    return time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(second))


def main():
    cmd, args = sys.argv[1], sys.argv[2:]
    if cmd == "timestamp":
        with open(args[5]) as f:
            pts = [int(v) for v in f.read().split()]

        def texts(i):
            t = pts[i] // 1000000
            return [stamp(t - 1), stamp(t), stamp(t + 1)]

        ok, results = check_texts(args, texts)
        ok = bool(ok) and len(results) == len(pts) and len(results) > 0
    elif cmd == "text":
        ok, results = check_texts(args, lambda i: [args[5]])
        ok = bool(ok) and len(results) > 0
    elif cmd == "logo":
        w, h, x, y = (int(v) for v in args[:4])
        with open(args[4], "rb") as f:
            logo = f.read()
        lw, lh = struct.unpack_from("<II", logo, 0)
        results = []
        ok = True
        for i, frame in enumerate(frames(w, h, 3)):
            worst = 0
            # points of the blocks at least 6 pixels inside their block
            for cy in range(6, lh - 6, 4):
                for cx in range(6, lw - 6, 4):
                    p = struct.unpack_from("<H", logo, 8 + 2 * (cy * lw + cx))[0]
                    flat = all(struct.unpack_from("<H", logo, 8 + 2 * (yy * lw + xx))[0] == p
                               for yy in range(cy - 6, cy + 7) for xx in range(cx - 6, cx + 7))
                    if not flat:
                        continue
                    r5, g5, b5 = (p >> 10) & 31, (p >> 5) & 31, p & 31
                    r, g, b = (r5 << 3) | (r5 >> 2), (g5 << 3) | (g5 >> 2), (b5 << 3) | (b5 >> 2)
                    want = (16 + 0.2568 * r + 0.5041 * g + 0.0979 * b,
                            128 - 0.1482 * r - 0.2910 * g + 0.4392 * b,
                            128 + 0.4392 * r - 0.3678 * g - 0.0714 * b)
                    at = (y + cy) * w + x + cx
                    got = (frame[at], frame[w * h + at], frame[2 * w * h + at])
                    worst = max(worst, max(abs(a - b) for a, b in zip(want, got)))
            results.append({"frame": i, "worst": round(worst, 1)})
            ok = ok and worst <= 10
        ok = ok and len(results) > 0
    elif cmd == "none":
        w, h, x, y, bw, bh = (int(v) for v in args[:6])
        results = []
        ok = True
        for i, frame in enumerate(frames(w, h, 1)):
            n = len(box(frame, w, x, y, min(bw, w - x), min(bh, h - y)))
            results.append({"frame": i, "white": n})
            ok = ok and n == 0
        ok = ok and len(results) > 0
    else:
        sys.exit(__doc__)
    print(json.dumps({"ok": bool(ok), "results": results}))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
