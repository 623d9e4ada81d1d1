// Writes a test photo as a JPEG: a grainy sky-to-earth gradient, a white disc in the middle (round
// only while the picture keeps its shape), a red arrow at the top pointing up (upright only
// when the orientation is honoured) and a grid of eighths.
//
//   photo_maker OUT.jpg WIDTH HEIGHT [--sideways] [--cut BYTES]
//
// WIDTH x HEIGHT is the picture as it should be seen. --sideways stores it turned a quarter to
// the left with EXIF orientation 6, as a camera held upright does; --cut keeps only the first
// BYTES of the file, as a transfer cut short does.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/platform/d3dx/image_writers.h"

namespace {

struct Rgb {
  unsigned char r, g, b;
};

Rgb upright(long x, long y, long w, long h) {
  const double fy = static_cast<double>(y) / h;
  Rgb c{static_cast<unsigned char>(40 + 180 * fy), static_cast<unsigned char>(90 + 60 * fy),
        static_cast<unsigned char>(200 - 160 * fy)};
  if ((x * 8 / w) != ((x + 1) * 8 / w) || (y * 8 / h) != ((y + 1) * 8 / h)) c = {20, 20, 20};
  const double dx = x - w / 2.0, dy = y - h / 2.0, r = 0.3 * std::min(w, h);
  if (dx * dx + dy * dy < r * r) c = {235, 235, 235};
  const double top = 0.04 * h, tip = 0.16 * h;  // the arrow: a triangle from tip (top) to base
  if (y > top && y < tip && std::fabs(static_cast<double>(x) - w / 2.0) < (y - top) / (tip - top) * 0.08 * w)
    c = {220, 20, 20};
  // Grain, as a photograph has: it makes the file as large as a real one of its size.
  const unsigned long hash = (static_cast<unsigned long>(x) * 73856093u) ^ (static_cast<unsigned long>(y) * 19349663u);
  const int grain = static_cast<int>((hash * 2654435761u) >> 27 & 31) - 16;
  auto add = [grain](unsigned char v) { return static_cast<unsigned char>(std::min(255, std::max(0, v + grain))); };
  return {add(c.r), add(c.g), add(c.b)};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: photo_maker OUT.jpg WIDTH HEIGHT [--sideways] [--cut BYTES]\n");
    return 2;
  }
  const long w = std::atol(argv[2]), h = std::atol(argv[3]);
  bool sideways = false;
  long cut = -1;
  for (int i = 4; i < argc; ++i) {
    if (std::strcmp(argv[i], "--sideways") == 0) sideways = true;
    else if (std::strcmp(argv[i], "--cut") == 0 && i + 1 < argc)
      cut = std::atol(argv[++i]);
  }
  if (w <= 0 || h <= 0 || w > 20000 || h > 20000) return 2;
  // Stored turned left a quarter: stored (sx, sy) shows at upright (h_s - 1 - sy, sx).
  const long sw = sideways ? h : w, sh = sideways ? w : h;

  // Stored rows run top to bottom; each is filled from the upright picture it shows.
  JpegLayout layout(static_cast<UINT>(sw), static_cast<UINT>(sh));
  layout.quality = 90;
  if (sideways) layout.exif = exifOrientation(6);
  const std::vector<uint8_t> jpeg = writeJpeg(layout, [&](UINT storedY, uint8_t* row) {
    const long sy = storedY;
    for (long sx = 0; sx < sw; ++sx) {
      const Rgb c = sideways ? upright(sh - 1 - sy, sx, w, h) : upright(sx, sy, w, h);
      row[sx * 3] = c.r;
      row[sx * 3 + 1] = c.g;
      row[sx * 3 + 2] = c.b;
    }
  });
  const size_t keep = cut >= 0 && static_cast<size_t>(cut) < jpeg.size() ? static_cast<size_t>(cut) : jpeg.size();
  FILE* out = std::fopen(argv[1], "wb");
  const bool ok = out && std::fwrite(jpeg.data(), 1, keep, out) == keep;
  if (out) std::fclose(out);
  if (!ok) std::fprintf(stderr, "photo_maker: cannot write %s\n", argv[1]);
  return ok ? 0 : 1;
}
