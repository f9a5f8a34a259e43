#!/usr/bin/env python3
"""Draws the program's icons into resources/icons/.

The 16 x 16 pictures are drawn pixel by pixel so they stay crisp at the size
they are shown. On high-density screens Qt picks their @2x and @3x variants:
those are drawn again from vector shapes (the same pictures, on a 16-unit
square) at 32 and 48 pixels, so at 200 % the edges are smooth and sharp
instead of 2 x 2 blocks. The larger ones (the window icon at 2x and 3x,
window32.png, app.png and the desktop icons) are drawn from simple shapes
too; every shape is rendered with 4 x 4 supersampling, and the same shapes
give the scalable desktop icon. Only the standard library is needed.

    python3 scripts/make_icons.py [icon-folder [desktop-icon-folder]]
"""

import math
import os
import struct
import sys
import zlib

# One palette for every icon, so the set looks like one family.
PALETTE = {
    '.': None,
    'k': (0x2c, 0x34, 0x40),  # outline
    'h': (0x5a, 0x3b, 0x22),  # hair
    'f': (0xf6, 0xcb, 0x9c),  # skin
    'b': (0x2f, 0x6f, 0xc4),  # blue
    'B': (0x7d, 0xb0, 0xef),  # light blue
    'g': (0x2f, 0xa0, 0x3f),  # green
    'G': (0x8c, 0xdc, 0x84),  # light green
    'e': (0x16, 0x5e, 0x22),  # dark green outline
    'r': (0xdc, 0x36, 0x2a),  # red
    'R': (0xf5, 0x8a, 0x7a),  # light red
    'q': (0x7e, 0x14, 0x10),  # dark red outline
    'y': (0xf5, 0xc5, 0x2c),  # yellow
    'o': (0xd0, 0x7c, 0x14),  # orange
    'p': (0xf0, 0x8c, 0xa8),  # pink (eraser)
    'w': (0xff, 0xff, 0xff),  # white
    'l': (0xd4, 0xd9, 0xe0),  # light grey
    'a': (0x8e, 0x9a, 0xaa),  # grey
    'd': (0x55, 0x5e, 0x6a),  # dark grey
    'n': (0xa0, 0x62, 0x2d),  # wood
    'N': (0xc9, 0x8a, 0x4e),  # light wood
    'c': (0xa8, 0xdc, 0xf4),  # glass
    's': (0xb8, 0xe0, 0xa0),  # display
}


def grid(rows):
    assert len(rows) == 16, len(rows)
    for r in rows:
        assert len(r) == 16, (r, len(r))
    return [list(r) for r in rows]


def blank():
    return [['.'] * 16 for _ in range(16)]


def overlay(base, top, dx=0, dy=0):
    """Paints the non-transparent pixels of top over base, top's origin at (dx, dy)."""
    out = [row[:] for row in base]
    for y, row in enumerate(top):
        for x, ch in enumerate(row):
            if ch != '.' and 0 <= y + dy < 16 and 0 <= x + dx < 16:
                out[y + dy][x + dx] = ch
    return out


def small(rows):
    return [list(r) for r in rows]


def disc(fill, outline, light=None):
    """A round badge filling the 16 x 16 square."""
    spans = [(5, 10), (3, 12), (2, 13), (1, 14), (1, 14), (0, 15), (0, 15), (0, 15),
             (0, 15), (0, 15), (0, 15), (1, 14), (1, 14), (2, 13), (3, 12), (5, 10)]
    g = blank()
    for y, (a, b) in enumerate(spans):
        for x in range(a, b + 1):
            edge = x in (a, b) or y in (0, 15)
            if not edge:
                pa, pb = spans[y - 1]
                na, nb = spans[y + 1]
                edge = not (pa <= x <= pb and na <= x <= nb)
            g[y][x] = outline if edge else fill
    if light:
        for (x, y) in [(4, 2), (5, 2), (6, 2), (3, 3), (4, 3), (2, 4), (3, 4), (2, 5)]:
            g[y][x] = light
    return g


