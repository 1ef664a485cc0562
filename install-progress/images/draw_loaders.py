#!/usr/bin/env python3
"""Draws the viewer's three loader animations as GIF files in this folder.

Blue on the panel's black, in the colour of the window's border: a ring of
dots (loader1, 32x32), a sliding block (loader2, 220x19) and a row of
segments lit in turn (loader3, 126x22). Standard library only; run it again
after changing a drawing.
"""
import math
import os
import struct

DIM = (34, 48, 88)
BRIGHT = (95, 140, 255)
LEVELS = 16  # shades between DIM and BRIGHT, and steps of edge coverage
SUPERSAMPLE = 4


def palette():
    colours = []
    for t in range(LEVELS):
        shade = [d + (b - d) * t / (LEVELS - 1) for d, b in zip(DIM, BRIGHT)]
        for a in range(LEVELS):
            colours.append(tuple(round(c * a / (LEVELS - 1)) for c in shade))
    return colours


def index(shade, coverage):
    """Palette index of a shade (0 dim .. 1 bright) drawn with this edge coverage."""
    t = round(max(0.0, min(1.0, shade)) * (LEVELS - 1))
    a = round(max(0.0, min(1.0, coverage)) * (LEVELS - 1))
    return t * LEVELS + a


def coverage(inside, x, y):
    """The part of pixel (x, y) that the shape `inside(px, py)` covers."""
    hits = 0
    for sy in range(SUPERSAMPLE):
        for sx in range(SUPERSAMPLE):
            hits += inside(x + (sx + 0.5) / SUPERSAMPLE, y + (sy + 0.5) / SUPERSAMPLE)
    return hits / SUPERSAMPLE ** 2


def rounded_rect(left, top, right, bottom, radius):
    def inside(px, py):
        cx = min(max(px, left + radius), right - radius)
        cy = min(max(py, top + radius), bottom - radius)
        return left <= px <= right and top <= py <= bottom and (px - cx) ** 2 + (py - cy) ** 2 <= radius ** 2
    return inside


def disc(cx, cy, radius):
    return lambda px, py: (px - cx) ** 2 + (py - cy) ** 2 <= radius ** 2


def render(width, height, shapes):
    """One frame from (shape, shade) pairs; a later shape covers an earlier one."""
    pixels = []
    for y in range(height):
        for x in range(width):
            shade, cover = 0.0, 0.0
            for inside, s in shapes:
                c = coverage(inside, x, y)
                if c > 0:
                    shade, cover = s, max(cover, c)
            pixels.append(index(shade, cover))
    return pixels


def trail(step):
    """Brightness of an element `step` places behind the lit one."""
    return (1.0, 0.55, 0.25)[step] if step < 3 else 0.0


def ring_of_dots(size, ring, dot):
    """Eight dots on a ring of radius `ring`, lit in turn, in a square of `size`."""
    frames = []
    centre = size / 2
    for f in range(8):
        dots = []
        for i in range(8):
            angle = 2 * math.pi * i / 8 - math.pi / 2
            dots.append((disc(centre + ring * math.cos(angle), centre + ring * math.sin(angle), dot), trail((f - i) % 8)))
        frames.append(render(size, size, dots))
    return size, size, frames


def loader1():
    return ring_of_dots(32, 11, 3.2)


def loader2():
    frames = []
    track = rounded_rect(1, 4, 219, 15, 5.5)
    for f in range(20):
        left = -60 + f * 280 / 20
        block = rounded_rect(max(1, left), 4, min(219, left + 60), 15, 5.5)
        frames.append(render(220, 19, [(track, 0.0), (block, 1.0)]))
    return 220, 19, frames


def loader3():
    frames = []
    for f in range(7):
        segments = [(rounded_rect(2 + 18 * i, 4, 16 + 18 * i, 18, 3), trail((f - i) % 7)) for i in range(7)]
        frames.append(render(126, 22, segments))
    return 126, 22, frames


def lzw(pixels, min_size=8):
    """GIF's variable-width LZW, as sub-blocks."""
    clear, end = 1 << min_size, (1 << min_size) + 1
    bits, nbits, out = 0, 0, bytearray()

    def emit(code, size):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    def fresh():
        return {bytes([i]): i for i in range(clear)}, end + 1, min_size + 1

    table, next_code, size = fresh()
    emit(clear, size)
    word = b""
    for p in pixels:
        longer = word + bytes([p])
        if longer in table:
            word = longer
            continue
        emit(table[word], size)
        if next_code < 4096:
            table[longer] = next_code
            next_code += 1
            if next_code > (1 << size) and size < 12:
                size += 1
        else:
            emit(clear, size)
            table, next_code, size = fresh()
        word = bytes([p])
    emit(table[word], size)
    emit(end, size)
    if nbits:
        out.append(bits & 0xFF)
    blocks = bytearray([min_size])
    for i in range(0, len(out), 255):
        chunk = out[i:i + 255]
        blocks += bytes([len(chunk)]) + chunk
    return bytes(blocks + b"\x00")


def write_gif(path, width, height, frames, delay_cs=10):
    data = bytearray(b"GIF89a")
    data += struct.pack("<HHBBB", width, height, 0xF7, 0, 0)
    for colour in palette():
        data += bytes(colour)
    data += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"  # loop for ever
    for pixels in frames:
        data += b"\x21\xF9\x04\x04" + struct.pack("<H", delay_cs) + b"\x00\x00"
        data += b"\x2C" + struct.pack("<HHHHB", 0, 0, width, height, 0)
        data += lzw(pixels)
    data += b"\x3B"
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    for name, draw in (("loader1", loader1), ("loader2", loader2), ("loader3", loader3)):
        width, height, frames = draw()
        write_gif(os.path.join(here, name + ".gif"), width, height, frames)
