#!/usr/bin/env python3
"""Packs a picture the way Setup.exe stores it, for the resource script.

    pack-picture.py PIXELS WIDTH HEIGHT OUT

PIXELS holds WIDTH x HEIGHT pixels as blue, green, red bytes, rows from the
top (ImageMagick's "bgr:" output). OUT gets "BNR1", the width and height as
16-bit little-endian numbers, then the rows, each byte kept as its difference
from the byte above it, compressed with LZNT1: the format Windows' own
RtlDecompressBuffer reads, so the program needs no decoder of its own.
"""
import struct
import sys

CHUNK = 4096          # LZNT1 compresses in independent chunks of this size
MAX_CANDIDATES = 48   # earlier places tried for each match; more is slower for little gain


def offset_bits(pos):
    """Bits of a match's offset at this place in a chunk (4 to 12)."""
    bits = 4
    while (1 << bits) < pos:
        bits += 1
    return bits


def compress_chunk(data):
    out = bytearray()
    heads = {}  # three bytes -> places in the chunk where they start
    pos, n = 0, len(data)

    def remember(p):
        heads.setdefault(data[p:p + 3], []).append(p)

    while pos < n:
        flags_at = len(out)
        out.append(0)
        for bit in range(8):
            if pos >= n:
                break
            best_len = best_off = 0
            if pos > 0 and pos + 3 <= n:
                length_bits = 16 - offset_bits(pos)
                limit = min((1 << length_bits) + 2, n - pos)
                for start in reversed(heads.get(data[pos:pos + 3], [])[-MAX_CANDIDATES:]):
                    length = 3
                    while length < limit and data[start + length] == data[pos + length]:
                        length += 1
                    if length > best_len:
                        best_len, best_off = length, pos - start
                        if length == limit:
                            break
            if best_len >= 3:
                length_bits = 16 - offset_bits(pos)
                out += struct.pack("<H", ((best_off - 1) << length_bits) | (best_len - 3))
                out[flags_at] |= 1 << bit
                for p in range(pos, pos + best_len):
                    remember(p)
                pos += best_len
            else:
                out.append(data[pos])
                remember(pos)
                pos += 1
    return bytes(out)


def compress(data):
    out = bytearray()
    for at in range(0, len(data), CHUNK):
        chunk = data[at:at + CHUNK]
        packed = compress_chunk(chunk)
        if len(packed) < len(chunk):
            out += struct.pack("<H", 0xB000 | (len(packed) - 1)) + packed
        else:  # stored as it is
            out += struct.pack("<H", 0x3000 | (len(chunk) - 1)) + chunk
    return bytes(out)


def decompress(data):
    """The reader's side, to check every packed picture before it ships."""
    out = bytearray()
    i = 0
    while i + 2 <= len(data):
        (header,) = struct.unpack_from("<H", data, i)
        size = (header & 0xFFF) + 1
        body = data[i + 2:i + 2 + size]
        i += 2 + size
        if not header & 0x8000:
            out += body
            continue
        start, j = len(out), 0
        while j < len(body):
            flags = body[j]
            j += 1
            for bit in range(8):
                if j >= len(body):
                    break
                if flags & (1 << bit):
                    (token,) = struct.unpack_from("<H", body, j)
                    j += 2
                    length_bits = 16 - offset_bits(len(out) - start)
                    offset = (token >> length_bits) + 1
                    for _ in range((token & ((1 << length_bits) - 1)) + 3):
                        out.append(out[-offset])
                else:
                    out.append(body[j])
                    j += 1
    return bytes(out)


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    pixels_path, width, height, out_path = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    with open(pixels_path, "rb") as f:
        pixels = f.read()
    stride = width * 3
    if len(pixels) != stride * height or not (0 < width < 65536 and 0 < height < 65536):
        sys.exit(f"{pixels_path}: {len(pixels)} bytes are not {width} x {height} pixels of 3 bytes")
    rows = bytearray(pixels)
    for i in range(len(rows) - 1, stride - 1, -1):
        rows[i] = (pixels[i] - pixels[i - stride]) & 0xFF
    packed = compress(bytes(rows))
    if decompress(packed) != bytes(rows):
        sys.exit("the packed picture does not unpack to itself")
    with open(out_path, "wb") as f:
        f.write(b"BNR1" + struct.pack("<HH", width, height) + packed)
    if len(packed) > 150 * 1024:
        print(f"pack-picture.py: note: the picture packs to {len(packed) // 1024} KB, which the program grows by; "
              "drawings with smooth or flat colours pack small, photographs and dithered pictures do not",
              file=sys.stderr)


if __name__ == "__main__":
    main()
