#include "tools/mediac/texture_check.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>

namespace brassmoor::mediac {

namespace {

bool powerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

std::optional<std::pair<int, int>> pngSize(const std::vector<unsigned char>& b) {
  static const unsigned char sig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (b.size() < 24 || !std::equal(sig, sig + 8, b.begin())) return std::nullopt;
  if (!std::equal(b.begin() + 12, b.begin() + 16, "IHDR")) return std::nullopt;
  auto be = [&](std::size_t o) { return (b[o] << 24) | (b[o + 1] << 16) | (b[o + 2] << 8) | b[o + 3]; };
  return std::make_pair(static_cast<int>(be(16)), static_cast<int>(be(20)));
}

std::optional<std::pair<int, int>> jpegSize(const std::vector<unsigned char>& b) {
  if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8) return std::nullopt;
  std::size_t p = 2;
  while (p + 4 <= b.size()) {
    if (b[p] != 0xFF) return std::nullopt;
    unsigned char marker = b[p + 1];
    if (marker == 0xFF) {
      ++p;
      continue;
    }
    if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
      p += 2;
      continue;
    }
    std::size_t len = (b[p + 2] << 8) | b[p + 3];
    if (len < 2) return std::nullopt;
    bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (sof) {
      if (p + 9 > b.size()) return std::nullopt;
      int h = (b[p + 5] << 8) | b[p + 6];
      int w = (b[p + 7] << 8) | b[p + 8];
      return std::make_pair(w, h);
    }
    if (marker == 0xD9 || marker == 0xDA) return std::nullopt;  // no frame header before the data
    p += 2 + len;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::pair<int, int>> imageSize(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return std::nullopt;
  // headers sit near the start; JPEG metadata segments before the frame header are small
  std::vector<unsigned char> b(65536);
  f.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(b.size()));
  b.resize(static_cast<std::size_t>(f.gcount()));
  if (auto s = pngSize(b)) return s;
  return jpegSize(b);
}

std::vector<std::string> textureNames(const MediaScene& scene) {
  std::vector<std::string> out;
  auto add = [&](const std::string& n) {
    if (!n.empty() && std::find(out.begin(), out.end(), n) == out.end()) out.push_back(n);
  };
  for (const auto& m : scene.materials) {
    add(m.base);
    add(m.lightMap);
    add(m.flashMap);
    add(m.lampMap);
  }
  return out;
}

std::vector<std::string> checkTextures(const MediaScene& scene, const std::string& dir) {
  std::vector<std::string> problems;
  for (const auto& name : textureNames(scene)) {
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) {
      problems.push_back(name + ": texture names must be plain file names");
      continue;
    }
    auto size = imageSize(dir + "/" + name);
    if (!size) {
      problems.push_back(name + ": missing or not a PNG or JPEG file");
      continue;
    }
    if (!powerOfTwo(size->first) || !powerOfTwo(size->second))
      problems.push_back(name + ": " + std::to_string(size->first) + "x" + std::to_string(size->second) +
                         " is not a power of two");
  }
  return problems;
}

}  // namespace brassmoor::mediac
