#!/usr/bin/env python3
"""Makes the banner's pixels from a vendor's picture, with ImageMagick, and
says what it took.

    brand-picture.py banner CONVERT PROGRAM PICTURE WIDTH HEIGHT OUT.bgr

banner: OUT.bgr gets the picture's largest frame (an icon file or a picture
of several pages holds several), cut to WIDTH x HEIGHT and flattened on
white, as blue, green, red bytes (the input of pack-picture.py).
"""
import os
import subprocess
import sys


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


def make_banner(magick, program, picture, width, height, out):
    source, w, h, frames = largest_frame(magick, picture)
    convert(magick, source, ["-background", "white", "-alpha", "remove", "-resize", f"{width}x{height}^",
                             "-gravity", "center", "-extent", f"{width}x{height}", "-depth", "8", f"bgr:{out}"])
    which = f"its {w} x {h} image, the largest of {frames}" if frames > 1 else f"its {w} x {h} picture"
    print(f"Banner of {program} from {os.path.basename(picture)}: {which}")


def main():
    args = sys.argv[1:]
    if len(args) == 7 and args[0] == "banner":
        make_banner(args[1], args[2], args[3], int(args[4]), int(args[5]), args[6])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
