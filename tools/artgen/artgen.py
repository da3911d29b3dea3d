#!/usr/bin/env python3
"""Draws Vitrea's icon and bitmaps from code, so the art can be rebuilt and diffed.

usage: artgen.py OUTDIR [--png PREVIEWDIR]

Writes vitrea.ico, about.bmp, options.bmp and options_pressed.bmp into OUTDIR.
Standard library only; no randomness, clock or platform state, so every run
produces the same bytes. --png also writes enlarged PNG previews for review.
"""
import math
import os
import struct
import sys
import zlib

SS = 4  # samples per pixel along each axis


# ---------------------------------------------------------------- rendering

class Mask:
    """Shape coverage sampled SS x SS per pixel; every fill ORs into it."""

    def __init__(self, w, h, ss=SS):
        self.w, self.h, self.ss = w, h, ss
        self.sw, self.sh = w * ss, h * ss
        self.bits = bytearray(self.sw * self.sh)
        self.box = None  # touched sample rows/columns, [x0, y0, x1, y1)

    def _sample_range(self, x0, y0, x1, y1):
        s = self.ss
        sx0 = max(0, int(math.floor(x0 * s - 0.5)))
        sy0 = max(0, int(math.floor(y0 * s - 0.5)))
        sx1 = min(self.sw, int(math.ceil(x1 * s + 0.5)))
        sy1 = min(self.sh, int(math.ceil(y1 * s + 0.5)))
        if sx0 < sx1 and sy0 < sy1:
            b = self.box
            self.box = [sx0, sy0, sx1, sy1] if b is None else [
                min(b[0], sx0), min(b[1], sy0), max(b[2], sx1), max(b[3], sy1)]
        return sx0, sy0, sx1, sy1

    def fill_test(self, bbox, inside):
        """Sets every sample in bbox (pixel units) for which inside(x, y) holds."""
        sx0, sy0, sx1, sy1 = self._sample_range(*bbox)
        s, bits, sw = self.ss, self.bits, self.sw
        for sy in range(sy0, sy1):
            y = (sy + 0.5) / s
            row = sy * sw
            for sx in range(sx0, sx1):
                if inside((sx + 0.5) / s, y):
                    bits[row + sx] = 1

    def fill_polygon(self, contours):
        """Even-odd fill of one or more closed contours (lists of (x, y))."""
        edges = []
        for pts in contours:
            n = len(pts)
            for i in range(n):
                (ax, ay), (bx, by) = pts[i], pts[(i + 1) % n]
                if ay != by:
                    edges.append((ax, ay, bx, by))
        xs = [p[0] for c in contours for p in c]
        ys = [p[1] for c in contours for p in c]
        sx0, sy0, sx1, sy1 = self._sample_range(min(xs), min(ys), max(xs), max(ys))
        s, bits, sw = self.ss, self.bits, self.sw
        for sy in range(sy0, sy1):
            y = (sy + 0.5) / s
            cross = sorted(ax + (y - ay) * (bx - ax) / (by - ay)
                           for ax, ay, bx, by in edges
                           if (ay <= y) != (by <= y))
            row = sy * sw
            for i in range(0, len(cross) - 1, 2):
                a = max(sx0, int(math.ceil(cross[i] * s - 0.5)))
                b = min(sx1, int(math.ceil(cross[i + 1] * s - 0.5)))
                if a < b:
                    bits[row + a:row + b] = b'\x01' * (b - a)

    def fill_circle(self, cx, cy, r):
        self.fill_polygon([ellipse_pts(cx, cy, r, r)])

    def stroke(self, pts, r):
        """Round-capped, round-joined polyline of half-width r (pixel units)."""
        if len(pts) == 1:
            pts = [pts[0], pts[0]]
        for (ax, ay), (bx, by) in zip(pts, pts[1:]):
            dx, dy = bx - ax, by - ay
            ll = dx * dx + dy * dy
            rr = r * r

            def inside(x, y, ax=ax, ay=ay, dx=dx, dy=dy, ll=ll, rr=rr):
                t = 0.0 if ll == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / ll))
                ex, ey = x - ax - t * dx, y - ay - t * dy
                return ex * ex + ey * ey <= rr
            self.fill_test((min(ax, bx) - r, min(ay, by) - r,
                            max(ax, bx) + r, max(ay, by) + r), inside)

    def clip(self, other):
        """Keeps only samples also set in other."""
        self.bits = bytearray(a & b for a, b in zip(self.bits, other.bits))

    def coverage(self):
        """Yields (x, y, fraction) for each touched pixel."""
        if self.box is None:
            return
        s, sw, bits = self.ss, self.sw, self.bits
        n = float(s * s)
        x0, y0 = self.box[0] // s, self.box[1] // s
        x1, y1 = -(-self.box[2] // s), -(-self.box[3] // s)
        for y in range(y0, y1):
            rows = [(y * s + k) * sw for k in range(s)]
            for x in range(x0, x1):
                c = sum(sum(bits[r + x * s:r + x * s + s]) for r in rows)
                if c:
                    yield x, y, c / n


class Canvas:
    """Premultiplied RGBA pixels in 0..1."""

    def __init__(self, w, h, ss=SS):
        self.w, self.h, self.ss = w, h, ss
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(w * h)]

    def mask(self):
        return Mask(self.w, self.h, self.ss)

    def fill(self, colour_at):
        """Opaque fill, colour_at(x, y) sampled at the pixel centre."""
        for y in range(self.h):
            for x in range(self.w):
                r, g, b = colour_at(x + 0.5, y + 0.5)[:3]
                self.px[y * self.w + x] = [r, g, b, 1.0]

    def paint(self, mask, colour, opacity=1.0):
        """Source-over blend of colour (tuple, or fn(x, y) -> rgb[a]) through mask."""
        for x, y, c in mask.coverage():
            col = colour(x + 0.5, y + 0.5) if callable(colour) else colour
            a = c * opacity * (col[3] if len(col) > 3 else 1.0)
            if a <= 0:
                continue
            p = self.px[y * self.w + x]
            k = 1.0 - a
            p[0] = col[0] * a + p[0] * k
            p[1] = col[1] * a + p[1] * k
            p[2] = col[2] * a + p[2] * k
            p[3] = a + p[3] * k

    def rgba8(self, x, y):
        r, g, b, a = self.px[y * self.w + x]
        if a <= 0:
            return 0, 0, 0, 0
        return tuple(int(round(max(0.0, min(1.0, v)) * 255)) for v in (r / a, g / a, b / a, a))


