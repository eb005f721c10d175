#!/usr/bin/env python3
"""Draws the banner master (banner.png, 326 x 568: twice the 163 x 284 pixels
it shows at 96 DPI) and the icon (Setup.ico, 32 x 32, 16 colours).

Run it from anywhere to make both beside this script. Pure Python, so it
needs nothing installed. The build turns banner.png into what the program
embeds (pack-picture.py).
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SCALE = 2              # master pixels per 96 DPI pixel
SAMPLES = 4            # anti-aliasing: SAMPLES x SAMPLES samples a pixel
WIDTH, HEIGHT = 163, 284  # in 96 DPI pixels; all shapes below are in these units


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


class Canvas:
    def __init__(self, top, bottom):
        self.w, self.h = WIDTH * SCALE, HEIGHT * SCALE
        self.px = [[mix(top, bottom, (y + 0.5) / self.h) for _ in range(self.w)] for y in range(self.h)]

    def glow(self, cx, cy, r, alpha):
        """A soft light circle, fading to nothing at its edge."""
        for y in range(self.h):
            for x in range(self.w):
                d = math.hypot((x + 0.5) / SCALE - cx, (y + 0.5) / SCALE - cy)
                if d < r:
                    self.px[y][x] = mix(self.px[y][x], (255, 255, 255), alpha * (1 - d / r))

    def shape(self, box, inside, color, alpha=1.0):
        """Paints the pixels of box by the share of their samples inside."""
        x0, y0, x1, y1 = box
        for y in range(max(0, int(y0 * SCALE) - 1), min(self.h, int(y1 * SCALE) + 2)):
            for x in range(max(0, int(x0 * SCALE) - 1), min(self.w, int(x1 * SCALE) + 2)):
                hits = 0
                for sy in range(SAMPLES):
                    for sx in range(SAMPLES):
                        if inside((x + (sx + 0.5) / SAMPLES) / SCALE, (y + (sy + 0.5) / SAMPLES) / SCALE):
                            hits += 1
                if hits:
                    self.px[y][x] = mix(self.px[y][x], color, alpha * hits / SAMPLES ** 2)

    def png(self, path):
        raw = bytearray()
        for row in self.px:
            raw.append(0)
            for color in row:
                raw += bytes(int(round(c)) for c in color)

        def chunk(kind, data):
            return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

        header = struct.pack(">IIBBBBB", self.w, self.h, 8, 2, 0, 0, 0)
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
                    + chunk(b"IEND", b""))


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return (x0, y0, x1, y1), inside


def circle(cx, cy, r):
    return (cx - r, cy - r, cx + r, cy + r), lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def draw_banner():
    navy, teal = (18, 44, 96), (20, 128, 150)
    body, metal, slot = (236, 240, 244), (176, 186, 196), (90, 100, 112)
    canvas = Canvas(navy, teal)
    for cx, cy, r, alpha in [(30, 40, 60, 0.10), (150, 230, 80, 0.08), (120, 90, 30, 0.07)]:
        canvas.glow(cx, cy, r, alpha)

    # The device: a USB stick standing upright, connector at the top, with
    # its shadow, its light and the USB trident on its face.
    bx0, by0, bx1, by1 = 51, 92, 112, 222
    canvas.shape(*rounded_rect(bx0 + 3, by0 + 4, bx1 + 3, by1 + 4, 12), (8, 24, 52), 0.35)
    canvas.shape(*rounded_rect(63, 56, 100, 96, 3), metal)
    canvas.shape(*rounded_rect(69, 66, 77, 74, 1), slot)
    canvas.shape(*rounded_rect(86, 66, 94, 74, 1), slot)
    canvas.shape(*rounded_rect(bx0, by0, bx1, by1, 12), body)
    canvas.shape(*rounded_rect(bx0, by1 - 24, bx1, by1, 12), (210, 218, 226))
    canvas.shape(*circle(81.5, 208, 3), (46, 196, 120))

    cx, top, s = 81.5, 120, 1.6
    for x0, y0, x1, y1 in [(-1.2, 4, 1.2, 30), (-9, 14, -6.6, 21), (-9, 19, 0, 21.4), (6.6, 10, 9, 17),
                           (0, 15, 9, 17.4), (5, 6, 10.6, 11)]:
        canvas.shape(*rounded_rect(cx + x0 * s, top + y0 * s, cx + x1 * s, top + y1 * s, 0.5), navy)
    canvas.shape(*circle(cx, top + 32 * s, 3.5 * s), navy)
    canvas.shape(*circle(cx - 7.8 * s, top + 13 * s, 2.6 * s), navy)
    tip = 4.5 * s  # the arrow head, pointing up
    canvas.shape((cx - tip, top, cx + tip, top + 2 * tip),
                 lambda x, y: top <= y <= top + 2 * tip and abs(x - cx) <= (y - top) * 0.6, navy)
    canvas.png(os.path.join(HERE, "banner.png"))


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
