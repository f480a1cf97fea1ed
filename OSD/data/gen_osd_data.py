#!/usr/bin/env python3
"""Builds the overlay glyph sets and logos from strokes.txt.

Writes, next to this script, the raw arrays (CharImageDataBase16.bin, ...,
LogoImageDataBase48.bin) that the tests read, and the C++ sources defining
them. Run it again after changing strokes.txt or the tables below; the
output is deterministic.
"""

import math
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

CHARS = (list("0123456789") + list("ABCDEFGHIKLMNOPQRSTVWX") + list("aceghiklmnortuvxz") +
         ["-", ":", "/", " "])

DEFAULT16 = {
    "A": 11, "B": 10, "C": 10, "D": 11, "E": 9, "F": 9, "G": 11, "H": 11, "I": 6, "K": 10, "L": 9,
    "M": 14, "N": 12, "O": 12, "P": 10, "Q": 12, "R": 10, "S": 10, "T": 10, "V": 11, "X": 11,
    "a": 9, "c": 8, "e": 9, "g": 9, "l": 4, "n": 9, "o": 9, "r": 7, "t": 7, "u": 9, "v": 9,
    "x": 9, "z": 8,
}

# size: (stroke px, fixed widths, range of free widths, byte size of the array, empty records)
SETS = {
    16: (2, {"d": 10, "-": 10, " ": 8, ":": 6, "/": 8, "k": 8, "m": 14, "h": 8, "i": 4, "W": 16},
         (5, 15), 17788, 0),
    32: (4, {"d": 22, "-": 20, " ": 16, ":": 12, "/": 18, "k": 20, "m": 28, "h": 20, "i": 8, "W": 30},
         (9, 29), 69244, 0),
    48: (5, {"d": 32, "-": 28, " ": 24, ":": 18, "/": 26, "k": 30, "m": 44, "h": 30, "i": 12, "W": 46},
         (13, 45), 150960, 8),
}

WHITE = 0xFFFF