def hexc(s, a=None):
    c = tuple(int(s[i:i + 2], 16) / 255.0 for i in (1, 3, 5))
    return c if a is None else c + (a,)


def mix(c0, c1, t):
    t = max(0.0, min(1.0, t))
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def smooth(t):
    t = max(0.0, min(1.0, t))
    return t * t * (3 - 2 * t)


def ellipse_pts(cx, cy, rx, ry, n=160):
    return [(cx + rx * math.cos(2 * math.pi * i / n), cy + ry * math.sin(2 * math.pi * i / n))
            for i in range(n)]


def round_rect(x0, y0, x1, y1, r):
    if r <= 0:
        return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]
    pts = []
    for cx, cy, a0 in ((x1 - r, y0 + r, -90), (x1 - r, y1 - r, 0),
                       (x0 + r, y1 - r, 90), (x0 + r, y0 + r, 180)):
        for i in range(9):
            a = math.radians(a0 + 90 * i / 8)
            pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


# ---------------------------------------------------------------- stroke font
# Glyph units: baseline 0, x-height 7, cap height 10, ascender 10.5, descender -3,
# y pointing up. A glyph is a list of polylines; a one-point polyline is a dot.

def arc(cx, cy, rx, ry, a0, a1):
    n = max(3, int(math.ceil(abs(a1 - a0) / 6.0)))
    return [(cx + rx * math.cos(math.radians(a0 + (a1 - a0) * i / n)),
             cy + ry * math.sin(math.radians(a0 + (a1 - a0) * i / n))) for i in range(n + 1)]


