#!/usr/bin/env python3
"""Draws the networks page's images as PNG files: the connection icons of the
page's status label (Ethernet in use or not, Wi-Fi in use) and the signal
icons of the Wi-Fi list (one to three bars, open or with a padlock).

The shapes and the PNG writer are the shared image script's
(application/screens/Common/images). Run it again after changing a drawing.
"""
import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "Common", "images"))
from draw_images import (BLUE, SLATE, WHITE, disc, minus, render, ring, rounded_rect,  # noqa: E402
                         union, write_png)

UNLIT = (90, 96, 120)


def sector(cx, cy, outer, inner, half_angle):
    """A band of a ring, opening upwards by `half_angle` degrees each side."""
    band = ring(cx, cy, outer, inner)
    limit = math.radians(half_angle)

    def inside(px, py):
        return band(px, py) and py < cy and abs(math.atan2(px - cx, cy - py)) <= limit
    return inside


def wifi_layers(cx, base, scale, lit, colour):
    """The dot and three arcs of a Wi-Fi sign; the first `lit` parts in `colour`."""
    parts = [disc(cx, base - 1.6 * scale, 1.6 * scale)]
    for n in (1, 2, 3):
        outer = (2.4 + 2.6 * n) * scale
        parts.append(sector(cx, base, outer, outer - 1.7 * scale, 45))
    return [(part, colour if i < lit else UNLIT) for i, part in enumerate(parts)]


def ethernet(colour):
    """An RJ45 socket: the body with its latch notch and the contacts."""
    body = rounded_rect(6, 9, 34, 31, 3)
    notch = union(rounded_rect(14, 25, 26, 32, 0.5), rounded_rect(17, 28, 23, 32, 0))
    hollow = rounded_rect(9, 12, 31, 25, 1.5)
    contacts = union(*(rounded_rect(11.5 + 3 * i, 12, 13 + 3 * i, 17, 0.3) for i in range(6)))
    return render(40, 40, [(minus(minus(body, hollow), notch), colour), (contacts, colour)])


def padlock(colour):
    shackle = minus(ring(23.5, 17, 3.6, 2.2), lambda px, py: py > 17)
    arms = union(rounded_rect(19.9, 17, 21.3, 20, 0), rounded_rect(25.7, 17, 27.1, 20, 0))
    return [(union(shackle, arms), colour), (rounded_rect(18.5, 19.5, 28.5, 27, 1.2), colour)]


def main():
    write_png(os.path.join(HERE, "Ethernet_1.png"), ethernet(BLUE))
    write_png(os.path.join(HERE, "Ethernet_2.png"), ethernet(SLATE))
    write_png(os.path.join(HERE, "wifi_1.png"), render(40, 40, wifi_layers(20, 32, 3, 4, BLUE)))
    for bars in (1, 2, 3):
        # Bars: the dot and the first arc for one, up to all three arcs.
        open_sign = wifi_layers(14, 24, 2.2, bars + 1, WHITE)
        write_png(os.path.join(HERE, "wifi-%d.png" % bars), render(30, 30, open_sign))
        write_png(os.path.join(HERE, "wifi-password-%d.png" % bars), render(30, 30, open_sign + padlock(WHITE)))


if __name__ == "__main__":
    main()
