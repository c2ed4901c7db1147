#!/usr/bin/env python3
"""Converts an X window dump (xwd -root, 24/32-bit TrueColor) into a PNG file: xwd2png.py IN OUT."""

import struct
import sys
import zlib


def convert(src, dst):
    data = open(src, "rb").read()
    header = struct.unpack(">25I", data[:100])
    (header_size, _version, _format, depth, width, height, _xoffset, byte_order, _unit, _bit_order, _pad,
     bits_per_pixel, bytes_per_line, _visual_class, red_mask, green_mask, blue_mask, _bits_rgb, _entries,
     ncolors) = header[:20]
    if bits_per_pixel not in (24, 32) or depth < 24:
        raise SystemExit("xwd2png: only 24/32-bit TrueColor dumps are supported")
    offset = header_size + ncolors * 12
    step = bits_per_pixel // 8
    endian = "<" if byte_order == 0 else ">"

    def shift(mask):
        return (mask & -mask).bit_length() - 1

    shifts = [(m, shift(m)) for m in (red_mask, green_mask, blue_mask)]
    rows = []
    # The usual 32-bit dump with 8-bit channels: whole rows by slicing, a hundred times faster.
    if step == 4 and all(m in (0xff, 0xff00, 0xff0000, 0xff000000) for m, _ in shifts):
        index = [(s // 8) if endian == "<" else 3 - s // 8 for _, s in shifts]
        for y in range(height):
            line = data[offset + y * bytes_per_line: offset + y * bytes_per_line + width * 4]
            row = bytearray(1 + width * 3)
            for channel, at in enumerate(index):
                row[1 + channel::3] = line[at::4]
            rows.append(bytes(row))
    for y in range(height if not rows else 0):
        line = data[offset + y * bytes_per_line: offset + y * bytes_per_line + width * step]
        row = bytearray(b"\0")
        for x in range(width):
            px = line[x * step:(x + 1) * step]
            value = struct.unpack(endian + "I", px if step == 4 else (px + b"\0" if endian == "<" else b"\0" + px))[0]
            row += bytes((value & m) >> s for m, s in shifts)
        rows.append(bytes(row))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xffffffff)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 6)) + chunk(b"IEND", b"")
    open(dst, "wb").write(png)


if __name__ == "__main__":
    convert(sys.argv[1], sys.argv[2])
