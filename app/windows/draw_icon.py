#!/usr/bin/env python3
"""Draws the program's icon and writes it as a Windows .ico file.

    app/windows/draw_icon.py app/windows/korva-zid.ico

The design: a rounded dark-teal tile with a gold frame, and on it two
white bars joined by an arrow pointing right (a character carried from the
mod list into the game), as the window's "Add -->" does. Drawn at 16, 24,
32, 48 and 256 pixels with 4x4 supersampling; the small sizes are stored as
32-bit bitmaps, the 256-pixel one as PNG, as Windows expects.
"""
import struct
import sys
import zlib

TILE = (24, 84, 92)
FRAME = (222, 176, 64)
MARK = (245, 245, 240)


def inside_round_rect(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def inside_mark(x, y):
    # Two upright bars and an arrow between them, in a 0..1 square.
    if 0.22 <= x <= 0.32 and 0.28 <= y <= 0.72:
        return True
    if 0.68 <= x <= 0.78 and 0.28 <= y <= 0.72:
        return True
    if 0.36 <= x <= 0.52 and 0.46 <= y <= 0.54:  # the arrow's shaft
        return True
    # The arrow's head: a triangle with its point at (0.64, 0.5).
    if 0.50 <= x <= 0.64:
        half = (0.64 - x) / 0.14 * 0.13
        return abs(y - 0.5) <= half
    return False


def colour_at(x, y):
    """Colour (r, g, b, a) of the design at a point of the 0..1 square."""
    if not inside_round_rect(x, y, 0.04, 0.04, 0.96, 0.96, 0.18):
        return (0, 0, 0, 0)
    if not inside_round_rect(x, y, 0.10, 0.10, 0.90, 0.90, 0.13):
        return FRAME + (255,)
    if inside_mark(x, y):
        return MARK + (255,)
    return TILE + (255,)


def draw(size):
    """Rows of RGBA pixels, top row first."""
    samples = 4
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) / size
                    y = (py + (sy + 0.5) / samples) / size
                    r, g, b, a = colour_at(x, y)
                    total[0] += r * a
                    total[1] += g * a
                    total[2] += b * a
                    total[3] += a
            alpha = total[3] / (samples * samples)
            if total[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(c / total[3]) for c in total[:3]) + (round(alpha),))
        rows.append(row)
    return rows


def bitmap_entry(size, rows):
    """A 32-bit DIB as an icon stores it: double height, bottom row first,
    followed by an all-zero AND mask (the alpha channel decides)."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    return header + pixels + bytes(mask_row * size)


def png_entry(size, rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: draw_icon.py output.ico")
    sizes = [16, 24, 32, 48, 256]
    images = []
    for size in sizes:
        rows = draw(size)
        images.append(png_entry(size, rows) if size >= 256 else bitmap_entry(size, rows))
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size, data in zip(sizes, images):
        side = size if size < 256 else 0  # 0 stands for 256
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main()
