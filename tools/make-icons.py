#!/usr/bin/env python3
"""Draws the Keyhold icons and writes them as .ico files.

Every icon is described once with signed-distance shapes on a 32x32 grid and
rendered at 16x16 and 32x32 (anti-aliased, 32-bit BGRA with alpha plus the AND
mask). Only the Python standard library is used.

    tools/make-icons.py [OUTDIR] [--preview PNG]

OUTDIR defaults to src/res/icons next to this script. The generated icons are
checked in; run this only when a picture has to change.
"""

import math
import os
import struct
import sys
import zlib

GRID = 32.0
SIZES = (16, 32)

# --------------------------------------------------------------------------
# Signed distance shapes. Coordinates are on the 32x32 grid, y grows down.
# A shape is a function (x, y) -> distance, negative inside.


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def box(x0, y0, x1, y1, r=0.0):
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    hx, hy = (x1 - x0) / 2.0 - r, (y1 - y0) / 2.0 - r

    def f(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r
    return f


def segment(ax, ay, bx, by, w):
    """Capsule of total width w along a-b."""
    def f(x, y):
        px, py = x - ax, y - ay
        dx, dy = bx - ax, by - ay
        ll = dx * dx + dy * dy
        t = 0.0 if ll == 0 else max(0.0, min(1.0, (px * dx + py * dy) / ll))
        return math.hypot(px - dx * t, py - dy * t) - w / 2.0
    return f


def polygon(pts):
    n = len(pts)

    def f(x, y):
        d = float("inf")
        s = 1.0
        j = n - 1
        for i in range(n):
            xi, yi = pts[i]
            xj, yj = pts[j]
            ex, ey = xj - xi, yj - yi
            wx, wy = x - xi, y - yi
            ll = ex * ex + ey * ey
            t = max(0.0, min(1.0, (wx * ex + wy * ey) / ll))
            d = min(d, math.hypot(wx - ex * t, wy - ey * t))
            c1 = y >= yi
            c2 = y < yj
            c3 = ex * wy > ey * wx
            if (c1 and c2 and c3) or (not c1 and not c2 and not c3):
                s = -s
            j = i
        return s * d
    return f


def ring(cx, cy, r, w):
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - r) - w / 2.0


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def intersect(*shapes):
    return lambda x, y: max(s(x, y) for s in shapes)


def subtract(a, b):
    return lambda x, y: max(a(x, y), -b(x, y))


def shackle(cx, cy, r, w, left_len, right_len):
    """Padlock shackle: an upper half ring with two legs hanging down."""
    def arc(x, y):
        if y > cy:
            return float("inf")
        return abs(math.hypot(x - cx, y - cy) - r) - w / 2.0
    return union(arc,
                 segment(cx - r, cy, cx - r, cy + left_len, w),
                 segment(cx + r, cy, cx + r, cy + right_len, w))


# --------------------------------------------------------------------------
# Canvas


def rgb(h, a=255):
    h = h.lstrip("#")
    return (int(h[0:2], 16), int(h[2:4], 16), int(h[4:6], 16), a)


def vgrad(top, bottom, y0, y1):
    """Vertical gradient between two colours over grid rows y0..y1."""
    def f(x, y):
        t = max(0.0, min(1.0, (y - y0) / float(y1 - y0)))
        return tuple(int(round(a + (b - a) * t)) for a, b in zip(top, bottom))
    return f


class Canvas:
    def __init__(self, size):
        self.size = size
        self.pix = GRID / size          # one pixel in grid units
        self.px = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def fill(self, shape, colour):
        n = self.size
        for j in range(n):
            y = (j + 0.5) * self.pix
            row = self.px[j]
            for i in range(n):
                x = (i + 0.5) * self.pix
                d = shape(x, y)
                cov = max(0.0, min(1.0, 0.5 - d / self.pix))
                if cov <= 0.0:
                    continue
                c = colour(x, y) if callable(colour) else colour
                row[i] = over(row[i], c, cov)

    def outlined(self, shape, fill, line, width=None):
        """Shape in the line colour, then inset by one pixel in the fill."""
        w = self.pix if width is None else width
        self.fill(shape, line)
        inset = lambda x, y: shape(x, y) + w
        self.fill(inset, fill)

    def clear(self, shape):
        """Punches a fully transparent hole."""
        n = self.size
        for j in range(n):
            y = (j + 0.5) * self.pix
            for i in range(n):
                x = (i + 0.5) * self.pix
                cov = max(0.0, min(1.0, 0.5 - shape(x, y) / self.pix))
                if cov > 0:
                    r, g, b, a = self.px[j][i]
                    self.px[j][i] = (r, g, b, int(round(a * (1 - cov))))


