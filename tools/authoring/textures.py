"""Base textures of the room, painted from code.

Run standalone (`python3 textures.py OUTDIR`) to iterate on the look without Blender; the
room build calls `make_all(outdir)`. Every texture is a power of two; JPEG unless it needs alpha.
The outdoor view is painted twice as bright as it should look: the outdoor pass lights it with
half-grey ambient light and adds the lightning on top.
"""
import math
import os
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFont, ImageFilter

from texlib import fbm, smooth_noise, ramp, to_image, save, blur, rng

SERIF = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf"
SERIF_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf"


def font(path, size):
    try:
        return ImageFont.truetype(path, size)
    except OSError:
        return ImageFont.load_default()


def grid(w, h):
    y, x = np.mgrid[0:h, 0:w].astype(np.float32)
    return x, y


# --- wood -------------------------------------------------------------------------------

def wood_grain(w, h, seed, rings=40.0, warp=6.0):
    """Long-grain wood figure running along x: 0..1 field."""
    x, y = grid(w, h)
    n = fbm(w, h, 4, 4, seed, aspect=(1, 4))
    fine = fbm(w, h, 16, 3, seed + 5, aspect=(1, 16))
    g = np.sin((y / h) * rings * 2 * math.pi + n * warp) * 0.5 + 0.5
    g = g ** 3
    return np.clip(0.65 * g + 0.35 * fine, 0, 1)


def parquet(size=1024, seed=11):
    """Dark oak herringbone: zig-zag columns of short planks, each with its own tone."""
    x, y = grid(size, size)
    cols = 8                      # columns per tile
    cw = size / cols
    pw = size / 32                # plank width along the column (tileable: 32 per tile)
    j = np.floor(x / cw)
    s = x - j * cw
    even = (j % 2) == 0
    t = np.where(even, y + s, y - s + pw * 0.5)
    plank = np.floor(t / pw)
    across = (t - plank * pw) / pw  # 0..1 across the plank
    along = np.where(even, (s - y), (s + y)) / (cw * 1.414)
    r = rng(seed)
    tone = r.random((cols, 64)).astype(np.float32)
    tj = (j.astype(int) % cols)
    tp = (plank.astype(int) % 32)
    base = tone[tj, tp]
    grain_n = fbm(size, size, 32, 3, seed + 3)
    grain = np.sin(across * 9.0 + along * 1.5 + grain_n * 4 + base * 20) * 0.5 + 0.5
    fleck = fbm(size, size, 96, 2, seed + 9)
    v = 0.35 + 0.35 * base + 0.18 * grain ** 2 + 0.12 * fleck
    col = ramp(v, [(0.0, (34, 20, 11)), (0.45, (74, 45, 24)), (0.75, (108, 70, 38)),
                   (1.0, (132, 92, 54))])
    # joints between planks and columns
    edge = np.minimum(np.minimum(across, 1 - across) * pw, np.minimum(s, cw - s))
    col *= np.clip(edge / 1.6, 0.35, 1.0)[..., None]
    wear = fbm(size, size, 3, 3, seed + 21)
    col *= (0.9 + 0.2 * wear)[..., None]
    return to_image(col)


def mahogany(size=512, seed=21):
    """Dark Cuban-style mahogany: a close, fairly straight grain with a soft ribbon figure, deep
    red-brown under a satin varnish."""
    g = wood_grain(size, size, seed, rings=30, warp=3.5)
    fig = fbm(size, size, 4, 4, seed + 1, aspect=(1, 6))
    ribbon = 0.5 + 0.5 * np.sin(np.linspace(0, 6 * math.pi, size, dtype=np.float32))[None, :] * (fig - 0.5)
    v = 0.5 * g + 0.3 * fig + 0.2 * ribbon
    col = ramp(np.clip(v, 0, 1), [(0.0, (30, 10, 5)), (0.4, (58, 20, 10)), (0.75, (86, 33, 16)),
                                  (1.0, (112, 48, 24))])
    return to_image(col)


def oak_panel(size=512, seed=31):
    """Wainscot oak: quarter-sawn boards with vertical grain and the odd ray fleck; the panels
    themselves are modelled, so the texture carries only the wood."""
    g = wood_grain(size, size, seed, rings=26, warp=4).T
    fleck = fbm(size, size, 24, 3, seed + 4, aspect=(4, 1))
    x, _ = grid(size, size)
    board = np.floor(x / (size / 4))
    tone = rng(seed + 9).random(8).astype(np.float32)[board.astype(int) % 8]
    v = 0.25 + 0.5 * g + 0.12 * (fleck > 0.8) + 0.15 * tone
    col = ramp(np.clip(v, 0, 1), [(0.0, (38, 23, 12)), (0.5, (72, 46, 24)), (1.0, (104, 70, 40))])
    seam = np.abs((x % (size / 4)) - 0.5) < 1.0
    col[seam] *= 0.6
    return to_image(col)


# --- walls, ceiling, painted wood -------------------------------------------------------

