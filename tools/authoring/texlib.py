"""Small numpy helpers for procedural textures: tileable noise, colour ramps, saving.

Every texture of the room is computed from a fixed seed, so a regeneration gives the same
bytes on any machine with the same numpy and Pillow.
"""
import numpy as np
from PIL import Image, ImageFilter


def rng(seed):
    return np.random.default_rng(seed)


def smooth_noise(w, h, cells_x, cells_y, seed, tile=True):
    """Value noise in 0..1 of size (h, w) with cells_x x cells_y lattice cells, tileable."""
    r = rng(seed)
    grid = r.random((cells_y, cells_x)).astype(np.float32)
    if tile:
        big = np.tile(grid, (3, 3))
        img = Image.fromarray(big, mode="F").resize((w * 3, h * 3), Image.BICUBIC)
        arr = np.asarray(img)[h:2 * h, w:2 * w]
    else:
        arr = np.asarray(Image.fromarray(grid, mode="F").resize((w, h), Image.BICUBIC))
    return np.clip(arr, 0.0, 1.0).astype(np.float32)


def fbm(w, h, base_cells, octaves, seed, aspect=(1, 1), gain=0.5):
    """Fractal sum of value noise, normalised to 0..1."""
    total = np.zeros((h, w), np.float32)
    amp, norm = 1.0, 0.0
    cx, cy = base_cells * aspect[0], base_cells * aspect[1]
    for o in range(octaves):
        total += amp * smooth_noise(w, h, max(1, int(cx)), max(1, int(cy)), seed + 17 * o)
        norm += amp
        amp *= gain
        cx *= 2
        cy *= 2
    total /= norm
    lo, hi = np.percentile(total, 1), np.percentile(total, 99)
    return np.clip((total - lo) / max(hi - lo, 1e-6), 0, 1)


def lerp(a, b, t):
    a = np.asarray(a, np.float32)
    b = np.asarray(b, np.float32)
    t = np.asarray(t, np.float32)[..., None]
    return a + (b - a) * t


def ramp(t, stops):
    """Colour ramp: stops is a list of (position, (r, g, b)) with colours 0..255."""
    t = np.clip(np.asarray(t, np.float32), 0, 1)
    out = np.zeros(t.shape + (3,), np.float32)
    pos = [p for p, _ in stops]
    cols = [np.asarray(c, np.float32) for _, c in stops]
    for i in range(len(stops) - 1):
        p0, p1 = pos[i], pos[i + 1]
        m = (t >= p0) & (t <= p1)
        k = ((t - p0) / max(p1 - p0, 1e-6))[m][:, None]
        out[m] = cols[i] + (cols[i + 1] - cols[i]) * k
    out[t < pos[0]] = cols[0]
    out[t > pos[-1]] = cols[-1]
    return out


def to_image(rgb, alpha=None):
    rgb8 = np.clip(rgb + 0.5, 0, 255).astype(np.uint8)
    if alpha is None:
        return Image.fromarray(rgb8, "RGB")
    a8 = np.clip(np.asarray(alpha, np.float32) * 255 + 0.5, 0, 255).astype(np.uint8)
    return Image.fromarray(np.dstack([rgb8, a8]), "RGBA")


def save(img, path, quality=88):
    w, h = img.size
    assert w & (w - 1) == 0 and h & (h - 1) == 0, f"{path}: {w}x{h} is not a power of two"
    if path.endswith(".png"):
        img.save(path, optimize=True)
    else:
        img.convert("RGB").save(path, quality=quality, optimize=True, progressive=False,
                                subsampling=0 if quality >= 90 else 2)


def blur(rgb, radius):
    img = Image.fromarray(np.clip(rgb, 0, 255).astype(np.uint8), "RGB")
    return np.asarray(img.filter(ImageFilter.GaussianBlur(radius)), np.float32)
