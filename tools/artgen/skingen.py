#!/usr/bin/env python3
"""Draws the two skins that ship with Vitrea, Eddy Mini and Pewter Mini.

usage: skingen.py OUTDIR [--png PREVIEWDIR]

For each skin writes OUTDIR/<Name>/ with the 20 bitmaps, named by resource id,
and <Name>.rc, which puts them and the width record (RCDATA 300) into a
resource-only library. The widths in the record are the widths of the label
and caption images drawn here. Standard library only and fully deterministic:
every run produces the same bytes. --png writes enlarged previews, including
the whole window as the program composes it.
"""
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from artgen import (Canvas, bmp24, hexc, mix, parse_args, png, round_rect, smooth,  # noqa: E402
                    text_into, text_width)

W, H = 363, 134
# Resource ids in slot order; the program reads them through the same order.
IMAGE_IDS = (101, 102, 103, 111, 112, 120, 121, 122, 123, 128,
             129, 140, 141, 142, 147, 148, 153, 154, 165, 166)
# Where the window shows each piece, in client coordinates.
SHORTCUT_LABEL_AT = (20, 66)   # label of the button at (5,66), drawn 15 pixels in
TASKBAR_LABEL_AT = (209, 66)   # label of the button at (194,66)
CAPTIONS = (('Keyboard Shortcut', (6, 1)), ('Options', (6, 49)), ('Taskbar Transparency', (6, 87)))
SLIDER_AT = (7, 102)
CHANNEL_IN_SLIDER = (7, 10)

CAPTION_SCALE, CAPTION_WEIGHT = 0.78, 1.45
LABEL_SCALE, LABEL_WEIGHT = 0.74, 1.2


def hash01(x, y, seed):
    """Deterministic value noise in [0, 1) for integer lattice points."""
    n = (x * 374761393 + y * 668265263 + seed * 2147483647) & 0xFFFFFFFF
    n = ((n ^ (n >> 13)) * 1274126177) & 0xFFFFFFFF
    return ((n ^ (n >> 16)) & 0xFFFF) / 65536.0


def crop(cv, x0, y0, w, h):
    out = Canvas(w, h)
    for y in range(h):
        for x in range(w):
            sx, sy = min(cv.w - 1, x0 + x), min(cv.h - 1, y0 + y)
            out.px[y * w + x] = list(cv.px[sy * cv.w + sx])
    return out


def paste(dst, src, x0, y0):
    for y in range(src.h):
        for x in range(src.w):
            if 0 <= x0 + x < dst.w and 0 <= y0 + y < dst.h:
                dst.px[(y0 + y) * dst.w + x0 + x] = list(src.px[y * src.w + x])


def plain_rect(cv, x0, y0, x1, y1, colour, opacity=1.0):
    m = cv.mask()
    m.fill_polygon([[(x0, y0), (x1, y0), (x1, y1), (x0, y1)]])
    cv.paint(m, colour, opacity)


def write_text(cv, text, x, base, scale, weight, colour, opacity=1.0, halo=None):
    """Text with an optional soft halo: (colour, opacity, extra width) layers painted first."""
    for hc, ho, extra in halo or ():
        m = cv.mask()
        text_into(m, text, x, base, scale, weight + extra)
        cv.paint(m, hc, ho)
    m = cv.mask()
    text_into(m, text, x, base, scale, weight)
    cv.paint(m, colour, opacity)


def caption_width(text):
    return int(math.ceil(text_width(text, CAPTION_SCALE) + 6))


def label_width(text):
    return int(math.ceil(text_width(text, LABEL_SCALE) + 7))


# ---------------------------------------------------------------- the skins

class Skin:
    """Colours and surfaces of one skin; the pieces below are drawn from them."""

    name = ''

    def background(self, x, y):
        raise NotImplementedError

    def make_background(self):
        cv = Canvas(W, H)
        cv.fill(self.background)
        self.decorate(cv)
        return cv

    def decorate(self, cv):
        pass