def damask(size=512, seed=41):
    """Bottle-green damask: an ogee lattice in a half-drop with a palmette in each ogee (a
    stem, paired leaves, a bloom and curling acanthus at its foot) and a small sprig where the
    lattice crosses; satin figure on a matt ground, both woven, so the figure shows by its sheen
    rather than by a second colour. One texture tile holds two repeats across and two down."""
    x, y = grid(size, size)
    cu = (x / size) * 2
    col_i = np.floor(cu)
    u = (cu % 1.0) - 0.5                       # -0.5..0.5 across one repeat, 0 on the axis
    v = 1.0 - ((y / size) * 2 + 0.5 * (col_i % 2)) % 1.0     # image rows run downwards, v up the wall
    au = np.abs(u)
    # ogee: half-width of the onion at height v, pointed at the top and bottom
    half = 0.47 * np.clip(np.sin(np.pi * v), 0.0, None) ** 1.1 * (1 - 0.25 * np.sin(2 * np.pi * v))
    frame = np.abs(au - half) < 0.018
    inside = au < half - 0.018
    # palmette inside each ogee
    stem = inside & (au < 0.01) & (v > 0.22) & (v < 0.74)
    bloom_r = np.hypot(u / 0.09, (v - 0.66) / 0.075)
    bloom_a = np.arctan2(v - 0.66, u)
    bloom = bloom_r < 1.0 + 0.25 * np.cos(7 * bloom_a)
    bloom_eye = bloom_r < 0.35
    leaves = np.zeros_like(u, bool)
    for vc, size_l, tilt in ((0.36, 0.075, 0.7), (0.5, 0.06, 0.9)):
        lx, ly = au - 0.07, v - vc
        c, s_ = math.cos(tilt), math.sin(tilt)
        rx, ry = lx * c + ly * s_, -lx * s_ + ly * c
        leaves |= (rx / size_l) ** 2 + (ry / (size_l * 0.42)) ** 2 < 1.0
    curl_r = np.hypot(au - 0.12, v - 0.2)
    curl = (np.abs(curl_r - 0.06) < 0.012) & ~((v > 0.2) & (au < 0.12))
    figure = frame | ((stem | (bloom & ~bloom_eye) | leaves | curl) & inside)
    # sprig where two ogees meet: at the repeat's side, half way up
    sr = np.hypot((au - 0.5) / 0.05, (v - 0.0) / 0.06)
    sr2 = np.hypot((au - 0.5) / 0.05, (v - 1.0) / 0.06)
    figure |= (np.minimum(sr, sr2) < 1.0) & (np.minimum(sr, sr2) > 0.55)
    pat = blur(np.dstack([figure.astype(np.float32) * 255] * 3), 0.9)[..., 0] / 255.0
    # weave: the ground runs one way, the satin the other, seen as fine stripes of sheen
    ground_weave = 0.5 + 0.5 * np.sin(y * 2 * np.pi / 3.0)
    satin_weave = 0.5 + 0.5 * np.sin(x * 2 * np.pi / 2.5)
    n = fbm(size, size, 24, 3, seed)
    ground = ramp(0.45 + 0.2 * (n - 0.5) + 0.05 * ground_weave,
                  [(0.0, (16, 34, 25)), (1.0, (28, 52, 38))])
    satin = ramp(0.5 + 0.2 * (n - 0.5) + 0.08 * satin_weave,
                 [(0.0, (34, 62, 45)), (1.0, (52, 86, 62))])
    col = ground + (satin - ground) * pat[..., None]
    return to_image(col)


def plaster(size=256, seed=51, tint=(124, 118, 108)):
    n = fbm(size, size, 8, 4, seed)
    col = np.asarray(tint, np.float32) * (0.96 + 0.05 * n)[..., None]
    return to_image(col)


def paint(size=128, seed=61, tint=(196, 188, 170)):
    n = fbm(size, size, 8, 3, seed)
    col = np.asarray(tint, np.float32) * (0.94 + 0.08 * n)[..., None]
    return to_image(col)


# --- metals, fabrics ---------------------------------------------------------------------

def brass(size=256, seed=71):
    x, y = grid(size, size)
    streak = fbm(size, size, 2, 4, seed, aspect=(1, 24))
    blot = fbm(size, size, 4, 3, seed + 1)
    v = 0.55 + 0.3 * (streak - 0.5) + 0.25 * (blot - 0.5)
    col = ramp(v, [(0.0, (92, 62, 22)), (0.5, (176, 132, 56)), (1.0, (236, 200, 112))])
    return to_image(col)


def bob_disc(size=256, seed=73):
    """The pendulum's bob seen face on (it is mapped flat across its face): polished brass,
    darker towards the rim, faint turning rings and a soft highlight of the lamp up to the left."""
    x, y = grid(size, size)
    dx, dy = x / size - 0.5, y / size - 0.5
    r = np.clip(np.hypot(dx, dy) / 0.5, 0, 1)
    blot = fbm(size, size, 4, 3, seed + 1)
    base = ramp(0.55 + 0.15 * (blot - 0.5), [(0.0, (92, 62, 22)), (0.5, (176, 132, 56)), (1.0, (236, 200, 112))])
    shade = 0.42 + 0.3 * (1 - r * r) + 0.015 * np.sin(r * 120)
    hl = np.exp(-((dx + 0.16) ** 2 + (dy + 0.16) ** 2) / (2 * 0.07 ** 2))
    col = base * shade[..., None] + np.asarray((255, 236, 190), np.float32) * 0.45 * hl[..., None]
    return to_image(col)


def gilt(size=256, seed=75):
    x, y = grid(size, size)
    orn = (np.sin(x / size * 2 * math.pi * 16) * np.sin(y / size * 2 * math.pi * 4)) > 0.3
    n = fbm(size, size, 16, 3, seed)
    v = 0.45 + 0.3 * n + 0.2 * orn
    col = ramp(v, [(0.0, (70, 46, 14)), (0.5, (168, 124, 48)), (1.0, (232, 192, 104))])
    return to_image(col)


def blued_steel(size=64, seed=77):
    n = fbm(size, size, 4, 3, seed)
    col = ramp(n, [(0.0, (5, 6, 14)), (0.6, (10, 14, 32)), (1.0, (24, 32, 64))])
    return to_image(col)


def black_iron(size=64, seed=78):
    n = fbm(size, size, 4, 3, seed)
    col = ramp(n, [(0.0, (16, 15, 14)), (1.0, (44, 42, 40))])
    return to_image(col)


def velvet(size=256, seed=81, dark=(40, 8, 12), light=(104, 26, 30)):
    x, y = grid(size, size)
    folds = np.sin(x / size * 2 * math.pi * 6 + fbm(size, size, 3, 2, seed) * 3) * 0.5 + 0.5
    n = fbm(size, size, 48, 2, seed + 1)
    v = 0.25 + 0.5 * folds + 0.25 * n
    col = ramp(v, [(0.0, dark), (1.0, light)])
    return to_image(col)


