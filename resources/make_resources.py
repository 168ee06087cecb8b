#!/usr/bin/env python3
"""Generate the image and licence resources of the QRD Fixture Library Editor.

Everything under resources/ that is not source code is made by this script,
from nothing but the drawing code below, so that the artwork can be reviewed
and changed like any other code:

    pixmaps/*.ico                      toolbar and list icons (16, 24, 32, 48 px)
    pixmaps/QRD-540B.png               picture of the tester for the About box
    pixmaps/ajax-loader.gif            30x30 busy spinner
    icons/qrd-fixture-editor-<N>.png   application icon, N = 16 ... 256
    licenses/LICENSES/*.txt            the program's licence, USB library notice
    firmware/<model>/<model>.kv2       placeholders, only written when missing

Run it with Python 3.11 or newer from any directory:

    python3 resources/make_resources.py

Only the standard library is used and the output is deterministic: running
the script twice gives byte-identical files.
"""

from __future__ import annotations

import contextlib
import math
import struct
import sys
import zlib
from pathlib import Path

HERE = Path(__file__).resolve().parent

# --------------------------------------------------------------------------
# Palette.  One set of colours for every drawing keeps the toolbar coherent.
# --------------------------------------------------------------------------

INK = (43, 52, 64)  # dark slate outlines
INK_SOFT = (110, 122, 136)
PAPER = (252, 252, 250)
PAPER_SHADE = (218, 224, 232)
RED_DARK = (127, 0, 0)
RED = (222, 45, 10)  # #de2d0a, the brand accent
BLUE = (44, 122, 204)
BLUE_DARK = (22, 68, 128)
BLUE_LIGHT = (168, 206, 240)
GREEN = (56, 166, 72)
GREEN_DARK = (24, 100, 40)
AMBER = (246, 192, 72)
AMBER_DARK = (210, 146, 40)
METAL = (190, 198, 208)
METAL_LIGHT = (236, 240, 244)
METAL_DARK = (118, 128, 140)
BODY = (62, 70, 82)
BODY_LIGHT = (96, 106, 120)
LCD = (176, 214, 122)
LCD_INK = (40, 62, 34)
BEAM = (255, 216, 96)
WHITE = (255, 255, 255)


def _rgba(colour):
    return colour if len(colour) == 4 else (*colour, 255)


def with_alpha(colour, alpha):
    return (*colour[:3], alpha)


def mix(c0, c1, t):
    c0, c1 = _rgba(c0), _rgba(c1)
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def linear(x0, y0, x1, y1, c0, c1):
    """Paint that blends c0 to c1 along the line (x0, y0)-(x1, y1)."""
    dx, dy = x1 - x0, y1 - y0
    dd = dx * dx + dy * dy or 1.0

    def paint(x, y):
        t = ((x - x0) * dx + (y - y0) * dy) / dd
        return mix(c0, c1, min(1.0, max(0.0, t)))

    return paint


def radial(cx, cy, r, c0, c1):
    def paint(x, y):
        t = math.hypot(x - cx, y - cy) / r
        return mix(c0, c1, min(1.0, t))

    return paint


# --------------------------------------------------------------------------
# Shapes.  Each shape is a signed distance function (negative inside) plus a
# bounding box.  The canvas only needs the distance to know which pixels are
# clearly inside or outside; the pixels near an edge are supersampled.  For
# that shortcut to be safe a shape may underestimate the distance to its edge
# but never overestimate it, which holds for everything below.
# --------------------------------------------------------------------------

INF = float("inf")


class Shape:
    def sd(self, x, y):
        raise NotImplementedError

    def bbox(self):
        raise NotImplementedError

    def __or__(self, other):
        return Union(self, other)

    def __and__(self, other):
        return Intersect(self, other)

    def __sub__(self, other):
        return Subtract(self, other)

    def grow(self, d):
        return Offset(self, d)

    def shrink(self, d):
        return Offset(self, -d)

    def stroke(self, width):
        """A band of the given width centred on the outline."""
        return Stroke(self, width)

    def at(self, dx=0.0, dy=0.0, scale=1.0, rot=0.0, sy=None):
        return Xform(self, dx, dy, scale, sy, rot)


class Circle(Shape):
    def __init__(self, cx, cy, r):
        self.cx, self.cy, self.r = cx, cy, r

    def sd(self, x, y):
        return math.hypot(x - self.cx, y - self.cy) - self.r

    def bbox(self):
        return (self.cx - self.r, self.cy - self.r,
                self.cx + self.r, self.cy + self.r)


def ellipse(cx, cy, rx, ry):
    return Circle(0.0, 0.0, 1.0).at(cx, cy, rx, sy=ry)


class Rect(Shape):
    """Axis aligned rectangle from (x0, y0) to (x1, y1), corners rounded by r."""

    def __init__(self, x0, y0, x1, y1, r=0.0):
        self.cx, self.cy = (x0 + x1) / 2, (y0 + y1) / 2
        self.hw, self.hh = abs(x1 - x0) / 2, abs(y1 - y0) / 2
        self.r = min(r, self.hw, self.hh)

    def sd(self, x, y):
        r = self.r
        qx = abs(x - self.cx) - self.hw + r
        qy = abs(y - self.cy) - self.hh + r
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        inside = min(max(qx, qy), 0.0)
        return outside + inside - r

    def bbox(self):
        return (self.cx - self.hw, self.cy - self.hh,
                self.cx + self.hw, self.cy + self.hh)


class Polygon(Shape):
    def __init__(self, points):
        self.pts = [(float(x), float(y)) for x, y in points]
        n = len(self.pts)
        self.edges = []
        for i in range(n):
            ax, ay = self.pts[i]
            bx, by = self.pts[i - 1]
            ex, ey = bx - ax, by - ay
            self.edges.append((ax, ay, by, ex, ey, 1.0 / (ex * ex + ey * ey or 1.0)))

    def sd(self, x, y):
        best = INF
        inside = False
        for ax, ay, by, ex, ey, inv in self.edges:
            wx, wy = x - ax, y - ay
            t = (wx * ex + wy * ey) * inv
            t = 0.0 if t < 0.0 else 1.0 if t > 1.0 else t
            dx, dy = wx - ex * t, wy - ey * t
            d = dx * dx + dy * dy
            if d < best:
                best = d
            c1 = y >= ay
            c2 = y < by
            c3 = ex * wy > ey * wx
            if (c1 and c2 and c3) or (not c1 and not c2 and not c3):
                inside = not inside
        d = math.sqrt(best)
        return -d if inside else d

    def bbox(self):
        xs = [p[0] for p in self.pts]
        ys = [p[1] for p in self.pts]
        return (min(xs), min(ys), max(xs), max(ys))