def seam(cx, rx, x):
    """Angle (degrees) where an ellipse of centre cx and radius rx crosses x."""
    return math.degrees(math.acos(max(-1.0, min(1.0, (x - cx) / rx))))


def _bowl_right(top, bottom=0.0):
    # bowl of b and p: joins the stem at x=0
    cy, ry = (top + bottom) / 2, (top - bottom) / 2
    a = seam(2.2, 3.0, 0.0)
    return arc(2.2, cy, 3.0, ry, a, -a)


def _bowl_left(x=5.2):
    # bowl of a, d, g, q: joins the stem at x
    a = seam(x - 3.0 + 0.8, 3.0, x)
    return arc(x - 2.2, 3.5, 3.0, 3.5, a, 360 - a)


DOT = 0.75  # dot centre height above the baseline for . , : ; i j


def build_font():
    g = {}
    # capitals
    g['A'] = [[(0, 0), (3.2, 10), (6.4, 0)], [(1.15, 3.4), (5.25, 3.4)]]
    g['B'] = [[(0, 0), (0, 10), (2.9, 10)] + arc(2.9, 7.65, 2.4, 2.35, 90, -90) + [(0, 5.3)],
              [(2.9, 5.3)] + arc(3.2, 2.65, 2.75, 2.65, 90, -90) + [(0, 0)]]
    g['C'] = [arc(3.7, 5, 3.7, 5, 42, 318)]
    g['D'] = [[(0, 10)] + arc(2.4, 5, 3.8, 5, 90, -90) + [(0, 0), (0, 10)]]
    g['E'] = [[(4.8, 10), (0, 10), (0, 0), (4.9, 0)], [(0, 5.2), (4.3, 5.2)]]
    g['F'] = [[(4.8, 10), (0, 10), (0, 0)], [(0, 5.2), (4.3, 5.2)]]
    g['G'] = [arc(3.75, 5, 3.75, 5, 42, 360) + [(4.3, 5)]]
    g['H'] = [[(0, 0), (0, 10)], [(5.8, 0), (5.8, 10)], [(0, 5.2), (5.8, 5.2)]]
    g['I'] = [[(0, 0), (0, 10)]]
    g['J'] = [[(3.6, 10)] + arc(1.8, 2.9, 1.8, 2.9, 0, -165)]
    g['K'] = [[(0, 0), (0, 10)], [(5.2, 10), (0, 3.6)], [(1.9, 5.9), (5.6, 0)]]
    g['L'] = [[(0, 10), (0, 0), (4.6, 0)]]
    g['M'] = [[(0, 0), (0, 10), (3.7, 0.8), (7.4, 10), (7.4, 0)]]
    g['N'] = [[(0, 0), (0, 10), (6.0, 0), (6.0, 10)]]
    g['O'] = [arc(3.9, 5, 3.9, 5, 0, 360)]
    g['P'] = [[(0, 0), (0, 10)] + arc(2.9, 7.3, 2.7, 2.7, 90, -90) + [(0, 4.6)]]
    g['Q'] = g['O'] + [[(4.7, 2.2), (7.6, -0.8)]]
    g['R'] = [[(0, 0), (0, 10)] + arc(2.9, 7.35, 2.65, 2.65, 90, -90) + [(0, 4.7)],
              [(2.7, 4.7), (5.6, 0)]]
    g['S'] = [arc(3.0, 7.5, 2.75, 2.5, 35, 270) + arc(3.0, 2.5, 3.05, 2.5, 90, -145)]
    g['T'] = [[(0, 10), (6.2, 10)], [(3.1, 10), (3.1, 0)]]
    g['U'] = [[(0, 10)] + arc(3.0, 3.3, 3.0, 3.3, 180, 360) + [(6.0, 10)]]
    g['V'] = [[(0, 10), (3.3, 0), (6.6, 10)]]
    g['W'] = [[(0, 10), (2.4, 0), (4.8, 10), (7.2, 0), (9.6, 10)]]
    g['X'] = [[(0, 10), (6.0, 0)], [(0, 0), (6.0, 10)]]
    g['Y'] = [[(0, 10), (3.1, 5), (6.2, 10)], [(3.1, 5), (3.1, 0)]]
    g['Z'] = [[(0.2, 10), (5.8, 10), (0, 0), (6.0, 0)]]
    # small letters
    g['a'] = [_bowl_left(), [(5.2, 7), (5.2, 0)]]
    g['b'] = [[(0, 10.5), (0, 0)], _bowl_right(7)]
    g['c'] = [arc(2.8, 3.5, 2.8, 3.5, 45, 315)]
    g['d'] = [_bowl_left(), [(5.2, 10.5), (5.2, 0)]]
    g['e'] = [[(0.1, 3.6), (5.5, 3.6)] + arc(2.8, 3.5, 2.75, 3.5, 0, 315)]
    g['f'] = [[(1.3, 0)] + arc(3.0, 8.3, 1.7, 2.2, 180, 45), [(0, 7), (3.6, 7)]]
    g['g'] = [_bowl_left(), [(5.2, 7), (5.2, -0.6)] + arc(2.7, -0.6, 2.5, 2.4, 0, -150)]
    g['h'] = [[(0, 10.5), (0, 0)], arc(2.45, 4.5, 2.45, 2.5, 180, 0) + [(4.9, 0)]]
    g['i'] = [[(0, 0), (0, 7)], [(0, 9.4)]]
    g['j'] = [[(1.5, 7)] + arc(0, -0.6, 1.5, 2.4, 0, -110), [(1.5, 9.4)]]
    g['k'] = [[(0, 10.5), (0, 0)], [(4.4, 7), (0, 2.7)], [(1.6, 4.3), (4.7, 0)]]
    g['l'] = [[(0, 10.5), (0, 0)]]
    g['m'] = [[(0, 7), (0, 0)], arc(2.15, 4.6, 2.15, 2.4, 180, 0) + [(4.3, 0)],
              arc(6.45, 4.6, 2.15, 2.4, 180, 0) + [(8.6, 0)]]
    g['n'] = [[(0, 7), (0, 0)], arc(2.45, 4.5, 2.45, 2.5, 180, 0) + [(4.9, 0)]]
    g['o'] = [arc(2.85, 3.5, 2.85, 3.5, 0, 360)]
    g['p'] = [[(0, 7), (0, -3)], _bowl_right(7)]
    g['q'] = [_bowl_left(), [(5.2, 7), (5.2, -3)]]
    g['r'] = [[(0, 7), (0, 0)], arc(2.6, 4.3, 2.6, 2.7, 180, 65)]
    g['s'] = [arc(2.35, 5.25, 2.1, 1.75, 30, 270) + arc(2.35, 1.75, 2.3, 1.75, 90, -150)]
    g['t'] = [[(1.3, 9.3)] + arc(2.9, 1.4, 1.6, 1.4, 180, 290), [(0, 7), (3.4, 7)]]
    g['u'] = [[(0, 7)] + arc(2.45, 2.5, 2.45, 2.5, 180, 360), [(4.9, 7), (4.9, 0)]]
    g['v'] = [[(0, 7), (2.5, 0), (5.0, 7)]]
    g['w'] = [[(0, 7), (1.9, 0), (3.8, 7), (5.7, 0), (7.6, 7)]]
    g['x'] = [[(0, 7), (4.8, 0)], [(0, 0), (4.8, 7)]]
    g['y'] = [[(0, 7), (2.55, 0.1)], [(5.0, 7), (1.2, -3)]]
    g['z'] = [[(0.2, 7), (4.6, 7), (0, 0), (4.8, 0)]]
    # figures
    g['0'] = [arc(2.8, 5, 2.8, 5, 0, 360)]
    g['1'] = [[(0, 7.9), (2.4, 10), (2.4, 0)]]
    g['2'] = [arc(2.8, 7.2, 2.7, 2.8, 160, -38) + [(0, 0), (5.7, 0)]]
    g['3'] = [arc(2.7, 7.6, 2.5, 2.4, 155, -90) + [(1.7, 5.2)],
              [(2.7, 5.2)] + arc(2.7, 2.65, 2.9, 2.65, 90, -155)]
    g['4'] = [[(4.3, 0), (4.3, 10), (0, 3.0), (5.9, 3.0)]]
    g['5'] = [[(5.0, 10), (0.8, 10), (0.35, 5.5)] + arc(2.8, 3.15, 2.85, 3.15, 132, -150)]
    g['6'] = [arc(2.85, 3.1, 2.85, 3.1, 0, 360), [(0.35, 4.6), (3.4, 10)]]
    g['7'] = [[(0, 10), (5.6, 10), (1.8, 0)]]
    g['8'] = [arc(2.8, 7.5, 2.35, 2.5, 0, 360), arc(2.8, 2.55, 2.8, 2.55, 0, 360)]
    g['9'] = [arc(2.85, 6.9, 2.85, 3.1, 0, 360), [(5.35, 5.4), (2.3, 0)]]
    # punctuation
    g['.'] = [[(0, DOT)]]
    g[','] = [[(0, DOT), (-0.7, -1.6)]]
    g[':'] = [[(0, DOT)], [(0, 6.3)]]
    g[';'] = [[(0, DOT), (-0.7, -1.6)], [(0, 6.3)]]
    g['/'] = [[(0, -1.5), (4.2, 10.5)]]
    g['('] = [arc(3.6, 3.75, 3.6, 7.0, 112, 248)]
    g[')'] = [arc(-1.6, 3.75, 3.6, 7.0, 68, -68)]
    g['-'] = [[(0, 3.9), (3.2, 3.9)]]
    g["'"] = [[(0, 10), (0, 7.4)]]
    g['!'] = [[(0, 10), (0, 3.2)], [(0, DOT)]]
    g['?'] = [arc(2.4, 7.6, 2.4, 2.4, 160, -60) + [(2.4, 3.2)], [(2.4, DOT)]]
    font = {}
    for ch, strokes in g.items():
        xs = [p[0] for s in strokes for p in s]
        font[ch] = (min(xs), max(xs), strokes)
    return font


