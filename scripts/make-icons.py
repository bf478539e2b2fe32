#!/usr/bin/env python3
"""Draws the program's icon set (16 and 32 px PNGs with alpha) into resources/icons/, and the
program's own icon also at 48 px and as an SVG document (resources/icons/48, resources/icons/scalable)
for the desktop's icon theme.

The artwork is simple flat geometry described below in a 32-unit square; each shape is rendered
with 4x4 supersampling, so the small size stays smooth. Run it after changing a shape; the PNGs
are committed.
"""
import math
import os
import struct
import sys
import zlib

SS = 4


def rgba(hexcolor, a=255):
    h = hexcolor.lstrip('#')
    return (int(h[0:2], 16), int(h[2:4], 16), int(h[4:6], 16), a)


def inside_poly(x, y, pts):
    inside = False
    j = len(pts) - 1
    for i in range(len(pts)):
        xi, yi = pts[i]
        xj, yj = pts[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    L = dx * dx + dy * dy
    t = 0 if L == 0 else max(0, min(1, ((px - ax) * dx + (py - ay) * dy) / L))
    cx, cy = ax + t * dx, ay + t * dy
    return math.hypot(px - cx, py - cy)


def shape_test(shape):
    kind = shape[0]
    if kind == 'poly':
        pts = shape[1]
        return lambda x, y: inside_poly(x, y, pts)
    if kind == 'circle':
        cx, cy, r = shape[1]
        return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    if kind == 'ring':
        cx, cy, r, w = shape[1]
        return lambda x, y: abs(math.hypot(x - cx, y - cy) - r) <= w / 2
    if kind == 'rect':
        x0, y0, x1, y1 = shape[1]
        return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1
    if kind == 'rrect':
        x0, y0, x1, y1, r = shape[1]

        def t(x, y):
            if not (x0 <= x <= x1 and y0 <= y <= y1):
                return False
            cx = min(max(x, x0 + r), x1 - r)
            cy = min(max(y, y0 + r), y1 - r)
            return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
        return t
    if kind == 'line':
        pts, w = shape[1]

        def t(x, y):
            return any(seg_dist(x, y, *pts[i], *pts[i + 1]) <= w / 2 for i in range(len(pts) - 1))
        return t
    raise ValueError(kind)


def render(shapes, size):
    scale = 32.0 / size
    out = bytearray()
    tests = [(shape_test(s), s[2]) for s in shapes]
    for py in range(size):
        out.append(0)
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SS):
                for sx in range(SS):
                    x = (px + (sx + 0.5) / SS) * scale
                    y = (py + (sy + 0.5) / SS) * scale
                    r = g = b = a = 0.0
                    for test, col in tests:
                        if test(x, y):
                            ca = col[3] / 255.0
                            r = col[0] * ca + r * (1 - ca)
                            g = col[1] * ca + g * (1 - ca)
                            b = col[2] * ca + b * (1 - ca)
                            a = ca + a * (1 - ca)
                    acc[0] += r
                    acc[1] += g
                    acc[2] += b
                    acc[3] += a
            n = SS * SS
            alpha = acc[3] / n
            if alpha > 0:
                out += bytes([min(255, round(acc[0] / n / alpha)), min(255, round(acc[1] / n / alpha)),
                              min(255, round(acc[2] / n / alpha)), min(255, round(alpha * 255))])
            else:
                out += bytes([0, 0, 0, 0])
    return bytes(out)


def png(size, raw, height=None):
    def chunk(tag, data):
        c = struct.pack('>I', len(data)) + tag + data
        return c + struct.pack('>I', zlib.crc32(tag + data) & 0xffffffff)
    ihdr = struct.pack('>IIBBBBB', size, size if height is None else height, 8, 6, 0, 0, 0)
    return b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')


BLUE, DBLUE = rgba('#1e6fd9'), rgba('#0d47a1')
GREEN, DGREEN = rgba('#2e9e44'), rgba('#1b5e20')
RED, ORANGE = rgba('#d93025'), rgba('#f29900')
YELLOW, DYELLOW = rgba('#f6c343'), rgba('#c99a1c')
GREY, DGREY, WHITE = rgba('#9aa0a6'), rgba('#5f6368'), rgba('#ffffff')
PAPER = rgba('#fafafa')

