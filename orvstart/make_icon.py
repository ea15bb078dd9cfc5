#!/usr/bin/env python3
"""Draws the launcher's icon (orvstart.ico): an orange ring with a white start arrow.

The 16, 32 and 48 pixel images are stored as 32-bit bitmaps and the 64 pixel image as PNG.
Only the standard library is used and nothing depends on time or platform, so the same
source always gives the same bytes.

usage: make_icon.py [output.ico]   (default: orvstart.ico beside this script)
"""
import os
import struct
import sys
import zlib

BITMAP_SIZES = (16, 32, 48)
PNG_SIZE = 64
SAMPLES = 4  # per axis, for smooth edges

RING = (0xF0, 0x8C, 0x1E)
FILL = (0x20, 0x24, 0x2C)
ARROW = (0xFF, 0xFF, 0xFF)


def colour_at(x, y):
    """Colour and coverage of a point in unit coordinates (0..1 each way)."""
    dx, dy = x - 0.5, y - 0.5
    r = (dx * dx + dy * dy) ** 0.5
    if r > 0.48:
        return None
    # Triangle pointing right, centred a little right of the middle.
    if 0.36 <= x <= 0.72 and abs(dy) <= (0.72 - x) * 0.62:
        return ARROW
    if r > 0.38:
        return RING
    return FILL


def render(size):
    """Rows top to bottom of (r, g, b, a) tuples."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0]
            hits = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at((px + (sx + 0.5) / SAMPLES) / size,
                                  (py + (sy + 0.5) / SAMPLES) / size)
                    if c is not None:
                        hits += 1
                        for i in range(3):
                            total[i] += c[i]
            if hits:
                row.append(tuple(t // hits for t in total) + (hits * 255 // (SAMPLES * SAMPLES),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def bitmap_image(size):
    """BITMAPINFOHEADER, 32-bit BGRA rows bottom up, then the 1-bit AND mask."""
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + pixels + bytes(mask)


def zlib_stored(data):
    """A zlib stream of uncompressed deflate blocks: unlike compressed output, these bytes do
    not depend on the zlib version at hand."""
    out = bytearray(b"\x78\x01")
    for start in range(0, max(len(data), 1), 65535):
        block = data[start:start + 65535]
        final = 1 if start + 65535 >= len(data) else 0
        out += struct.pack("<BHH", final, len(block), len(block) ^ 0xFFFF) + block
    return bytes(out) + struct.pack(">I", zlib.adler32(data) & 0xFFFFFFFF)


def png_chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data
            + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))


def png_image(size):
    rows = render(size)
    raw = b"".join(b"\x00" + b"".join(bytes(p) for p in row) for row in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + png_chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + png_chunk(b"IDAT", zlib_stored(raw))
            + png_chunk(b"IEND", b""))


def icon_file():
    images = [(s, bitmap_image(s)) for s in BITMAP_SIZES] + [(PNG_SIZE, png_image(PNG_SIZE))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "orvstart.ico")
    with open(target, "wb") as f:
        f.write(icon_file())


if __name__ == "__main__":
    main()