FONT = build_font()
SPACE = 3.4
KERN = {('T', 'a'): -1.2, ('T', 'o'): -1.2, ('V', 'i'): -0.5, ('W', 'i'): -0.4,
        ('r', '.'): -0.8, ('r', 'a'): -0.3, ('y', '.'): -0.6, ('/', '/'): -0.8,
        ('v', '1'): -0.3}


def layout(text, scale, bearing):
    """Returns [(char, x offset in pixels)] for a line, and its total width."""
    out, x, prev = [], 0.0, None
    for ch in text:
        if ch == ' ':
            x += SPACE * scale
            prev = None
            continue
        x0, x1, _ = FONT[ch]
        if prev is not None:
            x += KERN.get((prev, ch), 0.0) * scale
        out.append((ch, x + (bearing / 2 - x0) * scale))
        x += (x1 - x0 + bearing) * scale
        prev = ch
    return out, x


def text_width(text, scale, bearing=3.0):
    return layout(text, scale, bearing)[1]


def text_into(mask, text, x, base, scale, weight, bearing=3.0, dot=1.2):
    """Strokes text into mask; scale is pixels per glyph unit, weight the pen width in pixels."""
    r = weight / 2
    for ch, gx in layout(text, scale, bearing)[0]:
        for s in FONT[ch][2]:
            pts = [(x + gx + px * scale, base - py * scale) for px, py in s]
            mask.stroke(pts, r * dot if len(s) == 1 else r)


