#!/usr/bin/env python3
"""Builds the Windows icon group from the same drawings the Linux panel shows.

The icon holds three palette images: 32x32 at 4 bits per pixel, 16x16 at 4
bits per pixel and 48x48 at 8 bits per pixel, each with a 1-bit transparency
mask. ImageMagick reduces the colours (its ICO writer picks bit depths on its
own, so the file itself is written here, byte by byte).

Regenerate the committed file with:
    python3 resources/make_ico.py resources/quorvane.ico
"""
import os
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
# (size, bits per pixel), in the order the icon directory lists them.
IMAGES = [(32, 4), (16, 4), (48, 8)]


def pixels(png, size, colours):
    """RGBA of the drawing and RGB of the same drawing reduced to colours."""
    rgba = subprocess.run(["convert", png, "-depth", "8", "rgba:-"], check=True,
                          capture_output=True).stdout
    # Only the opaque part counts toward the palette: transparent pixels are
    # masked and drawn as palette entry 0 whatever their colour.
    reduced = subprocess.run(["convert", png, "-background", "black", "-alpha", "remove",
                              "-dither", "None", "-colors", str(colours), "-depth", "8",
                              "rgb:-"], check=True, capture_output=True).stdout
    if len(rgba) != size * size * 4 or len(reduced) != size * size * 3:
        sys.exit(f"{png}: expected a {size}x{size} image")
    return rgba, reduced


def dib(size, bits):
    png = os.path.join(HERE, f"icon-{size}.png")
    colours = 1 << bits
    rgba, reduced = pixels(png, size, colours - 1)
    palette = [(0, 0, 0)]
    index = []
    opaque = []
    for i in range(size * size):
        is_opaque = rgba[4 * i + 3] >= 128
        opaque.append(is_opaque)
        if not is_opaque:
            index.append(0)
            continue
        colour = tuple(reduced[3 * i:3 * i + 3])
        if colour not in palette:
            palette.append(colour)
        index.append(palette.index(colour))
    if len(palette) > colours:
        sys.exit(f"{png}: {len(palette)} colours do not fit {bits} bits")
    palette += [(0, 0, 0)] * (colours - len(palette))

    def row_bytes(bits_per_pixel):
        return ((size * bits_per_pixel + 31) // 32) * 4

    xor = bytearray()
    mask = bytearray()
    # Bottom-up rows, as a DIB stores them.
    for y in reversed(range(size)):
        row = index[y * size:(y + 1) * size]
        line = bytearray()
        if bits == 4:
            for x in range(0, size, 2):
                line.append((row[x] << 4) | row[x + 1])
        else:
            line.extend(row)
        xor += line + bytes(row_bytes(bits) - len(line))
        m = bytearray(row_bytes(1))
        for x in range(size):
            if not opaque[y * size + x]:
                m[x // 8] |= 0x80 >> (x % 8)
        mask += m
    # The header's height counts the colour image and the mask together.
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0,
                         len(xor) + len(mask), 0, 0, colours, 0)
    rgbquads = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    return header + rgbquads + bytes(xor) + bytes(mask), colours


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_ico.py OUTPUT.ico")
    entries = []
    blobs = []
    for size, bits in IMAGES:
        blob, colours = dib(size, bits)
        entries.append((size, bits, colours, blob))
        blobs.append(blob)
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for size, bits, colours, blob in entries:
        # Colour count 0 means 256 or more.
        out += struct.pack("<BBBBHHII", size, size, colours % 256, 0, 1, bits, len(blob), offset)
        offset += len(blob)
    out += b"".join(blobs)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
