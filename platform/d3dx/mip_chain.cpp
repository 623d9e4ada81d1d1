#include "platform/d3dx/mip_chain.h"

#include <algorithm>
#include <cmath>

#include "platform/d3dx/d3dx.h"

namespace {

struct Tap {
  UINT index;
  float weight;
};

// Source texels along one axis that feed each destination texel, with weights summing to 1.
std::vector<std::vector<Tap>> axisTaps(UINT sn, UINT dn, bool tent) {
  std::vector<std::vector<Tap>> taps(dn);
  const double scale = static_cast<double>(sn) / dn;
  for (UINT d = 0; d < dn; ++d) {
    std::vector<Tap>& list = taps[d];
    double total = 0;
    auto add = [&](int64_t i, double w) {
      if (w <= 0) return;
      const UINT at = static_cast<UINT>(std::clamp<int64_t>(i, 0, static_cast<int64_t>(sn) - 1));
      for (Tap& t : list)
        if (t.index == at) {
          t.weight += static_cast<float>(w);
          total += w;
          return;
        }
      list.push_back({at, static_cast<float>(w)});
      total += w;
    };
    if (tent) {
      // A tent twice as wide as the footprint, centred on it; edge texels repeat.
      const double centre = (d + 0.5) * scale, radius = std::max(1.0, scale);
      for (int64_t i = static_cast<int64_t>(std::floor(centre - radius));
           i <= static_cast<int64_t>(std::ceil(centre + radius)); ++i)
        add(i, 1.0 - std::abs(i + 0.5 - centre) / radius);
    } else {
      const double from = d * scale, to = (d + 1) * scale;
      for (UINT i = static_cast<UINT>(from); i < sn && i < to; ++i)
        add(i, std::min<double>(i + 1, to) - std::max<double>(i, from));
    }
    for (Tap& t : list) t.weight = static_cast<float>(t.weight / total);
  }
  return taps;
}

// One texel of the smaller level: the taps' colours weighted by their alpha; a fully
// transparent footprint keeps the plain average.
D3DCOLOR weightedTexel(const std::vector<D3DCOLOR>& src, UINT sw, const std::vector<Tap>& rows,
                       const std::vector<Tap>& columns) {
  float a = 0, r = 0, g = 0, b = 0, pr = 0, pg = 0, pb = 0;
  for (const Tap& row : rows) {
    const D3DCOLOR* line = src.data() + static_cast<size_t>(row.index) * sw;
    for (const Tap& column : columns) {
      const D3DCOLOR c = line[column.index];
      const float w = row.weight * column.weight;
      const float ca = static_cast<float>(c >> 24) / 255.0f;
      const float cr = static_cast<float>((c >> 16) & 0xFF), cg = static_cast<float>((c >> 8) & 0xFF),
                  cb = static_cast<float>(c & 0xFF);
      a += w * ca;
      r += w * cr;
      g += w * cg;
      b += w * cb;
      pr += w * ca * cr;
      pg += w * ca * cg;
      pb += w * ca * cb;
    }
  }
  if (a > 1e-6f) {
    r = pr / a;
    g = pg / a;
    b = pb / a;
  }
  auto byte = [](float v) { return static_cast<DWORD>(std::clamp(v + 0.5f, 0.0f, 255.0f)); };
  return D3DCOLOR_ARGB(byte(a * 255.0f), byte(r), byte(g), byte(b));
}

}  // namespace

UINT fullMipCount(UINT w, UINT h) {
  UINT count = 1;
  while (w > 1 || h > 1) {
    w = std::max(1u, w / 2);
    h = std::max(1u, h / 2);
    ++count;
  }
  return count;
}

std::vector<D3DCOLOR> nextMipLevel(const std::vector<D3DCOLOR>& src, UINT sw, UINT sh, UINT& dw, UINT& dh,
                                   DWORD filter) {
  dw = std::max(1u, sw / 2);
  dh = std::max(1u, sh / 2);
  std::vector<D3DCOLOR> dst(static_cast<size_t>(dw) * dh, 0);
  if (sw == 0 || sh == 0 || src.size() < static_cast<size_t>(sw) * sh) return dst;
  const DWORD kind = filter & 0xFF;
  if (kind == D3DX_FILTER_POINT || kind == D3DX_FILTER_NONE) {
    for (UINT y = 0; y < dh; ++y)
      for (UINT x = 0; x < dw; ++x)
        dst[static_cast<size_t>(y) * dw + x] =
            src[static_cast<size_t>(std::min(y * 2, sh - 1)) * sw + std::min(x * 2, sw - 1)];
    return dst;
  }
  const bool tent = kind == D3DX_FILTER_TRIANGLE;
  const auto columns = axisTaps(sw, dw, tent), rows = axisTaps(sh, dh, tent);
  // Halving even sides with the box filter is the common case at start-up (every picture of the
  // room): there each texel is the mean of a 2 x 2 block, and where the block is opaque that
  // mean is taken in integers, giving the very bytes the weighted sum below gives.
  const bool evenHalving = !tent && sw == 2 * dw && sh == 2 * dh;
  for (UINT y = 0; y < dh; ++y) {
    const D3DCOLOR* top = src.data() + static_cast<size_t>(y) * 2 * sw;
    for (UINT x = 0; x < dw; ++x) {
      D3DCOLOR& out = dst[static_cast<size_t>(y) * dw + x];
      if (evenHalving) {
        const D3DCOLOR q[4] = {top[2 * x], top[2 * x + 1], top[sw + 2 * x], top[sw + 2 * x + 1]};
        if ((q[0] & q[1] & q[2] & q[3]) >> 24 == 0xFF) {
          auto mean = [&](int shift) {
            DWORD sum = 2;
            for (D3DCOLOR c : q) sum += (c >> shift) & 0xFF;
            return sum / 4;
          };
          out = D3DCOLOR_ARGB(0xFF, mean(16), mean(8), mean(0));
          continue;
        }
      }
      out = weightedTexel(src, sw, rows[y], columns[x]);
    }
  }
  return dst;
}