def leather(size=256, seed=85):
    n = fbm(size, size, 24, 4, seed)
    crack = fbm(size, size, 64, 2, seed + 2)
    v = 0.4 + 0.5 * n - 0.25 * (crack > 0.82)
    col = ramp(v, [(0.0, (40, 12, 8)), (0.5, (88, 28, 18)), (1.0, (128, 52, 32))])
    return to_image(col)


def lace(w=512, h=1024, seed=91):
    """The sheer curtain, one piece from the pole to the sill: a fine net ground with a deep
    scalloped border along the hem, a band of flowers over it and a field of sprigs whose
    places, sizes and turns are all drawn at random, so no repeat shows; alpha carries the
    sheerness. u runs across the curtain, v from the top (the image's rows run downwards)."""
    x, y = grid(w, h)
    r = rng(seed)
    net = ((np.sin(x * 2 * math.pi / 4.0) > 0.6) | (np.sin(y * 2 * math.pi / 4.0) > 0.6)).astype(np.float32)
    figure = np.zeros((h, w), np.float32)
    # sprigs: a small flower of five to seven petals with two leaves, scattered over the field
    field_bottom = h * 0.78
    placed = []
    tries = 0
    while len(placed) < 70 and tries < 4000:
        tries += 1
        cx, cy = r.random() * w, r.random() * field_bottom
        rad = 10 + 9 * r.random()
        if any((cx - px) ** 2 + (cy - py) ** 2 < (rad + pr + 14) ** 2 for px, py, pr in placed):
            continue
        placed.append((cx, cy, rad))
        petals = int(r.integers(5, 8))
        turn = r.random() * 2 * math.pi
        dx, dy = x - cx, y - cy
        if rad > 0:
            rr = np.hypot(dx, dy)
            near = rr < rad * 2.6
            ang = np.arctan2(dy, dx) + turn
            flower = near & (rr < rad * (0.55 + 0.45 * np.abs(np.cos(ang * petals / 2))))
            eye = near & (rr < rad * 0.22)
            figure = np.maximum(figure, flower * 0.9 - eye * 0.5)
            for side in (-1, 1):
                la = turn + side * 0.9 + math.pi / 2
                lx, ly = cx + math.cos(la) * rad * 1.6, cy + math.sin(la) * rad * 1.6
                ex, ey = x - lx, y - ly
                ca, sa = math.cos(la), math.sin(la)
                ru, rv = ex * ca + ey * sa, -ex * sa + ey * ca
                leaf = (ru / (rad * 0.75)) ** 2 + (rv / (rad * 0.3)) ** 2 < 1.0
                figure = np.maximum(figure, leaf * 0.7)
    # the border: a band of linked flowers over the hem, and the scallops of the hem itself
    band_y = h * 0.86
    wave = band_y + 10 * np.sin(x * 2 * math.pi / (w / 6))
    figure = np.maximum(figure, (np.abs(y - wave) < 2.5) * 0.9)
    for k in range(12):
        cx = (k + 0.5) * w / 12
        cy = band_y + (-16 if k % 2 else 16)
        rr = np.hypot(x - cx, y - cy)
        ang = np.arctan2(y - cy, x - cx)
        figure = np.maximum(figure, ((rr < 13 * (0.6 + 0.4 * np.abs(np.cos(ang * 3)))) & (rr > 3)) * 0.9)
    scallop_w = w / 16
    sx = (x % scallop_w) / scallop_w - 0.5
    hem = h * 0.985 - (h * 0.03) * (1 - np.sqrt(np.clip(1 - (2 * sx) ** 2, 0, 1)))
    figure = np.maximum(figure, ((y > h * 0.93) & (y < hem)) * 0.55)
    figure = np.maximum(figure, (np.abs(y - hem) < 2.0) * 0.9)
    cut = y > hem + 2.0
    figure = np.asarray(Image.fromarray(np.clip(figure * 255, 0, 255).astype(np.uint8)).filter(
        ImageFilter.GaussianBlur(0.7)), np.float32) / 255.0
    a = 0.14 + 0.14 * net + 0.5 * figure
    a = np.where(cut, 0.0, a)
    n = fbm(w, h, 8, 3, seed + 1)
    col = np.zeros((h, w, 3), np.float32) + np.asarray((78, 82, 92), np.float32)
    col *= (0.9 + 0.2 * n)[..., None]
    return to_image(col, np.clip(a * 0.75, 0, 0.65))


def glass(size=128, seed=95):
    """Clock door glass: almost clear, with two soft diagonal highlights."""
    x, y = grid(size, size)
    d = (x + y * 0.6) / size
    hl = np.exp(-((d - 0.35) / 0.05) ** 2) * 0.35 + np.exp(-((d - 0.52) / 0.02) ** 2) * 0.25
    a = 0.04 + 0.7 * hl
    col = np.zeros((size, size, 3), np.float32) + np.asarray((110, 120, 132), np.float32)
    return to_image(col, np.clip(a, 0, 1))


