#!/usr/bin/env python3
"""Draws the check boxes the screens share and holds the little raster
toolkit the screens' image scripts use.

Standard library only; run it again after changing a drawing. Shapes are
functions inside(x, y) -> bool, rendered with 4x4 supersampling into RGBA
PNG files.
"""
import os
import struct
import zlib

SUPERSAMPLE = 4

# The screens' palette.
WHITE = (255, 255, 255)
PANEL = (248, 249, 252)      # key face
EDGE = (112, 128, 171)       # key border
PRESSED = (168, 178, 206)    # pressed key face
INK = (31, 31, 31)           # symbol on a key
BLUE = (85, 130, 255)        # chosen / accent
DARK_BLUE = (49, 85, 188)
GREY = (190, 194, 204)       # disabled symbol
PALE = (233, 236, 243)       # disabled face
PALE_BLUE = (160, 184, 250)  # disabled and chosen


def rounded_rect(left, top, right, bottom, radius):
    def inside(px, py):
        cx = min(max(px, left + radius), right - radius)
        cy = min(max(py, top + radius), bottom - radius)
        return left <= px <= right and top <= py <= bottom and (px - cx) ** 2 + (py - cy) ** 2 <= radius ** 2
    return inside


def rect(left, top, right, bottom):
    return lambda px, py: left <= px <= right and top <= py <= bottom


def disc(cx, cy, radius):
    return lambda px, py: (px - cx) ** 2 + (py - cy) ** 2 <= radius ** 2


def polygon(points):
    """Even-odd fill of a closed polygon."""
    def inside(px, py):
        hit = False
        n = len(points)
        for i in range(n):
            (x1, y1), (x2, y2) = points[i], points[(i + 1) % n]
            if (y1 > py) != (y2 > py) and px < x1 + (py - y1) * (x2 - x1) / (y2 - y1):
                hit = not hit
        return hit
    return inside


def line(x1, y1, x2, y2, width):
    """A stroke with round ends."""
    def inside(px, py):
        dx, dy = x2 - x1, y2 - y1
        length2 = dx * dx + dy * dy
        t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - x1) * dx + (py - y1) * dy) / length2))
        qx, qy = x1 + t * dx, y1 + t * dy
        return (px - qx) ** 2 + (py - qy) ** 2 <= (width / 2) ** 2
    return inside


def union(*shapes):
    return lambda px, py: any(s(px, py) for s in shapes)


def minus(shape, hole):
    return lambda px, py: shape(px, py) and not hole(px, py)


def render(width, height, layers):
    """RGBA rows from (shape, colour) layers; a later layer covers an earlier one."""
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            r = g = b = a = 0.0
            for inside, colour in layers:
                hits = 0
                for sy in range(SUPERSAMPLE):
                    for sx in range(SUPERSAMPLE):
                        hits += inside(x + (sx + 0.5) / SUPERSAMPLE, y + (sy + 0.5) / SUPERSAMPLE)
                c = hits / SUPERSAMPLE ** 2
                if c == 0:
                    continue
                # "over" compositing, premultiplied
                r = colour[0] * c + r * (1 - c)
                g = colour[1] * c + g * (1 - c)
                b = colour[2] * c + b * (1 - c)
                a = c + a * (1 - c)
            if a > 0:
                row += bytes((round(r / a), round(g / a), round(b / a), round(a * 255)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def write_png(path, width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + row for row in rows)
    data = b"\x89PNG\r\n\x1a\n"
    data += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(raw, 9))
    data += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


def draw(folder, name, width, height, layers):
    write_png(os.path.join(folder, name), width, height, render(width, height, layers))


# --- the shared images

CHECK = union(line(7, 13.5, 11.5, 18, 3.2), line(11.5, 18, 19.5, 8.5, 3.2))


def checkbox(face, edge, mark):
    layers = [(rounded_rect(1, 1, 25, 25, 4), edge), (rounded_rect(2.5, 2.5, 23.5, 23.5, 3), face)]
    if mark:
        layers.append((CHECK, mark))
    return layers


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    draw(here, "checkbox 1.png", 26, 26, checkbox(WHITE, PRESSED, None))
    draw(here, "checkbox 2.png", 26, 26, checkbox(BLUE, BLUE, WHITE))
    draw(here, "checkbox 3.png", 26, 26, checkbox(PALE, GREY, GREY))
