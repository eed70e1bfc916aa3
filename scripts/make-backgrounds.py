#!/usr/bin/python3
"""Paints the eleven desk textures under web/assets/ as JPEG files.

Each material is built from noise fields with fixed seeds, so running the
script again gives the same files. The page draws a texture scaled to cover
the canvas (tatami zoomed in 2.4 times more), so details are sized for
that: a print is about 86 mm wide, and at 1216 px the picture spans about
one metre of desk.

Usage: scripts/make-backgrounds.py [output dir] [names...]
"""
import os
import sys

import numpy as np
from PIL import Image, ImageDraw
from scipy import ndimage

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
W, H = 1216, 684
QUALITY = 88


# ---------------------------------------------------------------- noise kit

def smooth_noise(rng, h, w, cell_y, cell_x=None):
    """Value noise in about [-1, 1] with features of cell_y × cell_x px."""
    cell_x = cell_x or cell_y
    gy = int(np.ceil(h / cell_y)) + 4
    gx = int(np.ceil(w / cell_x)) + 4
    grid = rng.uniform(-1, 1, (gy, gx))
    big = ndimage.zoom(grid, (cell_y, cell_x), order=3, mode='reflect', grid_mode=True)
    oy = int(cell_y * 1.5)
    ox = int(cell_x * 1.5)
    return big[oy:oy + h, ox:ox + w]


def fbm(rng, h, w, cell, octaves=5, gain=0.5, stretch=1.0):
    """Fractal noise; `stretch` > 1 makes features longer along x."""
    total = np.zeros((h, w))
    amp, norm = 1.0, 0.0
    for _ in range(octaves):
        cy = max(1.0, cell)
        total += amp * smooth_noise(rng, h, w, cy, max(1.0, cy * stretch))
        norm += amp
        amp *= gain
        cell /= 2
    return total / norm


def turbulence(rng, h, w, cell, octaves=6):
    total = np.zeros((h, w))
    amp, norm = 1.0, 0.0
    for _ in range(octaves):
        total += amp * np.abs(smooth_noise(rng, h, w, max(1.0, cell)))
        norm += amp
        amp *= 0.5
        cell /= 2
    return total / norm


def streaks(rng, h, w, sigma_x, sigma_y=0.6):
    """White noise smeared along x: brushed or fibrous lines."""
    field = ndimage.gaussian_filter(rng.standard_normal((h, w)), (sigma_y, sigma_x), mode='wrap')
    return field / (field.std() + 1e-9)


def smoothstep(e0, e1, x):
    t = np.clip((x - e0) / (e1 - e0), 0, 1)
    return t * t * (3 - 2 * t)


def mix(a, b, t):
    """Blends colours a and b (RGB tuples or arrays) by t (H × W)."""
    a = np.asarray(a, dtype=float)
    b = np.asarray(b, dtype=float)
    return a + (b - a) * t[..., None]


def shade(img, factor):
    return img * factor[..., None]


def coords(h=H, w=W):
    return np.mgrid[0:h, 0:w].astype(float)


def stroke_layer(h, w, draw_fn, blur=0.0):
    """Alpha layer (0 … 1) painted with PIL at 2× and reduced, for soft lines."""
    layer = Image.new('L', (w * 2, h * 2), 0)
    draw_fn(ImageDraw.Draw(layer), 2)
    layer = layer.resize((w, h), Image.LANCZOS)
    a = np.asarray(layer, dtype=float) / 255
    return ndimage.gaussian_filter(a, blur) if blur else a


def random_walk(rng, x, y, angle, steps, step, turn):
    pts = [(x, y)]
    for _ in range(steps):
        angle += (rng.random() - 0.5) * turn
        x += np.cos(angle) * step
        y += np.sin(angle) * step
        pts.append((x, y))
    return pts


# ---------------------------------------------------------------- materials

