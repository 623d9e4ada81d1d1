#include "tools/fontbake/font_bake.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "tools/fontbake/cp1252.h"

namespace fontbake {
namespace {

std::uint8_t toByte(double v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); }

// A float canvas with premultiplied colour, for building the figures before they are
// reduced to texels.
struct Canvas {
  int width, height;
  std::vector<float> r, g, b, a;
  Canvas(int w, int h)
      : width(w), height(h), r(static_cast<std::size_t>(w * h)), g(r.size()), b(r.size()), a(r.size()) {}
  // Straight colour (cr, cg, cb) at coverage `alpha` laid over what is there.
  void over(std::size_t i, float cr, float cg, float cb, float alpha) {
    r[i] = cr * alpha + r[i] * (1 - alpha);
    g[i] = cg * alpha + g[i] * (1 - alpha);
    b[i] = cb * alpha + b[i] * (1 - alpha);
    a[i] = alpha + a[i] * (1 - alpha);
  }
};

using Field = std::vector<float>;

Field dilate(const Field& in, int w, int h, double radius) {
  Field out(in.size(), 0.0f);
  const int reach = static_cast<int>(std::ceil(radius));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      float best = 0.0f;
      for (int dy = -reach; dy <= reach; ++dy)
        for (int dx = -reach; dx <= reach; ++dx) {
          const double d = std::sqrt(static_cast<double>(dx * dx + dy * dy));
          if (d > radius + 0.5) continue;
          const int sx = x + dx, sy = y + dy;
          if (sx < 0 || sy < 0 || sx >= w || sy >= h) continue;
          // Soft rim: the outermost half texel counts partly, so the edge stays smooth.
          const float weight = static_cast<float>(std::clamp(radius + 0.5 - d, 0.0, 1.0));
          best = std::max(best, in[static_cast<std::size_t>(sy * w + sx)] * weight);
        }
      out[static_cast<std::size_t>(y * w + x)] = best;
    }
  return out;
}

Field boxBlur(Field f, int w, int h, int radius, int passes) {
  Field tmp(f.size());
  for (int p = 0; p < passes; ++p) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        float sum = 0;
        for (int k = -radius; k <= radius; ++k) sum += f[static_cast<std::size_t>(y * w + std::clamp(x + k, 0, w - 1))];
        tmp[static_cast<std::size_t>(y * w + x)] = sum / static_cast<float>(2 * radius + 1);
      }
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        float sum = 0;
        for (int k = -radius; k <= radius; ++k)
          sum += tmp[static_cast<std::size_t>(std::clamp(y + k, 0, h - 1) * w + x)];
        f[static_cast<std::size_t>(y * w + x)] = sum / static_cast<float>(2 * radius + 1);
      }
  }
  return f;
}

float sample(const Field& f, int w, int h, int x, int y) {
  return x < 0 || y < 0 || x >= w || y >= h ? 0.0f : f[static_cast<std::size_t>(y * w + x)];
}

constexpr int kSuper = 4;  // figures are built at four times the texel grid
constexpr int kCell = 64;
constexpr int kMargin = 3;  // texels kept clear for the rim and the shadow
constexpr int kPenX = 2;
constexpr const char* kWidestTime = "12:00:00 pm";
constexpr int kWidestTimeRoom = 318;

// Builds one figure in a kCell x kCell cell. Returns the cell's texels and the glyph's
// width in texels (its advance plus room for the rim and shadow).
struct Figure {
  Image cell{kCell, kCell};
  int width = 0;
};