folder = [('poly', [(3, 8), (12, 8), (14, 11), (29, 11), (29, 27), (3, 27)], YELLOW),
          ('rect', (3, 13, 29, 27), DYELLOW), ('rect', (4, 14, 28, 26), YELLOW)]
open_folder = [('poly', [(3, 8), (12, 8), (14, 11), (27, 11), (27, 27), (3, 27)], DYELLOW),
               ('poly', [(7, 15), (31, 15), (27, 27), (3, 27)], YELLOW)]
page = [('poly', [(7, 3), (20, 3), (26, 9), (26, 29), (7, 29)], DGREY),
        ('poly', [(8, 4), (19, 4), (25, 10), (25, 28), (8, 28)], PAPER),
        ('poly', [(19, 4), (25, 10), (19, 10)], GREY)]

ICONS = {
    # task list items: a folder with a sync arrow
    'TasksImageList_0': folder + [('ring', (20, 20, 6, 2.6), DBLUE), ('poly', [(22, 11), (28, 14), (22, 18)], DBLUE)],
    # group tree: root, root selected, group, group selected
    'GroupsImageList_0': [('rrect', (6, 3, 29, 24, 2), DBLUE), ('rrect', (3, 7, 26, 29, 2), BLUE),
                          ('rect', (7, 12, 22, 14), WHITE), ('rect', (7, 18, 22, 20), WHITE)],
    'GroupsImageList_1': [('rrect', (6, 3, 29, 24, 2), DGREEN), ('rrect', (3, 7, 26, 29, 2), GREEN),
                          ('rect', (7, 12, 22, 14), WHITE), ('rect', (7, 18, 22, 20), WHITE)],
    'GroupsImageList_2': folder,
    'GroupsImageList_3': open_folder,
}

TOOLS = [
    ('new', page + [('rect', (14, 12, 18, 24), GREEN), ('rect', (10, 16, 22, 20), GREEN)]),
    ('properties', page + [('rect', (11, 13, 22, 15), DGREY), ('rect', (11, 18, 22, 20), DGREY),
                           ('rect', (11, 23, 18, 25), DGREY)]),
    ('delete', [('line', ([(7, 7), (25, 25)], 6), RED), ('line', ([(25, 7), (7, 25)], 6), RED)]),
    ('start', [('poly', [(8, 4), (28, 16), (8, 28)], GREEN)]),
    ('pause', [('rrect', (7, 5, 13, 27, 1.5), ORANGE), ('rrect', (19, 5, 25, 27, 1.5), ORANGE)]),
    ('stop', [('rrect', (6, 6, 26, 26, 3), RED)]),
    ('options', [('circle', (16, 16, 11), DGREY)] +
     [('line', ([(16 + 9 * math.cos(a), 16 + 9 * math.sin(a)), (16 + 14 * math.cos(a), 16 + 14 * math.sin(a))], 5),
       DGREY) for a in [i * math.pi / 4 for i in range(8)]] + [('circle', (16, 16, 4.5), WHITE)]),
    ('homepage', [('poly', [(16, 3), (30, 16), (26, 16), (26, 29), (6, 29), (6, 16), (2, 16)], BLUE),
                  ('rect', (13, 19, 19, 29), WHITE)]),
    ('help', [('circle', (16, 16, 14), BLUE), ('ring', (16, 12, 5, 3.2), WHITE), ('rect', (4, 12, 16, 20), BLUE),
              ('line', ([(20, 14), (16, 18), (16, 20)], 3.2), WHITE), ('circle', (16, 24.5, 2), WHITE)]),
    ('about', [('circle', (16, 16, 14), BLUE), ('rect', (14, 14, 18, 25), WHITE), ('circle', (16, 9, 2.3), WHITE)]),
    ('globalsuspend', [('circle', (16, 16, 14), ORANGE), ('rect', (11, 9, 14, 23), WHITE),
                       ('rect', (18, 9, 21, 23), WHITE)]),
    ('disablescheduler', [('circle', (16, 16, 13), DGREY), ('circle', (16, 16, 10.5), WHITE),
                          ('line', ([(16, 9), (16, 16), (21, 19)], 2.5), DGREY),
                          ('line', ([(5, 27), (27, 5)], 3.5), RED)]),
]
for i, (name, shapes) in enumerate(TOOLS):
    ICONS['MainImageList_%d' % i] = shapes
    ICONS['MainMenuImageList_%d' % i] = shapes