def window_glass(size=512, seed=96):
    """The window's glass, one picture for the whole opening: a faint film, raindrops of many
    sizes clinging to it (a bright rim where they catch the light outside, a clear middle) and
    rivulets running down from some of them. u across the window, v up it."""
    x, y = grid(size, size)
    r = rng(seed)
    n = fbm(size, size, 4, 3, seed)
    a = 0.05 + 0.05 * n
    bright = np.zeros((size, size), np.float32)
    # the drops: many small, a few large; the lower part of the pane holds more water
    for _ in range(900):
        cx = r.random() * size
        cy = size * (r.random() ** 0.8)
        rad = 0.8 + 3.5 * r.random() ** 3
        x0, x1 = int(max(0, cx - rad - 2)), int(min(size, cx + rad + 3))
        y0, y1 = int(max(0, cy - rad * 1.3 - 2)), int(min(size, cy + rad * 1.3 + 3))
        if x1 <= x0 or y1 <= y0:
            continue
        dx, dy = x[y0:y1, x0:x1] - cx, (y[y0:y1, x0:x1] - cy) / 1.2
        d = np.hypot(dx, dy) / rad
        rim = np.clip(1 - np.abs(d - 0.8) / 0.25, 0, 1)
        body = np.clip(1 - d, 0, 1)
        # light from outside comes through the drop's lower edge (image rows run downwards)
        lower = np.clip(0.5 + 0.5 * dy / max(rad, 1e-3), 0, 1)
        bright[y0:y1, x0:x1] = np.maximum(bright[y0:y1, x0:x1], rim * (0.45 + 0.55 * lower) + body * 0.12)
        # a rivulet below the larger drops
        if rad > 2.2 and r.random() < 0.5:
            length = int(20 + 120 * r.random())
            xx = cx
            for k in range(length):
                yy = int(cy + rad + k)
                if yy >= size:
                    break
                xx += (r.random() - 0.5) * 0.6
                ix = int(xx)
                if 0 <= ix < size - 1:
                    wgt = 0.5 * (1 - k / length)
                    bright[yy, ix] = max(bright[yy, ix], wgt)
                    bright[yy, ix + 1] = max(bright[yy, ix + 1], wgt * 0.5)
    bright = np.clip(bright, 0, 1)
    a = np.clip(a + 0.5 * bright, 0, 0.7)
    col = np.zeros((size, size, 3), np.float32) + np.asarray((70, 80, 100), np.float32)
    col += bright[..., None] * np.asarray((120, 126, 140), np.float32)
    return to_image(col, a)


def rain(w=128, h=256, seed=101, density=70):
    """Falling rain streaks on black with alpha (drawn additively, so black adds nothing)."""
    r = rng(seed)
    a = np.zeros((h, w), np.float32)
    for _ in range(density):
        cx = r.random() * w
        cy = r.random() * h
        length = 14 + r.random() * 34
        bright = 0.25 + 0.6 * r.random()
        y0 = int(cy)
        for k in range(int(length)):
            yy = (y0 + k) % h
            xx = cx + k * 0.05
            fall = (k / length)
            ix = int(xx) % w
            frac = xx - int(xx)
            val = bright * math.sin(math.pi * fall)
            a[yy, ix] = max(a[yy, ix], val * (1 - frac))
            a[yy, (ix + 1) % w] = max(a[yy, (ix + 1) % w], val * frac)
    col = np.dstack([a * 170, a * 190, a * 220])
    return to_image(col, a)


def shade(size=256, seed=111):
    """Glowing fabric lamp shade: warm, brighter towards the bulb, with pleats."""
    x, y = grid(size, size)
    pleat = np.sin(x / size * 2 * math.pi * 24) * 0.5 + 0.5
    glow = np.exp(-((y / size - 0.6) / 0.45) ** 2)
    n = fbm(size, size, 32, 2, seed)
    v = 0.55 + 0.35 * glow + 0.08 * pleat + 0.05 * n
    col = ramp(v, [(0.0, (150, 86, 30)), (0.6, (236, 168, 84)), (1.0, (255, 226, 160))])
    return to_image(col)


# --- book spines, rug, painting, outdoor view ------------------------------------------------

def books(size=512, seed=121):
    """Sixteen spine columns: cloth and leather colours with gilt bands and titles."""
    r = rng(seed)
    img = Image.new("RGB", (size, size))
    d = ImageDraw.Draw(img)
    cols = 16
    cw = size // cols
    palette = [(92, 20, 18), (24, 48, 36), (30, 34, 70), (104, 72, 36), (58, 18, 40),
               (40, 40, 38), (120, 96, 60), (70, 30, 14), (20, 60, 66), (96, 84, 70)]
    for i in range(cols):
        c = palette[int(r.integers(len(palette)))]
        c = tuple(int(v * (0.8 + 0.4 * r.random())) for v in c)
        d.rectangle([i * cw, 0, (i + 1) * cw - 1, size - 1], fill=c)
        gold = (190, 150, 70)
        for band in range(int(r.integers(2, 5))):
            yb = int(size * (0.08 + 0.84 * r.random()))
            d.rectangle([i * cw + 2, yb, (i + 1) * cw - 3, yb + 3], fill=gold)
        ty = int(size * 0.3)
        d.rectangle([i * cw + 6, ty, (i + 1) * cw - 7, ty + 60], outline=gold)
    arr = np.asarray(img, np.float32)
    n = fbm(size, size, 32, 3, seed + 1)
    x, _ = grid(size, size)
    edge = np.abs(((x % cw) / cw) - 0.5) * 2
    arr *= (0.85 + 0.2 * n)[..., None] * (1.0 - 0.45 * edge ** 4)[..., None]
    return to_image(arr)


