#!/usr/bin/env python3
"""Draws the banner (163 x 284, 24-bit BMP) and the icon (32 x 32, 16 colours).

Run it from anywhere to make banner.bmp and Setup.ico beside this script.
Pure Python, so it needs nothing installed.
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def mix(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def rounded_rect_cover(px, py, x0, y0, x1, y1, r):
    """How much of pixel (px, py) lies in the rounded rectangle, 4x4 samples."""
    hits = 0
    for sy in range(4):
        for sx in range(4):
            x = px + (sx + 0.5) / 4
            y = py + (sy + 0.5) / 4
            if not (x0 <= x <= x1 and y0 <= y <= y1):
                continue
            cx = min(max(x, x0 + r), x1 - r)
            cy = min(max(y, y0 + r), y1 - r)
            if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                hits += 1
    return hits / 16


def circle_cover(px, py, cx, cy, r):
    hits = 0
    for sy in range(4):
        for sx in range(4):
            x = px + (sx + 0.5) / 4
            y = py + (sy + 0.5) / 4
            if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                hits += 1
    return hits / 16


def usb_symbol(cx, top, scale):
    """Rectangles and circles of the USB trident, centred on cx."""
    s = scale
    rects = [
        (cx - 1.2 * s, top + 4 * s, cx + 1.2 * s, top + 30 * s),        # stem
        (cx - 9 * s, top + 14 * s, cx - 6.6 * s, top + 21 * s),         # left arm up
        (cx - 9 * s, top + 19 * s, cx, top + 21.4 * s),                 # left arm across
        (cx + 6.6 * s, top + 10 * s, cx + 9 * s, top + 17 * s),         # right arm up
        (cx, top + 15 * s, cx + 9 * s, top + 17.4 * s),                 # right arm across
        (cx + 5 * s, top + 6 * s, cx + 10.6 * s, top + 11 * s),         # square end
    ]
    circles = [(cx, top + 32 * s, 3.5 * s), (cx - 7.8 * s, top + 13 * s, 2.6 * s)]
    tri = (cx, top, 4.5 * s)  # arrow head at the top
    return rects, circles, tri


def draw_banner():
    w, h = 163, 284
    top_c, bottom_c = (18, 44, 96), (20, 128, 150)
    body = (236, 240, 244)
    metal = (176, 186, 196)
    pixels = [[mix(top_c, bottom_c, y / (h - 1)) for x in range(w)] for y in range(h)]

    def paint(x, y, color, cover):
        if cover > 0:
            pixels[y][x] = mix(pixels[y][x], color, cover)

    # Soft light circles in the background.
    for cx, cy, r, a in [(30, 40, 60, 0.10), (150, 230, 80, 0.08), (120, 90, 30, 0.07)]:
        for y in range(h):
            for x in range(w):
                d = math.hypot(x - cx, y - cy)
                if d < r:
                    paint(x, y, (255, 255, 255), a * (1 - d / r))

    # The device: a USB stick standing upright, connector at the top.
    bx0, by0, bx1, by1 = 51, 92, 112, 222
    for y in range(h):
        for x in range(w):
            paint(x, y, (8, 24, 52), 0.35 * rounded_rect_cover(x - 3, y - 4, bx0, by0, bx1, by1, 12))
            paint(x, y, metal, rounded_rect_cover(x, y, 63, 56, 100, 96, 3))
            paint(x, y, (90, 100, 112), rounded_rect_cover(x, y, 69, 66, 77, 74, 1))
            paint(x, y, (90, 100, 112), rounded_rect_cover(x, y, 86, 66, 94, 74, 1))
            paint(x, y, body, rounded_rect_cover(x, y, bx0, by0, bx1, by1, 12))
            paint(x, y, (210, 218, 226), rounded_rect_cover(x, y, bx0, by1 - 24, bx1, by1, 12))
            paint(x, y, (46, 196, 120), circle_cover(x, y, 81.5, 208, 3))

    rects, circles, (tx, ty, tr) = usb_symbol(81.5, 120, 1.6)
    for y in range(h):
        for x in range(w):
            for r in rects:
                paint(x, y, top_c, rounded_rect_cover(x, y, *r, 0.5))
            for c in circles:
                paint(x, y, top_c, circle_cover(x, y, *c))
            # arrow head: a triangle pointing up
            hits = 0
            for sy in range(4):
                for sx in range(4):
                    px = x + (sx + 0.5) / 4
                    py = y + (sy + 0.5) / 4
                    if ty <= py <= ty + 2 * tr and abs(px - tx) <= (py - ty) * 0.6:
                        hits += 1
            paint(x, y, top_c, hits / 16)

    row = (w * 3 + 3) & ~3
    data = bytearray()
    for y in range(h - 1, -1, -1):
        line = bytearray()
        for r, g, b in pixels[y]:
            line += bytes((b, g, r))
        line += b"\0" * (row - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 3780, 3780, 0, 0)
    with open(os.path.join(HERE, "banner.bmp"), "wb") as f:
        f.write(header + info + data)


VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def draw_icon():
    n = 32
    index = [[None] * n for _ in range(n)]  # None: transparent

    def fill(x0, y0, x1, y1, c):
        for y in range(y0, y1):
            for x in range(x0, x1):
                index[y][x] = c

    fill(11, 2, 21, 10, 7)      # connector, silver
    fill(13, 4, 15, 6, 8)
    fill(17, 4, 19, 6, 8)
    fill(8, 10, 24, 30, 4)      # body, navy
    fill(9, 11, 23, 29, 12)     # body face, blue
    fill(15, 13, 17, 26, 15)    # trident stem, white
    fill(11, 17, 13, 21, 15)
    fill(11, 20, 16, 22, 15)
    fill(19, 15, 21, 19, 15)
    fill(16, 18, 21, 20, 15)
    fill(14, 25, 18, 28, 15)
    fill(14, 12, 18, 13, 15)
    fill(20, 27, 22, 28, 10)    # activity light, green

    xor = bytearray()
    for y in range(n - 1, -1, -1):
        for x in range(0, n, 2):
            a = index[y][x] or 0
            b = index[y][x + 1] or 0
            xor.append((a << 4) | b)
    mask = bytearray()
    for y in range(n - 1, -1, -1):
        bits = 0
        for x in range(n):
            bits = (bits << 1) | (1 if index[y][x] is None else 0)
        mask += struct.pack(">I", bits)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in VGA)
    info = struct.pack("<IiiHHIIiiII", 40, n, n * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    image = info + palette + xor + mask
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", n, n, 16, 0, 1, 4, len(image), 6 + 16)
    with open(os.path.join(HERE, "Setup.ico"), "wb") as f:
        f.write(header + entry + image)


if __name__ == "__main__":
    draw_banner()
    draw_icon()
