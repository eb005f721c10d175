#!/usr/bin/env python3
"""Makes the program's icon and the banner's pixels from a vendor's pictures,
with ImageMagick, and says what it took.

    brand-picture.py icon CONVERT PROGRAM PICTURE OUT.ico
    brand-picture.py banner CONVERT PROGRAM PICTURE WIDTH HEIGHT OUT.bgr

icon: OUT.ico holds the images of the sizes Windows asks for from 100 to
200 % DPI (SIZES). From an icon file, each image of one of those sizes is
kept as it is, bytes and depth, the deepest where there are several, and
other sizes are left out: a size it lacks Windows scales from the nearest
one, as well as a copy made here would be. Only an icon file without any of
those sizes, or any other picture (its largest frame), is made into all of
them. A made image is 32-bit, the
picture fitted into the square on a transparent ground. The 256 px image is
stored as PNG, as Windows Vista and later read it (a bitmap of that size
takes 260 KB); the smaller ones as bitmaps, which every Windows reads.

banner: OUT.bgr gets the picture's largest frame (an icon file or a picture
of several pages holds several), cut to WIDTH x HEIGHT and flattened on
white, as blue, green, red bytes (the input of pack-picture.py).
"""
import os
import struct
import subprocess
import sys

SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


class Image:
    """One image of an icon file: its size, bits a pixel, whether PNG, the
    colour count of its directory entry and its bytes."""

    def __init__(self, data, colors):
        self.data, self.colors = data, colors
        self.png = data.startswith(PNG_SIGNATURE)
        if self.png:
            if len(data) < 24:
                raise ValueError("a PNG image is cut short")
            self.width, self.height = struct.unpack_from(">II", data, 16)
            self.bits = 32  # what Windows reads any PNG into
        else:
            if len(data) < 40:
                raise ValueError("a bitmap image is cut short")
            _, self.width, height, _, self.bits = struct.unpack_from("<IiiHH", data)
            self.height = abs(height) // 2  # the colours, then the mask

    def rank(self):
        return (self.width * self.height, self.bits)


def read_icon(path):
    """The images of an icon file, or None when the file is none."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 6 or struct.unpack_from("<HHH", data)[:2] != (0, 1):
        return None
    count = struct.unpack_from("<H", data, 4)[0]
    images = []
    for i in range(count):
        at = 6 + 16 * i
        if at + 16 > len(data):
            sys.exit(f"{path}: the icon's list of images is cut short")
        colors, size, offset = data[at + 2], *struct.unpack_from("<II", data, at + 8)
        if offset + size > len(data):
            sys.exit(f"{path}: image {i + 1} of the icon goes past the end of the file")
        try:
            images.append(Image(data[offset:offset + size], colors))
        except ValueError as reason:
            sys.exit(f"{path}: image {i + 1}: {reason}")
    if not images:
        sys.exit(f"{path}: the icon holds no image")
    return images


def one_image_icon(image):
    """An icon file holding only this image, for ImageMagick to read."""
    entry = struct.pack("<BBBBHHII", image.width % 256, image.height % 256, image.colors, 0, 1, image.bits,
                        len(image.data), 22)
    return struct.pack("<HHH", 0, 1, 1) + entry + image.data


def convert(magick, source, arguments, stdin=None):
    run = subprocess.run([magick, source, *arguments], input=stdin, stdout=subprocess.PIPE)
    if run.returncode != 0:
        sys.exit(f"{magick} failed on {source}")
    return run.stdout


def largest_frame(magick, picture):
    """(name ImageMagick reads the largest frame by, width, height, frames)."""
    words = convert(magick, picture, ["-format", "%w %h\n", "info:"]).decode().split()
    sizes = [(int(w), int(h)) for w, h in zip(words[0::2], words[1::2])]
    if not sizes:
        sys.exit(f"{magick} found no picture in {picture}")
    index = max(range(len(sizes)), key=lambda i: (sizes[i][0] * sizes[i][1], -i))
    name = picture if len(sizes) == 1 else f"{picture}[{index}]"
    return name, sizes[index][0], sizes[index][1], len(sizes)


def made_image(magick, source, size, stdin=None):
    """The picture fitted into a transparent square of this size: a PNG at
    256 px, below that a 32-bit bitmap with its mask."""
    fit = ["-background", "none", "-resize", f"{size}x{size}", "-gravity", "center",
           "-extent", f"{size}x{size}", "-strip"]
    if size >= 256:
        return convert(magick, source, fit + ["-quality", "95", "png32:-"], stdin)
    rgba = convert(magick, source, fit + ["-depth", "8", "rgba:-"], stdin)
    if len(rgba) != size * size * 4:
        sys.exit(f"{magick} made {len(rgba)} bytes, not {size} x {size} pixels")
    bgra = bytearray(rgba)
    bgra[0::4], bgra[2::4] = rgba[2::4], rgba[0::4]
    row = size * 4
    rows = [bytes(bgra[y * row:(y + 1) * row]) for y in reversed(range(size))]  # bottom row first
    mask_row = (size + 31) // 32 * 4
    mask = bytearray()
    for pixels in rows:
        bits = bytearray(mask_row)
        for x in range(size):
            if pixels[4 * x + 3] == 0:  # transparent
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, row * size + len(mask), 0, 0, 0, 0)
    return header + b"".join(rows) + bytes(mask)


def write_icon(path, images):
    """images: (size, bits, colour count, bytes) each."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, colors, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colors, 0, 1, bits, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(data for _, _, _, data in images))


