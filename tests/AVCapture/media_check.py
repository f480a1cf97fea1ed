#!/usr/bin/env python3
"""Independent readers of the simulated encoders' dumps.

  media_check.py nal FILE          H.264 Annex B walk: start codes, NAL types, P headers, SEI sizes
  media_check.py jpeg FILE         JPEG marker walk: size from SOF0, COM payloads (hex)
  media_check.py barcode W H CW CH raw gray frames of W x H on stdin: the index in each
Each prints one JSON object.
"""
import json
import sys


def nal_walk(path):
    data = open(path, "rb").read()
    starts = []
    i = 0
    three_byte = 0
    while True:
        j = data.find(b"\x00\x00\x01", i)
        if j < 0:
            break
        if j == 0 or data[j - 1] != 0:
            three_byte += 1
        starts.append(j + 3)
        i = j + 3
    units = []
    for k, s in enumerate(starts):
        end = len(data) if k + 1 == len(starts) else starts[k + 1] - 4
        units.append(data[s:end])
    types = [u[0] & 0x1F for u in units if u]
    p_headers = sorted({u[0] for u in units if u and (u[0] & 0x1F) == 1})
    sei_sizes = [len(u) for u in units if u and (u[0] & 0x1F) == 6]
    # pictures: each slice starts one (one slice a picture); IDR positions by picture
    pictures = []
    for u in units:
        t = u[0] & 0x1F
        if t in (1, 5):
            pictures.append(1 if t == 5 else 0)
    idr = [n for n, key in enumerate(pictures) if key]
    leading_zero = data[:4] == b"\x00\x00\x00\x01"
    print(json.dumps({"units": len(units), "three_byte_start_codes": three_byte, "starts_with_4_byte": leading_zero,
                      "types": types[:8], "p_headers": p_headers, "sei_sizes": sei_sizes,
                      "pictures": len(pictures), "idr": idr}))


def jpeg_walk(path):
    data = open(path, "rb").read()
    out = {"soi": data[:2] == b"\xff\xd8", "eoi": data[-2:] == b"\xff\xd9", "com": [], "first_marker": None}
    pos = 2
    while pos + 4 <= len(data):
        if data[pos] != 0xFF:
            out["error"] = "no marker at %d" % pos
            break
        marker = data[pos + 1]
        length = (data[pos + 2] << 8) | data[pos + 3]
        body = data[pos + 4:pos + 2 + length]
        if out["first_marker"] is None:
            out["first_marker"] = marker
        if marker == 0xFE:
            out["com"].append(body.hex())
        if marker == 0xC0:
            out["height"] = (body[1] << 8) | body[2]
            out["width"] = (body[3] << 8) | body[4]
        pos += 2 + length
        if marker == 0xDA:
            break
    print(json.dumps(out))


def barcode(w, h, cw, ch):
    raw = sys.stdin.buffer.read()
    size = w * h
    indices = []
    for f in range(len(raw) // size):
        frame = raw[f * size:(f + 1) * size]
        value = 0
        for bit in range(32):
            x = bit * cw + cw // 2
            y = ch // 2
            value = (value << 1) | (1 if frame[y * w + x] > 128 else 0)
        indices.append(value)
    print(json.dumps({"frames": len(indices), "indices": indices}))


def main():
    cmd = sys.argv[1]
    if cmd == "nal":
        nal_walk(sys.argv[2])
    elif cmd == "jpeg":
        jpeg_walk(sys.argv[2])
    elif cmd == "barcode":
        barcode(*[int(a) for a in sys.argv[2:6]])
    else:
        sys.exit("unknown command " + cmd)


if __name__ == "__main__":
    main()