def wood(rng):
    """One piece of oak-brown table top with straight grain along x."""
    y, x = coords()
    warp = fbm(rng, H, W, 260, 4, stretch=3.0) * 38 + fbm(rng, H, W, 40, 3, stretch=6.0) * 5
    spacing = 17 + fbm(rng, H, W, 300, 2, stretch=4) * 5
    t = (y + warp + 0.00004 * (x - W / 2) ** 2) / spacing
    r = t - np.floor(t)
    late = smoothstep(0.55, 0.92, r) * (1 - smoothstep(0.93, 1.0, r))
    ring_strength = 0.55 + 0.45 * smoothstep(-0.4, 0.6, fbm(rng, H, W, 180, 3, stretch=3))
    fibres = streaks(rng, H, W, 55, 0.5)
    pores = np.clip(streaks(rng, H, W, 6, 0.4) - 1.6, 0, None)
    mottle = fbm(rng, H, W, 220, 4, stretch=2.5)
    light = (196, 150, 98)
    dark = (128, 82, 45)
    img = mix(light, dark, np.clip(late * 0.75 * ring_strength + 0.18 * (mottle + 0.5), 0, 1))
    img = shade(img, 1 + 0.045 * fibres - 0.10 * pores + 0.05 * mottle)
    img = mix(img, (250, 238, 215), 0.05 * np.exp(-((y - H * 0.38 - x * 0.12) / (H * 0.45)) ** 2))
    return img


def steel(rng):
    """Brushed stainless: long horizontal streaks and soft sheen."""
    y, x = coords()
    base = mix((196, 200, 206), (170, 175, 182), smoothstep(-0.6, 0.6, fbm(rng, H, W, 300, 3, stretch=4)))
    fine = streaks(rng, H, W, 120, 0.5)
    medium = streaks(rng, H, W, 350, 1.2)
    scratches = np.clip(streaks(rng, H, W, 25, 0.45) - 2.4, 0, None)
    sheen = 0.16 * np.exp(-(((x - W * 0.62) + (y - H * 0.5) * 0.5) / (W * 0.22)) ** 2) \
        + 0.07 * np.exp(-(((x - W * 0.18) + (y - H * 0.5) * 0.4) / (W * 0.1)) ** 2)
    img = shade(base, 1 + 0.055 * fine + 0.035 * medium + 0.12 * scratches)
    img = mix(img, (245, 247, 250), sheen)
    return img


def cork(rng):
    """Agglomerated cork: packed granules of varied browns with pits."""
    base = np.asarray(mix((168, 118, 72), (150, 102, 60), np.full((H, W), 0.5)))
    img = Image.fromarray(np.clip(base, 0, 255).astype(np.uint8))
    draw = ImageDraw.Draw(img, 'RGBA')
    palette = [(196, 146, 94), (178, 126, 78), (160, 108, 64), (139, 92, 52), (210, 164, 112),
               (120, 78, 44), (188, 138, 86)]
    for _ in range(60000):
        cx, cy = rng.uniform(-6, W + 6), rng.uniform(-6, H + 6)
        rx = rng.uniform(1.5, 6.5)
        ry = rx * rng.uniform(0.5, 1.0)
        c = palette[rng.integers(len(palette))]
        jitter = rng.integers(-14, 15)
        colour = tuple(int(np.clip(v + jitter, 0, 255)) for v in c) + (int(rng.uniform(150, 255)),)
        draw.ellipse((cx - rx, cy - ry, cx + rx, cy + ry), fill=colour)
    for _ in range(5000):
        cx, cy = rng.uniform(0, W), rng.uniform(0, H)
        r = rng.uniform(0.6, 1.8)
        draw.ellipse((cx - r, cy - r, cx + r, cy + r), fill=(70, 42, 22, int(rng.uniform(120, 220))))
    arr = ndimage.gaussian_filter(np.asarray(img, dtype=float), (0.6, 0.6, 0))
    mottle = fbm(rng, H, W, 160, 4)
    return shade(arr, 1 + 0.07 * mottle)