PERSON = grid([
    "....kkkk........",
    "...khhhhk.......",
    "..khhhhhhk......",
    "..khffffhk......",
    "..kffffffk......",
    "..kffffffk......",
    "...kffffk.......",
    "....kkkk........",
    "..kkbbbbkk......",
    ".kbbbBBbbbk.....",
    "kbBbbBBbbbbk....",
    "kbBbbbbbbbbk....",
    "kbbbbbbbbbbk....",
    "kbbbbbbbbbbk....",
    "kkkkkkkkkkkk....",
    "................",
])

PLUS = small([
    "..eeee..",
    "..eGge..",
    "eeeGgeee",
    "eGGGggge",
    "egggggge",
    "eeeggeee",
    "..egge..",
    "..eeee..",
])

CROSS = small([
    "qq....qq",
    "qrq..qrq",
    ".qrqqrq.",
    "..qrrq..",
    "..qrrq..",
    ".qrqqrq.",
    "qrq..qrq",
    "qq....qq",
])

PENCIL = small([
    ".......k.",
    "......kpk",
    ".....kykk",
    "....kyok.",
    "...kyok..",
    "..kyok...",
    ".kNok....",
    "kdNk.....",
    "kkk......",
])


def person_with(badge, dx, dy):
    return overlay(PERSON, badge, dx, dy)


ICONS = {}

# 0: add contact
ICONS[0] = person_with(PLUS, 8, 8)
# 1: delete contact
ICONS[1] = person_with(CROSS, 8, 8)

# 2: search (unused by the program's commands)
ICONS[2] = grid([
    "...kkkkk........",
    ".kkccccckk......",
    ".kcwwccccck.....",
    "kcwccccccck.....",
    "kcwcccccccck....",
    "kccccccccck.....",
    "kcccccccccck....",
    ".kccccccck......",
    ".kkcccccckk.....",
    "...kkkkkkkdk....",
    ".........kddk...",
    "..........kddk..",
    "...........kddk.",
    "............kddk",
    ".............kk.",
    "................",
])

# 3: back
ICONS[3] = grid([
    "................",
    "................",
    "......e.........",
    ".....ege........",
    "....eGgeeeeeee..",
    "...eGGGGGGGGGge.",
    "..eGgggggggggge.",
    ".eggggggggggggge",
    "..eggggggggggge.",
    "...egggggggggge.",
    "....eggeeeeeee..",
    ".....ege........",
    "......e.........",
    "................",
    "................",
    "................",
])

# 4: save
ICONS[4] = grid([
    "kkkkkkkkkkkkkkk.",
    "kbkwwwwwwwwwkbbk",
    "kbkwwwwwwwwwkbbk",
    "kbkwaaaaaaawkbbk",
    "kbkwwwwwwwwwkbbk",
    "kbkwaaaaaaawkbbk",
    "kbkwwwwwwwwwkbbk",
    "kbbkkkkkkkkkbbbk",
    "kbbbbbbbbbbbbbbk",
    "kbbkkkkkkkkkbbbk",
    "kbbklllkddlkbbbk",
    "kbbklllkddlkbbbk",
    "kbbklllkddlkbbbk",
    "kbbklllllllkbbbk",
    "kkkkkkkkkkkkkkkk",
    "................",
])

# 5: modify contact
ICONS[5] = person_with(PENCIL, 7, 7)

# 6: detailed data (the print preview from the main menu): a sheet under a lens
ICONS[6] = overlay(grid([
    "kkkkkkkkk.......",
    "kwwwwwwwkk......",
    "kwaaaawwklk.....",
    "kwwwwwwwkkkk....",
    "kwaaaaaaawwk....",
    "kwwwwwwwwwwk....",
    "kwaaaaaaaawk....",
    "kwwwwwwwwwwk....",
    "kwaaaawwwwwk....",
    "kwwwwwwwwwwk....",
    "kwaaawwwwwwk....",
    "kwwwwwwwwwwk....",
    "kwaawwwwwwwk....",
    "kwwwwwwwwwwk....",
    "kkkkkkkkkkkk....",
    "................",
]), small([
    "..kkkk....",
    ".kcccck...",
    "kcwcccck..",
    "kcwcccck..",
    "kcccccck..",
    "kcccccck..",
    ".kcccckk..",
    "..kkkkddk.",
    "......kddk",
]), 6, 7)
ICONS[6][15][14] = 'k'
ICONS[6][15][15] = 'k'

