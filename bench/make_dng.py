#!/usr/bin/env python3
"""Writes a DNG for the benchmarks: the picture as a 16-bit RGGB Bayer mosaic (uncompressed), and
with --preview a full-size JPEG preview in IFD0 with the raw data in a SubIFD, as cameras write
them. The pixels come from ImageMagick (convert), so any picture it reads will do.

Usage: make_dng.py [--preview] PICTURE OUT.dng
"""
import struct
import subprocess
import sys


def identify(path):
    out = subprocess.run(["identify", "-format", "%w %h", path + "[0]"], check=True, capture_output=True, text=True)
    w, h = out.stdout.split()
    return int(w), int(h)


def mosaic(path, width, height):
    rgb = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], check=True, capture_output=True).stdout
    cfa = bytearray(width * height)
    row = 3 * width
    for y in range(height):
        line = rgb[y * row:(y + 1) * row]
        out = cfa[y * width:(y + 1) * width]
        if y % 2 == 0:  # R G
            out[0::2] = line[0::6][: len(out[0::2])]
            out[1::2] = line[4::6][: len(out[1::2])]
        else:  # G B
            out[0::2] = line[1::6][: len(out[0::2])]
            out[1::2] = line[5::6][: len(out[1::2])]
        cfa[y * width:(y + 1) * width] = out
    # 16 bits: v * 257, little-endian, so 255 is the white level.
    data = bytearray(2 * len(cfa))
    data[0::2] = cfa
    data[1::2] = cfa
    return bytes(data)


class Ifd:
    def __init__(self):
        self.entries = {}

    def add(self, tag, typ, count, value):
        self.entries[tag] = (typ, count, value)

    def short(self, tag, *values):
        self.add(tag, 3, len(values), b"".join(struct.pack("<H", v) for v in values))

    def long(self, tag, value):
        self.add(tag, 4, 1, struct.pack("<I", value))

    def ascii(self, tag, text):
        b = text.encode() + b"\0"
        self.add(tag, 2, len(b), b)

    def rationals(self, tag, typ, values):
        self.add(tag, typ, len(values), b"".join(struct.pack("<ii", n, d) for n, d in values))

    def size(self):
        n = 2 + 12 * len(self.entries) + 4
        for typ, count, value in self.entries.values():
            if len(value) > 4:
                n += (len(value) + 1) // 2 * 2
        return n

    def write(self, out):
        start = len(out)
        extra = start + 2 + 12 * len(self.entries) + 4
        tail = bytearray()
        out += struct.pack("<H", len(self.entries))
        for tag in sorted(self.entries):
            typ, count, value = self.entries[tag]
            out += struct.pack("<HHI", tag, typ, count)
            if len(value) <= 4:
                out += value.ljust(4, b"\0")
            else:
                out += struct.pack("<I", extra + len(tail))
                tail += value
                if len(tail) % 2:
                    tail += b"\0"
        out += b"\0\0\0\0"
        out += tail


def camera_tags(ifd):
    ifd.ascii(271, "Mirelo")
    ifd.ascii(272, "Bench Camera")
    ifd.short(274, 1)
    ifd.add(50706, 1, 4, bytes([1, 4, 0, 0]))  # DNGVersion
    ifd.ascii(50708, "Mirelo Bench Camera")
    # XYZ (D65) to camera: the camera sees linear sRGB.
    ifd.rationals(50721, 10, [(32406, 10000), (-15372, 10000), (-4986, 10000), (-9689, 10000), (18758, 10000),
                              (415, 10000), (557, 10000), (-2040, 10000), (10570, 10000)])
    ifd.rationals(50728, 5, [(1, 1), (1, 1), (1, 1)])  # AsShotNeutral
    ifd.short(50778, 21)  # CalibrationIlluminant1: D65


def main():
    args = sys.argv[1:]
    preview = "--preview" in args
    args = [a for a in args if a != "--preview"]
    src, dst = args
    width, height = identify(src)
    jpeg = subprocess.run(["convert", src, "-quality", "85", "jpg:-"], check=True, capture_output=True).stdout \
        if preview else b""
    out = bytearray(b"II*\0\0\0\0\0")
    preview_at = len(out)
    out += jpeg
    if len(out) % 2:
        out += b"\0"
    raw_at = len(out)
    out += mosaic(src, width, height)
    raw_bytes = len(out) - raw_at

    raw = Ifd()
    raw.long(254, 0)
    raw.long(256, width)
    raw.long(257, height)
    raw.short(258, 16)
    raw.short(259, 1)
    raw.short(262, 32803)  # CFA
    raw.long(273, raw_at)
    raw.short(277, 1)
    raw.long(278, height)
    raw.long(279, raw_bytes)
    raw.short(284, 1)
    raw.short(33421, 2, 2)  # CFARepeatPatternDim
    raw.add(33422, 1, 4, bytes([0, 1, 1, 2]))  # CFAPattern: RGGB
    raw.short(50717, 65535)  # WhiteLevel

    ifd0_at = len(out)
    out[4:8] = struct.pack("<I", ifd0_at)
    if not preview:
        camera_tags(raw)
        raw.write(out)
    else:
        main_ifd = Ifd()
        camera_tags(main_ifd)
        main_ifd.long(254, 1)  # a reduced-resolution picture
        main_ifd.long(256, width)
        main_ifd.long(257, height)
        main_ifd.short(258, 8, 8, 8)
        main_ifd.short(259, 7)  # JPEG
        main_ifd.short(262, 6)  # YCbCr
        main_ifd.long(273, preview_at)
        main_ifd.short(277, 3)
        main_ifd.long(278, height)
        main_ifd.long(279, len(jpeg))
        main_ifd.short(284, 1)
        main_ifd.long(330, 0)
        main_ifd.long(330, ifd0_at + main_ifd.size())  # SubIFDs: the raw data's IFD follows
        main_ifd.write(out)
        raw.write(out)
    with open(dst, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
