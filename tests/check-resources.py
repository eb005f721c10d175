#!/usr/bin/env python3
"""Prints what a Windows program's resources say of it, read back from the
file: its version numbers and strings, its first icon and its banner.

    check-resources.py PROGRAM.exe

One line each: "FileVersion=a.b.c.d" and "ProductVersion=a.b.c.d" from the
fixed part, "<Name>=<value>" for each string, "IconSizes=16,32,...", and
"MessageTitle=<text>" from the string table (IDS_MESSAGE_TITLE, 1); then
"Icons=16:4-bit,...,256:PNG" (each image of the first icon: its size and
how it is stored), "IconBytes=N" (all icon images together) and
"Banner=<SHA-256>" of the packed banner (IDR_BANNER, 101).
"""
import hashlib
import struct
import sys

RT_ICON, RT_STRING, RT_RCDATA, RT_GROUP_ICON, RT_VERSION = 3, 6, 10, 14, 16
IDR_BANNER = 101


class Program:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        if self.data[pe:pe + 4] != b"PE\0\0":
            sys.exit(f"{path} is not a Windows program")
        sections, optional_size = struct.unpack_from("<H", self.data, pe + 6)[0], struct.unpack_from("<H", self.data, pe + 20)[0]
        optional = pe + 24
        directories = optional + (96 if struct.unpack_from("<H", self.data, optional)[0] == 0x10B else 112)
        resource_rva = struct.unpack_from("<I", self.data, directories + 2 * 8)[0]
        self.sections = []
        for i in range(sections):
            at = optional + optional_size + 40 * i
            virtual_size, rva, raw_size, raw = struct.unpack_from("<IIII", self.data, at + 8)
            self.sections.append((rva, max(virtual_size, raw_size), raw))
        self.root = self.offset(resource_rva)

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return rva - start + raw
        sys.exit(f"address {rva:#x} is in no section")

    def entries(self, directory):
        named, numbered = struct.unpack_from("<HH", self.data, directory + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", self.data, directory + 16 + 8 * i)
            yield name, target

    def resources(self, kind):
        """(id, bytes) of each resource of a kind, first language only."""
        found = []
        for name, target in self.entries(self.root):
            if name != kind:
                continue
            for rid, sub in self.entries(self.root + (target & 0x7FFFFFFF)):
                for _, leaf in self.entries(self.root + (sub & 0x7FFFFFFF)):
                    rva, size = struct.unpack_from("<II", self.data, self.root + leaf)
                    found.append((rid, self.data[self.offset(rva):self.offset(rva) + size]))
                    break
        return found


def version_block(data, at):
    """One node of VS_VERSIONINFO: (key, value bytes, children), end."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    end_key = at + 6
    while data[end_key:end_key + 2] != b"\0\0":
        end_key += 2
    key = data[at + 6:end_key].decode("utf-16-le")
    value_at = (end_key + 2 + 3) & ~3
    value_size = value_length * 2 if kind == 1 else value_length
    value = data[value_at:value_at + value_size]
    children, child = [], (value_at + value_size + 3) & ~3
    while child < at + length:
        node, child_end = version_block(data, child)
        children.append(node)
        child = (child_end + 3) & ~3
    return (key, value, children), at + length


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    program = Program(sys.argv[1])
    lines = []
    for _, data in program.resources(RT_VERSION)[:1]:
        (key, value, children), _ = version_block(data, 0)
        fixed = struct.unpack_from("<13I", value)
        if fixed[0] != 0xFEEF04BD:
            sys.exit("the version resource has no fixed part")
        for name, high, low in (("FileVersion", fixed[2], fixed[3]), ("ProductVersion", fixed[4], fixed[5])):
            lines.append(f"Fixed{name}={high >> 16}.{high & 0xFFFF}.{low >> 16}.{low & 0xFFFF}")
        for block_key, _, tables in children:
            if block_key != "StringFileInfo":
                continue
            for _, _, strings in tables:
                for name, text, _ in strings:
                    lines.append(f"{name}={text.decode('utf-16-le').rstrip(chr(0))}")
    groups = program.resources(RT_GROUP_ICON)
    if groups:
        data = groups[0][1]
        count = struct.unpack_from("<H", data, 4)[0]
        sizes = sorted({(data[6 + 14 * i] or 256) for i in range(count)})
        lines.append("IconSizes=" + ",".join(str(s) for s in sizes))
        images, stored = dict(program.resources(RT_ICON)), []
        for i in range(count):
            entry = 6 + 14 * i  # GRPICONDIRENTRY: its icon's id at 12
            image = images.get(struct.unpack_from("<H", data, entry + 12)[0], b"")
            if image.startswith(b"\x89PNG"):
                how = "PNG"
            elif len(image) >= 40:  # a BITMAPINFOHEADER: the bits of a pixel at 14
                how = f"{struct.unpack_from('<H', image, 14)[0]}-bit"
            else:
                how = "missing"
            stored.append((data[entry] or 256, how))
        lines.append("Icons=" + ",".join(f"{size}:{how}" for size, how in sorted(stored)))
    lines.append(f"IconBytes={sum(len(data) for _, data in program.resources(RT_ICON))}")
    for rid, data in program.resources(RT_RCDATA):
        if rid == IDR_BANNER:
            lines.append("Banner=" + hashlib.sha256(data).hexdigest())
    for bundle, data in program.resources(RT_STRING):
        if bundle != 1:  # strings 0 to 15
            continue
        at = 0
        for index in range(2):
            length = struct.unpack_from("<H", data, at)[0]
            if index == 1:
                lines.append("MessageTitle=" + data[at + 2:at + 2 + 2 * length].decode("utf-16-le"))
            at += 2 + 2 * length
    sys.stdout.buffer.write(("\n".join(lines) + "\n").encode("utf-8"))


if __name__ == "__main__":
    main()