class Segment(Shape):
    """A thick line with round caps."""

    def __init__(self, x0, y0, x1, y1, width):
        self.x0, self.y0 = x0, y0
        self.ex, self.ey = x1 - x0, y1 - y0
        self.inv = 1.0 / (self.ex ** 2 + self.ey ** 2 or 1.0)
        self.r = width / 2
        self.x1, self.y1 = x1, y1

    def sd(self, x, y):
        wx, wy = x - self.x0, y - self.y0
        t = (wx * self.ex + wy * self.ey) * self.inv
        t = 0.0 if t < 0.0 else 1.0 if t > 1.0 else t
        return math.hypot(wx - self.ex * t, wy - self.ey * t) - self.r

    def bbox(self):
        r = self.r
        return (min(self.x0, self.x1) - r, min(self.y0, self.y1) - r,
                max(self.x0, self.x1) + r, max(self.y0, self.y1) + r)


class HalfPlane(Shape):
    """Everything on the left of the direction (x0, y0) -> (x1, y1)
    (left as seen on screen, where y grows downwards)."""

    def __init__(self, x0, y0, x1, y1):
        dx, dy = x1 - x0, y1 - y0
        n = math.hypot(dx, dy)
        self.nx, self.ny = -dy / n, dx / n
        self.d = self.nx * x0 + self.ny * y0

    def sd(self, x, y):
        return -(self.nx * x + self.ny * y - self.d)

    def bbox(self):
        return (-INF, -INF, INF, INF)


class Union(Shape):
    def __init__(self, *shapes):
        self.shapes = shapes

    def sd(self, x, y):
        return min(s.sd(x, y) for s in self.shapes)

    def bbox(self):
        boxes = [s.bbox() for s in self.shapes]
        return (min(b[0] for b in boxes), min(b[1] for b in boxes),
                max(b[2] for b in boxes), max(b[3] for b in boxes))


class Intersect(Shape):
    def __init__(self, *shapes):
        self.shapes = shapes

    def sd(self, x, y):
        return max(s.sd(x, y) for s in self.shapes)

    def bbox(self):
        boxes = [s.bbox() for s in self.shapes]
        return (max(b[0] for b in boxes), max(b[1] for b in boxes),
                min(b[2] for b in boxes), min(b[3] for b in boxes))


class Subtract(Shape):
    def __init__(self, a, b):
        self.a, self.b = a, b

    def sd(self, x, y):
        return max(self.a.sd(x, y), -self.b.sd(x, y))

    def bbox(self):
        return self.a.bbox()


class Offset(Shape):
    def __init__(self, shape, d):
        self.shape, self.d = shape, d

    def sd(self, x, y):
        return self.shape.sd(x, y) - self.d

    def bbox(self):
        x0, y0, x1, y1 = self.shape.bbox()
        d = self.d
        return (x0 - d, y0 - d, x1 + d, y1 + d)


class Stroke(Shape):
    def __init__(self, shape, width):
        self.shape, self.r = shape, width / 2

    def sd(self, x, y):
        return abs(self.shape.sd(x, y)) - self.r

    def bbox(self):
        x0, y0, x1, y1 = self.shape.bbox()
        r = self.r
        return (x0 - r, y0 - r, x1 + r, y1 + r)


class Xform(Shape):
    """Places a shape: scale (sx, sy), then rotate by rot degrees clockwise on
    screen, then move by (dx, dy)."""

    def __init__(self, shape, dx=0.0, dy=0.0, sx=1.0, sy=None, rot=0.0):
        self.shape = shape
        self.dx, self.dy = dx, dy
        self.sx = sx
        self.sy = sx if sy is None else sy
        a = math.radians(rot)
        self.c, self.s = math.cos(a), math.sin(a)
        # A non-uniform scale distorts distances; scaling by the smaller
        # factor keeps the result an underestimate, which is all we need.
        self.k = min(self.sx, self.sy)

    def to_outer(self, x, y):
        x, y = x * self.sx, y * self.sy
        return (self.dx + self.c * x - self.s * y, self.dy + self.s * x + self.c * y)

    def sd(self, x, y):
        x -= self.dx
        y -= self.dy
        lx = self.c * x + self.s * y
        ly = -self.s * x + self.c * y
        return self.shape.sd(lx / self.sx, ly / self.sy) * self.k

    def bbox(self):
        x0, y0, x1, y1 = self.shape.bbox()
        if x0 == -INF:
            return (x0, y0, x1, y1)
        pts = [self.to_outer(x, y) for x in (x0, x1) for y in (y0, y1)]
        return (min(p[0] for p in pts), min(p[1] for p in pts),
                max(p[0] for p in pts), max(p[1] for p in pts))


def star(cx, cy, r_out, r_in, n=5):
    pts = []
    for i in range(2 * n):
        r = r_out if i % 2 == 0 else r_in
        a = math.radians(-90.0 + 180.0 * i / n)
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return Polygon(pts)


def arrow(x0, y0, x1, y1, shaft, head, head_len):
    """Arrow from its tail (x0, y0) to its tip (x1, y1)."""
    dx, dy = x1 - x0, y1 - y0
    n = math.hypot(dx, dy)
    ux, uy = dx / n, dy / n
    px, py = -uy, ux
    bx, by = x1 - ux * head_len, y1 - uy * head_len
    s, h = shaft / 2, head / 2
    return Polygon([
        (x0 + px * s, y0 + py * s), (bx + px * s, by + py * s),
        (bx + px * h, by + py * h), (x1, y1),
        (bx - px * h, by - py * h), (bx - px * s, by - py * s),
        (x0 - px * s, y0 - py * s),
    ])


def plus(cx, cy, arm, width):
    return (Rect(cx - arm, cy - width / 2, cx + arm, cy + width / 2)
            | Rect(cx - width / 2, cy - arm, cx + width / 2, cy + arm))


def cross(cx, cy, arm, width):
    return (Segment(cx - arm, cy - arm, cx + arm, cy + arm, width)
            | Segment(cx + arm, cy - arm, cx - arm, cy + arm, width))


# --------------------------------------------------------------------------
# Canvas
# --------------------------------------------------------------------------

