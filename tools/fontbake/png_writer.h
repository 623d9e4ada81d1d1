#pragma once
// 8-bit RGBA PNG output for the charset textures.
#include <cstdint>
#include <string>
#include <vector>

namespace fontbake {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;  // row-major, 4 bytes a texel, straight (not premultiplied) alpha

  Image() = default;
  Image(int w, int h) : width(w), height(h), rgba(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4, 0) {}
  std::size_t offset(int x, int y) const {
    return (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4;
  }
  std::uint8_t* at(int x, int y) { return &rgba[offset(x, y)]; }
  const std::uint8_t* at(int x, int y) const { return &rgba[offset(x, y)]; }
};

bool writePng(const std::string& path, const Image& image);

}  // namespace fontbake
