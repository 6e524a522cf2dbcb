#!/usr/bin/env python3
"""Draws the sample photos of the README's "Your photos" pictures: a sunset over hills and
water, and a meadow of flowers, as PNG files in the folder given. Drawn, not photographed, so
that no one's photo is committed. With --high-contrast it draws instead the hardest photos for
the flash check of `make safety`: black and white checks and stripes, saturated red on black,
pure white. The README's pictures are snapshots of Vantor showing the samples:

    tools/make-sample-photos.py /tmp/samples
    vantor --snapshot docs/vantor-photos.png --photos /tmp/samples --seed 1000 --at 20 \\
        --size 480x270
"""
import math
import os
import struct
import sys
import zlib


def write_png(path, width, height, pixel):
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows.extend(bytes(max(0, min(255, int(c))) for c in pixel(x, y)))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                  + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))


def sunset(x, y, w=640, h=480):
    horizon = h * 0.62
    hill = horizon - 40 - 30 * math.sin(x / 70.0) - 18 * math.sin(x / 23.0 + 1)
    sun_x, sun_y, sun_r = w * 0.62, horizon - 60, 46
    if y < hill:
        t = y / hill
        r, g, b = 255 - 60 * t * t, 120 + 90 * t, 90 + 60 * (1 - t)
        d = math.hypot(x - sun_x, y - sun_y)
        if d < sun_r:
            return 255, 236, 150
        glow = max(0.0, 1 - d / 220.0)
        return r + 40 * glow, g + 60 * glow, b + 10 * glow
    if y < horizon:
        return 60 + 20 * math.sin(x / 9.0), 40, 70
    # Water: the sky mirrored, broken into ripples.
    mirrored = 2 * horizon - y + 6 * math.sin(y / 2.5 + x / 40.0)
    r, g, b = sunset(x, max(0, min(horizon - 1, mirrored)))
    return r * 0.7, g * 0.7, b * 0.8 + 30


def meadow(x, y, w=640, h=480):
    r, g, b = 40 + 30 * math.sin(y / 30.0), 110 + 40 * math.sin(x / 15.0 + y / 40.0), 50
    for cx, cy, hue in ((120, 140, 0), (330, 260, 1), (520, 120, 2), (200, 380, 3), (460, 400, 4)):
        dx, dy = x - cx, y - cy
        d = math.hypot(dx, dy)
        petal = 60 + 18 * math.cos(6 * math.atan2(dy, dx))
        if d < 16:
            return 250, 200, 40
        if d < petal:
            colours = ((235, 60, 80), (250, 250, 245), (150, 70, 220), (250, 140, 30), (60, 120, 240))
            shade = 1 - 0.35 * d / petal
            return tuple(c * shade for c in colours[hue])
    return r, g, b


HIGH_CONTRAST = {
    "checks.png": lambda x, y: (255,) * 3 if (x // 16 + y // 16) % 2 else (0,) * 3,
    "fine-checks.png": lambda x, y: (255,) * 3 if (x // 4 + y // 4) % 2 else (0,) * 3,
    "stripes.png": lambda x, y: (255,) * 3 if x // 24 % 2 else (0,) * 3,
    "red-on-black.png": lambda x, y: (255, 0, 0) if (x // 32 + y // 32) % 2 else (0, 0, 0),
    "white.png": lambda x, y: (255, 255, 255),
}

if __name__ == "__main__":
    arguments = [a for a in sys.argv[1:] if a != "--high-contrast"]
    folder = arguments[0] if arguments else "samples"
    os.makedirs(folder, exist_ok=True)
    if "--high-contrast" in sys.argv:
        for name, pixel in HIGH_CONTRAST.items():
            write_png(os.path.join(folder, name), 256, 256, pixel)
    else:
        write_png(os.path.join(folder, "meadow.png"), 640, 480, meadow)
        write_png(os.path.join(folder, "sunset.png"), 640, 480, sunset)