class Canvas:
    """RGBA raster with premultiplied float pixels.

    Drawing coordinates are design units: an icon is designed on a 16 x 16
    grid whatever its pixel size, so one drawing function serves every size.
    """

    SS = 4  # supersampling grid per axis for pixels on an edge

    def __init__(self, width, height, units=None):
        self.w, self.h = width, height
        self.scale = width / units if units else 1.0
        self.size = width
        self.pix = [0.0] * (width * height * 4)
        self.stack = []
        # Outlines are kept a whole number of pixels wide: one pixel at the
        # small sizes, a little more for the larger ones.
        px = max(1, round(width / 20)) if width <= 48 else round(width / 28)
        self.ow = px / self.scale

    # -- placement ---------------------------------------------------------

    @contextlib.contextmanager
    def at(self, dx=0.0, dy=0.0, scale=1.0, rot=0.0):
        self.stack.append((dx, dy, scale, rot))
        try:
            yield self
        finally:
            self.stack.pop()

    def place(self, shape):
        for dx, dy, scale, rot in reversed(self.stack):
            shape = Xform(shape, dx, dy, scale, None, rot)
        return shape

    def map(self, x, y):
        """Where a point of the current placement ends up on the canvas."""
        for dx, dy, scale, rot in reversed(self.stack):
            x, y = Xform(None, dx, dy, scale, None, rot).to_outer(x, y)
        return x, y

    def snap(self, v):
        """Nearest pixel boundary, so that key edges stay crisp."""
        return round(v * self.scale) / self.scale

    # -- painting ----------------------------------------------------------

    def _coverage(self, shape):
        """Yield (pixel index, x, y, coverage) for pixels the shape touches."""
        sc = self.scale
        inv = 1.0 / sc
        x0, y0, x1, y1 = shape.bbox()
        px0 = max(0, int(math.floor(x0 * sc)) - 1)
        py0 = max(0, int(math.floor(y0 * sc)) - 1)
        px1 = min(self.w, int(math.ceil(x1 * sc)) + 1)
        py1 = min(self.h, int(math.ceil(y1 * sc)) + 1)
        ss = self.SS
        offs = [((i + 0.5) / ss - 0.5) * inv for i in range(ss)]
        nsamples = float(ss * ss)
        sd = shape.sd
        # A pixel whose centre is further than half its diagonal from the
        # edge is entirely on one side.
        thr = 0.72
        for py in range(py0, py1):
            yu = (py + 0.5) * inv
            row = py * self.w
            for px in range(px0, px1):
                xu = (px + 0.5) * inv
                d = sd(xu, yu) * sc
                if d >= thr:
                    continue
                if d <= -thr:
                    cov = 1.0
                else:
                    n = 0
                    for oy in offs:
                        for ox in offs:
                            if sd(xu + ox, yu + oy) < 0.0:
                                n += 1
                    if n == 0:
                        continue
                    cov = n / nsamples
                yield (row + px) * 4, xu, yu, cov

    def fill(self, shape, paint):
        shape = self.place(shape)
        pix = self.pix
        solid = not callable(paint)
        if solid:
            r, g, b, a = _rgba(paint)
        for i, xu, yu, cov in self._coverage(shape):
            if not solid:
                r, g, b, a = paint(xu, yu)
            sa = a / 255.0 * cov
            if sa <= 0.0:
                continue
            k = 1.0 - sa
            pix[i] = r / 255.0 * sa + pix[i] * k
            pix[i + 1] = g / 255.0 * sa + pix[i + 1] * k
            pix[i + 2] = b / 255.0 * sa + pix[i + 2] * k
            pix[i + 3] = sa + pix[i + 3] * k

    def erase(self, shape):
        """Cut a hole, e.g. the gap that sets a badge off from the drawing."""
        pix = self.pix
        for i, _, _, cov in self._coverage(self.place(shape)):
            k = 1.0 - cov
            for j in range(i, i + 4):
                pix[j] *= k

    def outlined(self, shape, fill, line=INK, width=None):
        """Shape filled with `fill` inside an outline of `line`."""
        width = self.ow if width is None else width
        self.fill(shape, line)
        self.fill(shape.shrink(width), fill)

    def bold(self, shape, fill, line):
        """Like outlined(), but a narrow shape at 16 px is filled solid: a
        one pixel outline would leave hardly any fill colour to see."""
        if self.size < 24:
            self.fill(shape, fill)
        else:
            self.outlined(shape, fill, line)

    def text(self, x, y, string, colour, dot=1.0):
        """Text in the 5x7 dot font, top left corner at (x, y)."""
        for ch in string:
            for row, bits in enumerate(FONT.get(ch, FONT[" "])):
                for col, bit in enumerate(bits):
                    if bit == "#":
                        self.fill(Rect(x + col * dot, y + row * dot,
                                       x + (col + 1) * dot, y + (row + 1) * dot), colour)
            x += 6 * dot

    # -- output ------------------------------------------------------------

    def rgba_rows(self):
        """Straight-alpha 8-bit RGBA, one bytes object per row, top first."""
        rows = []
        pix = self.pix
        for y in range(self.h):
            row = bytearray()
            for x in range(self.w):
                i = (y * self.w + x) * 4
                a = pix[i + 3]
                if a <= 1.0 / 510.0:
                    row += b"\0\0\0\0"
                    continue
                a = min(a, 1.0)
                row += bytes(min(255, int(pix[i + c] / a * 255.0 + 0.5)) for c in range(3))
                row.append(int(a * 255.0 + 0.5))
            rows.append(bytes(row))
        return rows