class Eddy(Skin):
    """Deep water: blues darkening with depth, a soft swirl turning under the controls."""

    name = 'EddyMini'
    title = 'Eddy Mini'
    text_on = hexc('#eaf6ff')
    text_off = hexc('#6d8fb8')
    label = hexc('#cfe5ff')
    lit = hexc('#ffffff')
    glow = hexc('#4fd3ff')
    accent = hexc('#ffb03a')
    SWIRL = (236.0, 74.0)

    def background(self, x, y):
        base = mix(hexc('#1c5a9c'), hexc('#06214a'), smooth(y / H * 0.9 + 0.05))
        cx, cy = self.SWIRL
        dx, dy = (x - cx) / 1.9, (y - cy)
        r = math.hypot(dx, dy)
        ang = math.atan2(dy, dx)
        # two soft arms of lighter water wound as a log spiral, fading towards the rim
        phase = (ang / (2 * math.pi) - 0.55 * math.log(1 + r / 6.0)) % 0.5 / 0.5
        band = 0.5 + 0.5 * math.cos(2 * math.pi * phase)
        fade = math.exp(-r / 70.0)
        light = 0.38 * band ** 3 * fade + 0.12 * math.exp(-(r / 22.0) ** 2)
        c = mix(base, hexc('#5fb6ff'), light)
        # faint ripples so large areas never look flat
        ripple = 0.018 * math.sin(x * 0.09 + 2.3 * math.sin(y * 0.07)) + 0.012 * math.sin(y * 0.31 + x * 0.02)
        return tuple(max(0.0, min(1.0, v + ripple)) for v in c)

    def decorate(self, cv):
        # the group panels sit a shade deeper than the water around them
        for x0, y0, x1, y1 in ((2, 8, 271, 45), (2, 56, 360, 83), (2, 94, 360, 131)):
            m = cv.mask()
            m.fill_polygon([round_rect(x0, y0, x1, y1, 2)])
            cv.paint(m, hexc('#031533'), 0.22)

    def thumb(self, state):
        cv = Canvas(9, 19)
        bg = hexc('#0a2a55')
        cv.fill(lambda x, y: bg)
        body = cv.mask()
        body.fill_polygon([round_rect(0.5, 0.5, 8.5, 18.5, 3.2)])
        top, bottom, rim = {
            'on': (hexc('#bfe6ff'), hexc('#2b7fd6'), hexc('#e8f6ff')),
            'active': (hexc('#fff0b8'), hexc('#ff8a1a'), hexc('#fff7de')),
            'off': (hexc('#7e8ea3'), hexc('#3e4c60'), hexc('#98a6b8')),
        }[state]
        cv.paint(body, lambda x, y: mix(top, bottom, y / 19.0))
        shine = cv.mask()
        shine.fill_polygon([round_rect(2.0, 1.6, 4.2, 9.0, 1.0)])
        cv.paint(shine, hexc('#ffffff'), 0.45 if state != 'off' else 0.18)
        edge = cv.mask()
        edge.fill_polygon([round_rect(0.5, 0.5, 8.5, 18.5, 3.2), round_rect(1.4, 1.4, 7.6, 17.6, 2.4)])
        cv.paint(edge, rim, 0.75)
        return cv

    def channel(self, active, under):
        cv = crop(under, 0, 0, 335, 5)
        groove = cv.mask()
        groove.fill_polygon([round_rect(0, 0.5, 335, 4.5, 2)])
        if active:
            cv.paint(groove, lambda x, y: mix(hexc('#ffd27a'), hexc('#ff7b12'), abs(y - 2.5) / 2.5))
            core = cv.mask()
            core.fill_polygon([[(2, 2), (333, 2), (333, 3), (2, 3)]])
            cv.paint(core, hexc('#fff6da'), 0.9)
        else:
            cv.paint(groove, hexc('#021029'), 0.85)
            line = cv.mask()
            line.fill_polygon([[(2, 3.4), (333, 3.4), (333, 4.4), (2, 4.4)]])
            cv.paint(line, hexc('#5fa8ff'), 0.55)
        return cv

    def button(self, pressed):
        w, h = 84, 46
        cv = Canvas(w, h)
        cx, cy = 42.0, 23.0
        deep = hexc('#0a3a7a') if pressed else hexc('#08285a')

        def water(x, y):
            dx, dy = (x - cx) / 1.7, y - cy
            r = math.hypot(dx, dy)
            ang = math.atan2(dy, dx)
            phase = (ang / (2 * math.pi) - 0.7 * math.log(1 + r / 3.0)) % (1 / 3.0) * 3
            band = (0.5 + 0.5 * math.cos(2 * math.pi * phase)) ** 2
            c = mix(deep, hexc('#3f9cff'), 0.55 * band * math.exp(-r / 30.0) + 0.25 * math.exp(-(r / 9) ** 2))
            return mix(c, hexc('#8fd8ff'), 0.15 if pressed else 0.0)
        cv.fill(water)
        rim = cv.mask()
        rim.fill_polygon([round_rect(0, 0, w, h, 5), round_rect(1.2, 1.2, w - 1.2, h - 1.2, 4)])
        cv.paint(rim, hexc('#7cc4ff'), 0.8)
        off = 0.6 if pressed else 0.0
        tw = text_width('Vitrea', 1.45, 2.8)
        x0, base = (w - tw) / 2 + off, 29.5 + off
        m = cv.mask()
        text_into(m, 'Vitrea', x0 + 0.7, base + 1.0, 1.45, 3.6, bearing=2.8)
        cv.paint(m, hexc('#020d24'), 0.65)
        m = cv.mask()
        text_into(m, 'Vitrea', x0, base, 1.45, 2.3, bearing=2.8)
        cv.paint(m, hexc('#ffffff'))
        m = cv.mask()
        text_into(m, 'options', (w - text_width('options', 0.62)) / 2 + off, 40.5 + off, 0.62, 1.0)
        cv.paint(m, self.accent, 0.95)
        return cv