def rug(w=1024, h=512, seed=131):
    """Persian-style rug, 2.9 x 2.1 m mapped onto the square: a madder field with a lattice of
    small florets, a lobed indigo medallion with pendants, corner spandrels, a wide indigo border
    with rosettes on a running vine between guard stripes; dark outlines round every shape, wool
    grain, abrash bands and wear where feet go. Twice as wide as high, like the rug itself."""
    x, y = grid(w, h)
    X = (x / w * 2 - 1) * 1.45               # metres from the centre
    Y = (y / h * 2 - 1) * 1.05
    red = np.asarray((124, 30, 28), np.float32)
    indigo = np.asarray((30, 36, 72), np.float32)
    ivory = np.asarray((204, 188, 150), np.float32)
    saffron = np.asarray((182, 132, 58), np.float32)
    brown = np.asarray((44, 26, 20), np.float32)
    teal = np.asarray((46, 80, 72), np.float32)
    # distance inwards from the nearest edge
    d = np.minimum(1.45 - np.abs(X), 1.05 - np.abs(Y))
    label = np.zeros((h, w), np.int32)          # 0 field
    col = np.zeros((h, w, 3), np.float32) + red
    # field lattice: small quatrefoil florets on a diagonal grid
    gx, gy = (X + Y) / 0.16, (X - Y) / 0.16
    fx, fy = gx - np.round(gx), gy - np.round(gy)
    r = np.hypot(fx, fy)
    ang = np.arctan2(fy, fx)
    petal = r < 0.12 + 0.2 * np.abs(np.cos(2 * ang)) ** 0.7
    centre = r < 0.09
    diamond = (np.abs(fx) + np.abs(fy) > 0.46) & (np.abs(fx) + np.abs(fy) < 0.5)
    field = d > 0.3
    col[field & petal] = saffron * 0.85
    col[field & centre] = ivory * 0.9
    col[field & diamond] = brown * 1.4
    label[field & petal] = 1
    # medallion: a lobed oval with an ivory ring, an indigo ground and a red star
    mr = np.hypot(X / 0.62, Y / 0.42)
    mang = np.arctan2(Y / 0.42, X / 0.62)
    lobe = 1.0 + 0.09 * np.cos(12 * mang)
    pend = (np.abs(Y) < 0.09 - 0.3 * np.abs(np.abs(X) - 0.72)) & (np.abs(X) > 0.55) & (np.abs(X) < 0.86)
    med = (mr < lobe) | pend
    col[med] = indigo
    label[med] = 2
    ring = (mr < lobe * 0.78) & (mr > lobe * 0.70)
    col[ring] = ivory
    label[ring] = 3
    inner = mr < lobe * 0.70
    col[inner] = indigo * 1.15
    star = mr < 0.34 + 0.12 * np.cos(8 * mang)
    col[star] = red * 1.05
    label[star] = 4
    heart = mr < 0.13
    col[heart] = saffron
    label[heart] = 5
    sprig = inner & ~star & (np.cos(16 * mang) > 0.7) & (mr > 0.45) & (mr < 0.6)
    col[sprig] = teal * 1.3
    # corner spandrels: quarter medallions
    for sx in (-1, 1):
        for sy in (-1, 1):
            cr = np.hypot((X - sx * 1.15) / 0.36, (Y - sy * 0.75) / 0.26)
            ca = np.arctan2((Y - sy * 0.75) / 0.26, (X - sx * 1.15) / 0.36)
            edge = 1.0 + 0.12 * np.cos(10 * ca)
            sp = (cr < edge) & field
            col[sp] = indigo
            label[sp] = 6
            rim = sp & (cr > edge - 0.12)
            col[rim] = ivory * 0.8
            label[rim] = 14
            spi = sp & (cr < 0.55 + 0.1 * np.cos(8 * ca))
            col[spi] = red * 1.05
            label[spi] = 7
            spc = sp & (cr < 0.22)
            col[spc] = saffron
            label[spc] = 13
    # borders, outside in: brown guard, ivory stripe of dots, the main indigo band with rosettes
    # on a vine, a saffron stripe, a red guard
    main = (d > 0.06) & (d < 0.24)
    col[d <= 0.3] = red * 0.9
    label[d <= 0.3] = 8
    col[main] = indigo
    label[main] = 9
    col[d < 0.06] = brown * 1.2
    label[d < 0.06] = 10
    stripe = (d > 0.03) & (d < 0.05)
    col[stripe] = ivory * 0.85
    dots = stripe & (np.sin((X + Y) * 90) > 0.6)
    col[dots] = red
    col[(d > 0.24) & (d < 0.26)] = saffron
    label[(d > 0.24) & (d < 0.26)] = 11
    # along the band: position s runs round the rug, t across it
    s_ = np.where(np.abs(X) / 1.45 * 1.05 > np.abs(Y), Y, X)
    t = (d - 0.06) / 0.18
    vine = main & (np.abs(t - 0.5 - 0.28 * np.sin(s_ * 2 * math.pi / 0.3)) < 0.07)
    col[vine] = saffron * 0.9
    rs = (s_ / 0.3) - np.round(s_ / 0.3)
    rose_r = np.hypot(rs * 0.3 / 0.07, (t - 0.5) * 0.18 / 0.07)
    rose_a = np.arctan2((t - 0.5) * 0.18, rs * 0.3)
    rose = main & (rose_r < 0.85 + 0.2 * np.cos(6 * rose_a))
    col[rose] = ivory
    label[rose] = 12
    col[main & (rose_r < 0.5)] = red
    col[main & (rose_r < 0.2)] = saffron
    # outlines: wherever the label changes
    edge = np.zeros((h, w), bool)
    edge[1:, :] |= label[1:, :] != label[:-1, :]
    edge[:, 1:] |= label[:, 1:] != label[:, :-1]
    col[edge] = col[edge] * 0.35 + brown * 0.65
    col = blur(col, 0.7)
    # wool: knot grain, abrash (bands of slightly different dye lots) and wear
    knots = fbm(w, h, 256, 1, seed)
    abrash = smooth_noise(w, h, 1, 9, seed + 3)
    wear = fbm(w, h, 4, 3, seed + 2)
    path = np.exp(-((Y + 0.2) / 0.5) ** 2) * 0.15
    col *= (0.82 + 0.18 * knots)[..., None] * (0.9 + 0.14 * abrash)[..., None]
    col *= (1.0 - path * wear)[..., None]
    grey = col.mean(axis=2, keepdims=True)
    col = 0.78 * col + 0.22 * grey         # an old rug: the dyes have softened
    return to_image(col * 0.85)


