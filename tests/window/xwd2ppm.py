#!/usr/bin/env python3
"""An xwd dump of a TrueColor window (32 bits a pixel) as a binary PPM.

netpbm's xwdtopnm reads such dumps in the wrong byte order, so the window test
reads them itself. Usage: xwd -id WIN | xwd2ppm.py > OUT.ppm
"""
import struct
import sys


def main():
    data = sys.stdin.buffer.read()
    if len(data) < 100:
        sys.exit("xwd2ppm: no xwd dump on standard input")
    h = struct.unpack(">25I", data[:100])
    header, width, height, byte_order, bpp, line = h[0], h[4], h[5], h[7], h[11], h[12]
    masks, ncolors = h[14:17], h[19]
    if bpp != 32:
        sys.exit(f"xwd2ppm: {bpp} bits a pixel; only 32 are read")
    shifts = [(m & -m).bit_length() - 1 for m in masks]
    pixels = data[header + ncolors * 12:]
    if len(pixels) < line * height:
        sys.exit("xwd2ppm: the dump is cut short")
    order = "<" if byte_order == 0 else ">"
    out = bytearray()
    for y in range(height):
        row = struct.unpack_from(f"{order}{width}I", pixels, y * line)
        for v in row:
            out += bytes((v & m) >> s for m, s in zip(masks, shifts))
    sys.stdout.buffer.write(b"P6\n%d %d\n255\n" % (width, height) + bytes(out))


main()
