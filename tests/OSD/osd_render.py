#!/usr/bin/env python3
"""An independent renderer of overlay texts, reading the glyph data files by
their record format, to check the region bitmaps the program hands over.

    osd_render.py check MANIFEST

Each manifest line is "SET|WIDTH|HEIGHT|BITMAP|TEXT": the glyph set's data
file, the region's size, a file with the bitmap the program handed over
(rows of round-up(2 x WIDTH, 4) bytes) and the text it should show. Prints
one JSON object; exits 1 on any difference.
"""

import json
import struct
import sys


def load_set(path):
    with open(path, "rb") as f:
        data = f.read()
    glyphs = {}
    pos = 0
    while len(data) - pos > 12:
        code, width, height, align = struct.unpack_from("<HHHH", data, pos + 4)
        pos += 12
        pixels = data[pos:pos + height * align]
        if len(pixels) < height * align:
            raise ValueError("record cut short")
        pos += height * align
        glyphs[code] = (width, height, align, pixels)
    return glyphs


def render(glyphs, width, height, text):
    """The region's bitmap from scratch: glyphs side by side at their padded
    row width, centred vertically, cut at the last whole glyph that fits."""
    stride = (2 * width + 3) & ~3
    out = bytearray(stride * height)
    pos = used = 0
    for ch in text:
        g = glyphs.get(ord(ch))
        if g is None:
            return None
        w, h, align, pixels = g
        if used + w > width or pos + align > stride:
            break
        used += w
        h = min(h, height)
        top = (height - h) // 2
        for row in range(h):
            start = (top + row) * stride + pos
            out[start:start + align] = pixels[row * align:(row + 1) * align]
        pos += align
    return bytes(out)


def art(bitmap, width, height):
    stride = (2 * width + 3) & ~3
    rows = []
    for y in range(height):
        rows.append("".join("#" if bitmap[y * stride + 2 * x + 1] & 0x80 else "." for x in range(width)))
    return rows


def check(manifest):
    sets = {}
    results = []
    ok = True
    with open(manifest, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line:
                continue
            set_path, width, height, bitmap_path, text = line.split("|", 4)
            width, height = int(width), int(height)
            if set_path not in sets:
                sets[set_path] = load_set(set_path)
            want = render(sets[set_path], width, height, text)
            with open(bitmap_path, "rb") as b:
                got = b.read()
            same = want == got
            ok = ok and same
            r = {"text": text, "same": same}
            if not same and want is not None and len(got) == len(want):
                r["want"] = art(want, width, height)
                r["got"] = art(got, width, height)
            results.append(r)
    print(json.dumps({"ok": ok, "results": results}, indent=1))
    return 0 if ok else 1


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] != "check":
        sys.exit(__doc__)
    sys.exit(check(sys.argv[2]))