# 7: exit: a door with an arrow leaving through it
ICONS[7] = overlay(grid([
    "kkkkkkkkkk......",
    "knNNNNNNnk......",
    "knNnnnnNnk......",
    "knNnnnnNnk......",
    "knNnnnnNnk......",
    "knNNNNNNnk......",
    "knnnnnnnnk......",
    "knnnnnnyyk......",
    "knnnnnnnnk......",
    "knNNNNNNnk......",
    "knNnnnnNnk......",
    "knNnnnnNnk......",
    "knNNNNNNnk......",
    "knnnnnnnnk......",
    "kkkkkkkkkk......",
    "................",
]), small([
    "....q....",
    "....qq...",
    "qqqqqrq..",
    "qrRRRRrq.",
    "qrrrrrrrq",
    "qrrrrrrq.",
    "qqqqqrq..",
    "....qq...",
    "....q....",
]), 7, 3)

# 8: about: "i" on a blue disc
ICONS[8] = overlay(disc('b', 'k', 'B'), grid([
    "................",
    "................",
    "................",
    ".......ww.......",
    ".......ww.......",
    "................",
    "......www.......",
    ".......ww.......",
    ".......ww.......",
    ".......ww.......",
    ".......ww.......",
    ".......ww.......",
    "......wwww......",
    "................",
    "................",
    "................",
]))

# 9: help: "?" on a blue disc (unused by the program's commands)
ICONS[9] = overlay(disc('b', 'k', 'B'), grid([
    "................",
    "................",
    "................",
    "......wwww......",
    ".....ww..ww.....",
    ".........ww.....",
    "........ww......",
    ".......ww.......",
    ".......ww.......",
    "................",
    ".......ww.......",
    ".......ww.......",
    "................",
    "................",
    "................",
    "................",
]))

# 10: a contact card (unused by the program's commands)
ICONS[10] = grid([
    "................",
    "................",
    "kkkkkkkkkkkkkkkk",
    "kBBBBBBBBBBBBBBk",
    "kwwwwwwwwwwwwwwk",
    "kwkkkkwwwwwwwwwk",
    "kwkhhkwwaaaaaawk",
    "kwkffkwwwwwwwwwk",
    "kwkffkwwaaaaawwk",
    "kwkbbkwwwwwwwwwk",
    "kwkbbkwwaaaaaawk",
    "kwkkkkwwwwwwwwwk",
    "kwwwwwwwwwwwwwwk",
    "kkkkkkkkkkkkkkkk",
    "................",
    "................",
])

# 11: calculator
ICONS[11] = grid([
    "..kkkkkkkkkkkk..",
    "..kaaaaaaaaaak..",
    "..kakkkkkkkkak..",
    "..kaksssssdkak..",
    "..kaksssdsdkak..",
    "..kakkkkkkkkak..",
    "..kaaaaaaaaaak..",
    "..kawwawwaooak..",
    "..kawwawwaooak..",
    "..kaaaaaaaaaak..",
    "..kawwawwawwak..",
    "..kawwawwawwak..",
    "..kaaaaaaaaaak..",
    "..kawwawwawwak..",
    "..kawwawwawwak..",
    "..kkkkkkkkkkkk..",
])

# 12: print
ICONS[12] = grid([
    "...kkkkkkkkk....",
    "...kwwwwwwwk....",
    "...kwaaaaawk....",
    "...kwwwwwwwk....",
    ".kkkkkkkkkkkkkk.",
    "kllllllllllllllk",
    "kllllllllllggllk",
    "kllllllllllllllk",
    "kaaaaaaaaaaaaaak",
    "kaakkkkkkkkkaaak",
    "kaakwwwwwwwkaaak",
    "kkkkwaaaaawkkkkk",
    "...kwwwwwwwk....",
    "...kwaaaaawk....",
    "...kwwwwwwwk....",
    "...kkkkkkkkk....",
])