# ---------------------------------------------------------------- the emblem

BLUE_DEEP = hexc('#0b2f78')
BLUE = hexc('#1f6fd6')
BLUE_LIGHT = hexc('#6fb4ff')
ORANGE = hexc('#f7941d')
ORANGE_DARK = hexc('#c4590e')
WHITE = (1.0, 1.0, 1.0)
NAVY = hexc('#06122e')


def draw_emblem(cv, cx, cy, R):
    """Glass disc holding an orange pane seen through a clear one."""
    small = R < 10
    u = R / 7.5  # pane layout lives on a 16-pixel grid centred on the disc
    disc = cv.mask()
    disc.fill_circle(cx, cy, R)

    def body(x, y):
        d = math.hypot(x - (cx - 0.3 * R), y - (cy - 0.35 * R)) / (1.45 * R)
        if d < 0.5:
            return mix(BLUE_LIGHT, BLUE, smooth(d * 1.4))
        return mix(BLUE, BLUE_DEEP, smooth((d - 0.5) * 2.0 + 0.5))
    cv.paint(disc, body)

    def rect(gx0, gy0, gx1, gy1, rad):
        return round_rect(cx + (gx0 - 8) * u, cy + (gy0 - 8) * u,
                          cx + (gx1 - 8) * u, cy + (gy1 - 8) * u, 0 if small else rad * u)

    bar = 1.0 if small else 1.6
    # back pane, solid orange with a darker caption
    if not small:
        sh = cv.mask()
        sh.fill_polygon([rect(3.35, 3.5, 10.35, 10.5, 0.6)])
        cv.paint(sh, NAVY, 0.35)
    back = cv.mask()
    back.fill_polygon([rect(3, 3, 10, 10, 0.6)])
    cv.paint(back, lambda x, y: mix(hexc('#ffb347'), ORANGE, (y - cy + 5 * u) / (7 * u)))
    cap = cv.mask()
    cap.fill_polygon([rect(3, 3, 10, 3 + bar, 0.6)])
    cap.clip(back)
    cv.paint(cap, ORANGE_DARK)

    # front pane: frosted glass, bright frame and caption
    if not small:
        sh = cv.mask()
        sh.fill_polygon([rect(6.4, 6.5, 13.4, 13.5, 0.6)])
        sh.clip(disc)
        cv.paint(sh, NAVY, 0.22)
    glass = cv.mask()
    glass.fill_polygon([rect(6, 6, 13, 13, 0.6)])
    cv.paint(glass, hexc('#d8ecff'), 0.4)
    if not small:
        sheen = cv.mask()
        sheen.fill_polygon([[(cx - 2 * u, cy + 5 * u), (cx + 1 * u, cy - 2 * u),
                             (cx + 3 * u, cy - 2 * u), (cx + 0 * u, cy + 5 * u)]])
        sheen.clip(glass)
        cv.paint(sheen, WHITE, 0.18)
    fw = 1.0 / u if small else 0.55
    frame = cv.mask()
    frame.fill_polygon([rect(6, 6, 13, 13, 0.6), rect(6 + fw, 6 + bar, 13 - fw, 13 - fw, 0.25)])
    cv.paint(frame, WHITE, 0.95)

    # gloss over the upper half, then a crisp rim so the disc holds on any background
    gloss = cv.mask()
    gloss.fill_polygon([ellipse_pts(cx, cy - 0.42 * R, 0.82 * R, 0.55 * R)])
    gloss.clip(disc)
    top = cy - 0.97 * R
    cv.paint(gloss, lambda x, y: WHITE + (0.32 * (1 - smooth((y - top) / (0.9 * R))),),
             0.6 if small else 1.0)
    rim = cv.mask()
    rw = 1.0 if small else max(1.0, R * 0.035)
    rim.fill_polygon([ellipse_pts(cx, cy, R, R), ellipse_pts(cx, cy, R - rw, R - rw)])
    cv.paint(rim, lambda x, y: mix(hexc('#9fd0ff'), BLUE_DEEP, (y - cy + R) / (2 * R)), 0.9)


