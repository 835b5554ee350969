#!/usr/bin/env python3
"""Draws Vantrel's built-in pictures: the window background, the ON and OFF
button skins (24-bit BMPs of fixed sizes) and the program icon (PNG).

Run it from this folder; the pictures it writes are committed, so building
never needs Python."""
import math
import random
import struct
import zlib


def write_bmp(path, width, height, pixel):
    """pixel(x, y) -> (r, g, b), y counted from the top."""
    row_size = (width * 3 + 3) & ~3
    image = bytearray()
    for y in range(height - 1, -1, -1):  # BMP rows run bottom-up
        row = bytearray()
        for x in range(width):
            r, g, b = (max(0, min(255, int(round(c)))) for c in pixel(x, y))
            row += bytes((b, g, r))
        row += b"\0" * (row_size - len(row))
        image += row
    header = struct.pack("<2sIHHI", b"BM", 54 + len(image), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + image)


def write_png(path, size, pixel):
    """pixel(x, y) -> (r, g, b, a)."""
    raw = bytearray()
    for y in range(size):
        raw.append(0)
        for x in range(size):
            raw += bytes(max(0, min(255, int(round(c)))) for c in pixel(x, y))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        f.write(chunk(b"IEND", b""))


def background():
    # Dark brushed metal: horizontal grain, a soft vignette and a faint
    # diagonal weave, all close to the window's own grey.
    rng = random.Random(1215)
    grain = [rng.uniform(-6, 6) for _ in range(170)]
    noise = [[rng.uniform(-4, 4) for _ in range(170)] for _ in range(170)]

    def pixel(x, y):
        cx, cy = x - 85, y - 85
        vignette = -18 * (cx * cx + cy * cy) / (2 * 85 * 85)
        weave = 3 * math.sin((x + y) * 0.35) * math.sin((x - y) * 0.35)
        base = 64 + grain[y] + noise[y][x] + vignette + weave
        return base - 2, base, base + 6
    return pixel


def button(hue):
    # A small rounded key with a lit face and a darker rim; `hue` picks the
    # colour of the lamp: green for ON, red for OFF.
    w, h = 21, 14

    def pixel(x, y):
        inside_x = min(x, w - 1 - x)
        inside_y = min(y, h - 1 - y)
        corner = inside_x + inside_y < 2
        if corner:
            return 64, 64, 64
        rim = inside_x == 0 or inside_y == 0
        shade = 1.0 - 0.45 * (y / (h - 1))
        if rim:
            shade *= 0.45
        glow = math.exp(-((x - 10) ** 2 / 30 + (y - 5) ** 2 / 10))
        r, g, b = hue
        return (r * shade + 120 * glow, g * shade + 120 * glow, b * shade + 120 * glow)
    return pixel


def icon(size):
    # A round remote key with a radio arc: the program's icon.
    def pixel(x, y):
        cx = cy = (size - 1) / 2
        d = math.hypot(x - cx, y - cy) / (size / 2)
        if d > 0.98:
            return 0, 0, 0, 0
        if d > 0.86:
            return 40, 40, 40, 255
        arc = abs(d - 0.55) < 0.07 and y < cy - size * 0.05
        dot = d < 0.22
        if arc or dot:
            return 120, 230, 110, 255
        return 64 - 20 * d, 64 - 20 * d, 70 - 20 * d, 255
    return pixel


if __name__ == "__main__":
    write_bmp("background.bmp", 170, 170, background())
    write_bmp("on.bmp", 21, 14, button((40, 190, 60)))
    write_bmp("off.bmp", 21, 14, button((200, 40, 40)))
    for size in (16, 32, 48, 64, 128, 256):
        write_png(f"vantrel-{size}.png", size, icon(size))