def listing(sizes):
    return ", ".join(str(s) for s in sizes) + " px"


def dimensions(width, height):
    return f"{width} px" if width == height else f"{width} x {height}"


def make_icon(magick, program, picture, out):
    name = os.path.basename(picture)
    icon = read_icon(picture)
    made, kept, packed = [], [], []
    if icon is None:
        source, width, height, _ = largest_frame(magick, picture)
        images = [(size, 32, 0, made_image(magick, source, size)) for size in SIZES]
        told = f"{listing(SIZES)} made from its {width} x {height} picture"
    else:
        largest = max(icon, key=Image.rank)
        images = []
        has_any = any(image.width == image.height and image.width in SIZES for image in icon)
        for size in SIZES:
            same = [image for image in icon if image.width == image.height == size]
            image = max(same, key=Image.rank) if same else None
            if not image and has_any:
                continue
            if image and (image.png or size < 256):
                images.append((size, image.bits, image.colors, image.data))
                kept.append(size)
            elif image:
                images.append((size, 32, 0, made_image(magick, "ico:-", size, one_image_icon(image))))
                packed.append(size)
            else:
                images.append((size, 32, 0, made_image(magick, "ico:-", size, one_image_icon(largest))))
                made.append(size)
        parts = []
        if kept:
            parts.append(f"{listing(kept)} as {'they are' if len(kept) > 1 else 'it is'}")
        if packed:
            parts.append(f"{listing(packed)} compressed as PNG")
        if made:
            parts.append(f"{listing(made)} made from the {dimensions(largest.width, largest.height)} image")
        told = "; ".join(parts)
    write_icon(out, images)
    print(f"Icon of {program} from {name}: {told}")


def make_banner(magick, program, picture, width, height, out):
    source, w, h, frames = largest_frame(magick, picture)
    convert(magick, source, ["-background", "white", "-alpha", "remove", "-resize", f"{width}x{height}^",
                             "-gravity", "center", "-extent", f"{width}x{height}", "-depth", "8", f"bgr:{out}"])
    which = f"its {w} x {h} image, the largest of {frames}" if frames > 1 else f"its {w} x {h} picture"
    print(f"Banner of {program} from {os.path.basename(picture)}: {which}")


def main():
    args = sys.argv[1:]
    if len(args) == 5 and args[0] == "icon":
        make_icon(*args[1:])
    elif len(args) == 7 and args[0] == "banner":
        make_banner(args[1], args[2], args[3], int(args[4]), int(args[5]), args[6])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