def linen(rng):
    """Natural linen: plain weave of uneven flax threads with slubs."""
    y, x = coords()
    pitch = 4.2
    wy = y + fbm(rng, H, W, 90, 3) * 2.5
    wx = x + fbm(rng, H, W, 90, 3) * 2.5
    row = np.floor(wy / pitch)
    col = np.floor(wx / pitch)
    fy = wy / pitch - row
    fx = wx / pitch - col
    # thread thickness varies along each thread (slubs)
    slub_h = ndimage.gaussian_filter(rng.standard_normal((H, W)), (0.01, 22), mode='wrap')
    slub_h = slub_h / slub_h.std()
    slub_v = ndimage.gaussian_filter(rng.standard_normal((H, W)), (22, 0.01), mode='wrap')
    slub_v = slub_v / slub_v.std()
    row_tone = rng.normal(0, 1, int(H / pitch) + 40)[np.clip(row.astype(int) + 20, 0, None)]
    col_tone = rng.normal(0, 1, int(W / pitch) + 40)[np.clip(col.astype(int) + 20, 0, None)]
    weft = np.sin(np.pi * fy) ** (0.7 - 0.25 * np.tanh(slub_h))
    warp = np.sin(np.pi * fx) ** (0.7 - 0.25 * np.tanh(slub_v))
    on_top = ((row + col) % 2) == 0
    height = np.where(on_top, weft * (0.75 + 0.25 * np.sin(np.pi * fx)), warp * (0.75 + 0.25 * np.sin(np.pi * fy)))
    tone = np.where(on_top, row_tone * 0.5 + slub_h * 0.6, col_tone * 0.5 + slub_v * 0.6)
    img = mix((158, 146, 120), (226, 217, 196), np.clip(height, 0, 1))
    img = shade(img, 1 + 0.035 * tone + 0.03 * fbm(rng, H, W, 200, 3))
    return ndimage.gaussian_filter(img, (0.45, 0.45, 0))


def marble_veins(rng, angle, freq, sharp, warp_cell, warp_amp):
    """Veins: level lines of a warped ramp across the slab, fading in and out
    along their length, each with a soft halo."""
    y, x = coords()
    # The ramp must change faster than the warp, or the veins close into rings.
    warp = fbm(rng, H, W, warp_cell, 6, gain=0.42) * warp_amp + turbulence(rng, H, W, warp_cell / 4, 4) * warp_amp * 0.25
    ramp = (x * np.cos(angle) + y * np.sin(angle)) * freq + warp
    v = np.abs(np.sin(ramp))
    presence = smoothstep(-0.15, 0.45, fbm(rng, H, W, warp_cell * 0.8, 3))
    width = sharp * (0.6 + 0.8 * smoothstep(-0.5, 0.5, fbm(rng, H, W, 120, 3)))
    core = np.exp(-(v / width) ** 2) * presence
    halo = np.exp(-(v / (width * 5)) ** 2) * presence
    return core, halo


def marble(rng):
    """White marble: soft grey clouds and long branching grey veins."""
    main, halo = marble_veins(rng, 0.6, 0.010, 0.05, 380, 2.2)
    fine, fine_halo = marble_veins(rng, 1.2, 0.02, 0.03, 200, 1.5)
    clouds = smoothstep(-0.3, 0.8, fbm(rng, H, W, 280, 5))
    img = mix((243, 242, 239), (222, 221, 219), clouds * 0.6)
    img = mix(img, (196, 196, 200), halo * 0.35 + fine_halo * 0.12)
    img = mix(img, (128, 129, 136), main * 0.7)
    img = mix(img, (160, 160, 166), fine * 0.45)
    img = mix(img, (232, 222, 204), 0.2 * smoothstep(0.3, 0.9, fbm(rng, H, W, 200, 3)))
    return ndimage.gaussian_filter(img, (0.6, 0.6, 0))


def marbleblack(rng):
    """Black marble: near-black stone with crisp white veins."""
    main, halo = marble_veins(rng, 0.45, 0.009, 0.04, 360, 2.0)
    fine, fine_halo = marble_veins(rng, -0.8, 0.018, 0.022, 200, 1.4)
    clouds = smoothstep(-0.3, 0.9, fbm(rng, H, W, 240, 5))
    img = mix((18, 18, 21), (34, 34, 39), clouds)
    img = mix(img, (70, 70, 74), halo * 0.3 + fine_halo * 0.12)
    img = mix(img, (232, 230, 226), main * 0.9)
    img = mix(img, (180, 178, 176), fine * 0.55)
    return ndimage.gaussian_filter(img, (0.5, 0.5, 0))


