#!/usr/bin/env python3
# Draws the tree control's artwork (check box strips, button and utility
# glyphs, splitter cursors) as PNG files into resources/tree. Run again after
# changing a picture; the PNGs are what the build embeds.
import os, struct, sys, zlib

FUCHSIA = (255, 0, 255)


def png(path, pixels):
    h, w = len(pixels), len(pixels[0])
    raw = b''.join(b'\0' + bytes(c for px in row for c in px) for row in pixels)
    def chunk(t, d):
        return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
    data = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0))
    data += chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')
    with open(path, 'wb') as f:
        f.write(data)


def canvas(w, h, fill=FUCHSIA):
    return [[fill] * w for _ in range(h)]


def rect(p, x0, y0, x1, y1, c):  # filled, x1/y1 exclusive
    for y in range(y0, y1):
        for x in range(x0, x1):
            p[y][x] = c


def frame(p, x0, y0, x1, y1, c):
    for x in range(x0, x1):
        p[y0][x] = c
        p[y1 - 1][x] = c
    for y in range(y0, y1):
        p[y][x0] = c
        p[y][x1 - 1] = c


def disc(p, cx, cy, r, c):
    for y in range(int(cy - r) - 1, int(cy + r) + 2):
        for x in range(int(cx - r) - 1, int(cx + r) + 2):
            if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                p[y][x] = c


def ring(p, cx, cy, r, c):
    for y in range(int(cy - r) - 1, int(cy + r) + 2):
        for x in range(int(cx - r) - 1, int(cx + r) + 2):
            d = ((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2) ** 0.5
            if r - 1 <= d <= r:
                p[y][x] = c


def tick(p, x, y, c):
    pts = [(0, 3), (1, 4), (2, 5), (3, 4), (4, 3), (5, 2), (6, 1)]
    for dx, dy in pts:
        for t in range(2):
            p[y + dy + t][x + dx] = c


# Check strips: 25 images of 16 x 16; 0 empty, 1-8 radio buttons, 9-20 check
# boxes (unchecked, checked, mixed), 21-24 push buttons; in each group of
# four: normal, hot, pressed, disabled.
def check_strip(style):
    light = style in ('light', 'ticklight', 'flat')
    p = canvas(16 * 25, 16)
    window, face, shadow, text, hot = (255, 255, 255), (192, 192, 192), (128, 128, 128), (0, 0, 0), (0, 96, 192)
    if not light:
        window, face = (240, 240, 240), (160, 160, 160)
    for i in range(1, 25):
        x0 = i * 16
        kind = (i - 1) % 4
        border = shadow if kind == 3 else hot if kind == 1 else (text if style != 'flat' else shadow)
        fill = face if kind in (2, 3) else window
        mark = shadow if kind == 3 else text
        if i <= 8:
            disc(p, x0 + 8, 8, 6, fill)
            ring(p, x0 + 8, 8, 6, border)
            if i >= 5:
                disc(p, x0 + 8, 8, 2.5, mark)
        elif i <= 20:
            rect(p, x0 + 2, 2, x0 + 14, 14, fill)
            frame(p, x0 + 2, 2, x0 + 14, 14, border)
            if 13 <= i <= 16:
                if style.startswith('tick'):
                    tick(p, x0 + 4, 4, mark)
                else:
                    for d in range(6):
                        p[5 + d][x0 + 5 + d] = mark
                        p[10 - d][x0 + 5 + d] = mark
            elif i >= 17:
                rect(p, x0 + 5, 5, x0 + 11, 11, mark)
        else:
            rect(p, x0 + 1, 2, x0 + 15, 14, face)
            frame(p, x0 + 1, 2, x0 + 15, 14, shadow if kind != 1 else hot)
            hl = shadow if kind == 2 else (255, 255, 255)
            for x in range(x0 + 2, x0 + 14):
                p[3][x] = hl
            for y in range(3, 13):
                p[y][x0 + 2] = hl
    return p


def buttons():  # 9 x 9 plus and minus on the key colour
    out = {}
    for name, plus in (('NT_XPBUTTONPLUS', True), ('NT_XPBUTTONMINUS', False)):
        p = canvas(9, 9)
        rect(p, 0, 0, 9, 9, (255, 255, 255))
        frame(p, 0, 0, 9, 9, (122, 152, 175))
        for x in range(2, 7):
            p[4][x] = (0, 0, 0)
        if plus:
            for y in range(2, 7):
                p[y][4] = (0, 0, 0)
        p[0][0] = FUCHSIA
        p[0][8] = FUCHSIA
        p[8][0] = FUCHSIA
        p[8][8] = FUCHSIA
        out[name] = p
    return out


def xp_strip():  # the push-button images of the button list
    return check_strip('light')


def utilities():  # 0, 1 drop marks left/right; 2, 3 sort down/up; 4, 5 themed
    p = canvas(16 * 6, 16)
    c = (0, 0, 0)
    for i in range(6):
        x0 = i * 16
        if i == 0:
            for d in range(5):
                rect(p, x0 + 10 - d, 8 - d, x0 + 11 - d, 9 + d, c)
        elif i == 1:
            for d in range(5):
                rect(p, x0 + 5 + d, 8 - d, x0 + 6 + d, 9 + d, c)
        else:
            down = i % 2 == 0
            col = c if i < 4 else (80, 80, 80)
            for d in range(4):
                y = 5 + d if down else 10 - d
                rect(p, x0 + 4 + d, y, x0 + 12 - d, y + 1, col)
    return p


def cursor(vertical):  # 32 x 32, hot spot in the middle
    p = canvas(32, 32)
    c, w = (0, 0, 0), (255, 255, 255)
    if vertical:  # rows: a bar with arrows up and down
        rect(p, 6, 14, 26, 18, w)
        rect(p, 7, 15, 25, 17, c)
        for d in range(5):
            rect(p, 16 - d, 8 + d, 17 + d, 9 + d, c)
            rect(p, 16 - d, 23 - d, 17 + d, 24 - d, c)
    else:  # columns: a bar with arrows left and right
        rect(p, 14, 6, 18, 26, w)
        rect(p, 15, 7, 17, 25, c)
        for d in range(5):
            rect(p, 8 + d, 16 - d, 9 + d, 17 + d, c)
            rect(p, 23 - d, 16 - d, 24 - d, 17 + d, c)
    return p


def main(out):
    os.makedirs(out, exist_ok=True)
    for name, style in (('NT_CHECK_LIGHT', 'light'), ('NT_CHECK_DARK', 'dark'), ('NT_TICK_LIGHT', 'ticklight'),
                        ('NT_TICK_DARK', 'tickdark'), ('NT_FLAT', 'flat')):
        png(os.path.join(out, name + '.png'), check_strip(style))
    png(os.path.join(out, 'NT_XP.png'), xp_strip())
    png(os.path.join(out, 'NT_UTILITIES.png'), utilities())
    for name, p in buttons().items():
        png(os.path.join(out, name + '.png'), p)
    png(os.path.join(out, 'NT_HEADERSPLIT.png'), cursor(False))
    png(os.path.join(out, 'NT_VERTSPLIT.png'), cursor(True))


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'resources', 'tree'))