def over(dst, src, cov):
    sa = src[3] / 255.0 * cov
    da = dst[3] / 255.0
    oa = sa + da * (1 - sa)
    if oa <= 0:
        return (0, 0, 0, 0)
    out = []
    for k in range(3):
        v = (src[k] * sa + dst[k] * da * (1 - sa)) / oa
        out.append(int(round(v)))
    out.append(int(round(oa * 255)))
    return tuple(out)


# --------------------------------------------------------------------------
# Palette

GOLD_TOP, GOLD_BOT, GOLD_LINE = rgb("#ffe27a"), rgb("#e0a020"), rgb("#7a5608")
FOLDER_TOP, FOLDER_BOT, FOLDER_LINE = rgb("#ffe08a"), rgb("#eab53a"), rgb("#8a6410")
STEEL_TOP, STEEL_BOT, STEEL_LINE = rgb("#d4dae2"), rgb("#8a96a6"), rgb("#3c4450")
WHITE = rgb("#ffffff")
DARK = rgb("#2a2f38")
GREEN, GREEN_LINE = rgb("#3cc04a"), rgb("#1b6b26")
GREY_DOT, GREY_DOT_LINE = rgb("#a8acb2"), rgb("#50545a")

# --------------------------------------------------------------------------
# Pictures. Each takes a Canvas; edges sit on even grid lines where possible
# so the 16x16 rendering stays crisp.


def folder_back(c, top, bot):
    shape = union(box(2, 6, 14, 12, 1.5), box(2, 9, 30, 27, 2))
    c.outlined(shape, vgrad(top, bot, 6, 27), FOLDER_LINE)


def draw_folder_closed(c):
    folder_back(c, FOLDER_TOP, FOLDER_BOT)
    # a lighter lip along the top of the front
    c.fill(box(2 + 2 * c.pix, 11, 30 - 2 * c.pix, 11 + c.pix), rgb("#fff2c0"))


def draw_folder_open(c):
    folder_back(c, rgb("#e8b848"), rgb("#b88418"))
    front = polygon([(7, 14), (31, 14), (26, 27), (2, 27)])
    c.outlined(front, vgrad(rgb("#fff0b0"), rgb("#f2c24a"), 14, 27), FOLDER_LINE)


def draw_group_email(c):
    body = box(2, 7, 30, 25, 1.5)
    c.outlined(body, vgrad(rgb("#ffffff"), rgb("#dde6f2"), 7, 25), rgb("#2f5288"))
    inner = lambda x, y: body(x, y) + c.pix
    w = max(c.pix * 1.1, 1.6)
    if c.size >= 32:
        for s in (segment(2, 25, 13, 16, w * 0.8), segment(30, 25, 19, 16, w * 0.8)):
            c.fill(intersect(s, inner), rgb("#8ea6c8"))
    flap = union(segment(2, 7, 16, 18, w), segment(30, 7, 16, 18, w))
    c.fill(intersect(flap, inner), rgb("#2f5288"))


def draw_group_internet(c):
    ball = circle(16, 16, 14)
    c.outlined(ball, vgrad(rgb("#6cc0ff"), rgb("#1d5cb0"), 2, 30), rgb("#123c74"))
    inside = lambda x, y: ball(x, y) + c.pix
    w = c.pix if c.size < 32 else 1.4
    lines = [ring_ellipse(16, 16, 6.5, 14, w),
             segment(16, 1, 16, 31, w),
             segment(1, 16, 31, 16, w)]
    if c.size >= 32:
        lines += [segment(1, 9, 31, 9, w), segment(1, 23, 31, 23, w)]
    c.fill(intersect(union(*lines), inside), rgb("#ffffff", 215))


def ring_ellipse(cx, cy, rx, ry, w):
    """Outline of an axis-aligned ellipse (sampled as a polyline)."""
    pts = [(cx + rx * math.cos(t * math.pi / 24), cy + ry * math.sin(t * math.pi / 24))
           for t in range(48)]
    segs = [segment(pts[i][0], pts[i][1], pts[(i + 1) % 48][0], pts[(i + 1) % 48][1], w)
            for i in range(48)]
    return union(*segs)