# ---------------------------------------------------------------- the images

def make_icon(size):
    cv = Canvas(size, size, ss=8)
    draw_emblem(cv, size / 2.0, size / 2.0, size / 2.0 - 0.5 * size / 16)
    return cv


def make_about():
    w, h = 404, 152
    cv = Canvas(w, h)
    ecx, ecy, er = 74.0, 76.0, 54.0

    def bg(x, y):
        base = mix(hexc('#123a82'), hexc('#081b45'), y / h)
        glow = max(0.0, 1 - math.hypot(x - ecx, y - ecy) / 150.0)
        return mix(base, hexc('#2a62b8'), 0.45 * glow * glow)
    cv.fill(bg)
    halo = cv.mask()
    halo.fill_circle(ecx + 1.5, ecy + 3.0, er + 1.5)
    cv.paint(halo, NAVY, 0.45)
    draw_emblem(cv, ecx, ecy, er)

    left, right = 146.0, 396.0
    title = cv.mask()
    tscale = 2.35
    text_into(title, "Vitrea", left, 38, tscale, 3.5, bearing=3.0)
    cv.paint(title, WHITE)
    ver = cv.mask()
    text_into(ver, "v1.1", left + text_width("Vitrea", tscale, 3.0) + 8, 38, 1.25, 1.6, bearing=3.0)
    cv.paint(ver, hexc('#ffc266'))

    rule = cv.mask()
    rule.fill_polygon([[(left, 48), (right, 48), (right, 49), (left, 49)]])
    cv.paint(rule, lambda x, y: ORANGE + (1 - smooth((x - left) / (right - left)),))

    lines = ["Window transparency for Windows 2000 and XP",
             "Copyright (c) 2026 Tarnwick Software",
             "http://www.vitrea.example/",
             "Vitrea is a product of Tarnwick Software."]
    scale = min(0.9, (right - left) / max(text_width(t, 1.0) for t in lines))
    for text, base, col in zip(lines, (70, 88, 118, 136),
                               ('#ffffff', '#dce8ff', '#9fd0ff', '#dce8ff')):
        m = cv.mask()
        text_into(m, text, left, base, scale, 1.15)
        cv.paint(m, hexc(col))
    return cv