# 5x7 dot font, only the characters the drawings need.
FONT = {
    " ": ["....."] * 7,
    "-": [".....", ".....", ".....", ".###.", ".....", ".....", "....."],
    ":": [".....", "..#..", "..#..", ".....", "..#..", "..#..", "....."],
    "0": [".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."],
    "1": ["..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "2": [".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"],
    "4": ["...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."],
    "5": ["#####", "#....", "####.", "....#", "....#", "#...#", ".###."],
    "6": ["..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."],
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "B": ["####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."],
    "C": [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    "D": ["###..", "#..#.", "#...#", "#...#", "#...#", "#..#.", "###.."],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "G": [".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"],
    "H": ["#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "K": ["#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"],
    "M": ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
    "N": ["#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    "Q": [".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "U": ["#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "V": ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "W": ["#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."],
    "X": ["#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"],
}


# --------------------------------------------------------------------------
# Building blocks shared by several icons
# --------------------------------------------------------------------------

def badge(c, cx, cy, r, colour, dark, mark):
    """Round status badge (plus, minus, ...) set off by a transparent gap."""
    c.erase(Circle(cx, cy, r + c.ow))
    c.outlined(Circle(cx, cy, r), colour, dark)
    c.fill(mark, WHITE)


def plus_badge(c, cx=11.5, cy=11.5, r=4.3):
    badge(c, cx, cy, r, GREEN, GREEN_DARK, plus(cx, cy, r * 0.62, r * 0.42))


def minus_badge(c, cx=11.5, cy=11.5, r=4.3):
    arm = r * 0.62
    badge(c, cx, cy, r, RED, RED_DARK, Rect(cx - arm, cy - r * 0.21, cx + arm, cy + r * 0.21))


def page(c, x0, y0, x1, y1, fold=3.0, fill=PAPER):
    shape = Polygon([(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)])
    c.outlined(shape, fill)
    ear = Polygon([(x1 - fold, y0), (x1 - fold, y0 + fold), (x1, y0 + fold)])
    c.outlined(ear, PAPER_SHADE)


def text_lines(c, x0, x1, ys, colour, height=None):
    height = c.ow if height is None else height
    for i, y in enumerate(ys):
        # Uneven line lengths read as text rather than as a grid.
        end = x1 - (i % 3) * (x1 - x0) * 0.18
        c.fill(Rect(x0, y, end, y + height), colour)


def floppy(c):
    sn = c.snap
    body = Polygon([(sn(1.5), sn(1.5)), (sn(12), sn(1.5)), (sn(14.5), sn(4)),
                    (sn(14.5), sn(14.5)), (sn(1.5), sn(14.5))])
    c.outlined(body, BLUE, BLUE_DARK)
    c.outlined(Rect(sn(4.5), sn(1.5), sn(11), sn(6.5)), METAL, BLUE_DARK)
    c.fill(Rect(sn(8.5), sn(2.5), sn(10), sn(5.5)), BLUE_DARK)
    c.outlined(Rect(sn(3.5), sn(8.5), sn(12.5), sn(14.5)), PAPER, BLUE_DARK)
    if c.size >= 24:
        text_lines(c, 5.0, 11.0, [10.5, 12.3], BLUE_LIGHT, 0.8)


def pencil(c):
    """A pencil along the +x axis, its point at the origin."""
    body = Rect(3.0, -1.5, 9.0, 1.5)
    c.outlined(body, AMBER, INK)
    c.fill(Rect(3.0 + c.ow, -0.25, 9.0 - c.ow, 0.25), AMBER_DARK)
    c.outlined(Rect(8.5, -1.5, 10.5, 1.5, 0.6), RED, INK)
    wood = Polygon([(0.0, 0.0), (3.4, -1.5), (3.4, 1.5)])
    c.outlined(wood, (236, 204, 160), INK)
    c.fill(Polygon([(0.0, 0.0), (1.3, -0.58), (1.3, 0.58)]), INK)


def par_can(c, beam=True):
    """Stage light seen from the side, hanging from its yoke and aiming
    down to the right; drawn around its pivot at the origin."""
    ow = c.ow
    # The beam first so the housing covers its start.
    if beam:
        with c.at(rot=32):
            sx, sy = c.map(4.4, 0.0)
            ex, ey = c.map(12.0, 0.0)
            c.fill(Polygon([(4.4, -3.0), (13.0, -6.5), (13.0, 6.5), (4.4, 3.0)]),
                   linear(sx, sy, ex, ey, with_alpha(BEAM, 235), with_alpha(BEAM, 0)))
    # Clamp and yoke arm.
    c.outlined(Rect(-2.2, -6.6, 2.2, -4.8, 0.4), METAL_DARK, INK)
    c.outlined(Rect(-0.9, -5.4, 0.9, 0.0), INK_SOFT, INK)
    with c.at(rot=32):
        housing = Polygon([(-5.6, -2.3), (3.2, -3.0), (3.2, 3.0), (-5.6, 2.3)])
        c.outlined(housing, BODY, INK)
        if c.size >= 24:
            c.fill(Polygon([(-5.6 + ow, -2.3 + ow), (3.2 - ow, -3.0 + ow),
                            (3.2 - ow, -1.6), (-5.6 + ow, -1.2)]), BODY_LIGHT)
        c.outlined(Rect(2.8, -3.9, 4.6, 3.9, 0.5), INK_SOFT, INK)
    c.outlined(Circle(0.0, 0.0, 1.3), METAL, INK)


def fader(c):
    sn = c.snap
    ow = c.ow
    c.fill(Rect(sn(4.5) - 0.5 * ow - 0.5, 1.0, sn(4.5) + 0.5 * ow + 0.5, 15.0, 1.0), INK)
    for y in (1.5, 4.75, 8.0, 11.25, 14.5):
        c.fill(Rect(sn(9.0), sn(y) - ow / 2, sn(11.0), sn(y) + ow / 2), INK_SOFT)
    cap = Rect(sn(1.0), sn(5.5), sn(8.0), sn(9.5), 1.0)
    c.outlined(cap, METAL, INK)
    c.fill(Rect(sn(1.0) + ow, sn(7.5) - ow / 2, sn(8.0) - ow, sn(7.5) + ow / 2), INK)


def handheld(c, x0, y0, x1, y1):
    """Compact tester: body, display and a red knob, used in the upload
    icon.  The application icon has its own, more detailed drawing."""
    w = x1 - x0
    c.outlined(Rect(x0, y0, x1, y1, w * 0.2), BODY, INK)
    c.outlined(Rect(x0 + w * 0.2, y0 + w * 0.22, x1 - w * 0.2, y0 + w * 0.72), LCD, INK)
    c.outlined(Circle((x0 + x1) / 2, y1 - w * 0.45, w * 0.24), RED, RED_DARK)


def monitor(c, x0, y0, x1, y1):
    sn = c.snap
    c.outlined(Rect(sn(x0), sn(y0), sn(x1), sn(y1), 0.8), INK_SOFT, INK)
    c.fill(Rect(sn(x0) + 1.6 * c.ow, sn(y0) + 1.6 * c.ow,
                sn(x1) - 1.6 * c.ow, sn(y1) - 1.6 * c.ow), BLUE_LIGHT)
    mid = (x0 + x1) / 2
    c.fill(Rect(sn(mid - 1.0), sn(y1), sn(mid + 1.0), sn(y1 + 1.5)), INK)
    c.fill(Rect(sn(mid - 3.0), sn(y1 + 1.5) - c.ow, sn(mid + 3.0), sn(y1 + 1.5) + c.ow * 0.5, 0.3), INK)


def list_panel(c, selected):
    sn = c.snap
    ow = c.ow
    c.outlined(Rect(sn(0.5), sn(1.0), sn(15.5), sn(15.0), 1.2), PAPER, INK)
    for y in (2.5, 6.5, 10.5):
        top, bottom = sn(y), sn(y + 3.0)
        if selected:
            c.fill(Rect(sn(1.0) + ow, top, sn(15.0) - ow, bottom, 0.5), BLUE)
            if c.size >= 24:
                tick = Polygon([(2.8, y + 1.4), (3.8, y + 2.4), (5.8, y + 0.4)])
                c.fill(tick.stroke(max(0.9, ow)), WHITE)
            else:
                # No room for a tick mark: a white box stands in for it.
                c.fill(Rect(sn(3.0), top + 1.0, sn(5.0), bottom - 1.0), WHITE)
            c.fill(Rect(sn(7.0), sn(y + 1.5) - ow / 2, sn(13.5), sn(y + 1.5) + ow / 2), WHITE)
        else:
            c.outlined(Rect(sn(2.5), top + 0.25, sn(5.5), bottom - 0.25, 0.4), PAPER, INK_SOFT)
            c.fill(Rect(sn(7.0), sn(y + 1.5) - ow / 2, sn(13.5), sn(y + 1.5) + ow / 2), INK_SOFT)


# --------------------------------------------------------------------------
# Icons, each drawn on a 16 x 16 unit grid
# --------------------------------------------------------------------------

def icon_app(c):
    """The tester in the beam of a stage light: the program's icon."""
    sn = c.snap
    ow = c.ow
    if c.size >= 32:
        # The light itself is off the top right corner; its cone fades out
        # as it spreads behind the tester.
        c.fill(Polygon([(16.0, 0.0), (16.0, 4.0), (4.0, 16.0), (0.0, 16.0), (0.0, 10.0), (12.0, 0.0)]),
               linear(16.0, 0.0, 2.0, 14.0, with_alpha(BEAM, 250), with_alpha(BEAM, 20)))
    # XLR socket on top of the housing.
    xlr = Rect(sn(5.5), sn(0.5), sn(10.5), sn(3.5), 0.6)
    c.outlined(xlr, linear(5.5, 0, 10.5, 0, METAL_DARK, METAL_LIGHT), INK)
    if c.size >= 24:
        c.fill(Rect(sn(5.5) + ow, sn(1.6), sn(10.5) - ow, sn(1.6) + ow), METAL_DARK)
    body = Rect(sn(2.5), sn(2.5), sn(13.5), sn(15.5), 2.2)
    c.outlined(body, linear(0, 2.5, 0, 15.5, BODY_LIGHT, BODY), INK)
    # Display with a few lines of text and, when there is room, a level bar.
    c.outlined(Rect(sn(4.0), sn(4.0), sn(12.0), sn(9.0), 0.6), LCD, INK)
    if c.size < 32:
        lines, lh = [(5.4, 10.6), (7.0, 8.6)], ow
    elif c.size < 64:
        lines, lh = [(5.1, 10.6), (6.3, 8.6), (7.5, 9.6)], ow
    else:
        lines, lh = [(5.0, 10.4), (5.9, 8.4), (6.8, 9.6)], 0.45
    for y, end in lines:
        c.fill(Rect(5.2, sn(y), end, sn(y) + lh), LCD_INK)
    if c.size >= 64:
        c.fill(Rect(5.2, 7.75, 10.8, 8.35).stroke(0.15), LCD_INK)
        c.fill(Rect(5.35, 7.9, 8.6, 8.2), LCD_INK)
    # Knob and buttons.
    c.outlined(Circle(8.0, 12.3, 2.2), radial(7.4, 11.7, 2.4, (240, 90, 50), RED), RED_DARK)
    c.fill(Segment(8.0, 12.3, 8.0, 10.8, max(0.45, ow)), WHITE)
    if c.size >= 24:
        for x in (4.6, 11.4):
            c.outlined(Circle(x, 12.3, 1.0), METAL, INK)


def icon_new(c):
    page(c, c.snap(4.0), c.snap(1.0), c.snap(14.0), c.snap(15.0))
    if c.size >= 24:
        text_lines(c, 6.5, 11.5, [8.0, 10.0, 12.0], PAPER_SHADE, max(c.ow, 0.8))
    c.outlined(star(4.8, 5.2, 4.6, 2.0), AMBER, AMBER_DARK)


def icon_open(c):
    sn = c.snap
    back = Polygon([(sn(0.5), sn(2.0)), (sn(5.5), sn(2.0)), (sn(7.0), sn(3.5)),
                    (sn(13.5), sn(3.5)), (sn(13.5), sn(14.5)), (sn(0.5), sn(14.5))])
    c.outlined(back, AMBER_DARK, INK)
    c.outlined(Rect(sn(2.5), sn(5.0), sn(12.0), sn(12.0)), PAPER, INK)
    front = Polygon([(sn(3.5), sn(7.0)), (sn(15.5), sn(7.0)),
                     (sn(13.0), sn(14.5)), (sn(0.5), sn(14.5))])
    c.outlined(front, AMBER, INK)


def icon_save(c):
    floppy(c)


def icon_save_as(c):
    with c.at(0.0, 0.0, 0.82):
        floppy(c)
    with c.at(8.2, 15.2, 1.0, -45.0):
        c.erase(Rect(-0.5, -2.8, 11.5, 2.8, 2.0))
        pencil(c)


def icon_import(c):
    sn = c.snap
    tray = Polygon([(sn(0.5), sn(8.5)), (sn(4.0), sn(8.5)), (sn(5.5), sn(11.0)),
                    (sn(10.5), sn(11.0)), (sn(12.0), sn(8.5)), (sn(15.5), sn(8.5)),
                    (sn(15.5), sn(15.0)), (sn(0.5), sn(15.0))])
    c.outlined(tray, METAL, INK)
    c.outlined(arrow(8.0, 0.5, 8.0, 11.5, 4.0, 10.0, 5.5), GREEN, GREEN_DARK)


def icon_cancel(c):
    c.outlined(Circle(8.0, 8.0, 7.5), radial(6.0, 5.5, 9.0, (240, 80, 40), RED), RED_DARK)
    c.fill(cross(8.0, 8.0, 2.9, 2.1), WHITE)


def icon_upload(c):
    handheld(c, 8.5, 0.5, 15.5, 15.5)
    c.bold(arrow(0.8, 15.2, 8.6, 7.4, 3.4, 8.6, 4.6), RED, RED_DARK)


def icon_download(c):
    monitor(c, 0.5, 6.5, 11.0, 13.0)
    c.bold(arrow(15.2, 0.8, 7.0, 9.0, 3.4, 8.6, 4.6), BLUE, BLUE_DARK)


def icon_fixture(c):
    with c.at(6.2, 7.0):
        par_can(c)


def icon_fixture_new(c):
    with c.at(5.4, 6.2, 0.85):
        par_can(c)
    plus_badge(c)


def icon_fixture_del(c):
    with c.at(5.4, 6.2, 0.85):
        par_can(c)
    minus_badge(c)


def icon_clone(c):
    sn = c.snap
    c.outlined(Rect(sn(1.0), sn(1.0), sn(10.5), sn(11.0), 0.8), PAPER_SHADE, INK)
    c.outlined(Rect(sn(5.5), sn(5.0), sn(15.0), sn(15.0), 0.8), PAPER, INK)
    lh = max(c.ow, 0.8)
    text_lines(c, 7.5, 13.0, [sn(7.5), sn(10.0), sn(12.5)], BLUE, lh)


def icon_all_selected(c):
    list_panel(c, True)


def icon_nothing_selected(c):
    list_panel(c, False)


def icon_search(c):
    c.fill(Segment(9.8, 9.8, 14.2, 14.2, 3.4), INK)
    c.fill(Segment(11.0, 11.0, 14.2, 14.2, 3.4).shrink(c.ow * 0.8), INK_SOFT)
    c.outlined(Circle(6.5, 6.5, 5.6), BLUE_LIGHT, INK, max(c.ow, 1.5))
    glint = Circle(6.5, 6.5, 3.3).stroke(1.0) & HalfPlane(8.0, 2.0, 2.0, 8.0)
    c.fill(glint, with_alpha(WHITE, 220))


def icon_catalogue(c):
    """A fixture found in a catalogue: the par can under a magnifier."""
    with c.at(5.0, 6.0, 0.8):
        par_can(c)
    with c.at(5.6, 5.6, 0.65):
        icon_search(c)


def icon_fit_refused(c):
    """The device refuses the definition: a no-entry sign."""
    c.outlined(Circle(8.0, 8.0, 7.0), radial(6.0, 5.5, 9.0, (240, 80, 40), RED), RED_DARK)
    c.fill(Rect(3.6, 6.6, 12.4, 9.4), WHITE)


def icon_fit_changed(c):
    """The device will change something: a warning triangle."""
    c.outlined(Polygon([(8.0, 1.0), (15.2, 14.6), (0.8, 14.6)]), AMBER, AMBER_DARK)
    c.fill(Rect(7.0, 5.2, 9.0, 10.4), INK)
    c.fill(Rect(7.0, 11.6, 9.0, 13.4), INK)


def icon_fit_fine(c):
    """The device takes the definition as it is: a tick."""
    c.outlined(Circle(8.0, 8.0, 7.0), GREEN, GREEN_DARK)
    c.fill(Polygon([(3.8, 8.2), (5.4, 6.6), (7.2, 8.4), (11.0, 4.4), (12.6, 6.0), (7.2, 11.6)]), WHITE)


def icon_on_device(c):
    """Already held by the device: the tester."""
    handheld(c, 4.0, 0.5, 12.0, 15.5)


def icon_channel_new(c):
    fader(c)
    plus_badge(c)


def icon_channel_del(c):
    fader(c)
    minus_badge(c)


def icon_up(c):
    c.outlined(arrow(8.0, 15.0, 8.0, 1.0, 5.0, 13.5, 7.0), BLUE, BLUE_DARK)


def icon_down(c):
    c.outlined(arrow(8.0, 1.0, 8.0, 15.0, 5.0, 13.5, 7.0), BLUE, BLUE_DARK)


ICONS = {
    "Korvane32": icon_app,
    "new": icon_new,
    "open": icon_open,
    "save": icon_save,
    "save_as": icon_save_as,
    "Import": icon_import,
    "cancel": icon_cancel,
    "upload": icon_upload,
    "download": icon_download,
    "fixture_new": icon_fixture_new,
    "fixture_del": icon_fixture_del,
    "clone": icon_clone,
    "AllSelected": icon_all_selected,
    "NothingSelected": icon_nothing_selected,
    "search": icon_search,
    "channel_new": icon_channel_new,
    "channel_del": icon_channel_del,
    "Up": icon_up,
    "Down": icon_down,
    "Fixture": icon_fixture,
    "catalogue": icon_catalogue,
    "fit_refused": icon_fit_refused,
    "fit_changed": icon_fit_changed,
    "fit_fine": icon_fit_fine,
    "on_device": icon_on_device,
}

ICO_SIZES = (16, 24, 32, 48)
APP_ICON_SIZES = (16, 32, 48, 64, 128, 256)


def render_icon(draw, size):
    c = Canvas(size, size, 16)
    draw(c)
    return c


# --------------------------------------------------------------------------
# The device picture for the About dialog, drawn in pixels
# --------------------------------------------------------------------------

def draw_device():
    w, h = 150, 220
    c = Canvas(w, h)
    # Soft shadow from a few widening translucent layers.
    for i in range(6):
        c.fill(Rect(17, 40, 139, 219, 22).grow(i * 0.8), (0, 0, 0, 9))

    # XLR connector on the top edge: a metal barrel with a rubber collar.
    c.fill(Rect(50, 3, 100, 38, 4), INK)
    c.fill(Rect(51.5, 4.5, 98.5, 36.5, 3), _barrel(51.5, 98.5))
    for y in (10.0, 28.0):
        c.fill(Rect(51.5, y, 98.5, y + 1.5), (110, 118, 130, 200))
    c.fill(Rect(68, 14, 82, 24, 2), INK)
    c.fill(Rect(69.5, 15.5, 80.5, 22.5, 1.5), linear(0, 15, 0, 23, METAL_DARK, (70, 78, 90)))
    c.fill(Rect(44, 30, 106, 42, 5), (30, 33, 38))

    # Housing.
    c.fill(Rect(14, 36, 136, 216, 20), (22, 25, 30))
    c.fill(Rect(16, 38, 134, 214, 18), linear(0, 38, 0, 214, (82, 90, 102), (40, 45, 53)))
    c.fill(Rect(19, 41, 131, 211, 15).stroke(1.0), (255, 255, 255, 28))
    c.text(24, 46, "KORVANE", (232, 236, 240), 1.0)
    c.fill(Rect(24, 55, 66, 56.5), RED)
    c.text(79, 46, "QRD-540B", (150, 160, 174))
    # Power LED.
    c.fill(Circle(124, 58, 4), radial(124, 58, 4, (120, 255, 120, 140), (60, 200, 80, 0)))
    c.fill(Circle(124, 58, 2), (150, 255, 150))

    # Display.
    c.fill(Rect(24, 64, 126, 128, 6), (18, 20, 24))
    c.fill(Rect(30, 70, 120, 122, 3), linear(0, 70, 0, 122, (196, 226, 140), LCD))
    c.text(33, 74, "DMX OUT  001", LCD_INK)
    c.text(33, 84, "CH 001   255", LCD_INK)
    c.text(33, 94, "PAR 64  RGBW", LCD_INK)
    c.fill(Rect(33, 106, 117, 114).stroke(1.0), LCD_INK)
    c.fill(Rect(35, 108, 88, 112), LCD_INK)
    c.fill(Rect(30, 70, 120, 77, 3), (255, 255, 255, 40))

    # Keys under the display.
    for i, x in enumerate((38, 63, 88, 113)):
        cap = RED if i == 3 else (120, 128, 140)
        c.fill(Circle(x, 142, 8.5), (16, 18, 22))
        c.fill(Circle(x, 142, 7), radial(x - 2.5, 139.5, 9, mix(cap, WHITE, 0.35), cap))
    # Rotary encoder with a knurled rim and a pointer.
    cx, cy = 75.0, 182.0
    c.fill(ellipse(cx, cy + 3, 26.5, 27.5), (0, 0, 0, 60))
    c.fill(Circle(cx, cy, 25.5), (16, 18, 22))
    c.fill(Circle(cx, cy, 24), (46, 51, 58))
    for i in range(30):
        a = 2 * math.pi * i / 30
        c.fill(Segment(cx + 20.5 * math.cos(a), cy + 20.5 * math.sin(a),
                       cx + 23 * math.cos(a), cy + 23 * math.sin(a), 1.6), (86, 94, 106))
    c.fill(Circle(cx, cy, 18.5), radial(cx - 6, cy - 7, 30, (150, 158, 170), (52, 58, 66)))
    a = math.radians(-130)
    c.fill(Segment(cx + 7 * math.cos(a), cy + 7 * math.sin(a),
                   cx + 15 * math.cos(a), cy + 15 * math.sin(a), 3.0), RED)
    # Two small keys beside the encoder.
    for x, mark in ((31.0, -1), (119.0, 1)):
        c.fill(Circle(x, 182, 7.5), (16, 18, 22))
        c.fill(Circle(x, 182, 6), radial(x - 2, 180, 8, (150, 158, 170), (96, 104, 116)))
        c.fill(Polygon([(x - 2.2 * mark, 179), (x + 2.4 * mark, 182), (x - 2.2 * mark, 185)]),
               (30, 34, 40))
    return c


def _barrel(x0, x1):
    """Shading of a metal cylinder seen from the side: light in the middle."""
    mid = (x0 + x1) / 2 - 4
    half = (x1 - x0) / 2

    def paint(x, y):
        t = min(1.0, abs(x - mid) / half)
        return mix(METAL_LIGHT, METAL_DARK, t ** 1.5)

    return paint


# --------------------------------------------------------------------------
# Busy spinner
# --------------------------------------------------------------------------

SPINNER_SIZE = 30
SPINNER_FRAMES = 12
SPINNER_DELAY_CS = 8  # hundredths of a second per frame
# Grey ramp for the GIF colour table; the lightest entry doubles as the
# colour shown by viewers that ignore transparency, so it is a window grey.
SPINNER_DARK, SPINNER_MATTE = 48, 239
SPINNER_LEVELS = 15  # palette entries 1..15; entry 0 is transparent


def spinner_frames():
    """Frames as rows of palette indices."""
    n = SPINNER_FRAMES
    cx = cy = SPINNER_SIZE / 2
    frames = []
    for f in range(n):
        c = Canvas(SPINNER_SIZE, SPINNER_SIZE)
        for i in range(n):
            # Segment f is the darkest; the ones it has passed fade out.
            age = (f - i) % n
            grey = round(SPINNER_DARK + (214 - SPINNER_DARK) * (age / (n - 1)) ** 0.7)
            a = 2 * math.pi * i / n - math.pi / 2
            ca, sa = math.cos(a), math.sin(a)
            c.fill(Segment(cx + 7.0 * ca, cy + 7.0 * sa, cx + 12.2 * ca, cy + 12.2 * sa, 3.2),
                   (grey, grey, grey))
        frames.append(_to_indices(c))
    return frames


def _spinner_palette():
    pal = [(SPINNER_MATTE,) * 3]
    for k in range(SPINNER_LEVELS):
        v = round(SPINNER_DARK + (SPINNER_MATTE - SPINNER_DARK) * k / (SPINNER_LEVELS - 1))
        pal.append((v, v, v))
    return pal


def _to_indices(c):
    """GIF has on/off transparency only: faint edge pixels are dropped and the
    rest are flattened onto the window grey before picking a palette entry."""
    levels = [p[0] for p in _spinner_palette()[1:]]
    rows = []
    for y in range(c.h):
        row = bytearray()
        for x in range(c.w):
            i = (y * c.w + x) * 4
            a = c.pix[i + 3]
            if a < 0.4:
                row.append(0)
                continue
            v = (c.pix[i] + (1.0 - a) * SPINNER_MATTE / 255.0) * 255.0
            best = min(range(len(levels)), key=lambda k: abs(levels[k] - v))
            row.append(best + 1)
        rows.append(bytes(row))
    return rows


# --------------------------------------------------------------------------
# Encoders
# --------------------------------------------------------------------------

def png_bytes(width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    # No row filters: the images are small, and this keeps the writer trivial.
    raw = b"".join(b"\0" + r for r in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def ico_bytes(images):
    """images: list of (size, rgba rows).  Every entry is an uncompressed
    32-bit DIB, which all ICO readers accept, unlike PNG entries."""
    header = struct.pack("<HHH", 0, 1, len(images))
    directory = b""
    blobs = b""
    offset = 6 + 16 * len(images)
    for size, rows in images:
        mask_stride = ((size + 31) // 32) * 4
        xor = bytearray()
        mask = bytearray()
        for row in reversed(rows):  # DIBs are stored bottom-up
            bits = bytearray(mask_stride)
            for x in range(size):
                r, g, b, a = row[4 * x:4 * x + 4]
                xor += bytes((b, g, r, a))
                if a == 0:
                    bits[x >> 3] |= 0x80 >> (x & 7)
            mask += bits
        info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                           len(xor) + len(mask), 0, 0, 0, 0)
        blob = info + bytes(xor) + bytes(mask)
        dim = size if size < 256 else 0
        directory += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset)
        blobs += blob
        offset += len(blob)
    return header + directory + blobs


def lzw_encode(pixels, min_code_size):
    """GIF flavour of LZW: codes start one bit wider than the pixel depth,
    grow up to 12 bits, and the table is reset with a clear code when full."""
    clear = 1 << min_code_size
    end = clear + 1
    out = bytearray()
    acc = 0
    nbits = 0

    def emit(code, width):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    def reset():
        return {}, end + 1, min_code_size + 1

    table, next_code, width = reset()
    emit(clear, width)
    prefix = None
    for p in pixels:
        if prefix is None:
            prefix = p
            continue
        key = (prefix, p)
        code = table.get(key)
        if code is not None:
            prefix = code
            continue
        emit(prefix, width)
        if next_code < 4096:
            table[key] = next_code
            next_code += 1
            # The decoder learns each code one step later than we do, so
            # widen only once the code just assigned no longer fits.
            if next_code > (1 << width) and width < 12:
                width += 1
        else:
            emit(clear, width)
            table, next_code, width = reset()
        prefix = p
    if prefix is not None:
        emit(prefix, width)
    emit(end, width)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def gif_bytes(width, height, palette, frames, delay_cs):
    bits = max(1, (len(palette) - 1).bit_length())
    table = b"".join(bytes(c) for c in palette) + b"\0\0\0" * ((1 << bits) - len(palette))
    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", width, height, 0x80 | ((bits - 1) << 4) | (bits - 1), 0, 0)
    out += table
    # Loop forever.
    out += b"\x21\xff\x0bNETSCAPE2.0\x03\x01" + struct.pack("<H", 0) + b"\0"
    min_code = max(2, bits)
    for rows in frames:
        # Disposal 2 (restore to background) with palette entry 0 transparent.
        out += b"\x21\xf9\x04" + struct.pack("<BHB", (2 << 2) | 1, delay_cs, 0) + b"\0"
        out += b"\x2c" + struct.pack("<HHHHB", 0, 0, width, height, 0)
        data = lzw_encode(b"".join(rows), min_code)
        out.append(min_code)
        for i in range(0, len(data), 255):
            block = data[i:i + 255]
            out.append(len(block))
            out += block
        out.append(0)
    out.append(0x3B)
    return bytes(out)


# --------------------------------------------------------------------------
# Texts
# --------------------------------------------------------------------------

LICENSE_TXT = """\
MIT License

Copyright (c) 2026 The QRD Fixture Library Editor developers

Permission is hereby granted, free of charge, to any person obtaining a copy
of this software and associated documentation files (the "Software"), to deal
in the Software without restriction, including without limitation the rights
to use, copy, modify, merge, publish, distribute, sublicense, and/or sell
copies of the Software, and to permit persons to whom the Software is
furnished to do so, subject to the following conditions:

The above copyright notice and this permission notice shall be included in all
copies or substantial portions of the Software.

THE SOFTWARE IS PROVIDED "AS IS", WITHOUT WARRANTY OF ANY KIND, EXPRESS OR
IMPLIED, INCLUDING BUT NOT LIMITED TO THE WARRANTIES OF MERCHANTABILITY,
FITNESS FOR A PARTICULAR PURPOSE AND NONINFRINGEMENT. IN NO EVENT SHALL THE
AUTHORS OR COPYRIGHT HOLDERS BE LIABLE FOR ANY CLAIM, DAMAGES OR OTHER
LIABILITY, WHETHER IN AN ACTION OF CONTRACT, TORT OR OTHERWISE, ARISING FROM,
OUT OF OR IN CONNECTION WITH THE SOFTWARE OR THE USE OR OTHER DEALINGS IN THE
SOFTWARE.
"""

USB_LIBRARIES_TXT = """\
QRD Fixture Library Editor: USB libraries
=========================================

To talk to the Korvane QRD-540B and QRD-780 testers over USB, the
QRD Fixture Library Editor uses two libraries that are not part of the
program itself:

  libftdi1
    Copyright (C) 2003-2020 Intra2net AG and the libftdi developers
    Licence: GNU Lesser General Public License, version 2.1

  libusb-1.0
    Copyright (C) the libusb developers
    Licence: GNU Lesser General Public License, version 2.1

How the program uses them
-------------------------
Both libraries are linked dynamically: they stay separate shared libraries
(.so files on Linux, DLLs on Windows) that the program loads when it
starts. You may replace either of them with your own modified build of the
same library, as long as it keeps the same interface, and the program will
use it without being rebuilt. The program's own code is under its own
licence (see LICENSE.txt); the libraries stay under the LGPL 2.1.

Where to get their source code
------------------------------
The complete source code of both libraries, in the versions this program
is built against, comes from the Debian source packages "libftdi1" and
"libusb-1.0". On a Debian or Debian-based system with source repositories
enabled you can fetch them with

    apt-get source libftdi1 libusb-1.0

and they can also be browsed at https://sources.debian.org/src/libftdi1/
and https://sources.debian.org/src/libusb-1.0/.

No warranty
-----------
The two libraries are free software, given to you in the hope that they
are useful, but with no warranty at all, as far as the law allows. Their
authors and copyright holders provide them "as is", without any promise,
stated or implied, that they are fit to be sold or fit for any particular
purpose. All risk about how well they work is yours; if they turn out to
be faulty, the cost of any service, repair or correction is yours too. In
no case, unless the law demands it or it was agreed in writing, is any
copyright holder or anyone who changed or passed on the libraries liable
to you for damages arising from their use or from being unable to use
them. Sections 15 and 16 of the licence give the exact terms.

The full text of the GNU Lesser General Public License version 2.1 is at
https://www.gnu.org/licenses/old-licenses/lgpl-2.1.html
"""

FIRMWARE_PLACEHOLDER = b"placeholder: the real update file is made by the firmware tooling\n"
FIRMWARE_MODELS = ("QRD-540B", "QRD-780")


# --------------------------------------------------------------------------
# Main
# --------------------------------------------------------------------------

def write(path: Path, data: bytes, made: list):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)
    made.append(path)


def main() -> int:
    made: list[Path] = []
    pixmaps = HERE / "pixmaps"
    for name, draw in ICONS.items():
        images = [(s, render_icon(draw, s).rgba_rows()) for s in ICO_SIZES]
        write(pixmaps / f"{name}.ico", ico_bytes(images), made)

    for size in APP_ICON_SIZES:
        rows = render_icon(icon_app, size).rgba_rows()
        write(HERE / "icons" / f"qrd-fixture-editor-{size}.png", png_bytes(size, size, rows), made)

    device = draw_device()
    write(pixmaps / "QRD-540B.png", png_bytes(device.w, device.h, device.rgba_rows()), made)

    write(pixmaps / "ajax-loader.gif",
          gif_bytes(SPINNER_SIZE, SPINNER_SIZE, _spinner_palette(), spinner_frames(),
                    SPINNER_DELAY_CS), made)

    licences = HERE / "licenses" / "LICENSES"
    write(licences / "LICENSE.txt", LICENSE_TXT.encode("ascii"), made)
    write(licences / "USB-LIBRARIES.txt", USB_LIBRARIES_TXT.encode("ascii"), made)

    for model in FIRMWARE_MODELS:
        path = HERE / "firmware" / model / f"{model}.kv2"
        # The firmware tooling owns these once it has produced a real file.
        if not path.exists():
            write(path, FIRMWARE_PLACEHOLDER, made)

    for path in made:
        print(path.relative_to(HERE.parent))
    return 0


if __name__ == "__main__":
    sys.exit(main())