# The main window's own icon: two people.
WINDOW16 = overlay(grid([
    "..........kkkk..",
    ".........khhhhk.",
    ".........khffhk.",
    ".........kffffk.",
    ".........kffffk.",
    "..........kffk..",
    "........kkggggkk",
    ".......kgGGggggk",
    ".......kgGgggggk",
    ".......kgggggggk",
    ".......kgggggggk",
    ".......kkkkkkkkk",
    "................",
    "................",
    "................",
    "................",
]), grid([
    "................",
    "................",
    "................",
    "...kkkk.........",
    "..khhhhk........",
    ".khhhhhhk.......",
    ".khffffhk.......",
    ".kffffffk.......",
    ".kffffffk.......",
    "..kffffk........",
    "...kkkk.........",
    ".kkbbbbkk.......",
    "kbBBbbbbbk......",
    "kbBbbbbbbk......",
    "kbbbbbbbbk......",
    "kkkkkkkkkk......",
]))


# --- shapes for the larger pictures -----------------------------------------

def rgb(key):
    return PALETTE[key]


def hex_colour(c):
    return '#%02x%02x%02x' % c


class Canvas:
    """Painter's-algorithm rasteriser with 4 x 4 supersampling."""

    SS = 4

    def __init__(self, size, unit=1.0):
        # Shapes are given in units; one unit is `unit` pixels.
        self.size = size
        self.unit = unit
        self.shapes = []
        self.svg = []

    def add(self, contains, colour, bounds):
        u = self.unit
        x0, y0, x1, y1 = bounds

        def scaled(x, y):
            x, y = x / u, y / u
            return x0 <= x <= x1 and y0 <= y <= y1 and contains(x, y)
        self.shapes.append((scaled, colour))

    def ellipse(self, cx, cy, rx, ry, colour):
        self.add(lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0, colour,
                 (cx - rx, cy - ry, cx + rx, cy + ry))
        self.svg.append('<ellipse cx="%.2f" cy="%.2f" rx="%.2f" ry="%.2f" fill="%s"/>'
                        % (cx, cy, rx, ry, hex_colour(colour)))

    def rect(self, x0, y0, x1, y1, colour, r=0.0):
        def inside(x, y):
            if not (x0 <= x <= x1 and y0 <= y <= y1):
                return False
            if r <= 0:
                return True
            dx = max(x0 + r - x, 0, x - (x1 - r))
            dy = max(y0 + r - y, 0, y - (y1 - r))
            return dx * dx + dy * dy <= r * r
        self.add(inside, colour, (x0, y0, x1, y1))
        self.svg.append('<rect x="%.2f" y="%.2f" width="%.2f" height="%.2f" rx="%.2f" fill="%s"/>'
                        % (x0, y0, x1 - x0, y1 - y0, r, hex_colour(colour)))

    def polygon(self, pts, colour):
        def inside(x, y):
            c = False
            n = len(pts)
            for i in range(n):
                xa, ya = pts[i]
                xb, yb = pts[(i + 1) % n]
                if (ya > y) != (yb > y):
                    if x < (xb - xa) * (y - ya) / (yb - ya) + xa:
                        c = not c
            return c
        xs = [p[0] for p in pts]
        ys = [p[1] for p in pts]
        self.add(inside, colour, (min(xs), min(ys), max(xs), max(ys)))
        self.svg.append('<polygon points="%s" fill="%s"/>'
                        % (' '.join('%.2f,%.2f' % p for p in pts), hex_colour(colour)))

    def svg_text(self, units):
        """The same shapes as an SVG picture of units x units."""
        return ('<?xml version="1.0" encoding="UTF-8"?>\n'
                '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d" stroke="none">\n%s\n</svg>\n'
                % (units, units, units, units, '\n'.join(self.svg)))

    def render(self):
        n = self.size
        ss = self.SS
        out = []
        for py in range(n):
            row = []
            for px in range(n):
                acc = [0.0, 0.0, 0.0, 0.0]
                for sy in range(ss):
                    for sx in range(ss):
                        x = px + (sx + 0.5) / ss
                        y = py + (sy + 0.5) / ss
                        col = None
                        for contains, colour in reversed(self.shapes):
                            if contains(x, y):
                                col = colour
                                break
                        if col is not None:
                            acc[0] += col[0]
                            acc[1] += col[1]
                            acc[2] += col[2]
                            acc[3] += 1
                cover = acc[3]
                if cover == 0:
                    row.append((0, 0, 0, 0))
                else:
                    row.append((round(acc[0] / cover), round(acc[1] / cover), round(acc[2] / cover),
                                round(255 * cover / (ss * ss))))
            out.append(row)
        return out


