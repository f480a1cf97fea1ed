"""Checks an ADTS dump against the stream lengths the encoder channel gave.

  AdtsCheck.py DUMP LENGTHS ASC_HEX

Every frame: sync word, MPEG-4, no CRC (7-byte header), frame length equal to
the stream's, one raw data block, and profile, rate index and channels equal
to the AudioSpecificConfig's. Prints "OK <frames>" or the first fault.
"""
import sys


def main():
    dump, lengths_file, asc_hex = sys.argv[1:4]
    with open(dump, "rb") as f:
        data = f.read()
    with open(lengths_file) as f:
        lengths = [int(x) for x in f.read().split()]
    asc = bytes.fromhex(asc_hex)
    object_type = asc[0] >> 3
    rate_index = ((asc[0] & 7) << 1) | (asc[1] >> 7)
    channels = (asc[1] >> 3) & 15
    pos = 0
    for i, length in enumerate(lengths):
        h = data[pos:pos + 7]
        if len(h) < 7:
            return "frame %d: file ends" % i
        if h[0] != 0xFF or (h[1] & 0xF0) != 0xF0:
            return "frame %d: no sync word" % i
        if h[1] & 0x08:
            return "frame %d: MPEG-2 id" % i
        if (h[1] & 0x01) != 1:
            return "frame %d: CRC present" % i
        profile = h[2] >> 6
        if profile + 1 != object_type:
            return "frame %d: profile %d, config object type %d" % (i, profile, object_type)
        if (h[2] >> 2) & 15 != rate_index:
            return "frame %d: rate index %d, config %d" % (i, (h[2] >> 2) & 15, rate_index)
        ch = ((h[2] & 1) << 2) | (h[3] >> 6)
        if ch != channels:
            return "frame %d: %d channels, config %d" % (i, ch, channels)
        frame_length = ((h[3] & 3) << 11) | (h[4] << 3) | (h[5] >> 5)
        if frame_length != length:
            return "frame %d: frame length %d, stream %d" % (i, frame_length, length)
        if h[6] & 3:
            return "frame %d: more than one raw data block" % i
        pos += length
    if pos != len(data):
        return "%d bytes after the last frame" % (len(data) - pos)
    return "OK %d" % len(lengths)


print(main())