def washi(rng):
    """Washi: a pale, slightly uneven sheet with long kozo fibres."""
    formation = fbm(rng, H, W, 26, 4) * 0.5 + fbm(rng, H, W, 160, 3) * 0.5
    img = mix((241, 237, 227), (229, 222, 207), smoothstep(-0.6, 0.7, formation))

    def fibres(draw, s, count, width, light):
        for _ in range(count):
            x0, y0 = rng.uniform(-50, W + 50), rng.uniform(-50, H + 50)
            pts = random_walk(rng, x0, y0, rng.uniform(0, 2 * np.pi), int(rng.uniform(8, 40)),
                              rng.uniform(4, 9), 0.35)
            draw.line([(px * s, py * s) for px, py in pts], fill=int(rng.uniform(90, 255) * light),
                      width=max(1, int(width * s * rng.uniform(0.5, 1.3))))

    bright = stroke_layer(H, W, lambda d, s: fibres(d, s, 2600, 1.3, 1.0), 0.5)
    dull = stroke_layer(H, W, lambda d, s: fibres(d, s, 900, 0.9, 1.0), 0.6)
    bark = stroke_layer(H, W, lambda d, s: fibres(d, s, 30, 1.1, 1.0), 0.3)
    img = mix(img, (253, 252, 248), np.clip(bright * 0.5, 0, 0.8))
    img = mix(img, (206, 196, 176), dull * 0.25)
    img = mix(img, (130, 108, 78), bark * 0.45)
    return img


def tatami(rng):
    """Tatami: rush stalks woven in rows, warp threads across them, and one
    dark edge binding crossing the middle so it shows at the page's zoom."""
    y, x = coords()
    stalk = 3.6
    sx = x + fbm(rng, H, W, 120, 2) * 1.5
    idx = np.floor(sx / stalk)
    f = sx / stalk - idx
    n_stalks = int(W / stalk) + 10
    tone = rng.normal(0, 1, n_stalks)[np.clip(idx.astype(int) + 5, 0, n_stalks - 1)]
    along = ndimage.gaussian_filter(rng.standard_normal((H, W)), (30, 0.01), mode='wrap')
    along = along / along.std()
    profile = np.sin(np.pi * f) ** 0.6
    # warp threads every ~22 px pinch the stalks into rows
    warp_pitch = 22.0
    wy = (y + fbm(rng, H, W, 200, 2) * 2) / warp_pitch
    wf = wy - np.floor(wy)
    pinch = np.exp(-((wf - 0.5) / 0.07) ** 2)
    height = profile * (1 - 0.12 * pinch)
    colour_t = np.clip(0.5 + 0.2 * tone + 0.08 * along, 0, 1)
    img = mix((168, 168, 104), (210, 200, 140), colour_t)
    img = shade(img, 0.8 + 0.24 * height)
    img = mix(img, (126, 124, 84), pinch * 0.05)
    img = shade(img, 1 + 0.05 * fbm(rng, H, W, 260, 3))
    # the edge binding: dark cloth with a fine twill and stitched edges
    top, bottom = H * 0.63, H * 0.63 + 44
    band = (y >= top) & (y < bottom)
    twill = np.sin((x + y) * 2 * np.pi / 3.0) * 0.5 + 0.5
    cloth = mix((28, 30, 34), (48, 50, 56), twill * 0.6 + 0.4 * smoothstep(-0.5, 0.5, fbm(rng, H, W, 60, 3)))
    edge = np.exp(-((y - top - 2.5) / 1.5) ** 2) + np.exp(-((y - bottom + 2.5) / 1.5) ** 2)
    cloth = mix(cloth, (96, 96, 92), np.clip(edge, 0, 1) * 0.6)
    img = np.where(band[..., None], cloth, img)
    shadow = np.exp(-((y - bottom) / 3.0) ** 2) * (y >= bottom) + np.exp(-((top - y) / 3.0) ** 2) * (y < top)
    img = shade(img, 1 - 0.35 * shadow)
    return ndimage.gaussian_filter(img, (0.4, 0.4, 0))