def capsule(c, x0, y0, x1, y1, width, colour):
    """A thick line with round ends."""
    r = width / 2.0
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy or 1e-9

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        px, py = x0 + t * dx - x, y0 + t * dy - y
        return px * px + py * py <= r * r
    c.add(inside, colour, (min(x0, x1) - r, min(y0, y1) - r, max(x0, x1) + r, max(y0, y1) + r))
    c.svg.append('<line x1="%.2f" y1="%.2f" x2="%.2f" y2="%.2f" stroke="%s" stroke-width="%.2f" '
                 'stroke-linecap="round"/>' % (x0, y0, x1, y1, hex_colour(colour), width))


def outlined_rect(c, x0, y0, x1, y1, fill, outline='k', w=1.0, r=0.0):
    c.rect(x0, y0, x1, y1, rgb(outline), r=r)
    c.rect(x0 + w, y0 + w, x1 - w, y1 - w, rgb(fill), r=max(0.0, r - w))


def outlined_disc(c, cx, cy, radius, fill, outline='k', w=1.0):
    c.ellipse(cx, cy, radius, radius, rgb(outline))
    c.ellipse(cx, cy, radius - w, radius - w, rgb(fill))


def person_shapes(c, cx, top, scale, shirt, shirt_light):
    """A head-and-shoulders figure; top is the top of the head, scale 1 = 16 px tall."""
    s = scale
    k = rgb('k')
    # shoulders, outline first
    c.rect(cx - 6.2 * s, top + 8.2 * s, cx + 6.2 * s, top + 15.6 * s, k, r=4.2 * s)
    c.rect(cx - 5.2 * s, top + 9.2 * s, cx + 5.2 * s, top + 14.6 * s, shirt, r=3.4 * s)
    c.rect(cx - 4.2 * s, top + 10.0 * s, cx - 2.6 * s, top + 13.5 * s, shirt_light, r=0.8 * s)
    # head
    c.ellipse(cx, top + 4.0 * s, 4.0 * s, 4.2 * s, k)
    c.ellipse(cx, top + 4.0 * s, 3.1 * s, 3.3 * s, rgb('f'))
    # hair: the top of the head
    c.polygon([(cx - 3.3 * s, top + 3.6 * s), (cx - 2.4 * s, top + 1.2 * s), (cx, top + 0.8 * s),
               (cx + 2.4 * s, top + 1.2 * s), (cx + 3.3 * s, top + 3.6 * s), (cx + 1.6 * s, top + 2.6 * s),
               (cx - 1.8 * s, top + 2.9 * s)], rgb('h'))


def window_icon(size):
    """Two people, drawn on a 32-unit square."""
    c = Canvas(size, size / 32.0)
    person_shapes(c, 21.5, 0.5, 1.25, rgb('g'), rgb('G'))
    person_shapes(c, 11.0, 7.5, 1.5, rgb('b'), rgb('B'))
    return c.render()