Figure buildFigure(const Coverage& glyph, int baseline, int capTop, int shift = 0) {
  const int n = kCell * kSuper;
  Field cover(static_cast<std::size_t>(n * n), 0.0f);
  const int ox = (kPenX + shift) * kSuper + glyph.left, oy = baseline * kSuper - glyph.top;
  for (int y = 0; y < glyph.height; ++y)
    for (int x = 0; x < glyph.width; ++x) {
      const int cx = ox + x, cy = oy + y;
      if (cx >= 0 && cy >= 0 && cx < n && cy < n) cover[static_cast<std::size_t>(cy * n + cx)] = glyph.at(x, y);
    }

  const Field rim = dilate(cover, n, n, 1.25 * kSuper);
  Field shadow = boxBlur(dilate(cover, n, n, 1.0 * kSuper), n, n, kSuper, 3);
  const Field soft = boxBlur(cover, n, n, kSuper / 2, 2);

  Canvas canvas(n, n);
  const int shadowDx = kSuper + kSuper / 2, shadowDy = 2 * kSuper;
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const std::size_t i = static_cast<std::size_t>(y * n + x);
      canvas.over(i, 0.0f, 0.0f, 0.0f, 0.6f * sample(shadow, n, n, x - shadowDx, y - shadowDy));
      canvas.over(i, 0.11f, 0.07f, 0.03f, 0.92f * rim[i]);
      if (cover[i] <= 0.0f) continue;
      // Ivory at the top of the figure shading to old gold at the baseline.
      const double t = std::clamp((static_cast<double>(y) / kSuper - capTop) / std::max(1, baseline - capTop), 0.0,
                                  1.0);
      double cr = 1.00 - 0.16 * t, cg = 0.96 - 0.30 * t, cb = 0.86 - 0.50 * t;
      // Bevel: light from the upper left catches the near edges, the far edges fall dark.
      const int d = 3 * kSuper / 4;
      const double slope = sample(soft, n, n, x - d, y - d) - sample(soft, n, n, x + d, y + d);
      const double light = 1.0 - 0.45 * slope;
      cr *= light;
      cg *= light;
      cb *= light;
      canvas.over(i, static_cast<float>(cr), static_cast<float>(cg), static_cast<float>(cb), cover[i]);
    }

  Figure figure;
  int inkRight = 0;
  for (int y = 0; y < kCell; ++y)
    for (int x = 0; x < kCell; ++x) {
      double r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < kSuper; ++sy)
        for (int sx = 0; sx < kSuper; ++sx) {
          const std::size_t i = static_cast<std::size_t>((y * kSuper + sy) * n + x * kSuper + sx);
          r += canvas.r[i];
          g += canvas.g[i];
          b += canvas.b[i];
          a += canvas.a[i];
        }
      const double count = kSuper * kSuper;
      a /= count;
      std::uint8_t* px = figure.cell.at(x, y);
      if (a > 0.0) {
        px[0] = toByte(r / count / a);
        px[1] = toByte(g / count / a);
        px[2] = toByte(b / count / a);
      }
      px[3] = toByte(a);
      if (px[3] > 0) inkRight = std::max(inkRight, x);
    }
  // The engine treats a rectangle's right column as its edge and leaves it out, so the
  // width keeps one clear column after the ink.
  const int advance = kPenX + shift + (glyph.advance + kSuper / 2) / kSuper + 1;
  figure.width = std::min(kCell, std::max(advance, inkRight + 2));
  return figure;
}

}  // namespace

std::optional<BakedFont> bakeSmallFont(FontFace& face, int pixelSize, const std::string& textureName) {
  if (!face.setPixelSize(pixelSize)) return std::nullopt;
  BakedFont font;
  CharsetDescription& c = font.charset;
  c.comment = "Text font: the 256 characters of Windows-1252, 16 to a line.";
  c.textureName = textureName;
  c.charsPerLine = 16;
  c.cellWidth = 16;
  c.cellHeight = 18;
  c.firstChar = 0;
  c.lastChar = 255;
  font.texture = Image(256, 512);
  const int baseline = std::min(c.cellHeight - face.descender(), face.ascender());
  for (int code = 0; code < 256; ++code) {
    const std::uint32_t unicode = cp1252ToUnicode(static_cast<std::uint8_t>(code));
    int width = 0;
    if (unicode != 0) {
      const auto glyph = face.render(unicode, true);
      if (!glyph) return std::nullopt;              // the font must have every character of the page
      const int shift = std::max(0, -glyph->left);  // keep ink that hangs left of the pen
      const int inkRight = shift + glyph->left + glyph->width;
      width = std::clamp(std::max(glyph->advance, inkRight), 0, c.cellWidth);
      const int cellX = (code % 16) * c.cellWidth, cellY = (code / 16) * c.cellHeight;
      for (int y = 0; y < glyph->height; ++y)
        for (int x = 0; x < glyph->width; ++x) {
          const int tx = shift + glyph->left + x, ty = baseline - glyph->top + y;
          if (tx < 0 || ty < 0 || tx >= width || ty >= c.cellHeight) continue;
          std::uint8_t* px = font.texture.at(cellX + tx, cellY + ty);
          px[0] = px[1] = px[2] = 255;
          // A touch of gamma keeps thin serifs from fading out on dark backgrounds.
          px[3] = toByte(std::pow(glyph->at(x, y), 0.85));
        }
    }
    c.gridWidths.push_back(width);
  }
  return font;
}

