#!/usr/bin/env python3
"""Draws the busy spinner of the password page, res/tabs/spinner_animated_32x32.gif: twelve dots
on a circle, one of them dark, the rest fading behind it, turning once per twelve frames.
Standard library only; the GIF is written with plain (uncompressed) LZW codes."""

import math
import struct
import sys

SIZE = 32
FRAMES = 12
DELAY_CS = 8  # hundredths of a second per frame
# Index 0 is transparent; 1..12 are greys from dark to nearly white.
PALETTE = [(255, 255, 255)] + [(int(70 + 14 * i),) * 3 for i in range(12)]
PALETTE += [(255, 255, 255)] * (128 - len(PALETTE))


def frame(step):
    pixels = bytearray(SIZE * SIZE)
    centre = (SIZE - 1) / 2.0
    for dot in range(12):
        angle = 2 * math.pi * dot / 12
        cx = centre + 11 * math.sin(angle)
        cy = centre - 11 * math.cos(angle)
        shade = 1 + (step - dot) % 12  # the leading dot is darkest
        for y in range(SIZE):
            for x in range(SIZE):
                if (x - cx) ** 2 + (y - cy) ** 2 <= 2.6 ** 2:
                    pixels[y * SIZE + x] = shade
    return pixels


def lzw_uncompressed(pixels, min_code_size=7):
    """Eight-bit codes with a clear code before the table would need a ninth bit."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    codes = []
    run = (1 << min_code_size) - 2
    for i in range(0, len(pixels), run):
        codes.append(clear)
        codes.extend(pixels[i:i + run])
    codes.append(end)
    out = bytearray()
    bits, nbits = 0, 0
    for code in codes:
        bits |= code << nbits
        nbits += 8
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8
    blocks = bytearray([min_code_size])
    for i in range(0, len(out), 255):
        chunk = out[i:i + 255]
        blocks += bytes([len(chunk)]) + chunk
    return bytes(blocks + b"\x00")


def gif():
    data = bytearray(b"GIF89a")
    data += struct.pack("<HHBBB", SIZE, SIZE, 0xF6, 0, 0)  # global table of 128 colours
    for r, g, b in PALETTE:
        data += bytes([r, g, b])
    data += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"  # loop for ever
    for step in range(FRAMES):
        data += b"\x21\xF9\x04" + struct.pack("<BHBB", 0x09, DELAY_CS, 0, 0)  # transparent index 0
        data += b"\x2C" + struct.pack("<HHHHB", 0, 0, SIZE, SIZE, 0)
        data += lzw_uncompressed(frame(step))
    return bytes(data + b"\x3B")


if __name__ == "__main__":
    target = sys.argv[1] if len(sys.argv) > 1 else "res/tabs/spinner_animated_32x32.gif"
    with open(target, "wb") as f:
        f.write(gif())
