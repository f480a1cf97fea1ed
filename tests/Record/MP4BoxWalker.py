#!/usr/bin/env python3
"""Walks an MP4 file's boxes on its own (struct only) and prints what the
writer tests compare, one fact per line:

  top ftyp:36 free:12 free:8 mdat:N moov:M     the top-level boxes in order
  mdat_payload N                                bytes inside mdat
  altg MASK                                     trigger mask of the skip box
  asct K                                        snapshot record count
  rec LETTER RECTIME INDEX GPSHEX               one record (GPS as 64 bytes hex)
  trak ID HANDLER TIMESCALE DURATION SAMPLES    per track (tkhd/mdhd/stsz)
  mvhd TIMESCALE DURATION NEXT_ID

Exits 1 with a message when the boxes do not tile the file exactly.
"""
import struct
import sys


def boxes(data, start, end):
    at = start
    while at < end:
        if at + 8 > end:
            sys.exit("truncated box header at %d" % at)
        size, kind = struct.unpack_from(">I4s", data, at)
        header = 8
        if size == 1:
            (size,) = struct.unpack_from(">Q", data, at + 8)
            header = 16
        if size < header or at + size > end:
            sys.exit("box %r at %d has bad size %d" % (kind, at, size))
        yield at, size, header, kind.decode("latin-1")
        at += size


def child(data, parent, kind, skip=0):
    at, size, header, _ = parent
    for b in boxes(data, at + header + skip, at + size):
        if b[3] == kind:
            return b
    sys.exit("no %s inside %s" % (kind, parent[3]))


def full_box_version(data, box):
    return data[box[0] + box[2]]


def main():
    data = open(sys.argv[1], "rb").read()
    top = list(boxes(data, 0, len(data)))
    print("top " + " ".join("%s:%d" % (b[3], b[1]) for b in top))
    for b in top:
        if b[3] == "mdat":
            print("mdat_payload %d" % (b[1] - b[2]))
        if b[3] == "skip":
            for c in boxes(data, b[0] + 8, b[0] + b[1]):
                if c[3] == "altg":
                    print("altg %d" % struct.unpack_from(">I", data, c[0] + 12))
                elif c[3] == "asct":
                    (count,) = struct.unpack_from(">I", data, c[0] + 12)
                    print("asct %d" % count)
                    if c[1] != 16 + 73 * count:
                        sys.exit("asct size %d for %d records" % (c[1], count))
                    for i in range(count):
                        r = c[0] + 16 + 73 * i
                        letter = chr(data[r])
                        rectime, index = struct.unpack_from(">Ii", data, r + 1)
                        print("rec %s %d %d %s" % (letter, rectime, index, data[r + 9:r + 73].hex()))
        if b[3] == "moov":
            mvhd = child(data, b, "mvhd")
            v = full_box_version(data, mvhd)
            o = mvhd[0] + 12
            if v == 1:
                ts, dur = struct.unpack_from(">IQ", data, o + 16)
                next_id = struct.unpack_from(">I", data, mvhd[0] + 116)[0]
            else:
                ts, dur = struct.unpack_from(">II", data, o + 8)
                next_id = struct.unpack_from(">I", data, mvhd[0] + 104)[0]
            print("mvhd %d %d %d" % (ts, dur, next_id))
            for t in boxes(data, b[0] + 8, b[0] + b[1]):
                if t[3] != "trak":
                    continue
                tkhd = child(data, t, "tkhd")
                track_id = struct.unpack_from(">I", data, tkhd[0] + (28 if full_box_version(data, tkhd) == 1 else 20))[0]
                mdia = child(data, t, "mdia")
                mdhd = child(data, mdia, "mdhd")
                if full_box_version(data, mdhd) == 1:
                    mts, mdur = struct.unpack_from(">IQ", data, mdhd[0] + 28)
                else:
                    mts, mdur = struct.unpack_from(">II", data, mdhd[0] + 20)
                hdlr = child(data, mdia, "hdlr")
                handler = data[hdlr[0] + 16:hdlr[0] + 20].decode("latin-1")
                stbl = child(data, child(data, mdia, "minf"), "stbl")
                stsz = child(data, stbl, "stsz")
                (samples,) = struct.unpack_from(">I", data, stsz[0] + 16)
                print("trak %d %s %d %d %d" % (track_id, handler, mts, mdur, samples))


if __name__ == "__main__":
    main()
