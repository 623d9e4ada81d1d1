"""Turns a baked irradiance atlas into the light-map texture the engine draws with.

The bake runs without a denoiser and with few samples (two shared cores), so its raw texels
carry grain and the odd firefly. The clean-up here works in texture space on the covered texels
only (texels no island covers never bleed in):

1. fireflies: a texel much brighter (or darker) than the median of its 3 x 3 neighbourhood takes
   that median;
2. grain: an edge-preserving (bilateral) filter whose range term compares a slightly smoothed
   copy, so shadow edges and the borders between islands of different brightness stay sharp
   while flat areas average over about five texels each way;
3. the empty texels are filled from their neighbours, so bilinear sampling and JPEG blocks at
   island borders pick up the island's own light.

Runs standalone on an already encoded light map for trying out the filter:
    /usr/bin/python3 lightmap.py IN.jpg OUT.png
"""
import warnings

import numpy as np

EXPOSURE = 1.3


def _shift(padded, r, dy, dx, h, w):
    return padded[r + dy:r + dy + h, r + dx:r + dx + w]


def gblur(a, sigma):
    """Gaussian blur by three box passes (edge-padded), over the first two axes."""
    r = max(1, int(round(sigma * 0.87)))
    out = a
    for _ in range(3):
        for axis in (0, 1):
            pad = [(0, 0)] * out.ndim
            pad[axis] = (r + 1, r)
            c = np.cumsum(np.pad(out, pad, mode="edge"), axis=axis, dtype=np.float64)
            hi = np.take(c, np.arange(2 * r + 1, c.shape[axis]), axis=axis)
            lo = np.take(c, np.arange(0, c.shape[axis] - 2 * r - 1), axis=axis)
            out = ((hi - lo) / (2 * r + 1)).astype(np.float32)
    return out


def masked_blur(rgb, mask, sigma):
    """Blur of the covered texels only; returns (colour, weight)."""
    b = gblur(np.dstack([rgb * mask[..., None], mask[..., None]]), sigma)
    w = b[..., 3]
    return b[..., :3] / np.maximum(w, 1e-5)[..., None], w


def luma(rgb):
    return rgb[..., 0] * 0.299 + rgb[..., 1] * 0.587 + rgb[..., 2] * 0.114


def covered_median3(values, mask):
    """The median of each texel's covered 3 x 3 neighbours, NaN where none is covered; `values`
    holds one value or one colour a texel."""
    h, w = mask.shape
    r = 1
    pv = np.pad(values, ((r, r), (r, r)) + ((0, 0),) * (values.ndim - 2), mode="edge")
    pm = np.pad(mask, r, mode="constant")
    stack = []
    for dy in (-1, 0, 1):
        for dx in (-1, 0, 1):
            s = _shift(pv, r, dy, dx, h, w).copy()
            s[_shift(pm, r, dy, dx, h, w) <= 0] = np.nan
            stack.append(s)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", RuntimeWarning)      # texels with no covered neighbour
        return np.nanmedian(np.stack(stack), axis=0)


def despeckle(rgb, mask, bright=0.06, dark=0.10):
    """Replaces texels that stand out from the median of their covered 3 x 3 neighbours."""
    med = covered_median3(rgb, mask)
    med = np.where(np.isnan(med), rgb, med)
    y, ym = luma(rgb), luma(med)
    odd = mask.astype(bool) & ((y > ym * 1.2 + bright) | (y < ym * 0.8 - dark))
    out = np.where(odd[..., None], med, rgb)
    return out, float(odd.mean() / max(mask.mean(), 1e-6))


def bilateral(rgb, mask, sigma_s=2.2, sigma_r=0.035, radius=5):
    """Edge-preserving average over the covered texels; the range term compares a lightly
    smoothed guide so that the grain itself does not count as an edge."""
    h, w = mask.shape
    guide, _ = masked_blur(rgb, mask, 0.8)
    g = luma(guide)
    r = radius
    pr = np.pad(rgb * mask[..., None], ((r, r), (r, r), (0, 0)), mode="edge")
    pm = np.pad(mask, r, mode="constant")
    pg = np.pad(g, r, mode="edge")
    acc = np.zeros_like(rgb)
    wsum = np.zeros(mask.shape, np.float32)
    for dy in range(-r, r + 1):
        for dx in range(-r, r + 1):
            d2 = dy * dy + dx * dx
            if d2 > r * r:
                continue
            ws = np.float32(np.exp(-d2 / (2 * sigma_s * sigma_s)))
            dg = _shift(pg, r, dy, dx, h, w) - g
            wgt = ws * _shift(pm, r, dy, dx, h, w) * np.exp(-(dg * dg) / (2 * sigma_r * sigma_r))
            acc += wgt[..., None] * _shift(pr, r, dy, dx, h, w)
            wsum += wgt
    out = acc / np.maximum(wsum, 1e-6)[..., None]
    return np.where(mask[..., None] > 0, out, rgb)


