#!/usr/bin/env python3
"""Draws the radio indicators and check boxes the screens share and the
settings screens' images as PNG files (and the settings' busy animation as a
GIF).

Flat shapes in the screens' own colours: the radio indicators, the check
boxes, the date keypad's delete key and the round information key, each in
its normal, pressed (or checked) and disabled look. Standard library only;
the shape helpers and the GIF writer are the loader script's
(install-progress); the other screens' image scripts take their shapes and
the PNG writer from here. Run it again after changing a drawing.
"""
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", "..", "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "install-progress", "images"))
import draw_loaders  # noqa: E402
from draw_loaders import coverage, disc, rounded_rect, write_gif  # noqa: E402

SETTINGS = os.path.join(ROOT, "application", "screens", "Settings", "images")

WHITE = (255, 255, 255)
BLUE = (85, 130, 255)
DARK_BLUE = (49, 85, 188)
SLATE = (105, 110, 131)
KEY_FACE = (248, 249, 252)
KEY_EDGE = (112, 128, 171)
KEY_PRESSED = (168, 178, 206)
KEY_OFF = (212, 213, 216)
INK = (31, 31, 31)


def ring(cx, cy, outer, inner):
    return lambda px, py: inner ** 2 <= (px - cx) ** 2 + (py - cy) ** 2 <= outer ** 2


def polygon(points):
    """Even-odd fill of a closed polygon."""
    def inside(px, py):
        hit = False
        for (x1, y1), (x2, y2) in zip(points, points[1:] + points[:1]):
            if (y1 > py) != (y2 > py) and px < x1 + (py - y1) * (x2 - x1) / (y2 - y1):
                hit = not hit
        return hit
    return inside


def stroke(x1, y1, x2, y2, width):
    """A straight line with round ends."""
    def inside(px, py):
        dx, dy = x2 - x1, y2 - y1
        t = max(0.0, min(1.0, ((px - x1) * dx + (py - y1) * dy) / (dx * dx + dy * dy)))
        return (px - x1 - t * dx) ** 2 + (py - y1 - t * dy) ** 2 <= (width / 2) ** 2
    return inside


def union(*shapes):
    return lambda px, py: any(s(px, py) for s in shapes)


def minus(shape, hole):
    return lambda px, py: shape(px, py) and not hole(px, py)


def render(width, height, layers):
    """RGBA rows from (shape, colour) layers on transparency, later layers on top."""
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            r, g, b, a = 0, 0, 0, 0.0
            for inside, colour in layers:
                c = coverage(inside, x, y)
                if c <= 0:
                    continue
                out = c + a * (1 - c)
                r, g, b = ((colour[i] * c + (r, g, b)[i] * a * (1 - c)) / out for i in range(3))
                a = out
            row += bytes((round(r), round(g), round(b), round(a * 255)))
        rows.append(bytes(row))
    return width, height, rows


def write_png(path, image):
    width, height, rows = image

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + row for row in rows)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def radio(edge, fill, dot):
    layers = [(disc(13, 13, 12), edge), (disc(13, 13, 10), fill)]
    if dot:
        layers.append((disc(13, 13, 5.5), dot))
    return render(26, 26, layers)


def checkbox(face, edge, mark):
    layers = [(rounded_rect(1, 1, 25, 25, 4), edge), (rounded_rect(2.5, 2.5, 23.5, 23.5, 3), face)]
    if mark:
        layers.append((union(stroke(7, 13.5, 11.5, 18, 3.2), stroke(11.5, 18, 19.5, 8.5, 3.2)), mark))
    return render(26, 26, layers)


def delete_key(face, edge, glyph):
    key = rounded_rect(0, 0, 88, 71, 3)
    inner = rounded_rect(1, 1, 87, 70, 2.5)
    outline = polygon([(28, 35.5), (38, 25), (62, 25), (62, 46), (38, 46)])
    hollow = polygon([(31, 35.5), (39.5, 27.5), (59.5, 27.5), (59.5, 43.5), (39.5, 43.5)])
    cross = union(stroke(44, 30.5, 53, 40.5, 2.5), stroke(53, 30.5, 44, 40.5, 2.5))
    return render(88, 71, [(key, edge), (inner, face), (minus(outline, hollow), glyph), (cross, glyph)])


def info_key(circle, mark):
    dot = disc(23, 14, 3)
    bar = rounded_rect(20.5, 19.5, 25.5, 34, 1.5)
    return render(46, 46, [(disc(23, 23, 22), circle), (dot, mark), (bar, mark)])


def main():
    common = HERE
    write_png(os.path.join(common, "radio-1.png"), radio(SLATE, WHITE, None))
    write_png(os.path.join(common, "radio-2.png"), radio(BLUE, WHITE, BLUE))
    write_png(os.path.join(common, "radio-3.png"), radio(KEY_PRESSED, WHITE, KEY_PRESSED))
    write_png(os.path.join(common, "checkbox 1.png"), checkbox(WHITE, KEY_PRESSED, None))
    write_png(os.path.join(common, "checkbox 2.png"), checkbox(BLUE, BLUE, WHITE))
    write_png(os.path.join(common, "checkbox 3.png"), checkbox(KEY_OFF, KEY_OFF, SLATE))

    os.makedirs(SETTINGS, exist_ok=True)
    for n, look in ((1, (KEY_FACE, KEY_EDGE, INK)), (2, (KEY_PRESSED, KEY_PRESSED, KEY_EDGE)),
                    (3, (KEY_FACE, KEY_OFF, KEY_OFF))):
        write_png(os.path.join(SETTINGS, "delete2-%d.png" % n), delete_key(*look))
    for n, look in ((1, (BLUE, WHITE)), (2, (DARK_BLUE, WHITE)), (3, (KEY_PRESSED, WHITE))):
        write_png(os.path.join(SETTINGS, "info-%d.png" % n), info_key(*look))
    # The settings' busy indicator, the loaders' ring of dots at 100 x 100.
    write_gif(os.path.join(SETTINGS, "loader1.gif"), *draw_loaders.ring_of_dots(100, 34, 9))


if __name__ == "__main__":
    main()
