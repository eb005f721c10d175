#!/usr/bin/env python3
"""Draws the banner master (banner.png, 326 x 568: twice the 163 x 284 pixels
it shows at 96 DPI) and the icon (Setup.ico: 16 to 256 px, 16 colours).

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
        rows = [b"".join(bytes(int(round(c)) for c in color) for color in row) for row in self.px]
        with open(path, "wb") as f:
            f.write(png(self.w, self.h, 2, rows))


def png(width, height, color_type, rows):
    """A PNG of 8-bit rows of colour type 2 (RGB) or 6 (RGBA)."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, color_type, 0, 0, 0)
    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
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


# The sizes Windows asks a program's icon for from 100 to 200 % DPI.
ICON_SIZES = (16, 20, 24, 32, 40, 48, 64, 256)


def icon_image(n):
    """The icon drawn at n x n pixels: the 32 px design, each shape's edges
    on the nearest pixel edge of this size, none thinner than a pixel. A
    bitmap of 16 colours, or at 256 px a PNG (its bitmap would take 40 KB)."""
    index = [[None] * n for _ in range(n)]  # None: transparent

    def fill(x0, y0, x1, y1, c):
        x0, y0, x1, y1 = (int(v * n / 32 + 0.5) for v in (x0, y0, x1, y1))
        for y in range(y0, max(y1, y0 + 1)):
            for x in range(x0, max(x1, x0 + 1)):
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

    if n == 256:
        rows = [b"".join(bytes((*VGA[c], 255)) if c is not None else bytes(4) for c in row) for row in index]
        return 32, 0, png(n, n, 6, rows)
    row_bytes = (n + 7) // 8 * 4  # two pixels a byte, rows of whole 32-bit words
    xor = bytearray()
    for y in range(n - 1, -1, -1):
        row = bytearray(row_bytes)
        for x in range(n):
            row[x // 2] |= (index[y][x] or 0) << (0 if x % 2 else 4)
        xor += row
    mask_bytes = (n + 31) // 32 * 4
    mask = bytearray()
    for y in range(n - 1, -1, -1):
        row = bytearray(mask_bytes)
        for x in range(n):
            if index[y][x] is None:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in VGA)
    info = struct.pack("<IiiHHIIiiII", 40, n, n * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    return 4, 16, info + palette + xor + mask


def draw_icon():
    images = [icon_image(n) for n in ICON_SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, (bits, colors, image) in zip(ICON_SIZES, images):
        directory += struct.pack("<BBBBHHII", n % 256, n % 256, colors, 0, 1, bits, len(image), offset)
        offset += len(image)
    with open(os.path.join(HERE, "Setup.ico"), "wb") as f:
        f.write(directory + b"".join(image for _, _, image in images))


if __name__ == "__main__":
    draw_banner()
    draw_icon()