def make_options(pressed):
    w, h = 84, 46
    cv = Canvas(w, h)
    cx, cy = 42.0, 23.0
    inner, outer = ('#2b66c6', '#133a84') if pressed else ('#1a4ea6', '#0a2358')
    cv.fill(lambda x, y: mix(hexc(inner), hexc(outer), math.hypot((x - cx) / 1.6, y - cy) / 30))

    # three spiral arms, wide at the heart and tapering as they wind outwards
    def polar(x, y):
        dx, dy = (x - cx) / 1.5, y - cy
        return math.hypot(dx, dy), math.atan2(dy, dx) / (2 * math.pi)

    def arm_alpha(x, y):
        # fade outwards, and calm the band behind the lettering
        return (1.0 - 0.55 * smooth(polar(x, y)[0] / 34)) * (1 - 0.4 * math.exp(-((y - 24) / 7.0) ** 2))

    for colour, k in (('#5aa8ff', 0.0), ('#dcecff', 1.0), ('#ff9a1f', 2.0)):
        def inside(x, y, k=k):
            rr, turn = polar(x, y)
            if rr > 34:
                return False
            ph = (turn - 0.62 * math.log(1 + rr / 2.0) - k / 3.0) % 1.0
            return ph < 0.27 * (1 - rr / 36.0) ** 0.7
        m = cv.mask()
        m.fill_test((0, 0, w, h), inside)
        cv.paint(m, lambda x, y, c=hexc(colour): c + (arm_alpha(x, y),))
    core = cv.mask()
    core.fill_circle(cx, cy, 2.2)
    cv.paint(core, WHITE, 0.7)

    scale, weight = 1.5, 2.4
    tw = text_width("Vitrea", scale, 2.8)
    x0, base = (w - tw) / 2, 30.5
    shadow = cv.mask()
    text_into(shadow, "Vitrea", x0 + 0.6, base + 0.9, scale, weight + 1.6, bearing=2.8)
    cv.paint(shadow, NAVY, 0.7)
    m = cv.mask()
    text_into(m, "Vitrea", x0, base, scale, weight, bearing=2.8)
    cv.paint(m, WHITE)
    if pressed:
        lift = cv.mask()
        lift.fill_polygon([[(0, 0), (w, 0), (w, h), (0, h)]])
        cv.paint(lift, hexc('#cfe6ff'), 0.1)
    return cv


