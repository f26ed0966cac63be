#!/usr/bin/env python3
# xwd -id WIN | xwd2ppm.py > OUT.ppm: an xwd dump of a TrueColor window (32
# bits a pixel) as a binary PPM; netpbm's xwdtopnm reads the byte order wrong.
import struct
import sys

data = sys.stdin.buffer.read()
h = struct.unpack(">25I", data[:100]) if len(data) >= 100 else sys.exit("xwd2ppm: no xwd dump on standard input")
header, width, height, byte_order, bpp, line = h[0], h[4], h[5], h[7], h[11], h[12]
masks, ncolors = h[14:17], h[19]
pixels = data[header + ncolors * 12:]
if bpp != 32 or len(pixels) < line * height:
    sys.exit(f"xwd2ppm: {bpp} bits a pixel (only 32 are read) or the dump is cut short")
shifts = [(m & -m).bit_length() - 1 for m in masks]
out = bytearray()
for y in range(height):
    for v in struct.unpack_from(f"{'<' if byte_order == 0 else '>'}{width}I", pixels, y * line):
        out += bytes((v & m) >> s for m, s in zip(masks, shifts))
sys.stdout.buffer.write(b"P6\n%d %d\n255\n" % (width, height) + bytes(out))