def leather(rng):
    """Creased desk leather: pebbled grain on warm brown hide."""
    from scipy.spatial import cKDTree
    n = 26000
    pts = np.column_stack([rng.uniform(-10, W + 10, n), rng.uniform(-10, H + 10, n)])
    y, x = coords()
    dist, _ = cKDTree(pts).query(np.column_stack([x.ravel(), y.ravel()]), k=2)
    f1 = dist[:, 0].reshape(H, W)
    f2 = dist[:, 1].reshape(H, W)
    border = np.exp(-((f2 - f1) / 0.9) ** 2)
    dome = np.clip(1 - f1 / 6.5, 0, 1) ** 0.5
    height = ndimage.gaussian_filter(dome - 0.8 * border, 0.8)
    gy, gx = np.gradient(height)
    light = np.clip(-(gx * 0.6 + gy * 0.8) * 3.2, -0.5, 0.5)

    def creases(draw, s):
        for _ in range(26):
            pts_ = random_walk(rng, rng.uniform(0, W), rng.uniform(0, H), rng.uniform(0, 2 * np.pi),
                               int(rng.uniform(10, 40)), 8, 0.6)
            draw.line([(px * s, py * s) for px, py in pts_], fill=int(rng.uniform(100, 220)), width=int(2.5 * s))

    crease = stroke_layer(H, W, creases, 1.0)
    mottle = fbm(rng, H, W, 180, 4)
    img = mix((116, 72, 43), (96, 58, 33), smoothstep(-0.6, 0.6, mottle))
    img = shade(img, 1 + 0.22 * light - 0.12 * border)
    img = shade(img, 1 - 0.3 * crease + 0.12 * np.roll(crease, -2, axis=0))
    img = mix(img, (160, 116, 80), 0.08 * smoothstep(0.2, 0.8, fbm(rng, H, W, 90, 3)))
    return img


def blackboard(rng):
    """A wiped chalkboard: green-black slate with chalk dust and wipe arcs."""
    y, x = coords()
    img = mix((30, 46, 40), (40, 60, 52), smoothstep(-0.6, 0.6, fbm(rng, H, W, 260, 4)))

    def wipes(draw, s):
        for _ in range(16):
            cx, cy = rng.uniform(0, W), rng.uniform(0, H)
            r = rng.uniform(60, 220)
            a0 = rng.uniform(0, 360)
            for k in range(int(rng.uniform(6, 14))):
                rr = r + k * rng.uniform(5, 9)
                box = [((cx - rr) * s, (cy - rr * 0.6) * s), ((cx + rr) * s, (cy + rr * 0.6) * s)]
                draw.arc(box, a0, a0 + rng.uniform(60, 160), fill=int(rng.uniform(40, 140)),
                         width=int(rng.uniform(2, 6) * s))

    def ghosts(draw, s):
        for _ in range(10):
            x0, y0 = rng.uniform(80, W - 200), rng.uniform(60, H - 60)
            for _ in range(int(rng.uniform(4, 9))):
                pts = random_walk(rng, x0, y0 + rng.uniform(-8, 8), rng.uniform(-3, 3), 6, 5, 2.2)
                draw.line([(px * s, py * s) for px, py in pts], fill=255, width=int(2.2 * s))
                x0 += rng.uniform(14, 24)

    wipe = stroke_layer(H, W, wipes, 6)
    ghost = stroke_layer(H, W, ghosts, 1.6)
    dust = np.clip(rng.standard_normal((H, W)) - 1.2, 0, None)
    dust = ndimage.gaussian_filter(dust, 0.7)
    haze = smoothstep(0.0, 0.9, fbm(rng, H, W, 150, 4))
    img = mix(img, (200, 210, 204), np.clip(wipe * 0.16 + ghost * 0.07 + haze * 0.06 + dust * 0.1, 0, 1))
    return img