# the alert dialog's pictures, one per event
ICONS['TopImageStart'] = [('circle', (16, 16, 14), GREEN), ('poly', [(12, 9), (24, 16), (12, 23)], WHITE)]
ICONS['TopImageFile'] = page + [('rect', (11, 13, 22, 15), DGREY), ('rect', (11, 18, 22, 20), DGREY)]
ICONS['TopImageFolder'] = folder
ICONS['TopImageDiskSpan'] = [('rrect', (4, 6, 28, 26, 2), DGREY), ('rect', (8, 9, 24, 17), PAPER),
                             ('rect', (10, 20, 22, 24), GREY)]
ICONS['TopImageFinish'] = [('circle', (16, 16, 14), GREEN), ('line', ([(9, 16), (14, 21), (23, 11)], 3.5), WHITE)]
ICONS['TopImageError'] = [('circle', (16, 16, 14), RED), ('line', ([(11, 11), (21, 21)], 3.5), WHITE),
                          ('line', ([(21, 11), (11, 21)], 3.5), WHITE)]
ICONS['TopImageWarning'] = [('poly', [(16, 3), (30, 28), (2, 28)], ORANGE), ('rect', (14.5, 11, 17.5, 21), WHITE),
                            ('circle', (16, 24.5, 1.8), WHITE)]
# filter list rows: an include filter (a green plus) and an exclude filter (a red minus)
ICONS['FilesFilterImageList_0'] = [('circle', (16, 16, 13), GREEN), ('rect', (14, 8, 18, 24), WHITE),
                                   ('rect', (8, 14, 24, 18), WHITE)]
ICONS['FilesFilterImageList_1'] = [('circle', (16, 16, 13), RED), ('rect', (8, 14, 24, 18), WHITE)]
# the program's own icon
ICONS['Quorvellant'] = [('circle', (16, 16, 15), DBLUE), ('ring', (16, 16, 8.5, 3.4), WHITE),
                        ('poly', [(19, 6), (26, 9.5), (19, 13)], WHITE), ('poly', [(13, 19), (6, 22.5), (13, 26)], WHITE)]

# Pixel-exact bitmaps: the colour button's drop-down arrow, 7 x 5 ("#" dark, "+" light, "." clear).
BITMAPS = {
    'COLORBTN_ARROW_BMP': ['.......', '#######', '.#####.', '..###..', '...#...'],
    'COLORBTN_ARROW_DISABLED_BMP': ['.......', '######.', '.####++', '..##++.', '...++..'],
}
BITMAP_COLOURS = {'#': rgba('#000000'), '+': rgba('#ffffff'), '.': (0, 0, 0, 0)}


def bitmap(rows, width, dark):
    out = bytearray()
    for row in rows:
        out.append(0)
        for ch in row[:width].ljust(width, '.'):
            out += bytes(dark if ch == '#' else BITMAP_COLOURS[ch])
    return bytes(out)


# the options dialog: its tabs (start-up, performance, log display, language, task defaults)
gear = [('circle', (16, 16, 10), DGREY)] + \
    [('line', ([(16 + 8 * math.cos(a), 16 + 8 * math.sin(a)), (16 + 13 * math.cos(a), 16 + 13 * math.sin(a))], 5),
      DGREY) for a in [i * math.pi / 4 for i in range(8)]] + [('circle', (16, 16, 4), WHITE)]
globe = [('circle', (16, 16, 14), BLUE), ('ring', (16, 16, 13.5, 1.5), DBLUE), ('rect', (3, 15, 29, 17), WHITE),
         ('line', ([(16, 2), (16, 30)], 2), WHITE), ('ring', (16, 16, 7, 1.6), WHITE)]
ICONS['PreferencesImageList_0'] = [('circle', (16, 16, 14), GREEN), ('ring', (16, 18, 7.5, 3), WHITE),
                                   ('rect', (13, 7, 19, 13), GREEN), ('rect', (14.5, 5, 17.5, 17), WHITE)]
ICONS['PreferencesImageList_1'] = [('circle', (16, 18, 13), DGREY), ('circle', (16, 18, 10.5), WHITE),
                                   ('rect', (2, 24, 30, 31), (0, 0, 0, 0)),
                                   ('line', ([(16, 20), (23, 11)], 3), RED), ('circle', (16, 20, 2.5), DGREY)]