def app_canvas(size):
    """An open book, seen from the front, drawn on a 48-unit square."""
    c = Canvas(size, size / 48.0)
    k = rgb('k')
    cover = (0xb2, 0x2a, 0x22)
    cover_light = (0xd9, 0x4a, 0x3a)
    page = (0xff, 0xfb, 0xf0)
    page_shade = (0xe9, 0xe1, 0xcc)
    line = (0x9a, 0xa6, 0xb8)
    # cover, peeking out under the pages
    c.polygon([(2, 12), (23, 15), (24, 15), (46, 12), (46, 41), (25, 44), (23, 44), (2, 41)], k)
    c.polygon([(3.2, 13.3), (23.4, 16.2), (24.6, 16.2), (44.8, 13.3), (44.8, 40), (25, 42.8), (23, 42.8),
               (3.2, 40)], cover)
    c.polygon([(3.2, 37.5), (23.4, 40.5), (24.6, 40.5), (44.8, 37.5), (44.8, 40), (25, 42.8), (23, 42.8),
               (3.2, 40)], cover_light)
    # left and right pages: outline, then paper
    c.polygon([(5, 7), (14, 6), (23.5, 9.5), (23.5, 40), (14, 37), (5, 38)], k)
    c.polygon([(6.2, 8.2), (14, 7.3), (22.6, 10.5), (22.6, 38.3), (14, 35.6), (6.2, 36.6)], page)
    c.polygon([(24.5, 9.5), (34, 6), (43, 7), (43, 38), (34, 37), (24.5, 40)], k)
    c.polygon([(25.4, 10.5), (34, 7.3), (41.8, 8.2), (41.8, 36.6), (34, 35.6), (25.4, 38.3)], page)
    # shade along the spine
    c.polygon([(19.5, 9.3), (22.6, 10.5), (22.6, 38.3), (19.5, 37.3)], page_shade)
    c.polygon([(25.4, 10.5), (28.5, 9.3), (28.5, 37.3), (25.4, 38.3)], page_shade)
    # text lines
    for i in range(6):
        y = 13.0 + i * 4.0
        c.polygon([(8.5, y - 0.9), (14, y - 1.5), (19.5, y + 0.2), (19.5, y + 1.4), (14, y - 0.3), (8.5, y + 0.3)],
                  line)
        c.polygon([(28.5, y + 0.2), (34, y - 1.5), (39.5, y - 0.9), (39.5, y + 0.3), (34, y - 0.3), (28.5, y + 1.4)],
                  line)
    # a red ribbon bookmark
    c.polygon([(31, 7.2), (34, 6.4), (34, 44), (32.5, 42), (31, 44.5)], k)
    c.polygon([(31.8, 7.8), (33.2, 7.3), (33.2, 42.2), (32.5, 41), (31.8, 42.6)], (0xe8, 0x3c, 0x30))
    return c


def app_icon(size):
    return app_canvas(size).render()


# --- the toolbar and menu pictures as vectors (for @2x and @3x) --------------

def toolbar_person(c):
    person_shapes(c, 6.0, 0.0, 0.92, rgb('b'), rgb('B'))


def badge_plus(c):
    outlined_disc(c, 12.0, 12.0, 3.9, 'g', 'e', 0.8)
    c.rect(11.3, 9.6, 12.7, 14.4, rgb('w'), r=0.4)
    c.rect(9.6, 11.3, 14.4, 12.7, rgb('w'), r=0.4)


def badge_cross(c):
    for (a, b, x, y) in ((9.2, 9.2, 14.8, 14.8), (14.8, 9.2, 9.2, 14.8)):
        capsule(c, a, b, x, y, 3.0, rgb('q'))
    for (a, b, x, y) in ((9.2, 9.2, 14.8, 14.8), (14.8, 9.2, 9.2, 14.8)):
        capsule(c, a, b, x, y, 1.5, rgb('r'))


def badge_pencil(c):
    capsule(c, 9.0, 14.0, 15.0, 8.0, 3.4, rgb('k'))
    capsule(c, 9.6, 13.4, 14.6, 8.4, 1.8, rgb('y'))
    capsule(c, 13.8, 9.2, 15.0, 8.0, 1.8, rgb('p'))
    c.polygon([(7.2, 15.8), (8.0, 12.4), (10.6, 15.0)], rgb('N'))
    c.polygon([(7.2, 15.8), (7.6, 14.2), (8.8, 15.4)], rgb('d'))


def lens(c, cx, cy, r):
    capsule(c, cx + r * 0.7, cy + r * 0.7, cx + r * 1.75, cy + r * 1.75, r * 0.62, rgb('k'))
    capsule(c, cx + r * 0.75, cy + r * 0.75, cx + r * 1.7, cy + r * 1.7, r * 0.3, rgb('d'))
    outlined_disc(c, cx, cy, r, 'c', 'k', 0.9)
    c.ellipse(cx - r * 0.35, cy - r * 0.35, r * 0.22, r * 0.35, rgb('w'))