def painting(w=512, h=512, seed=141):
    """A moody seascape in oils: storm sky, a pale break in the clouds, a dark sea, a sail."""
    x, y = grid(w, h)
    u, v = x / w, y / h
    horizon = 0.62
    sky_n = fbm(w, h, 5, 5, seed, aspect=(2, 1))
    sky = ramp(v / horizon * 0.8 + 0.3 * (sky_n - 0.5),
               [(0.0, (40, 44, 52)), (0.5, (92, 96, 96)), (0.75, (170, 160, 130)),
                (1.0, (120, 112, 96))])
    glow = np.exp(-(((u - 0.68) / 0.18) ** 2 + ((v - 0.45) / 0.12) ** 2))
    sky += glow[..., None] * np.asarray((90, 76, 40), np.float32)
    sea_n = fbm(w, h, 6, 5, seed + 3, aspect=(3, 1))
    waves = np.sin(u * 60 + sea_n * 8) * 0.5 + 0.5
    sea = ramp((v - horizon) / (1 - horizon) * 0.7 + 0.3 * waves * sea_n,
               [(0.0, (56, 66, 64)), (0.5, (30, 40, 40)), (1.0, (14, 20, 22))])
    sea += (glow * (waves > 0.8))[..., None] * 60
    col = np.where((v < horizon)[..., None], sky, sea)
    # a small ship
    sx, sy = 0.3, horizon - 0.004
    hull = (np.abs(u - sx) < 0.045) & (v > sy - 0.01) & (v < sy + 0.008)
    mast = (np.abs(u - sx) < 0.003) & (v > sy - 0.12) & (v < sy)
    sail = (u > sx + 0.004) & (u < sx + 0.05) & (v > sy - 0.11) & (v < sy - 0.02) & \
           ((u - sx) < (v - (sy - 0.11)) * 0.6)
    col[hull | mast] = (24, 20, 18)
    col[sail] = (150, 140, 118)
    # brush strokes: smear with anisotropic noise
    stroke = fbm(w, h, 24, 3, seed + 7, aspect=(1, 3))
    col *= (0.88 + 0.24 * stroke)[..., None]
    col = blur(col, 0.7)
    craq = fbm(w, h, 128, 1, seed + 9)
    col *= (0.95 + 0.05 * craq)[..., None]
    # varnish darkening towards the edges
    vign = 1.0 - 0.35 * (np.hypot(u - 0.5, v - 0.5) * 1.4) ** 2
    col *= vign[..., None]
    return to_image(col)


def night_view(w=1024, h=1024, seed=151, flash=False):
    """The wet night outside the window: low clouds over a line of wooded hills, two rows of
    rooftops and chimneys, a few lit windows and a street lamp blurred by rain, the street wet.

    Painted twice: the night as it is (at twice the shown brightness, as the outdoor pass lights
    it with half-grey ambient light) and the same view in the light of a flash (as shown: the
    pass blends it in by the flash level). Both come from the same draws, so the hills and roofs
    stand in the same places; in the flash the clouds light up from within, the hills and the
    roofs' slopes and walls come out of the dark and the wet street mirrors the sky."""
    x, y = grid(w, h)
    u, v = x / w, y / h                       # v runs down the picture
    clouds = fbm(w, h, 6, 6, seed, aspect=(1, 2))
    billows = fbm(w, h, 12, 4, seed + 3, aspect=(1, 2))
    r = rng(seed)
    if flash:
        # cloud bases lit from within: bright where the cloud is thick, violet-white
        lit = np.clip(0.35 + 0.9 * (clouds - 0.4) + 0.35 * (billows - 0.5), 0, 1)
        lit *= np.clip(1.15 - 0.9 * v, 0.3, 1.0)
        sky = ramp(lit, [(0.0, (58, 60, 84)), (0.45, (120, 122, 150)), (0.8, (186, 188, 214)),
                         (1.0, (228, 230, 246))])
    else:
        sky = ramp(v * 0.9 + 0.35 * (clouds - 0.5),
                   [(0.0, (22, 28, 44)), (0.5, (44, 54, 78)), (0.8, (70, 74, 92)), (1.0, (84, 80, 88))])
    col = sky.copy()
    # wooded hills on the horizon, seen through the rain: a soft ridge with tree tops on it
    ridge = 0.36 + 0.05 * smooth_noise(w, 1, 5, 1, seed + 7)[0] + 0.012 * smooth_noise(w, 1, 90, 1, seed + 8)[0]
    hills = v > ridge[None, :]
    foliage = fbm(w, h, 40, 3, seed + 9)
    if flash:
        hill_col = ramp(foliage, [(0.0, (30, 36, 40)), (1.0, (64, 74, 74))])
        hill_col *= np.clip(1.0 - 2.5 * (v - ridge[None, :]), 0.55, 1.0)[..., None]
    else:
        hill_col = ramp(foliage, [(0.0, (24, 28, 40)), (1.0, (32, 36, 50))])
    col[hills] = hill_col[hills]
    # a few trees in the gardens between the hills and the roofs, round dark crowns
    for _ in range(9):
        tx, ty, tr = r.random(), 0.47 + 0.05 * r.random(), 0.03 + 0.03 * r.random()
        crown = np.hypot((u - tx) / 1.0, (v - ty) / 1.2) < tr * (0.8 + 0.35 * foliage)
        trunk = (np.abs(u - tx) < 0.003) & (v > ty) & (v < ty + 0.12)
        tree = crown | trunk
        col[tree] = (hill_col[tree] * (0.75 if flash else 0.7))
    # two rows of roofs, far and near; the far row hazier
    for row, (base, amp, dark, lit_tone) in enumerate([(0.5, 0.07, (26, 28, 38), (70, 72, 84)),
                                                      (0.6, 0.10, (12, 13, 18), (52, 50, 54))]):
        edges = np.zeros(w, np.float32)
        eaves = np.zeros(w, np.float32)
        slope_lit = np.zeros(w, np.float32)
        xpos = 0
        while xpos < w:
            bw = int(r.integers(60, 180))
            height = base - amp * r.random()
            roof = r.random() < 0.5
            for i in range(bw):
                if xpos + i >= w:
                    break
                t = i / bw
                peak = (0.5 - abs(t - 0.5)) * 0.12 if roof else 0.0
                edges[xpos + i] = height - peak
                eaves[xpos + i] = height
                slope_lit[xpos + i] = (1.0 if t < 0.5 else 0.45) if roof else 0.7
            if r.random() < 0.6:
                cx = xpos + int(bw * r.random())
                for i in range(cx, min(w, cx + 18)):
                    edges[i] = min(edges[i], height - 0.06 - (0.12 if roof else 0) * 0.5)
            xpos += bw
        mask = v > edges[None, :]
        if flash:
            below = v - edges[None, :]
            # the roof's slope catches the flash; the wall under the eaves less so, brick by brick
            slope = (below < 0.05) * slope_lit[None, :]
            brick = 0.8 + 0.2 * ((np.floor(v * h / 6) + np.floor(u * w / 14)) % 2)
            face = np.clip(1.0 - below * 3.0, 0.35, 1.0) * brick
            tone = np.asarray(lit_tone, np.float32)
            c = tone * np.where(slope > 0, 0.75 + 0.35 * slope, 0.55 * face)[..., None]
            col[mask] = c[mask]
        else:
            col[mask] = dark
        # lit windows
        for _ in range(5 if row == 0 else 4):
            wx = int(r.integers(20, w - 40))
            wy = eaves[wx] + 0.05 + 0.15 * r.random()
            glow = 0.6 + 0.4 * r.random()
            ww, wh = 0.012 + 0.01 * r.random(), 0.03 + 0.02 * r.random()
            if wy > 0.95:
                continue
            win = (np.abs(u - wx / w) < ww) & (np.abs(v - wy) < wh) & mask
            col[win] = np.asarray((250, 196, 110), np.float32) * glow * (0.8 if flash else 1.0)
    # street lamp: a post and a halo
    lx, ly = 0.78, 0.54
    post = (np.abs(u - lx) < 0.003) & (v > ly) & (v < 1.0)
    col[post] = (8, 8, 10) if not flash else (30, 30, 34)
    halo = np.exp(-((u - lx) ** 2 + ((v - ly) * 2) ** 2) / 0.0016)
    col += halo[..., None] * np.asarray((255, 190, 110), np.float32) * (0.9 if not flash else 0.4)
    core = np.exp(-((u - lx) ** 2 + ((v - ly) * 2) ** 2) / 0.00006)
    col += core[..., None] * 255
    # the wet street: the lamp's streak, and in a flash the whole sky mirrored
    street = v > 0.8
    ripple = fbm(w, h, 64, 2, seed + 5)
    refl = np.exp(-((u - lx) / 0.03) ** 2) * street
    if flash:
        col[street] = (sky[::-1][street] * 0.45 + 14) * (0.75 + 0.5 * ripple[street])[..., None]
    else:
        col[street] = (16, 16, 20)
    col += refl[..., None] * np.asarray((160, 120, 70), np.float32) * ripple[..., None]
    # the rain between here and there: a fine veil of streaks, brighter in the flash
    veil = fbm(w, h, 3, 2, seed + 11, aspect=(40, 1))
    col += (veil ** 4)[..., None] * (np.asarray((26, 28, 34), np.float32) if flash else np.asarray((5, 5, 7), np.float32))
    col = blur(col, 2.0)
    if not flash:
        col = np.clip(col * 1.9, 0, 255)
    return to_image(col)