# ---------------------------------------------------------------- file formats

def bmp24(cv):
    stride = (cv.w * 3 + 3) & ~3
    rows = []
    for y in range(cv.h - 1, -1, -1):
        row = bytearray()
        for x in range(cv.w):
            r, g, b, _ = cv.rgba8(x, y)
            row += bytes((b, g, r))
        rows.append(bytes(row) + b'\0' * (stride - len(row)))
    data = b''.join(rows)
    info = struct.pack('<IiiHHIIiiII', 40, cv.w, cv.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    head = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(data), 0, 0, 14 + len(info))
    return head + info + data


def ico(canvases):
    """Classic icon: 32-bit BGRA colour plus 1-bit AND mask per image.

    Faint edge samples are dropped so the mask and the alpha agree; systems that
    ignore alpha then draw the same silhouette without fringes.
    """
    images = []
    for cv in canvases:
        n = cv.w
        xor, andm = bytearray(), bytearray()
        mstride = ((n + 31) // 32) * 4
        for y in range(n - 1, -1, -1):
            bits = bytearray(mstride)
            for x in range(n):
                r, g, b, a = cv.rgba8(x, y)
                if a < 80:
                    r = g = b = a = 0
                    bits[x >> 3] |= 0x80 >> (x & 7)
                xor += bytes((b, g, r, a))
            andm += bits
        info = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0, len(xor) + len(andm), 0, 0, 0, 0)
        images.append((n, info + bytes(xor) + bytes(andm)))
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, blob in images:
        out += struct.pack('<BBBBHHII', n % 256, n % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return out + b''.join(blob for _, blob in images)


def png(cv, zoom=1, matte=None):
    raw = bytearray()
    for y in range(cv.h * zoom):
        raw.append(0)
        for x in range(cv.w * zoom):
            r, g, b, a = cv.rgba8(x // zoom, y // zoom)
            if matte is not None:
                t = a / 255.0
                r, g, b = (int(round(c * t + m * (1 - t))) for c, m in zip((r, g, b), matte))
                a = 255
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    hdr = struct.pack('>IIBBBBB', cv.w * zoom, cv.h * zoom, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', hdr)
            + chunk(b'IDAT', zlib.compress(bytes(raw), 9)) + chunk(b'IEND', b''))


def parse_args(argv, usage):
    """OUTDIR [--png PREVIEWDIR] -> (outdir, previewdir or None); exits with usage otherwise."""
    args = list(argv[1:])
    preview = None
    if '--png' in args:
        i = args.index('--png')
        if i + 1 >= len(args):
            sys.exit(usage)
        preview = args[i + 1]
        del args[i:i + 2]
    if len(args) != 1:
        sys.exit(usage)
    return args[0], preview


def main(argv):
    outdir, preview = parse_args(argv, __doc__)
    os.makedirs(outdir, exist_ok=True)

    icons = [make_icon(16), make_icon(32)]
    about = make_about()
    opts = make_options(False)
    opts_down = make_options(True)
    files = {'vitrea.ico': ico(icons), 'about.bmp': bmp24(about),
             'options.bmp': bmp24(opts), 'options_pressed.bmp': bmp24(opts_down)}
    for name in sorted(files):
        with open(os.path.join(outdir, name), 'wb') as f:
            f.write(files[name])

    if preview:
        os.makedirs(preview, exist_ok=True)
        shots = [('icon16_x8.png', icons[0], 8, None), ('icon32_x4.png', icons[1], 4, None),
                 ('icon16_on_white.png', icons[0], 6, (255, 255, 255)),
                 ('icon32_on_grey.png', icons[1], 3, (212, 208, 200)),
                 ('about.png', about, 1, None), ('about_x3.png', about, 3, None),
                 ('options.png', opts, 4, None), ('options_pressed.png', opts_down, 4, None)]
        for name, cv, zoom, matte in shots:
            with open(os.path.join(preview, name), 'wb') as f:
                f.write(png(cv, zoom, matte))


if __name__ == '__main__':
    main(sys.argv)
