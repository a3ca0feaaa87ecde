#!/usr/bin/env python3
"""Draws the icons of KORVAwiz and KORVAcw and writes them as .ico files (standard library only).

  make_icons.py [output folder]     (default: res/ beside this script's folder)

KORVAwiz icon 128 (korvawiz.ico), the program's icon: a white "K" on a blue rounded square.
KORVAwiz icon 158 (korvawiz_logo.ico), the wizard's logo: a white USB trident on a teal disc.
KORVAcw icon 128 (korvacw.ico), the program's icon: a broom sweeping on an orange-red rounded
square, so that the two programs are told apart at a glance.
Each file holds 16x16 and 32x32 images, 32-bit colour with an AND mask, so that both the
alpha-aware shell and old code paths that only look at the mask draw them right.
"""

import math
import os
import struct
import sys

SIZES = (16, 32)
# Samples per pixel edge: enough for smooth edges at 16x16 without a real rasteriser.
SUPERSAMPLE = 8


def clamp01(value):
    return max(0.0, min(1.0, value))


def rounded_square_distance(x, y, half, radius):
    """Signed distance from (x, y) to a square centred at 0.5, 0.5 with rounded corners."""
    qx = abs(x - 0.5) - (half - radius)
    qy = abs(y - 0.5) - (half - radius)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    inside = min(max(qx, qy), 0.0)
    return outside + inside - radius


def segment_distance(x, y, ax, ay, bx, by):
    """Distance from (x, y) to the segment a-b."""
    dx, dy = bx - ax, by - ay
    t = clamp01(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy))
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy))


def box_distance(x, y, cx, cy, hx, hy):
    """Signed distance to an axis-aligned box centred at (cx, cy) with half sizes hx, hy."""
    qx = abs(x - cx) - hx
    qy = abs(y - cy) - hy
    return math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0)


def triangle_inside(x, y, a, b, c):
    def side(p, q):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])

    s1, s2, s3 = side(a, b), side(b, c), side(c, a)
    return (s1 >= 0 and s2 >= 0 and s3 >= 0) or (s1 <= 0 and s2 <= 0 and s3 <= 0)


def program_icon(x, y):
    """Colour (r, g, b, a) at (x, y) of the unit square, y downwards."""
    if rounded_square_distance(x, y, 0.47, 0.14) > 0:
        return (0, 0, 0, 0)
    # The glyph: a vertical bar and two strokes meeting near its middle.
    stroke = 0.075
    bar = box_distance(x, y, 0.33, 0.5, stroke, 0.30)
    upper = segment_distance(x, y, 0.36, 0.54, 0.72, 0.20) - stroke
    lower = segment_distance(x, y, 0.44, 0.46, 0.74, 0.80) - stroke
    if min(bar, upper, lower) <= 0:
        return (255, 255, 255, 255)
    # A light top edge gives the square some depth at 32x32.
    shade = int(40 * (1.0 - y))
    return (20 + shade, 90 + shade, 200 + shade // 2, 255)


def logo_icon(x, y):
    if math.hypot(x - 0.5, y - 0.5) > 0.48:
        return (0, 0, 0, 0)
    white = (255, 255, 255, 255)
    line = 0.045
    # Shaft with an arrowhead at the top and a disc at the bottom.
    if segment_distance(x, y, 0.5, 0.30, 0.5, 0.74) <= line:
        return white
    if triangle_inside(x, y, (0.5, 0.10), (0.38, 0.30), (0.62, 0.30)):
        return white
    if math.hypot(x - 0.5, y - 0.78) <= 0.09:
        return white
    # Left branch ending in a disc, right branch ending in a square.
    if segment_distance(x, y, 0.5, 0.62, 0.30, 0.50) <= line:
        return white
    if segment_distance(x, y, 0.30, 0.50, 0.30, 0.40) <= line:
        return white
    if math.hypot(x - 0.30, y - 0.36) <= 0.07:
        return white
    if segment_distance(x, y, 0.5, 0.56, 0.70, 0.44) <= line:
        return white
    if segment_distance(x, y, 0.70, 0.44, 0.70, 0.36) <= line:
        return white
    if box_distance(x, y, 0.70, 0.31, 0.065, 0.065) <= 0:
        return white
    return (0, 140, 130, 255)


def cleanup_icon(x, y):
    """The broom: a handle from the top right down to a bristle head at the bottom left."""
    if rounded_square_distance(x, y, 0.47, 0.14) > 0:
        return (0, 0, 0, 0)
    # Coordinates along the broom (u, from the binding towards the bristle tips) and across it.
    axis_x, axis_y = -math.sqrt(0.5), math.sqrt(0.5)
    dx, dy = x - 0.52, y - 0.48
    u = dx * axis_x + dy * axis_y
    v = dx * axis_y - dy * axis_x
    # The handle, light so that it stands out from the background.
    if -0.44 <= u <= 0.0 and abs(v) <= 0.05:
        return (255, 244, 220, 255)
    # The binding, a dark band where the handle meets the head.
    if 0.0 <= u <= 0.07 and abs(v) <= 0.11:
        return (110, 30, 10, 255)
    # The head widens towards the tips; gaps between bristles show at 32x32.
    length = 0.30
    if 0.07 <= u <= length and abs(v) <= 0.11 + 0.11 * (u - 0.07) / (length - 0.07):
        if u > 0.14 and math.fmod(abs(v) + 0.025, 0.07) < 0.012:
            return (200, 120, 30, 255)
        return (255, 214, 90, 255)
    # A light top edge gives the square some depth at 32x32, as on the other program's icon.
    shade = int(40 * (1.0 - y))
    return (200 + shade // 2, 60 + shade, 20 + shade // 2, 255)


def render(shape, size):
    """Rows top-down of (b, g, r, a) bytes, supersampled for smooth edges."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            red = green = blue = alpha = 0.0
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = shape((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    weight = a / 255.0
                    red += r * weight
                    green += g * weight
                    blue += b * weight
                    alpha += weight
            samples = n * n
            if alpha == 0:
                row.append((0, 0, 0, 0))
            else:
                # Straight (not premultiplied) alpha, as icons expect.
                row.append((round(blue / alpha), round(green / alpha), round(red / alpha),
                            round(255 * alpha / samples)))
        rows.append(row)
    return rows


def icon_image(rows):
    """One BITMAPINFOHEADER image of an icon: colour rows then the AND mask, bottom-up."""
    size = len(rows)
    colour = b"".join(bytes(pixel) for row in reversed(rows) for pixel in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for px, pixel in enumerate(row):
            # Set bits are transparent; half-covered edge pixels count as opaque.
            if pixel[3] < 128:
                bits[px // 8] |= 0x80 >> (px % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    return header + colour + bytes(mask)


def write_icon(path, shape):
    images = [icon_image(render(shape, size)) for size in SIZES]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        data += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    data += b"".join(images)
    with open(path, "wb") as out:
        out.write(data)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "res")
    write_icon(os.path.join(folder, "korvawiz.ico"), program_icon)
    write_icon(os.path.join(folder, "korvawiz_logo.ico"), logo_icon)
    write_icon(os.path.join(folder, "korvacw.ico"), cleanup_icon)


if __name__ == "__main__":
    main()