def lined_sheet(c, x0, y0, x1, y1, lines):
    outlined_rect(c, x0, y0, x1, y1, 'w', r=0.6)
    for i, (a, b) in enumerate(lines):
        y = y0 + 2.2 + 2.0 * i
        c.rect(a, y, b, y + 0.9, rgb('a'))


def disc_badge(c):
    outlined_disc(c, 8.0, 8.0, 7.9, 'b', 'k', 0.9)
    c.ellipse(5.2, 4.6, 2.2, 1.4, rgb('B'))


def vector_icon(i, size):
    c = Canvas(size, size / 16.0)
    if i in (0, 1, 5):
        toolbar_person(c)
        (badge_plus, badge_cross, None, None, None, badge_pencil)[i](c)
    elif i == 2:
        lens(c, 6.2, 6.2, 5.6)
    elif i == 3:
        c.polygon([(0.3, 7.5), (6.8, 1.6), (6.8, 4.6), (15.7, 4.6), (15.7, 10.4), (6.8, 10.4), (6.8, 13.4)],
                  rgb('e'))
        c.polygon([(1.8, 7.5), (5.8, 3.9), (5.8, 5.6), (14.7, 5.6), (14.7, 9.4), (5.8, 9.4), (5.8, 11.1)], rgb('g'))
        c.polygon([(2.6, 7.0), (5.8, 4.2), (5.8, 5.6), (14.7, 5.6), (14.7, 6.5), (5.2, 6.5)], rgb('G'))
    elif i == 4:
        outlined_rect(c, 0.2, 0.2, 15.8, 14.8, 'b', r=1.2)
        outlined_rect(c, 2.6, 0.2, 12.6, 8.0, 'w', w=0.9)
        c.rect(4.0, 3.0, 11.2, 3.8, rgb('a'))
        c.rect(4.0, 5.0, 11.2, 5.8, rgb('a'))
        outlined_rect(c, 3.4, 9.6, 12.0, 14.8, 'l', w=0.9)
        c.rect(7.6, 10.6, 9.4, 13.6, rgb('d'))
    elif i == 6:
        lined_sheet(c, 0.2, 0.2, 11.8, 14.8, [(2, 6.5), (2, 9.5), (2, 9), (2, 6), (2, 9.5), (2, 5)])
        lens(c, 9.2, 10.0, 3.6)
    elif i == 7:
        outlined_rect(c, 0.2, 0.2, 9.8, 14.8, 'n', r=0.4)
        outlined_rect(c, 1.8, 1.8, 8.2, 6.0, 'N', 'n', 0.9)
        outlined_rect(c, 1.8, 8.4, 8.2, 12.8, 'N', 'n', 0.9)
        c.ellipse(7.6, 7.4, 0.9, 0.9, rgb('y'))
        c.polygon([(7.2, 5.4), (11.6, 5.4), (11.6, 3.0), (15.8, 7.4), (11.6, 11.8), (11.6, 9.4), (7.2, 9.4)],
                  rgb('q'))
        c.polygon([(8.2, 6.4), (12.6, 6.4), (12.6, 5.4), (14.4, 7.4), (12.6, 9.4), (12.6, 8.4), (8.2, 8.4)],
                  rgb('r'))
    elif i == 8:
        disc_badge(c)
        c.ellipse(8.0, 4.0, 1.2, 1.2, rgb('w'))
        c.rect(7.0, 6.2, 9.0, 12.2, rgb('w'), r=0.3)
        c.rect(6.2, 11.4, 9.8, 12.8, rgb('w'), r=0.3)
        c.rect(6.2, 6.2, 9.0, 7.4, rgb('w'), r=0.3)
    elif i == 9:
        disc_badge(c)
        pts = [(8.0 + 2.4 * math.cos(a), 5.4 + 2.2 * math.sin(a))
               for a in [math.pi * (1.0 + k / 8.0) for k in range(0, 13)]]
        for (a, b), (x, y) in zip(pts, pts[1:]):
            capsule(c, a, b, x, y, 1.9, rgb('w'))
        capsule(c, pts[-1][0], pts[-1][1], 8.0, 8.6, 1.9, rgb('w'))
        capsule(c, 8.0, 8.6, 8.0, 9.2, 1.9, rgb('w'))
        c.ellipse(8.0, 11.6, 1.1, 1.1, rgb('w'))
    elif i == 10:
        outlined_rect(c, 0.2, 2.2, 15.8, 13.8, 'w', r=0.8)
        c.rect(1.0, 3.0, 15.0, 4.4, rgb('B'))
        outlined_rect(c, 2.0, 5.2, 6.0, 11.8, 'f', w=0.8)
        c.rect(2.8, 9.0, 5.2, 11.0, rgb('b'))
        c.rect(2.8, 6.0, 5.2, 6.9, rgb('h'))
        for y, x1 in ((6.2, 14.0), (8.2, 13.0), (10.2, 14.0)):
            c.rect(8.0, y, x1, y + 0.9, rgb('a'))
    elif i == 11:
        outlined_rect(c, 2.2, 0.2, 13.8, 15.8, 'a', r=1.0)
        outlined_rect(c, 3.6, 1.8, 12.4, 5.4, 's', w=0.8)
        c.rect(9.6, 3.0, 10.4, 4.4, rgb('d'))
        c.rect(7.6, 3.6, 8.4, 4.4, rgb('d'))
        for row, y in enumerate((7.0, 10.0, 13.0)):
            for col, x in enumerate((3.8, 6.8, 9.8)):
                colour = 'o' if (row == 0 and col == 2) else 'w'
                c.rect(x, y, x + 2.4, y + 2.0, rgb(colour), r=0.4)
    elif i == 12:
        lined_sheet(c, 3.2, 0.2, 12.8, 6.0, [(4.6, 11.4)])
        outlined_rect(c, 0.2, 4.2, 15.8, 12.4, 'l', r=1.2)
        c.rect(1.0, 8.6, 15.0, 11.6, rgb('a'))
        c.ellipse(12.2, 6.6, 0.8, 0.8, rgb('g'))
        c.rect(2.6, 9.4, 13.4, 10.6, rgb('k'))
        lined_sheet(c, 3.2, 10.0, 12.8, 15.8, [(4.6, 11.4), (4.6, 9.0)])
    return c.render()