def grain(rgb, mask):
    """Mean absolute difference between each covered texel and its 3 x 3 median: a measure of
    the speckle that the eye picks up (0 for a perfectly smooth map)."""
    y = luma(rgb)
    med = covered_median3(y, mask)
    sel = mask.astype(bool) & ~np.isnan(med)
    return float(np.abs(y - med)[sel].mean()) if sel.any() else 0.0


def fill_empty(rgb, mask):
    """Empty texels take the colour of the nearest islands (wide masked blur)."""
    near, wn = masked_blur(rgb, mask, 2.0)
    far, _ = masked_blur(rgb, mask, 10.0)
    fill = np.where((wn > 0.02)[..., None], near, far)
    return np.where(mask[..., None] > 0, rgb, fill)


def clean(lm, mask):
    """The whole clean-up on an encoded map (0..1, rows in any order); returns the map and
    figures for the bake statistics."""
    before = grain(lm, mask)
    out, fire = despeckle(lm, mask)
    out = bilateral(out, mask)
    out = fill_empty(out, mask)
    return np.clip(out, 0.0, 1.0), {"grain_raw": round(before, 4), "grain": round(grain(out, mask), 4),
                                    "fireflies": round(fire, 4)}


def to_map(irradiance):
    """Baked irradiance -> light-map value (0.5 = the base texture as painted)."""
    return np.clip(0.5 * np.power(np.clip(irradiance, 0.0, None) * EXPOSURE, 1 / 2.2), 0.0, 1.0).astype(np.float32)


def from_map(lm):
    return np.power(np.clip(lm, 0.0, 1.0) * 2.0, 2.2) / EXPOSURE


def save_map(lm, path, quality):
    from PIL import Image
    out8 = np.clip(lm[::-1] * 255 + 0.5, 0, 255).astype(np.uint8)      # Blender rows run bottom-up
    Image.fromarray(out8, "RGB").save(path, quality=quality, optimize=True)


def encode(px, path, quality=90, raw_path=None):
    """Baked irradiance (float rows bottom-up, unbaked texels negative) -> light-map JPEG.
    With `raw_path` the map is also written as it was baked, before the clean-up, to compare.
    Returns the figures for the bake statistics and the cleaned map (rows bottom-up).

    The engine draws base x 2 x light map, so a texel of 0.5 leaves the base texture as
    painted; the sRGB-like curve keeps the product right in the gamma-space arithmetic of the
    fixed-function stages."""
    rgb = px[..., :3]
    covered = rgb[..., 0] >= 0.0
    lm = to_map(rgb)
    out, figures = clean(lm, covered.astype(np.float32))
    save_map(out, path, quality)
    if raw_path:
        save_map(fill_empty(lm, covered.astype(np.float32)), raw_path, quality)
    figures.update(map_figures(lm, covered))
    return figures, out


def map_figures(lm, covered):
    v = lm[covered]
    return {"covered": round(float(covered.mean()), 3),
            "mean": round(float(v.mean()), 3) if v.size else 0,
            "p95": round(float(np.percentile(v, 95)), 3) if v.size else 0,
            "clipped": round(float((v >= 0.999).mean()), 4) if v.size else 0}


def shrink(lm, shape):
    """The map averaged down to `shape` (a whole fraction of its size)."""
    h, w = shape
    fy, fx = lm.shape[0] // h, lm.shape[1] // w
    return lm[:h * fy, :w * fx].reshape(h, fy, w, fx, -1).mean(axis=(1, 3))


def encode_share(px, steady, path, kind, quality=90):
    """One light baked alone (smaller than the steady map) -> its share of the steady light
    map, value for value on the map's own curve, so the engine can weigh it linearly:
    - "flash": what a full lightning flash adds to the steady map (the engine adds it by the
      flash level);
    - "lamp": how much of the steady map is the lamp's (the engine subtracts it by the lamp
      flicker, leaving the moonlight).
    On the map's curve a plain sum or difference of separately encoded maps would be far off
    in the dark parts."""
    rgb = px[..., :3]
    covered = rgb[..., 0] >= 0.0
    mask = covered.astype(np.float32)
    light, figures = clean(to_map(rgb), mask)
    base = shrink(steady, covered.shape)
    if kind == "flash":
        share = to_map(from_map(base) + from_map(light)) - base
    else:
        share = base - to_map(np.clip(from_map(base) - from_map(light), 0.0, None))
    share = np.clip(share, 0.0, 1.0)
    out = fill_empty(np.where(covered[..., None], share, 0.0), mask)
    save_map(out, path, quality)
    figures.update(map_figures(share, covered))
    return figures


if __name__ == "__main__":
    import sys
    from PIL import Image
    src = np.asarray(Image.open(sys.argv[1]).convert("RGB"), np.float32) / 255.0
    m = (luma(src) > 0.004).astype(np.float32)
    res, fig = clean(src, m)
    Image.fromarray(np.clip(res * 255 + 0.5, 0, 255).astype(np.uint8), "RGB").save(sys.argv[2])
    print(fig)
