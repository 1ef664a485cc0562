#!/usr/bin/env python3
"""Draws the save and print dialog's destination keys: "usb" (the USB stick)
and "internal2" (the instrument's storage), 71x57, in four states each:
1 normal, 2 pressed or chosen, 3 disabled, 4 disabled and chosen; and its
large save key "save", 144x133, in three: 1 normal, 2 pressed, 3 disabled.

The shapes and the PNG writer are the screens' shared ones
(screens/Common/images/draw_images.py); run it again after changing a drawing.
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "..", "Common", "images"))
from draw_images import (BLUE, DARK_BLUE, INK, KEY_EDGE, KEY_FACE, KEY_OFF, WHITE,  # noqa: E402
                         disc, minus, polygon, render, rounded_rect, stroke, union, write_png)

W, H = 71, 57
PALE = (233, 236, 243)
PALE_BLUE = (160, 184, 250)

USB = union(
    stroke(35.5, 13, 35.5, 44, 3),
    polygon([(35.5, 6), (41, 14), (30, 14)]),
    disc(35.5, 45.5, 4.5),
    stroke(35.5, 34, 25, 27, 3), stroke(25, 27, 25, 21, 3), disc(25, 19, 3.5),
    stroke(35.5, 38, 46, 31, 3), stroke(46, 31, 46, 24, 3), rounded_rect(42.5, 17, 49.5, 24, 0),
)

DRIVE = union(
    minus(rounded_rect(17, 16, 54, 41, 4), rounded_rect(19.5, 18.5, 51.5, 38.5, 2.5)),
    stroke(19.5, 30.5, 51.5, 30.5, 2.5),
    disc(46, 34.7, 1.8), disc(40.5, 34.7, 1.8),
)

# A diskette: shutter and label cut out, one corner bevelled.
DISKETTE = union(
    minus(rounded_rect(47, 41, 97, 91, 5),
          union(polygon([(86, 40), (98, 40), (98, 52)]),
                rounded_rect(56, 45, 84, 58, 1.5),
                rounded_rect(56, 68, 88, 87, 2))),
    rounded_rect(76, 47, 81, 56, 0.5),
)

SAVE_W, SAVE_H = 144, 133
# face, symbol of each state of the save key
SAVE_STATES = {
    1: (BLUE, WHITE),
    2: (DARK_BLUE, BLUE),
    3: (BLUE, PALE_BLUE),
}

# face, border, symbol of each state
STATES = {
    1: (KEY_FACE, KEY_EDGE, INK),
    2: (BLUE, BLUE, WHITE),
    3: (PALE, KEY_OFF, KEY_OFF),
    4: (PALE_BLUE, PALE_BLUE, WHITE),
}


def key(symbol, state):
    face, edge, ink = STATES[state]
    return render(W, H, [(rounded_rect(0.5, 0.5, W - 0.5, H - 0.5, 4), edge),
                         (rounded_rect(1.5, 1.5, W - 1.5, H - 1.5, 3), face),
                         (symbol, ink)])


def save_key(state):
    face, ink = SAVE_STATES[state]
    return render(SAVE_W, SAVE_H, [(rounded_rect(0, 0, SAVE_W, SAVE_H, 0), face), (DISKETTE, ink)])


if __name__ == "__main__":
    for state in STATES:
        write_png(os.path.join(HERE, "usb-%d.png" % state), key(USB, state))
        write_png(os.path.join(HERE, "internal2-%d.png" % state), key(DRIVE, state))
    for state in SAVE_STATES:
        write_png(os.path.join(HERE, "save-%d.png" % state), save_key(state))