def whiteboard(rng):
    """A glossy whiteboard in its aluminium frame, with faint marker ghosts."""
    y, x = coords()
    img = mix((246, 247, 248), (232, 234, 237), smoothstep(0.0, 1.0, (x / W) * 0.4 + (y / H) * 0.6))

    def ghosts(draw, s):
        for _ in range(14):
            x0, y0 = rng.uniform(60, W - 260), rng.uniform(60, H - 60)
            for _ in range(int(rng.uniform(5, 12))):
                pts = random_walk(rng, x0, y0 + rng.uniform(-6, 6), rng.uniform(-3, 3), 7, 5, 2.0)
                draw.line([(px * s, py * s) for px, py in pts], fill=255, width=int(3 * s))
                x0 += rng.uniform(16, 26)
        for _ in range(5):
            cx, cy, r = rng.uniform(0, W), rng.uniform(0, H), rng.uniform(40, 120)
            draw.arc([((cx - r) * s, (cy - r) * s), ((cx + r) * s, (cy + r) * s)], 0, rng.uniform(90, 300),
                     fill=200, width=int(3 * s))

    ghost = stroke_layer(H, W, ghosts, 1.4)
    smear = stroke_layer(H, W, ghosts, 9)
    img = mix(img, (150, 160, 185), ghost * 0.07 + smear * 0.05)
    gloss = 0.55 * np.exp(-(((x - W * 0.66) - (y - H * 0.3) * 0.9) / (W * 0.07)) ** 2) * smoothstep(0.9, 0.1, y / H)
    img = mix(img, (255, 255, 255), np.clip(gloss, 0, 1) * 0.9)
    img = shade(img, 1 + 0.008 * fbm(rng, H, W, 80, 3))
    # aluminium frame with a rounded profile
    fw = 18
    d = np.minimum(np.minimum(x, W - 1 - x), np.minimum(y, H - 1 - y))
    frame = d < fw
    profile = np.cos((d / fw - 0.45) * np.pi * 0.9)
    brushed = streaks(rng, H, W, 40, 0.5) * np.where((x < fw) | (x > W - 1 - fw), 0, 1) + \
        streaks(rng, W, H, 40, 0.5).T * np.where((x < fw) | (x > W - 1 - fw), 1, 0)
    metal = mix((150, 154, 160), (226, 229, 233), np.clip(profile, 0, 1))
    metal = shade(metal, 1 + 0.03 * brushed)
    img = np.where(frame[..., None], metal, img)
    inner = np.exp(-((d - fw) / 2.5) ** 2) * (d >= fw)
    return shade(img, 1 - 0.22 * inner)


MATERIALS = {
    'wood': (wood, 11), 'steel': (steel, 12), 'cork': (cork, 13), 'linen': (linen, 14),
    'marble': (marble, 15), 'marbleblack': (marbleblack, 16), 'washi': (washi, 17),
    'tatami': (tatami, 18), 'leather': (leather, 19), 'blackboard': (blackboard, 20),
    'whiteboard': (whiteboard, 21),
}


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, 'web', 'assets')
    names = sys.argv[2:] or list(MATERIALS)
    unknown = [n for n in names if n not in MATERIALS]
    if unknown:
        sys.exit(f"unknown material: {', '.join(unknown)} (known: {', '.join(MATERIALS)})")
    os.makedirs(out_dir, exist_ok=True)
    for name in names:
        paint, seed = MATERIALS[name]
        img = paint(np.random.default_rng(seed))
        pixels = np.clip(np.round(img), 0, 255).astype(np.uint8)
        target = os.path.join(out_dir, f'bg-{name}.jpg')
        Image.fromarray(pixels, 'RGB').save(target + '.tmp', 'JPEG', quality=QUALITY, optimize=True)
        os.replace(target + '.tmp', target)
        print(f'bg-{name}.jpg: {W} x {H}, {os.path.getsize(target) // 1024} KB')


if __name__ == '__main__':
    main()