# --- PNG output ---------------------------------------------------------------

def grid_pixels(g):
    rows = []
    for row in g:
        out = []
        for ch in row:
            col = PALETTE[ch]
            out.append((0, 0, 0, 0) if col is None else (col[0], col[1], col[2], 255))
        rows.append(out)
    return rows


# Sizes of the desktop icon in the hicolor theme.
DESKTOP_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def write_png(path, pixels):
    h = len(pixels)
    w = len(pixels[0])
    raw = b''.join(b'\x00' + b''.join(struct.pack('BBBB', *p) for p in row) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xffffffff)

    png = b'\x89PNG\r\n\x1a\n'
    png += chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 6, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(raw, 9))
    png += chunk(b'IEND', b'')
    with open(path, 'wb') as f:
        f.write(png)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, '..', 'resources', 'icons')
    desktop = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, '..', 'packaging', 'icons')
    os.makedirs(out, exist_ok=True)
    for i in range(13):
        pixels = grid_pixels(ICONS[i])
        write_png(os.path.join(out, 'image%02d.png' % i), pixels)
        for n in (2, 3):
            write_png(os.path.join(out, 'image%02d@%dx.png' % (i, n)), vector_icon(i, 16 * n))
    write_png(os.path.join(out, 'window.png'), grid_pixels(WINDOW16))
    write_png(os.path.join(out, 'window@2x.png'), window_icon(32))
    write_png(os.path.join(out, 'window@3x.png'), window_icon(48))
    write_png(os.path.join(out, 'window32.png'), window_icon(32))
    write_png(os.path.join(out, 'app.png'), app_icon(48))

    for size in DESKTOP_SIZES:
        folder = os.path.join(desktop, '%dx%d' % (size, size), 'apps')
        os.makedirs(folder, exist_ok=True)
        write_png(os.path.join(folder, 'tongxunlu.png'), app_icon(size))
    folder = os.path.join(desktop, 'scalable', 'apps')
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, 'tongxunlu.svg'), 'w') as f:
        f.write(app_canvas(48).svg_text(48))


if __name__ == '__main__':
    main()
