#!/usr/bin/env python3
"""Generates a corpus of malformed picture files, and good pictures to cut them from.

usage: make_corpus.py OUTDIR [WINDOWS_FOLDER]
Writes the files to OUTDIR and OUTDIR/list.txt, an image list naming every entry
(files, a folder, a missing file and a 259-byte path) under WINDOWS_FOLDER
(default C:\\pics\\bad). Nothing here is kept as a binary in the repository."""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

MAX_PATH_BYTES = 259


def bmp(width, height, pixels=None, bits=24):
    """A BMP with a 40-byte info header; `pixels` rows bottom-up (zeros when left out)."""
    stride = (width * bits // 8 + 3) // 4 * 4 if width > 0 else 0
    if pixels is None:
        pixels = b"\x30\x60\x90" * (max(width, 0) * abs(height)) if abs(width * height) <= 4096 else b""
        rows = [pixels[i * width * 3:(i + 1) * width * 3].ljust(stride, b"\0") for i in range(abs(height))] \
            if pixels else []
        pixels = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(pixels), 3780, 3780, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + 40 + len(pixels), 0, 0, 54) + info + pixels


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png(width, height, rows=None):
    """An 8-bit RGB PNG; `rows` defaults to a few rows of one colour."""
    if rows is None:
        rows = b"".join(b"\0" + b"\x90\x60\x30" * width for _ in range(height)) if width * height <= 4096 else b"\0"
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"IDAT", zlib.compress(rows)) +
            png_chunk(b"IEND", b""))


def gif(width, height, screen=None):
    """A two-colour GIF; its LZW data restarts the code table every two pixels, so
    codes stay three bits wide whatever the decoder's rules for widening them."""
    screen_w, screen_h = screen or (width, height)
    codes, pixels = [], width * height if width * height <= 4096 else 1
    for i in range(pixels):
        if i % 2 == 0:
            codes.append(4)  # clear
        codes.append(i % 2)
    codes.append(5)  # end of information
    bits, count, data = 0, 0, bytearray()
    for code in codes:
        bits |= code << count
        count += 3
        while count >= 8:
            data.append(bits & 0xFF)
            bits >>= 8
            count -= 8
    if count:
        data.append(bits & 0xFF)
    blocks = b"".join(bytes([len(data[i:i + 255])]) + bytes(data[i:i + 255]) for i in range(0, len(data), 255))
    return (b"GIF89a" + struct.pack("<HHBBB", screen_w, screen_h, 0x80, 0, 0) + b"\x20\x40\x60\xe0\xc0\xa0" +
            b"\x2c" + struct.pack("<HHHHB", 0, 0, width, height, 0) + b"\x02" + blocks + b"\x00\x3b")


def jpeg(width, height):
    """A baseline JPEG from ImageMagick, the project's picture tool."""
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "p.jpg")
        subprocess.run(["convert", "-size", f"{width}x{height}", "xc:rgb(40,120,200)", "-quality", "80", path],
                       check=True)
        with open(path, "rb") as f:
            return f.read()


def jpeg_claiming(width, height):
    """Start of image, a quantisation table and a frame header of this size, then
    nothing: a header that lies about a body it does not have."""
    quant = b"\xff\xdb" + struct.pack(">H", 67) + b"\0" + bytes([1] * 64)
    frame = b"\xff\xc0" + struct.pack(">HBHHB", 17, 8, height, width, 3) + b"\x01\x22\x00\x02\x11\x00\x03\x11\x00"
    return b"\xff\xd8" + quant + frame


def cuts(data, lengths):
    return {length: data[:length] for length in lengths if length < len(data)}


def malformed():
    """Name to bytes (or None for a folder) of every malformed entry."""
    good = {"jpg": jpeg(64, 48), "png": png(64, 48), "gif": gif(64, 48), "bmp": bmp(64, 48)}
    files = {"zero.jpg": b"", "zero.bmp": b"", "zero.png": b"", "zero.gif": b"",
             "text.jpg": b"This is not a picture.\r\nIt only has a picture's name.\r\n",
             "folder.jpg": None}
    for ext, data in good.items():
        for length, cut in cuts(data, [1, 2, 8, 20, 40, 100, len(data) // 2, len(data) - 1]).items():
            files[f"cut{length}.{ext}"] = cut
    files.update({
        "png_30000x30000.png": png(30000, 30000, rows=b"\0\x90\x60\x30"),
        "bmp_100000x100000.bmp": bmp(100000, 100000, pixels=b"\x10" * 64),
        "bmp_negative_width.bmp": bmp(-64, 48),
        "bmp_negative_height_huge.bmp": bmp(64, -2000000000, pixels=b"\x10" * 64),
        "bmp_most_negative_height.bmp": bmp(64, -2 ** 31, pixels=b"\x10" * 64),
        "bmp_zero_size.bmp": bmp(0, 0, pixels=b""),
        "gif_65535_screen.gif": gif(2, 2, screen=(65535, 65535)),
        "jpeg_65535x65535.jpg": jpeg_claiming(65535, 65535),
        "png_named.jpg": png(64, 48)[:60],
    })
    return files


def write(outdir, windows_folder=r"C:\pics\bad"):
    """Writes the corpus and its list; returns the list's entries (Windows paths)."""
    os.makedirs(outdir, exist_ok=True)
    entries = []
    for name, data in sorted(malformed().items()):
        path = os.path.join(outdir, name)
        if data is None:
            os.makedirs(path, exist_ok=True)
        else:
            with open(path, "wb") as f:
                f.write(data)
        entries.append(windows_folder + "\\" + name)
    entries.append(windows_folder + "\\missing.jpg")
    # The longest path a list entry can hold; a longer line would end the list.
    stem = windows_folder + "\\long_"
    entries.append(stem + "x" * (MAX_PATH_BYTES - len(stem) - 4) + ".jpg")
    with open(os.path.join(outdir, "list.txt"), "wb") as f:
        f.write(b"".join(e.encode() + b"\r\n" for e in entries))
    return entries


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    for entry in write(*sys.argv[1:]):
        print(entry)
