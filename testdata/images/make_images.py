#!/usr/bin/env python3
"""Makes the image fixtures of the tests. Run from the repository root after building the tool:

    python3 testdata/images/make_images.py build/bin/kelvane

PNG files are written here directly (zlib). The orientation JPEGs show one and the same upright
picture, 48 x 32 pixels in six 16-pixel blocks (red, green, blue / white, black, yellow): each
stores the raster turned the way a camera held that way would, encoded by `kelvane image
convert` at quality 1, with an EXIF block recording the orientation spliced in after the start
marker. bomb.jpg claims 60000 x 60000 pixels in its frame header.
"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
BLOCKS = [[(255, 0, 0), (0, 255, 0), (0, 0, 255)], [(255, 255, 255), (0, 0, 0), (255, 255, 0)]]
WIDTH, HEIGHT = 48, 32

# EXIF value -> how raster position (s, t) in 0..1 (t from the first row) shows on screen.
SHOWN = {
    1: lambda s, t: (s, t),
    3: lambda s, t: (1 - s, 1 - t),
    8: lambda s, t: (t, 1 - s),
    6: lambda s, t: (1 - t, s),
    2: lambda s, t: (1 - s, t),
    4: lambda s, t: (s, 1 - t),
    5: lambda s, t: (t, s),
    7: lambda s, t: (1 - t, 1 - s),
}


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png(width, height, depth, colour_type, rows, extra=b""):
    ihdr = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0)
    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + extra +
            (chunk(b"IDAT", zlib.compress(raw)) if rows else b"") + chunk(b"IEND", b""))


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def exif_app1(value):
    tiff = b"II*\0" + struct.pack("<I", 8)
    ifd = struct.pack("<H", 1) + struct.pack("<HHIHH", 0x0112, 3, 1, value, 0) + struct.pack("<I", 0)
    payload = b"Exif\0\0" + tiff + ifd
    return b"\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload


def stored_raster(value):
    transposed = value in (5, 6, 7, 8)
    w, h = (HEIGHT, WIDTH) if transposed else (WIDTH, HEIGHT)
    rows = []
    for v in range(h):
        row = bytearray()
        for u in range(w):
            x, y = SHOWN[value]((u + 0.5) / w, (v + 0.5) / h)
            row += bytes(BLOCKS[int(y * 2)][int(x * 3)])
        rows.append(bytes(row))
    return png(w, h, 8, 2, rows)


def main():
    tool = sys.argv[1] if len(sys.argv) > 1 else "build/bin/kelvane"
    # 16-bit RGBA: opaque red, half-covered blue.
    write("rgba16.png", png(2, 1, 16, 6, [struct.pack(">8H", 65535, 0, 0, 65535, 0, 0, 65535, 32896)]))
    # Palette with transparency: opaque green, transparent white.
    write("palette.png", png(2, 1, 8, 3, [bytes([0, 1])],
                             chunk(b"PLTE", bytes([0, 255, 0, 255, 255, 255])) +
                             chunk(b"tRNS", bytes([255, 0]))))
    write("grey.png", png(2, 1, 8, 0, [bytes([0, 200])]))
    write("bomb.png", png(50000, 50000, 8, 6, []))
    with tempfile.TemporaryDirectory() as tmp:
        for value in SHOWN:
            source = os.path.join(tmp, "stored.png")
            target = os.path.join(tmp, "stored.jpg")
            with open(source, "wb") as f:
                f.write(stored_raster(value))
            subprocess.run([tool, "image", "convert", source, target, "--quality", "1"], check=True)
            with open(target, "rb") as f:
                jpeg = f.read()
            write("orientation_%d.jpg" % value, jpeg[:2] + exif_app1(value) + jpeg[2:])
            if value == 1:
                at = jpeg.index(b"\xff\xc0")
                bomb = bytearray(jpeg)
                bomb[at + 5:at + 9] = struct.pack(">HH", 60000, 60000)
                write("bomb.jpg", bytes(bomb))


if __name__ == "__main__":
    main()
