#!/usr/bin/env python3
"""Prints the size and colour count of a PNG screenshot and fails unless it
has the expected size and looks drawn: several colours, and no single colour
covering nearly all of it (a blank or unrendered window).

usage: png_summary.py FILE WIDTH HEIGHT"""
import struct
import sys
import zlib
from collections import Counter


def read_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour_type, _, _, interlace = header
    channels = {0: 1, 2: 3, 4: 2, 6: 4}.get(colour_type)
    if depth != 8 or channels is None or interlace:
        raise ValueError(f"unsupported PNG layout (depth {depth}, colour type {colour_type}, interlace {interlace})")
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, row = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            a = row[i - channels] if i >= channels else 0
            b = previous[i]
            c = previous[i - channels] if i >= channels else 0
            if kind == 1:
                row[i] = (row[i] + a) & 255
            elif kind == 2:
                row[i] = (row[i] + b) & 255
            elif kind == 3:
                row[i] = (row[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                row[i] = (row[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(row))
        previous = row
    return width, height, channels, rows


def main():
    path, want_w, want_h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    try:
        width, height, channels, rows = read_png(path)
    except (OSError, ValueError, zlib.error) as e:
        print(f"{path}: {e}", file=sys.stderr)
        return 1
    colours = Counter()
    for row in rows[::4]:
        for x in range(0, len(row), channels * 4):
            colours[row[x:x + channels]] += 1
    total = sum(colours.values())
    top = colours.most_common(1)[0][1] / total
    print(f"{path}: {width}x{height}, {len(colours)} colours, the commonest covers {top:.0%}")
    if (width, height) != (want_w, want_h):
        print(f"expected {want_w}x{want_h}", file=sys.stderr)
        return 1
    if len(colours) < 8 or top > 0.98:
        print("the image looks blank", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