ICONS['PreferencesImageList_2'] = [('rect', (3, 4, 29, 28), DGREY), ('rect', (4, 5, 28, 10), rgba('#cfd8e8')),
                                   ('rect', (4, 11, 28, 16), PAPER), ('rect', (4, 17, 28, 22), rgba('#ffcaca')),
                                   ('rect', (4, 23, 28, 27), rgba('#ffffbf'))]
ICONS['PreferencesImageList_3'] = globe
ICONS['PreferencesImageList_4'] = page + [('circle', (22, 22, 8), DGREY), ('circle', (22, 22, 3), WHITE)]

# the task settings navigator: run programs, dial-up, hardware profile, bandwidth, password, log,
# event alerts, CPU, power, e-mail
ICONS['TaskPropsImageList_0'] = [('rrect', (3, 5, 29, 27, 2), DBLUE), ('rect', (5, 10, 27, 25), WHITE),
                                 ('poly', [(12, 13), (20, 17.5), (12, 22)], GREEN)]
ICONS['TaskPropsImageList_1'] = [('rrect', (5, 3, 27, 29, 3), DGREY), ('rect', (8, 6, 24, 12), rgba('#cfe8cf')),
                                 ('circle', (11, 17, 1.8), WHITE), ('circle', (16, 17, 1.8), WHITE),
                                 ('circle', (21, 17, 1.8), WHITE), ('circle', (11, 23, 1.8), WHITE),
                                 ('circle', (16, 23, 1.8), WHITE), ('circle', (21, 23, 1.8), WHITE)]
ICONS['TaskPropsImageList_2'] = [('rrect', (3, 5, 29, 22, 2), DGREY), ('rect', (5, 7, 27, 20), BLUE),
                                 ('rect', (13, 22, 19, 26), DGREY), ('rect', (8, 26, 24, 29), DGREY)]
ICONS['TaskPropsImageList_3'] = [('line', ([(4, 10), (24, 10)], 3.5), BLUE), ('poly', [(22, 4), (30, 10), (22, 16)], BLUE),
                                 ('line', ([(28, 22), (8, 22)], 3.5), GREEN), ('poly', [(10, 16), (2, 22), (10, 28)], GREEN)]
ICONS['TaskPropsImageList_4'] = [('ring', (16, 11, 6, 3), DGREY), ('rect', (6, 14, 26, 29), DYELLOW),
                                 ('rect', (7, 15, 25, 28), YELLOW), ('circle', (16, 20, 2.5), DGREY),
                                 ('rect', (15, 20, 17, 25), DGREY)]
ICONS['TaskPropsImageList_5'] = page + [('rect', (11, 13, 22, 15), DGREY), ('rect', (11, 18, 22, 20), DGREY),
                                        ('rect', (11, 23, 18, 25), DGREY)]
ICONS['TaskPropsImageList_6'] = [('poly', [(16, 3), (30, 28), (2, 28)], ORANGE), ('rect', (14.5, 11, 17.5, 21), WHITE),
                                 ('circle', (16, 24.5, 1.8), WHITE)]
ICONS['TaskPropsImageList_7'] = [('rrect', (7, 7, 25, 25, 2), DGREY), ('rect', (11, 11, 21, 21), GREY)] + \
    [('rect', (9 + 5 * i, 3, 11 + 5 * i, 7), DGREY) for i in range(3)] + \
    [('rect', (9 + 5 * i, 25, 11 + 5 * i, 29), DGREY) for i in range(3)]
ICONS['TaskPropsImageList_8'] = [('rrect', (3, 9, 27, 24, 2), DGREY), ('rect', (27, 13, 30, 20), DGREY),
                                 ('rect', (5, 11, 25, 22), WHITE), ('rect', (6, 12, 17, 21), GREEN)]
ICONS['TaskPropsImageList_9'] = [('rect', (3, 7, 29, 25), DGREY), ('rect', (4, 8, 28, 24), PAPER),
                                 ('line', ([(4, 8), (16, 17), (28, 8)], 2.2), DGREY)]

# the interface languages: another file, the built-in English, then English, Dutch, Russian,
# German, French, Spanish and Polish flags
def stripes(colors, vertical=False):
    n = len(colors)
    out = [('rect', (2, 6, 30, 26), DGREY)]
    for i, c in enumerate(colors):
        if vertical:
            out.append(('rect', (3 + 26 * i / n, 7, 3 + 26 * (i + 1) / n, 25), c))
        else:
            out.append(('rect', (3, 7 + 18 * i / n, 29, 7 + 18 * (i + 1) / n), c))
    return out