def draw_group_homebanking(c):
    stone = vgrad(rgb("#fbf7ec"), rgb("#cfc6ae"), 3, 29)
    line = rgb("#5e4e2e")
    c.outlined(polygon([(16, 2), (31, 11), (1, 11)]), stone, line)
    c.outlined(box(2, 24, 30, 29, 0.5), stone, line)
    for x in (4, 14, 24):
        if c.size >= 32:
            c.outlined(box(x, 11, x + 4, 25), stone, line)
        else:
            # too thin for an outline at 16x16: solid shaded columns
            c.fill(box(x, 11, x + 4, 25), vgrad(rgb("#b8a882"), rgb("#8a7a56"), 11, 25))
    c.outlined(box(2, 10, 30, 13), stone, line)
    # the coin in the pediment
    c.outlined(circle(16, 7, 2.6 if c.size >= 32 else 2.2), vgrad(GOLD_TOP, GOLD_BOT, 4, 10), GOLD_LINE)


def draw_group_network(c):
    link = rgb("#3a4656")
    w = 2.0 if c.size < 32 else 2.2
    top, bl, br = (16, 7), (7, 24), (25, 24)
    c.fill(union(segment(*top, *bl, w), segment(*top, *br, w), segment(*bl, *br, w)), link)
    r = 5.5
    c.outlined(circle(*top, r), vgrad(rgb("#8fd8ff"), rgb("#2a7fd0"), 1, 13), rgb("#163f78"))
    c.outlined(circle(*bl, r), vgrad(rgb("#9ae89a"), rgb("#2e9e3e"), 18, 30), rgb("#1b5f25"))
    c.outlined(circle(*br, r), vgrad(rgb("#9ae89a"), rgb("#2e9e3e"), 18, 30), rgb("#1b5f25"))


def draw_group_windows(c):
    frame = box(2, 4, 30, 28, 2)
    line = rgb("#18386a")
    c.fill(frame, line)
    inner = lambda x, y: frame(x, y) + c.pix
    c.fill(inner, rgb("#f6f8fb"))
    bar = intersect(inner, box(0, 0, 32, 10))
    c.fill(bar, vgrad(rgb("#6aa6f0"), rgb("#2d68c4"), 4, 10))
    c.fill(box(2, 10 - c.pix, 30, 10), line)
    # title bar buttons
    if c.size >= 32:
        for x in (20, 24):
            c.fill(box(x, 6, x + 2, 8), WHITE)
        c.fill(box(4, 6, 12, 8), rgb("#dbe8fb"))
    else:
        c.fill(box(24, 6, 28, 8), WHITE)
    # a little content in the window
    grey = rgb("#b4bfcc")
    if c.size >= 32:
        for y, x1 in ((14, 26), (18, 22), (22, 24)):
            c.fill(box(6, y, x1, y + 2), grey)
    else:
        for y, x1 in ((14, 24), (20, 20)):
            c.fill(box(6, y, x1, y + 2), grey)


def draw_group_general(c):
    card = box(1, 6, 31, 26, 3)
    c.outlined(card, vgrad(rgb("#fff5da"), rgb("#f0d89a"), 6, 26), rgb("#7a5a1c"))
    if c.size >= 32:
        c.fill(intersect(lambda x, y: card(x, y) + c.pix, box(0, 9, 32, 12)), rgb("#c88a2a"))
        # a key drawn on the card, as the generic "secret" symbol
        key_shape(c, 0.55, 4, 11)
    else:
        key_shape(c, 0.7, 3, 5)


def key_pieces(s, ox, oy):
    bow = circle(ox + 9 * s, oy + 16 * s, 7 * s)
    hole = circle(ox + 7.6 * s, oy + 16 * s, 2.6 * s)
    shaft = box(ox + 14 * s, oy + 14 * s, ox + 30 * s, oy + 18 * s)
    teeth = union(box(ox + 21 * s, oy + 17 * s, ox + 24 * s, oy + 22 * s),
                  box(ox + 26 * s, oy + 17 * s, ox + 30 * s, oy + 23 * s))
    return bow, union(shaft, teeth), hole