def load_strokes():
    strokes = {}
    with open(os.path.join(HERE, "strokes.txt"), encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            name, _, rest = line.partition(" ")
            ch = " " if name == "space" else name
            polys = []
            for part in rest.split(";"):
                pts = [tuple(float(v) for v in p.split(",")) for p in part.split()]
                if pts:
                    polys.append(pts)
            strokes[ch] = polys
    return strokes


def widths_for(size):
    stroke, fixed, (lo, hi), total, empties = SETS[size]
    chars = [c for c in CHARS if not (size == 48 and c == "L")]
    w = {}
    for c in chars:
        if c.isdigit():
            w[c] = fixed["d"]
        elif c in fixed:
            w[c] = fixed[c]
        else:
            w[c] = max(lo, min(hi, round(DEFAULT16[c] * size / 16.0 * 0.97)))
    free = [c for c in chars if not c.isdigit() and c not in fixed]
    # sum of mem_align = 2 * (sum of widths + padded glyphs)
    target = (total - 12 * (len(chars) + empties)) // size // 2
    assert 12 * (len(chars) + empties) + size * 2 * target == total
    k = 0
    while True:
        s = sum(w.values())
        odd = sum(1 for c in chars if w[c] % 2)
        if s <= target <= s + odd:
            break
        c = free[k % len(free)]
        k += 1
        if s > target and w[c] > lo:
            w[c] -= 1
        elif s + odd < target and w[c] < hi:
            w[c] += 1
        assert k < 100000
    pad = target - sum(w.values())
    align = {}
    for c in chars:
        align[c] = 2 * w[c]
        if pad > 0 and w[c] % 2:
            align[c] += 2
            pad -= 1
    assert sum(align.values()) == 2 * target
    return chars, w, align


def render(polys, width, height, stroke):
    """Pixels of one glyph (rows of booleans): a square pen of the stroke
    width moved along each stroke, so every lit pixel lies in a lit 2 x 2."""
    margin = max(1, height // 16)
    r = stroke / 2.0
    inner = max(0.0, width - 2 * margin - stroke)
    top = 0.12 * height
    unit = 0.1 * height

    def map_pt(p):
        return (margin + r + p[0] / 4.0 * inner, top + p[1] * unit)

    px = [[False] * width for _ in range(height)]

    def stamp(x, y):
        for row in range(max(0, math.ceil(y - r - 0.5)), min(height, math.floor(y + r - 0.5) + 1)):
            for col in range(max(0, math.ceil(x - r - 0.5)), min(width, math.floor(x + r - 0.5) + 1)):
                px[row][col] = True

    for poly in polys:
        pts = [map_pt(p) for p in poly]
        if len(pts) == 1:
            pts = pts * 2
        for (x0, y0), (x1, y1) in zip(pts, pts[1:]):
            steps = max(1, int(math.hypot(x1 - x0, y1 - y0) / 0.1))
            for i in range(steps + 1):
                t = i / steps
                stamp(x0 + t * (x1 - x0), y0 + t * (y1 - y0))
    return px


def build_set(size, strokes):
    stroke, _, _, total, empties = SETS[size]
    chars, w, align = widths_for(size)
    out = bytearray()
    for c in chars:
        utf8 = c.encode("utf-8").ljust(4, b"\0")
        out += utf8 + struct.pack("<HHHH", ord(c), w[c], size, align[c])
        px = render(strokes[c], w[c], size, stroke)
        for row in px:
            line = bytearray()
            for on in row:
                line += struct.pack("<H", WHITE if on else 0)
            line += b"\0" * (align[c] - len(line))
            out += line
    out += b"\0" * (12 * empties)
    assert len(out) == total, (size, len(out), total)
    return bytes(out)


def rgb1555(r, g, b):
    return 0x8000 | (r << 10) | (g << 5) | b


# flat blocks, two rows: colours by (row, column)
LOGO_COLOURS = [
    [rgb1555(31, 6, 4), rgb1555(4, 18, 31), rgb1555(31, 27, 3), rgb1555(6, 25, 9), rgb1555(31, 31, 31),
     rgb1555(20, 6, 26)],
    [rgb1555(4, 18, 31), rgb1555(31, 27, 3), rgb1555(6, 25, 9), rgb1555(31, 31, 31), rgb1555(31, 6, 4),
     rgb1555(3, 3, 3)],
]
LOGOS = {16: (44, 16, 8), 32: (94, 32, 16), 48: (144, 48, 24)}


def logo_cells(size):
    """Column and row edges of the logo's blocks."""
    width, height, cell = LOGOS[size]
    cols = list(range(0, width - cell + 1, cell))
    if width - cols[-1] < cell:
        cols.pop()
    cols.append(width)
    rows = [0, height // 2, height]
    return cols, rows


def build_logo(size):
    width, height, _ = LOGOS[size]
    cols, rows = logo_cells(size)
    out = bytearray(struct.pack("<II", width, height))
    for y in range(height):
        ry = 0 if y < rows[1] else 1
        for x in range(width):
            cx = max(i for i in range(len(cols) - 1) if cols[i] <= x)
            out += struct.pack("<H", LOGO_COLOURS[ry][cx])
    return bytes(out)


def write_cpp(path, name, data):
    with open(path, "w", encoding="ascii") as f:
        f.write("// Generated by gen_osd_data.py from strokes.txt; do not edit.\n\n")
        f.write('#include "OSD/ImageDataBase.h"\n\n')
        f.write("const unsigned char %s[%d] = {\n" % (name, len(data)))
        for i in range(0, len(data), 16):
            f.write("    " + ", ".join("0x%02x" % b for b in data[i:i + 16]) + ",\n")
        f.write("};\n")


def main(outdir=HERE):
    strokes = load_strokes()
    missing = [c for c in CHARS if c not in strokes]
    if missing:
        sys.exit("no strokes for %r" % missing)
    arrays = []
    for size in (16, 32, 48):
        arrays.append(("g_CharImageDataBase%d" % size, build_set(size, strokes)))
    for size in (16, 32, 48):
        arrays.append(("g_LogoImageDataBase%d" % size, build_logo(size)))
    for name, data in arrays:
        base = name[2:]
        with open(os.path.join(outdir, base + ".bin"), "wb") as f:
            f.write(data)
        write_cpp(os.path.join(outdir, base + ".cpp"), name, data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else HERE)