NAVY, FRED, FYELLOW = rgba('#012169'), rgba('#c8102e'), rgba('#ffc400')
union = [('rect', (2, 6, 30, 26), DGREY), ('rect', (3, 7, 29, 25), NAVY),
         ('line', ([(3, 7), (29, 25)], 3), WHITE), ('line', ([(29, 7), (3, 25)], 3), WHITE),
         ('rect', (13, 7, 19, 25), WHITE), ('rect', (3, 13, 29, 19), WHITE),
         ('rect', (14.5, 7, 17.5, 25), FRED), ('rect', (3, 14.5, 29, 17.5), FRED)]
ICONS['LanguagesImageList_0'] = page
ICONS['LanguagesImageList_1'] = union + [('circle', (25, 23, 5), GREEN), ('line', ([(22.5, 23), (24.5, 25), (27.5, 21)], 1.6), WHITE)]
ICONS['LanguagesImageList_2'] = union
ICONS['LanguagesImageList_3'] = stripes([rgba('#ae1c28'), WHITE, rgba('#21468b')])
ICONS['LanguagesImageList_4'] = stripes([WHITE, rgba('#0039a6'), rgba('#d52b1e')])
ICONS['LanguagesImageList_5'] = stripes([rgba('#000000'), rgba('#dd0000'), FYELLOW])
ICONS['LanguagesImageList_6'] = stripes([rgba('#002395'), WHITE, rgba('#ed2939')], vertical=True)
ICONS['LanguagesImageList_7'] = stripes([rgba('#aa151b'), FYELLOW, FYELLOW, rgba('#aa151b')])
ICONS['LanguagesImageList_8'] = stripes([WHITE, rgba('#dc143c')])


def svg(shapes):
    """The shapes as an SVG document in the same 32-unit square (circles, rings and polygons)."""
    def colour(c):
        return '#%02x%02x%02x' % c[:3]
    out = ['<?xml version="1.0" encoding="UTF-8"?>',
           '<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" viewBox="0 0 32 32">']
    for kind, geometry, c in shapes:
        if kind == 'circle':
            out.append('  <circle cx="%g" cy="%g" r="%g" fill="%s"/>' % (*geometry, colour(c)))
        elif kind == 'ring':
            cx, cy, r, w = geometry
            out.append('  <circle cx="%g" cy="%g" r="%g" fill="none" stroke="%s" stroke-width="%g"/>'
                       % (cx, cy, r, colour(c), w))
        elif kind == 'poly':
            points = ' '.join('%g,%g' % p for p in geometry)
            out.append('  <polygon points="%s" fill="%s"/>' % (points, colour(c)))
        else:
            raise ValueError(kind)
    out.append('</svg>')
    return '\n'.join(out) + '\n'


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'resources', 'icons')
    for size in (16, 32):
        d = os.path.join(root, str(size))
        os.makedirs(d, exist_ok=True)
        for name, shapes in ICONS.items():
            with open(os.path.join(d, 'ICON_%s.png' % name), 'wb') as f:
                f.write(png(size, render(shapes, size)))
    d = os.path.join(root, '48')
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, 'ICON_Quorvellant.png'), 'wb') as f:
        f.write(png(48, render(ICONS['Quorvellant'], 48)))
    d = os.path.join(root, 'scalable')
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, 'quorvellant.svg'), 'w') as f:
        f.write(svg(ICONS['Quorvellant']))
    d = os.path.join(root, 'bitmaps')
    os.makedirs(d, exist_ok=True)
    for name, rows in BITMAPS.items():
        dark = rgba('#808080') if 'DISABLED' in name else rgba('#000000')
        with open(os.path.join(d, '%s.png' % name), 'wb') as f:
            f.write(png(7, bitmap(rows, 7, dark), 5))
    names = sorted(ICONS)
    with open(os.path.join(root, '..', 'icons.qrc'), 'w') as f:
        f.write('<!DOCTYPE RCC>\n<RCC version="1.0">\n<qresource prefix="/">\n')
        for size in (16, 32):
            for n in names:
                f.write('    <file>icons/%d/ICON_%s.png</file>\n' % (size, n))
        for n in sorted(BITMAPS):
            f.write('    <file>icons/bitmaps/%s.png</file>\n' % n)
        f.write('</qresource>\n</RCC>\n')
    return 0


if __name__ == '__main__':
    sys.exit(main())