def key_shape(c, s=1.0, ox=0.0, oy=0.0):
    bow, blade, hole = key_pieces(s, ox, oy)
    y0, y1 = oy + 9 * s, oy + 23 * s
    if c.size >= 32:
        c.outlined(subtract(union(bow, blade), hole), vgrad(GOLD_TOP, GOLD_BOT, y0, y1), GOLD_LINE)
        # keep the hole's rim dark as well
        c.fill(intersect(ring(ox + 7.6 * s, oy + 16 * s, 2.6 * s + c.pix / 2, c.pix), bow), GOLD_LINE)
    else:
        # The blade is only two pixels high at 16x16, an outline would eat
        # it: draw it solid in a darker gold and outline the bow alone.
        c.fill(subtract(blade, bow), rgb("#c8900e"))
        c.outlined(subtract(bow, hole), vgrad(GOLD_TOP, GOLD_BOT, y0, y1), GOLD_LINE)


def draw_entry(c):
    key_shape(c)


def draw_new_entry(c):
    key_shape(c, 1.0, 0, 5)
    badge = circle(24, 8, 7.5)
    c.outlined(badge, vgrad(rgb("#6ee070"), rgb("#23952f"), 0, 16), GREEN_LINE)
    w = 2.0 if c.size < 32 else 2.6
    c.fill(union(box(24 - w / 2, 3, 24 + w / 2, 13), box(19, 8 - w / 2, 29, 8 + w / 2)), WHITE)


def padlock(c, body_top, body_bot, body_line, shackle_shape):
    if c.size >= 32:
        c.outlined(shackle_shape, vgrad(STEEL_TOP, STEEL_BOT, 2, 16), STEEL_LINE)
    else:
        # the shackle is under two pixels wide at 16x16: draw it solid
        c.fill(shackle_shape, vgrad(rgb("#aab4c0"), rgb("#56606c"), 2, 16))
    body = box(5, 14, 27, 30, 2.5)
    c.outlined(body, vgrad(body_top, body_bot, 14, 30), body_line)
    hole = union(circle(16, 20.5, 2.4), polygon([(14.8, 21), (17.2, 21), (18, 26), (14, 26)]))
    c.fill(hole, DARK)


def draw_lock(c):
    padlock(c, GOLD_TOP, GOLD_BOT, GOLD_LINE, shackle(16, 10.5, 7, 3.6, 5, 5))


def draw_unlock(c):
    # shackle pulled up and out: the left leg hangs free above the body
    padlock(c, GOLD_TOP, GOLD_BOT, GOLD_LINE, shackle(16, 6.5, 7, 3.6, 2.5, 9))


def keyboard(c):
    kb = box(1, 6, 31, 22, 2)
    c.outlined(kb, vgrad(rgb("#f0f2f5"), rgb("#b8bec8"), 6, 22), rgb("#3c4450"))
    key = rgb("#4a525e")
    if c.size >= 32:
        for row, (x0, n) in enumerate(((4, 7), (5, 6))):
            for k in range(n):
                x = x0 + k * 3.6 + (row * 0.4)
                c.fill(box(x, 9 + row * 4, x + 2.4, 11.4 + row * 4, 0.4), key)
        c.fill(box(9, 17, 23, 19.4, 0.4), key)
    else:
        for k in range(6):
            c.fill(box(4 + 4 * k, 10, 6 + 4 * k, 12), key)
        c.fill(box(8, 16, 24, 18), key)


def draw_autotype_on(c):
    keyboard(c)
    c.outlined(circle(25, 25, 6.5), vgrad(rgb("#8af08a"), rgb("#1f9a2c"), 18, 32), GREEN_LINE)


def draw_autotype_off(c):
    keyboard(c)
    c.outlined(circle(25, 25, 6.5), vgrad(rgb("#d8dadc"), rgb("#8a8e94"), 18, 32), GREY_DOT_LINE)
    c.fill(box(21, 24, 29, 26), rgb("#50545a"))


def draw_reload(c):
    # Two arrows chasing each other round a circle.
    arc = subtract(ring(16, 16, 10, 4), union(box(14, 0, 32, 14), box(0, 18, 18, 32)))
    heads = union(polygon([(16, 1), (16, 13), (23, 7)]), polygon([(16, 19), (16, 31), (9, 25)]))
    c.outlined(union(arc, heads), vgrad(rgb("#8ad0ff"), rgb("#1f6fb8"), 4, 30), rgb("#124a80"))


