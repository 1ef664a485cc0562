#!/usr/bin/env python3
"""Draws the focus graph's background, Graph.png: 561 x 251 pixels, white,
with a one-pixel grid in grey (100, 100, 100): 15 columns 40 pixels apart
(one per autofocus sample) and 11 rows 25 apart (the value scale's steps).
The PNG writer is the screens' image script's. Run it again after changing
the drawing."""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "application", "screens", "Common", "images"))
sys.path.insert(0, os.path.join(ROOT, "install-progress", "images"))
from draw_images import write_png  # noqa: E402

WIDTH, HEIGHT = 561, 251
GRID = (100, 100, 100, 255)
WHITE = (255, 255, 255, 255)
COLUMNS = range(0, 561, 40)
ROWS = (0, 26, 51, 76, 101, 126, 151, 176, 201, 226, 250)


def main():
    rows = []
    for y in range(HEIGHT):
        row = bytearray()
        for x in range(WIDTH):
            row += bytes(GRID if x in COLUMNS or y in ROWS else WHITE)
        rows.append(bytes(row))
    write_png(os.path.join(HERE, "Graph.png"), (WIDTH, HEIGHT, rows))


if __name__ == "__main__":
    main()