# --- the dial ------------------------------------------------------------------------

ROMAN = ["XII", "I", "II", "III", "IV", "V", "VI", "VII", "VIII", "IX", "X", "XI"]

# Dial plate: 30 cm wide, 45 cm tall (a 30 cm square with a semicircular arch on top). The
# chapter ring is centred in the square part. The texture is drawn at 60 px/cm and scaled to
# 1024 x 1024, so the plate's UVs span the whole texture.
DIAL_W_CM, DIAL_H_CM = 30.0, 45.0
DIAL_CENTRE_CM = (15.0, 30.0)      # from the plate's top-left corner
RING_OUTER_CM, RING_INNER_CM = 13.6, 9.6


def dial(size=1024):
    ppc = 60
    W, H = int(DIAL_W_CM * ppc), int(DIAL_H_CM * ppc)
    img = Image.new("RGB", (W, H), (0, 0, 0))
    d = ImageDraw.Draw(img)
    # brass plate with a matted centre
    plate = np.asarray(brass(256, seed=72).resize((W, H), Image.BICUBIC), np.float32) * 0.85
    img.paste(to_image(plate))
    d = ImageDraw.Draw(img)
    cx, cy = DIAL_CENTRE_CM[0] * ppc, DIAL_CENTRE_CM[1] * ppc
    R1, R2 = RING_OUTER_CM * ppc, RING_INNER_CM * ppc

    def circle(r, **kw):
        d.ellipse([cx - r, cy - r, cx + r, cy + r], **kw)

    # silvered chapter ring
    circle(R1, fill=(214, 212, 204))
    circle(R2, fill=(150, 118, 60))
    # matted centre with a ring of engraving
    circle(R2 - 20, fill=(132, 102, 50))
    for k in range(72):
        a = k / 72 * 2 * math.pi
        r0, r1 = R2 * 0.55, R2 * 0.62
        d.line([cx + r0 * math.sin(a), cy - r0 * math.cos(a), cx + r1 * math.sin(a),
                cy - r1 * math.cos(a)], fill=(100, 76, 36), width=3)
    ink = (18, 16, 16)
    circle(R1 - 4, outline=ink, width=5)
    circle(R2 + 4, outline=ink, width=5)
    # minute track: two circles with sixty divisions near the outer edge
    rt1, rt2 = R1 - 0.35 * ppc, R1 - 1.35 * ppc
    circle(rt1, outline=ink, width=4)
    circle(rt2, outline=ink, width=4)
    for k in range(60):
        a = k / 60 * 2 * math.pi
        wdt = 7 if k % 5 == 0 else 4
        d.line([cx + rt1 * math.sin(a), cy - rt1 * math.cos(a), cx + rt2 * math.sin(a),
                cy - rt2 * math.cos(a)], fill=ink, width=wdt)
        if k % 5 == 0:
            # small diamond half-hour marks sit between the numerals
            pass
    # Roman numerals, upright towards the centre as on a longcase dial
    fnt = font(SERIF_BOLD, int(2.3 * ppc))
    r_num = (rt2 + R2) / 2
    for h, text in enumerate(ROMAN):
        a = h / 12 * 2 * math.pi
        bbox = fnt.getbbox(text)
        tw, th = bbox[2] - bbox[0], bbox[3] - bbox[1]
        tile = Image.new("L", (tw + 40, th + 40), 0)
        ImageDraw.Draw(tile).text((20 - bbox[0], 20 - bbox[1]), text, font=fnt, fill=255)
        tile = tile.rotate(-math.degrees(a), resample=Image.BICUBIC, expand=True)
        px, py = cx + r_num * math.sin(a), cy - r_num * math.cos(a)
        img.paste(Image.new("RGB", tile.size, ink), (int(px - tile.width / 2), int(py - tile.height / 2)), tile)
    # Arabic five-minute figures outside the ring
    fsmall = font(SERIF, int(1.0 * ppc))
    r_ar = R1 + 0.75 * ppc
    for k in range(1, 13):
        a = k / 12 * 2 * math.pi
        text = str(k * 5)
        bbox = fsmall.getbbox(text)
        px, py = cx + r_ar * math.sin(a), cy - r_ar * math.cos(a)
        d.text((px - (bbox[2] + bbox[0]) / 2, py - (bbox[3] + bbox[1]) / 2), text, font=fsmall, fill=ink)
    # gilt spandrels in the four corners of the square part
    sq_top = (DIAL_H_CM - 30.0) * ppc
    for sx, sy in [(0, sq_top), (W, sq_top), (0, H), (W, H)]:
        for k in range(14):
            rr = (3.8 - 0.22 * k) * ppc
            ox = sx + (1 if sx == 0 else -1) * (2.2 * ppc + 0.2 * k * ppc)
            oy = sy + (1 if sy == sq_top else -1) * (2.2 * ppc + 0.2 * k * ppc)
            d.ellipse([ox - rr / 3, oy - rr / 3, ox + rr / 3, oy + rr / 3],
                      outline=(232, 190, 96) if k % 2 else (160, 116, 40), width=10)
    # the arch: a moon disc over "TEMPUS FUGIT"
    ax, ay = W / 2, (DIAL_H_CM - 30.0) * ppc
    d.pieslice([ax - 11.5 * ppc, ay - 11.5 * ppc, ax + 11.5 * ppc, ay + 11.5 * ppc], 180, 360,
               fill=(28, 40, 84))
    for k in range(40):
        sx_ = ax + (math.cos(k * 2.4) * 0.85) * 10 * ppc
        sy_ = ay - abs(math.sin(k * 1.7)) * 10 * ppc
        if math.hypot(sx_ - ax, sy_ - ay) < 10.8 * ppc:
            d.ellipse([sx_ - 5, sy_ - 5, sx_ + 5, sy_ + 5], fill=(230, 220, 170))
    d.ellipse([ax - 4.5 * ppc, ay - 9.5 * ppc, ax + 4.5 * ppc, ay - 0.5 * ppc], fill=(236, 226, 190))
    d.ellipse([ax - 1.8 * ppc, ay - 7 * ppc, ax - 0.6 * ppc, ay - 5.8 * ppc], fill=(200, 190, 150))
    d.rectangle([ax - 9 * ppc, ay - 0.2 * ppc, ax + 9 * ppc, ay + 2.6 * ppc], fill=(214, 212, 204))
    fm = font(SERIF_BOLD, int(1.5 * ppc))
    text = "TEMPUS FUGIT"
    bbox = fm.getbbox(text)
    d.text((ax - (bbox[2] + bbox[0]) / 2, ay + 1.2 * ppc - (bbox[3] + bbox[1]) / 2), text, font=fm, fill=ink)
    # maker's cartouche below the centre
    fc = font(SERIF, int(0.8 * ppc))
    for k, t in enumerate(["BRASSMOOR"]):
        bbox = fc.getbbox(t)
        d.text((cx - (bbox[2] + bbox[0]) / 2, cy + (3.6 + 1.1 * k) * ppc), t, font=fc, fill=(60, 44, 20))
    img = img.filter(ImageFilter.GaussianBlur(1.0))
    return img.resize((size, size), Image.LANCZOS)


