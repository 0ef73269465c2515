#!/usr/bin/env python3
"""Renders the dialog's background picture (510 x 437, 24-bit BMP) and the
program's icon (48, 32 and 16 pixels, 32-bit) from code, so that the build
needs nothing but Python.

usage: render_artwork.py OUTPUT_FOLDER
"""
import math
import os
import struct
import sys

WIDTH, HEIGHT = 510, 437
# The lower band holds the component list, the message and the buttons; it
# stays light and calm so that black text on it reads well.
BAND_TOP = 296


def lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def background_pixel(x, y):
    if y >= BAND_TOP:
        # Light band with a faint vertical fade and a thin accent line on top.
        if y < BAND_TOP + 3:
            return (0x1f, 0x8a, 0xc0) if y < BAND_TOP + 2 else (0xd5, 0xe6, 0xf0)
        t = (y - BAND_TOP) / (HEIGHT - BAND_TOP)
        return lerp((0xfb, 0xfc, 0xfd), (0xee, 0xf2, 0xf6), t)
    # Upper area: a diagonal gradient from deep blue to teal with soft rings.
    t = (x / WIDTH) * 0.6 + (y / BAND_TOP) * 0.4
    base = lerp((0x0d, 0x2b, 0x52), (0x14, 0x7a, 0x8c), t)
    glow = 0.0
    for cx, cy, r, k in ((400, 60, 210, 0.20), (90, 250, 160, 0.12), (300, 300, 120, 0.08)):
        d = math.hypot(x - cx, y - cy)
        if d < r:
            glow += k * (1 - d / r) ** 2
    # A few wide arcs suggest motion without drawing attention.
    for cx, cy, r in ((-60, 420, 420), (-60, 420, 470)):
        d = abs(math.hypot(x - cx, y - cy) - r)
        if d < 1.5:
            glow += 0.10 * (1.5 - d) / 1.5
    return lerp(base, (0xff, 0xff, 0xff), min(glow, 0.6))


def write_bmp(path):
    row_size = (WIDTH * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(HEIGHT - 1, -1, -1):  # bottom-up rows
        row = bytearray()
        for x in range(WIDTH):
            r, g, b = background_pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (row_size - len(row))
        pixels += row
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def icon_pixel(x, y, size):
    """A rounded square in the product's blue with a white box outline and a
    downward arrow: a package being installed."""
    s = size / 48.0
    cx, cy = x + 0.5, y + 0.5
    m, rad = 2 * s, 8 * s
    # rounded-square coverage
    dx = max(m + rad - cx, 0, cx - (size - m - rad))
    dy = max(m + rad - cy, 0, cy - (size - m - rad))
    inside = math.hypot(dx, dy) <= rad
    if not inside:
        return (0, 0, 0, 0)
    t = cy / size
    r, g, b = lerp((0x1f, 0x8a, 0xc0), (0x0d, 0x2b, 0x52), t)
    white = (0xff, 0xff, 0xff, 0xff)
    # box: lower part
    bx0, bx1, by0, by1 = 12 * s, 36 * s, 26 * s, 40 * s
    th = max(1.0, 3 * s)
    on_box = bx0 <= cx <= bx1 and by0 <= cy <= by1 and (
        cx - bx0 < th or bx1 - cx < th or by1 - cy < th or cy - by0 < th)
    if on_box and not (19 * s < cx < 29 * s and cy - by0 < th):
        return white
    # arrow: shaft and head
    if 21 * s <= cx <= 27 * s and 7 * s <= cy <= 22 * s:
        return white
    if 14 * s <= cy <= 30 * s and abs(cx - 24 * s) <= (30 * s - cy) * 0.9 and cy >= 18 * s:
        return white
    return (r, g, b, 0xff)


def icon_image(size):
    rows = []
    for y in range(size - 1, -1, -1):
        row = bytearray()
        for x in range(size):
            r, g, b, a = icon_pixel(x, y, size)
            row += bytes((b, g, r, a))
        rows.append(bytes(row))
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    and_mask = bytearray()
    for y in range(size - 1, -1, -1):
        bits = bytearray(mask_row)
        for x in range(size):
            if icon_pixel(x, y, size)[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        and_mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return info + xor + bytes(and_mask)


def write_ico(path):
    sizes = (48, 32, 16)
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_bmp(os.path.join(out, "background.bmp"))
    write_ico(os.path.join(out, "setup.ico"))


if __name__ == "__main__":
    main()