ICONS = [
    ("folder_closed.ico", draw_folder_closed),
    ("reload.ico", draw_reload),
    ("folder_open.ico", draw_folder_open),
    ("group_email.ico", draw_group_email),
    ("group_internet.ico", draw_group_internet),
    ("group_homebanking.ico", draw_group_homebanking),
    ("group_network.ico", draw_group_network),
    ("group_windows.ico", draw_group_windows),
    ("group_general.ico", draw_group_general),
    ("entry.ico", draw_entry),
    ("new_entry.ico", draw_new_entry),
    ("lock.ico", draw_lock),
    ("unlock.ico", draw_unlock),
    ("autotype_on.ico", draw_autotype_on),
    ("autotype_off.ico", draw_autotype_off),
]

# --------------------------------------------------------------------------
# Output


def ico_image(canvas):
    n = canvas.size
    xor = bytearray()
    for row in reversed(canvas.px):          # bottom-up
        for r, g, b, a in row:
            xor += bytes((b, g, r, a)) if a else b"\0\0\0\0"
    stride = ((n + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(canvas.px):
        bits = bytearray(stride)
        for i, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[i >> 3] |= 0x80 >> (i & 7)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return bytes(header + xor + mask)


def write_ico(path, canvases):
    images = [ico_image(c) for c in canvases]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for c, img in zip(canvases, images):
        dim = c.size if c.size < 256 else 0
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    for img in images:
        out += img
    with open(path, "wb") as f:
        f.write(out)


def write_png(path, w, h, rows):
    def chunk(tag, data):
        c = struct.pack(">I", len(data)) + tag + data
        return c + struct.pack(">I", zlib.crc32(tag + data) & 0xffffffff)
    raw = b"".join(b"\0" + bytes(r) for r in rows)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def write_preview(path, rendered, zoom=4):
    """All icons side by side, 16 and 32 at 4x, on light, dark and a 1:1 strip."""
    cell = 32 * zoom + 8
    cols = len(rendered)
    backgrounds = [(255, 255, 255), (240, 240, 240), (60, 60, 70)]
    strip = 40
    w = cols * cell
    h = len(backgrounds) * cell * 2 + strip
    img = [[(200, 200, 200)] * w for _ in range(h)]

    def blit(canvas, x0, y0, z, bg):
        for j, row in enumerate(canvas.px):
            for i, (r, g, b, a) in enumerate(row):
                t = a / 255.0
                c = (int(r * t + bg[0] * (1 - t)), int(g * t + bg[1] * (1 - t)),
                     int(b * t + bg[2] * (1 - t)))
                for yy in range(z):
                    line = img[y0 + j * z + yy]
                    for xx in range(z):
                        line[x0 + i * z + xx] = c

    y = 0
    for bg in backgrounds:
        for size_index in range(2):
            for k, canvases in enumerate(rendered):
                x0 = k * cell
                for yy in range(y, y + cell):
                    for xx in range(x0, x0 + cell - 2):
                        img[yy][xx] = bg
                cv = canvases[size_index]
                z = zoom * 32 // cv.size if size_index == 0 else zoom
                # 16x16 is shown at 8x so both rows have the same footprint
                blit(cv, x0 + 4, y + 4, z, bg)
            y += cell
    # actual size strip on white
    for yy in range(y, h):
        img[yy] = [(255, 255, 255)] * w
    for k, canvases in enumerate(rendered):
        blit(canvases[0], k * cell + 4, y + 4, 1, (255, 255, 255))
        blit(canvases[1], k * cell + 28, y + 4, 1, (255, 255, 255))
    rows = [bytes(v for px in row for v in px) for row in img]
    write_png(path, w, h, rows)


def main(argv):
    outdir = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "res", "icons")
    preview = None
    args = list(argv)
    while args:
        a = args.pop(0)
        if a == "--preview":
            preview = args.pop(0)
        else:
            outdir = a
    os.makedirs(outdir, exist_ok=True)
    rendered = []
    for name, draw in ICONS:
        canvases = []
        for size in SIZES:
            c = Canvas(size)
            draw(c)
            canvases.append(c)
        write_ico(os.path.join(outdir, name), canvases)
        rendered.append(canvases)
    if preview:
        write_preview(preview, rendered)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
