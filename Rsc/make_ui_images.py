#!/usr/bin/env python3
"""Draws the video window's two default images as 512 x 512 RGBA PNGs.

ICON_PLAYER.png   shown while no movie is open: a play button on a soft disc.
CORRUPT_FRAME.png shown in place of a frame that failed to decode: a warning sign.

Both have anti-aliased edges and partly transparent areas (the renderer composites
them with straight alpha). Standard library only; the output is deterministic.
Usage: make_ui_images.py OUTDIR
"""
import math
import os
import struct
import sys
import zlib

SIZE = 512


def write_png(path, width, height, rgba_rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(row) for row in rgba_rows)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def coverage(distance):
    """Signed distance (negative inside) to pixel coverage, one pixel of smoothing."""
    return min(1.0, max(0.0, 0.5 - distance))


def over(dst, src):
    """Straight-alpha 'source over destination' of two (r, g, b, a) in 0..1."""
    sa = src[3]
    da = dst[3] * (1.0 - sa)
    a = sa + da
    if a <= 0.0:
        return (0.0, 0.0, 0.0, 0.0)
    return tuple((src[i] * sa + dst[i] * da) / a for i in range(3)) + (a,)


def polygon_distance(x, y, points):
    """Signed distance to a convex polygon given clockwise in image space (y down)."""
    inside = -1e9
    for i in range(len(points)):
        (x0, y0), (x1, y1) = points[i], points[(i + 1) % len(points)]
        ex, ey = x1 - x0, y1 - y0
        length = math.hypot(ex, ey)
        # Outward normal of a clockwise polygon in a y-down frame.
        nx, ny = ey / length, -ex / length
        inside = max(inside, (x - x0) * nx + (y - y0) * ny)
    return inside


def rounded_box_distance(x, y, cx, cy, hw, hh, r):
    qx = abs(x - cx) - (hw - r)
    qy = abs(y - cy) - (hh - r)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - r


def render(shade):
    rows = []
    for py in range(SIZE):
        row = bytearray()
        for px in range(SIZE):
            r, g, b, a = shade(px + 0.5, py + 0.5)
            row += bytes((round(r * 255), round(g * 255), round(b * 255), round(a * 255)))
        rows.append(row)
    return rows


def icon_player(x, y):
    c = SIZE / 2
    d = math.hypot(x - c, y - c)
    pixel = (0.0, 0.0, 0.0, 0.0)
    # Soft halo: a translucent ring fading outwards.
    halo = max(0.0, 1.0 - abs(d - 232) / 18.0) * 0.45
    pixel = over(pixel, (0.35, 0.75, 0.95, halo))
    # Disc with a vertical gradient from teal to deep blue.
    t = y / SIZE
    disc = (0.05 + 0.10 * (1 - t), 0.35 + 0.35 * (1 - t), 0.55 + 0.35 * (1 - t), coverage(d - 200) * 0.92)
    pixel = over(pixel, disc)
    # Play triangle, slightly right of centre so that it looks centred.
    triangle = [(c - 62, c - 100), (c + 110, c), (c - 62, c + 100)]
    pixel = over(pixel, (1.0, 1.0, 1.0, coverage(polygon_distance(x, y, triangle))))
    return pixel


def corrupt_frame(x, y):
    c = SIZE / 2
    pixel = (0.0, 0.0, 0.0, 0.0)
    # Dark translucent card.
    card = rounded_box_distance(x, y, c, c, 220, 220, 40)
    pixel = over(pixel, (0.16, 0.05, 0.06, coverage(card) * 0.85))
    # Torn diagonal stripe across the card, to read as a broken picture.
    stripe = abs((x - c) * 0.6 - (y - c) * 0.8 + 8 * math.sin(x / 9.0)) - 10
    pixel = over(pixel, (0.45, 0.10, 0.12, coverage(stripe) * coverage(card + 24) * 0.7))
    # Warning triangle in amber with a dark exclamation mark.
    triangle = [(c, c - 150), (c + 165, c + 125), (c - 165, c + 125)]
    pixel = over(pixel, (0.98, 0.70, 0.10, coverage(polygon_distance(x, y, triangle))))
    bar = rounded_box_distance(x, y, c, c - 20, 14, 62, 12)
    dot = math.hypot(x - c, y - (c + 78)) - 17
    pixel = over(pixel, (0.12, 0.06, 0.04, max(coverage(bar), coverage(dot))))
    return pixel


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "RESSOURCES_UI")
    os.makedirs(out, exist_ok=True)
    write_png(os.path.join(out, "ICON_PLAYER.png"), SIZE, SIZE, render(icon_player))
    write_png(os.path.join(out, "CORRUPT_FRAME.png"), SIZE, SIZE, render(corrupt_frame))


if __name__ == "__main__":
    main()