class Pewter(Skin):
    """Brushed grey metal with engraved lettering and polished steel fittings."""

    name = 'PewterMini'
    title = 'Pewter Mini'
    text_on = hexc('#23272c')
    text_off = hexc('#8d9298')
    label = hexc('#2a2e33')
    lit = hexc('#0b3d91')
    glow = hexc('#ffffff')
    accent = hexc('#1f5fbf')

    def background(self, x, y):
        xi, yi = int(x), int(y)
        # long horizontal grain: per-row streaks blended with a slow sheen from the top left
        row = hash01(yi, 0, 7) * 0.6 + hash01(yi // 2, 1, 7) * 0.4
        grain = 0.5 * row + 0.5 * (hash01(xi // 23 + yi * 31, yi, 11) * 0.35 + 0.65 * row)
        sheen = 0.5 + 0.5 * math.cos((x * 0.6 - y * 1.4) / 260.0 * math.pi)
        v = 0.58 + 0.12 * sheen + 0.07 * (grain - 0.5)
        return (v * 0.985, v * 0.995, v * 1.02)

    def decorate(self, cv):
        for x0, y0, x1, y1 in ((2, 8, 271, 45), (2, 56, 360, 83), (2, 94, 360, 131)):
            m = cv.mask()
            m.fill_polygon([[(x0, y0), (x1, y0), (x1, y1), (x0, y1)]])
            cv.paint(m, hexc('#ffffff'), 0.07)

    def thumb(self, state):
        cv = Canvas(9, 19)
        cv.fill(lambda x, y: hexc('#8e9399'))
        body = cv.mask()
        body.fill_polygon([round_rect(0.5, 0.5, 8.5, 18.5, 1.6)])
        top, bottom, edge_c = {
            'on': (hexc('#fbfcfd'), hexc('#9aa1a9'), hexc('#3a3f45')),
            'active': (hexc('#d6ecff'), hexc('#2f7fe0'), hexc('#0b3d91')),
            'off': (hexc('#b9bcc0'), hexc('#9a9ea3'), hexc('#7a7f85')),
        }[state]
        cv.paint(body, lambda x, y: mix(top, bottom, (x + y * 0.4) / 12.6))
        grip = cv.mask()
        for gy in (7.5, 9.5, 11.5):
            grip.fill_polygon([[(2.5, gy), (6.5, gy), (6.5, gy + 0.8), (2.5, gy + 0.8)]])
        cv.paint(grip, edge_c, 0.55 if state != 'off' else 0.25)
        edge = cv.mask()
        edge.fill_polygon([round_rect(0.5, 0.5, 8.5, 18.5, 1.6), round_rect(1.4, 1.4, 7.6, 17.6, 1.0)])
        cv.paint(edge, edge_c, 0.9)
        return cv

    def channel(self, active, under):
        cv = crop(under, 0, 0, 335, 5)
        groove = cv.mask()
        groove.fill_polygon([[(0, 0.5), (335, 0.5), (335, 4.5), (0, 4.5)]])
        if active:
            cv.paint(groove, lambda x, y: mix(hexc('#9fd0ff'), hexc('#1f5fbf'), abs(y - 2.5) / 2.0))
        else:
            cv.paint(groove, lambda x, y: mix(hexc('#3b4046'), hexc('#6b7178'), (y - 0.5) / 4.0))
        lip = cv.mask()
        lip.fill_polygon([[(0, 4.2), (335, 4.2), (335, 5), (0, 5)]])
        cv.paint(lip, hexc('#ffffff'), 0.6)
        return cv

    def button(self, pressed):
        w, h = 84, 46
        cv = Canvas(w, h)
        lift = -0.05 if pressed else 0.0
        cv.fill(lambda x, y: tuple(max(0.0, c + lift) for c in self.background(x + 277, y + 4)))
        plate = cv.mask()
        plate.fill_polygon([round_rect(0.5, 0.5, w - 0.5, h - 0.5, 4)])
        hi, lo = (hexc('#3c4148'), hexc('#ffffff')) if pressed else (hexc('#ffffff'), hexc('#3c4148'))
        bevel = cv.mask()
        bevel.fill_polygon([round_rect(0.5, 0.5, w - 0.5, h - 0.5, 4), round_rect(2, 2, w - 2, h - 2, 3)])
        cv.paint(bevel, lambda x, y: mix(hi, lo, smooth((x / w + y / h) / 2 * 1.6 - 0.3)), 0.85)
        off = 0.7 if pressed else 0.0
        tw = text_width('Vitrea', 1.45, 2.8)
        x0, base = (w - tw) / 2 + off, 29.5 + off
        m = cv.mask()
        text_into(m, 'Vitrea', x0 + 0.6, base + 0.8, 1.45, 2.4, bearing=2.8)
        cv.paint(m, hexc('#ffffff'), 0.75)
        m = cv.mask()
        text_into(m, 'Vitrea', x0, base, 1.45, 2.4, bearing=2.8)
        cv.paint(m, hexc('#1f5fbf') if pressed else hexc('#2a2f35'))
        m = cv.mask()
        text_into(m, 'options', (w - text_width('options', 0.62)) / 2 + off, 40.5 + off, 0.62, 1.0)
        cv.paint(m, hexc('#4a5058'))
        return cv


# ---------------------------------------------------------------- pieces shared by both skins

def caption(skin, bg, text, at, on):
    w = caption_width(text)
    cv = crop(bg, at[0], at[1], w, 14)
    if isinstance(skin, Pewter):
        halo = [(hexc('#ffffff'), 0.55, 0.0)] if on else []
        for hc, ho, _ in halo:  # engraving: a light edge one pixel below the cut
            m = cv.mask()
            text_into(m, text, 3.0, 11.3, CAPTION_SCALE, CAPTION_WEIGHT)
            cv.paint(m, hc, ho)
        write_text(cv, text, 3.0, 10.5, CAPTION_SCALE, CAPTION_WEIGHT, skin.text_on if on else skin.text_off)
    else:
        halo = [(hexc('#021029'), 0.6, 1.6)] if on else []
        write_text(cv, text, 3.0, 10.5, CAPTION_SCALE, CAPTION_WEIGHT, skin.text_on if on else skin.text_off,
                   1.0 if on else 0.85, halo)
    return cv


def label(skin, bg, text, at, lit):
    w = label_width(text)
    cv = crop(bg, at[0], at[1], w, 15)
    if lit:
        plate = cv.mask()
        plate.fill_polygon([round_rect(1, 0.5, w - 0.5, 14.5, 3)])
        if isinstance(skin, Pewter):
            cv.paint(plate, hexc('#ffffff'), 0.55)
            edge = cv.mask()
            edge.fill_polygon([round_rect(1, 0.5, w - 0.5, 14.5, 3), round_rect(2, 1.5, w - 1.5, 13.5, 2.2)])
            cv.paint(edge, skin.accent, 0.55)
            write_text(cv, text, 3.5, 11.0, LABEL_SCALE, LABEL_WEIGHT + 0.15, skin.lit)
        else:
            cv.paint(plate, hexc('#2a8fff'), 0.35)
            write_text(cv, text, 3.5, 11.0, LABEL_SCALE, LABEL_WEIGHT + 0.15, skin.lit, 1.0,
                       [(skin.glow, 0.25, 2.6), (skin.glow, 0.35, 1.2)])
    elif isinstance(skin, Pewter):
        m = cv.mask()
        text_into(m, text, 3.5, 11.8, LABEL_SCALE, LABEL_WEIGHT)
        cv.paint(m, hexc('#ffffff'), 0.45)
        write_text(cv, text, 3.5, 11.0, LABEL_SCALE, LABEL_WEIGHT, skin.label)
    else:
        write_text(cv, text, 3.5, 11.0, LABEL_SCALE, LABEL_WEIGHT, skin.label)
    return cv


def joiner(skin, bg, at):
    cv = crop(bg, at[0], at[1], 15, 21)
    arm = cv.mask()
    arm.stroke([(7.5, 5.5), (7.5, 15.5)], 0.9)
    arm.stroke([(2.5, 10.5), (12.5, 10.5)], 0.9)
    if isinstance(skin, Pewter):
        low = cv.mask()
        low.stroke([(7.5, 6.3), (7.5, 16.3)], 0.9)
        low.stroke([(2.5, 11.3), (12.5, 11.3)], 0.9)
        cv.paint(low, hexc('#ffffff'), 0.6)
        cv.paint(arm, skin.text_on)
    else:
        glow = cv.mask()
        glow.stroke([(7.5, 5.5), (7.5, 15.5)], 2.0)
        glow.stroke([(2.5, 10.5), (12.5, 10.5)], 2.0)
        cv.paint(glow, skin.glow, 0.25)
        cv.paint(arm, skin.text_on)
    return cv


def swatch(bg):
    return crop(bg, 150, 100, 16, 16)


def draw_skin(skin):
    bg = skin.make_background()
    slider = crop(bg, SLIDER_AT[0], SLIDER_AT[1], 349, 25)
    under_channel = crop(slider, CHANNEL_IN_SLIDER[0], CHANNEL_IN_SLIDER[1], 335, 5)
    texts = {'shortcut': 'Keyboard Shortcut', 'taskbar': 'Taskbar Transparency'}
    images = {
        101: skin.button(False), 102: skin.button(True), 103: bg,
        111: joiner(skin, bg, (85, 18)), 112: joiner(skin, bg, (175, 18)),
        120: caption(skin, bg, CAPTIONS[0][0], CAPTIONS[0][1], True),
        121: caption(skin, bg, CAPTIONS[0][0], CAPTIONS[0][1], False),
        122: caption(skin, bg, CAPTIONS[1][0], CAPTIONS[1][1], True),
        123: swatch(bg),
        128: caption(skin, bg, CAPTIONS[2][0], CAPTIONS[2][1], True),
        129: caption(skin, bg, CAPTIONS[2][0], CAPTIONS[2][1], False),
        140: skin.thumb('on'), 141: skin.thumb('active'), 142: skin.thumb('off'),
        147: skin.channel(False, under_channel), 148: skin.channel(True, under_channel),
        153: label(skin, bg, texts['shortcut'], SHORTCUT_LABEL_AT, False),
        154: label(skin, bg, texts['shortcut'], SHORTCUT_LABEL_AT, True),
        165: label(skin, bg, texts['taskbar'], TASKBAR_LABEL_AT, False),
        166: label(skin, bg, texts['taskbar'], TASKBAR_LABEL_AT, True),
    }
    assert sorted(images) == sorted(IMAGE_IDS)
    metrics = (images[153].w, images[165].w, images[120].w, images[122].w, images[128].w)
    assert images[154].w == metrics[0] and images[166].w == metrics[1]
    assert images[121].w == metrics[2] and images[129].w == metrics[4]
    assert all(m < 256 for m in metrics)
    # the labels must leave room for the neighbouring button and the window's edge
    assert 5 + 15 + metrics[0] <= 194 and 194 + 15 + metrics[1] <= 361
    return images, metrics


def compose(images, metrics, shortcut_on=True, taskbar_on=False, thumb_x=120):
    """The window as the program paints it, for previews (frames as drawn by the program)."""
    cv = crop(images[103], 0, 0, W, H)
    paste(cv, images[111], 85, 18)
    paste(cv, images[112], 175, 18)
    paste(cv, images[120 if shortcut_on else 121], 6, 1)
    paste(cv, images[122], 6, 49)
    paste(cv, images[128 if taskbar_on else 129], 6, 87)
    paste(cv, images[101], 277, 4)
    paste(cv, images[153], 20, 66)
    paste(cv, images[166], 209, 66)
    paste(cv, images[147], 14, 112)
    paste(cv, images[140 if taskbar_on else 142], 7 + thumb_x, 105)
    return cv


def rc_text(skin, metrics):
    lines = ['// Generated by tools/artgen/skingen.py: the %s skin, resources only.' % skin.title, '']
    for i in IMAGE_IDS:
        lines.append('%d BITMAP "%d.bmp"' % (i, i))
    lines.append('')
    lines.append('// widths: shortcut label, taskbar label, shortcut caption, options caption, taskbar caption')
    lines.append('300 RCDATA')
    lines.append('BEGIN')
    lines.append('    ' + ', '.join(str(m) for m in metrics))
    lines.append('END')
    return '\n'.join(lines) + '\n'


def main(argv):
    outdir, preview = parse_args(argv, __doc__)
    for skin in (Eddy(), Pewter()):
        images, metrics = draw_skin(skin)
        folder = os.path.join(outdir, skin.name)
        os.makedirs(folder, exist_ok=True)
        for i, cv in images.items():
            with open(os.path.join(folder, '%d.bmp' % i), 'wb') as f:
                f.write(bmp24(cv))
        with open(os.path.join(folder, skin.name + '.rc'), 'w') as f:
            f.write(rc_text(skin, metrics))
        if preview:
            os.makedirs(preview, exist_ok=True)
            with open(os.path.join(preview, skin.name + '_window_x2.png'), 'wb') as f:
                f.write(png(compose(images, metrics), 2))
            for i in (120, 121, 153, 154, 140, 141, 142, 147, 148, 101, 102):
                with open(os.path.join(preview, '%s_%d_x6.png' % (skin.name, i)), 'wb') as f:
                    f.write(png(images[i], 6 if images[i].w < 100 else 3))


if __name__ == '__main__':
    main(sys.argv)