# ----------------------------------------------------------------------------------------

TEXTURES = {
    "floor.jpg": lambda: parquet(),
    "mahogany.jpg": lambda: mahogany(),
    "trim.jpg": lambda: to_image(np.asarray(mahogany(256, seed=23), np.float32) * 0.55),
    "oakpanel.jpg": lambda: oak_panel(256),
    "wallpaper.jpg": lambda: damask(),
    "ceiling.jpg": lambda: plaster(),
    "paint.jpg": lambda: paint(),
    "brass.jpg": lambda: brass(),
    "bob.jpg": lambda: bob_disc(),
    "gilt.jpg": lambda: gilt(),
    "steel.jpg": lambda: blued_steel(),
    "iron.jpg": lambda: black_iron(),
    "velvet.jpg": lambda: velvet(),
    "leather.jpg": lambda: leather(),
    "lace.png": lambda: lace(),
    "clockglass.png": lambda: glass(),
    "winglass.png": lambda: window_glass(),
    "rain.png": lambda: rain(),
    "shade.jpg": lambda: shade(),
    "books.jpg": lambda: books(),
    "rug.jpg": lambda: rug(),
    "painting.jpg": lambda: painting(),
    "night.jpg": lambda: night_view(),
    "night_flash.jpg": lambda: night_view(flash=True).resize((512, 512), Image.LANCZOS),
    "dial.jpg": lambda: dial(),
}


def make_all(outdir, only=None):
    os.makedirs(outdir, exist_ok=True)
    for name, fn in TEXTURES.items():
        if only and name not in only:
            continue
        save(fn(), os.path.join(outdir, name), quality=92 if name == "dial.jpg" else 86)


if __name__ == "__main__":
    make_all(sys.argv[1] if len(sys.argv) > 1 else "out", sys.argv[2:] or None)