std::optional<BakedFont> bakeClockFigures(FontFace& face, const std::string& textureName) {
  const std::string characters = kClockCharacters;
  // The largest size at which every figure, with room for rim and shadow, fits a cell.
  int size = 0, baseline = 0, capTop = 0;
  for (int candidate = 70; candidate >= 20; --candidate) {
    if (!face.setPixelSize(candidate)) return std::nullopt;
    int above = 0, below = 0;
    std::map<char, int> widths;
    for (char ch : characters) {
      const auto g = face.render(static_cast<unsigned char>(ch), true);
      if (!g) return std::nullopt;
      widths[ch] = g->advance + kPenX + 2;
      if (ch == ' ') continue;
      above = std::max(above, g->top);
      below = std::max(below, g->height - g->top);
    }
    // The longest time the overlay shows must fit its box (350 units wide at scale 1).
    int longest = 0;
    for (char ch : std::string(kWidestTime)) longest += widths[ch];
    if (above + below + 2 * kMargin <= kCell && longest <= kWidestTimeRoom) {
      size = candidate;
      baseline = kMargin + above;
      capTop = kMargin;
      break;
    }
  }
  if (size == 0 || !face.setPixelSize(size * kSuper)) return std::nullopt;

  BakedFont font;
  CharsetDescription& c = font.charset;
  c.comment = "Clock figures for the time and frame-rate overlays: 64 x 64 cells, placed by Rects.";
  c.textureName = textureName;
  c.charsPerLine = 4;
  c.cellWidth = kCell;
  c.cellHeight = kCell;
  c.firstChar = 0;
  c.lastChar = 255;
  font.texture = Image(256, 256);
  // Digits share one width (the widest one's), each centred in it, so that a running time
  // keeps its length and does not shift sideways from one second to the next.
  int digitWidth = 0;
  for (char d = '0'; d <= '9'; ++d) {
    const auto glyph = face.render(static_cast<unsigned char>(d), false);
    if (!glyph) return std::nullopt;
    digitWidth = std::max(digitWidth, buildFigure(*glyph, baseline, capTop).width);
  }
  for (std::size_t k = 0; k < characters.size(); ++k) {
    const unsigned char ch = static_cast<unsigned char>(characters[k]);
    const auto glyph = face.render(ch, false);
    if (!glyph) return std::nullopt;
    Figure figure = buildFigure(*glyph, baseline, capTop);
    if (ch >= '0' && ch <= '9') {
      figure = buildFigure(*glyph, baseline, capTop, (digitWidth - figure.width) / 2);
      figure.width = digitWidth;
    }
    const int cellX = static_cast<int>(k % 4) * kCell, cellY = static_cast<int>(k / 4) * kCell;
    for (int y = 0; y < kCell; ++y) std::memcpy(font.texture.at(cellX, cellY + y), figure.cell.at(0, y), kCell * 4);
    c.rects[ch] = {cellX, cellY, cellX + figure.width - 1, cellY + kCell - 1};
  }
  return font;
}

}  // namespace fontbake
