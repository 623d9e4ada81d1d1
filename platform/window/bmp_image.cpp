#include "platform/window/bmp_image.h"

#include <bit>

namespace platform {
namespace {

constexpr int32_t kMaxSide = 16384;

uint32_t u16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8; }
uint32_t u32(const uint8_t* p) { return u16(p) | u16(p + 2) << 16; }

// Scales a masked channel to 0..255.
uint8_t channel(uint32_t pixel, uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const uint32_t max = mask >> shift;
  const uint32_t value = (pixel & mask) >> shift;
  return static_cast<uint8_t>(max == 255 ? value : (value * 255 + max / 2) / max);
}

}  // namespace

bool decodeBitmap(const uint8_t* data, std::size_t size, Image& out) {
  if (data == nullptr) return false;
  const uint8_t* dib = data;
  std::size_t dibSize = size;
  std::size_t pixelOffset = 0;  // from `dib`; 0 until known
  bool fileHeader = false;
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
    if (size < 14) return false;
    const uint32_t offBits = u32(data + 10);
    if (offBits < 14 || offBits > size) return false;
    dib = data + 14;
    dibSize = size - 14;
    pixelOffset = offBits - 14;
    fileHeader = true;
  }
  if (dibSize < 40) return false;
  const uint32_t headerSize = u32(dib);
  if (headerSize < 40 || headerSize > dibSize || headerSize > 1024) return false;
  const int32_t width = static_cast<int32_t>(u32(dib + 4));
  const int32_t rawHeight = static_cast<int32_t>(u32(dib + 8));
  const uint32_t planes = u16(dib + 12);
  const uint32_t bpp = u16(dib + 14);
  const uint32_t compression = u32(dib + 16);
  const uint32_t colorsUsed = u32(dib + 32);
  if (planes != 1 || width <= 0 || width > kMaxSide || rawHeight == 0 || rawHeight < -kMaxSide || rawHeight > kMaxSide)
    return false;
  const bool topDown = rawHeight < 0;
  const int32_t height = topDown ? -rawHeight : rawHeight;

  uint32_t masks[3] = {0, 0, 0};
  std::size_t afterHeader = headerSize;
  if (compression == 3) {  // BI_BITFIELDS
    if (bpp != 16 && bpp != 32) return false;
    if (headerSize >= 52) {
      masks[0] = u32(dib + 40), masks[1] = u32(dib + 44), masks[2] = u32(dib + 48);
    } else {
      if (dibSize < 52) return false;
      masks[0] = u32(dib + 40), masks[1] = u32(dib + 44), masks[2] = u32(dib + 48);
      afterHeader = 52;
    }
  } else if (compression == 0) {
    if (bpp == 16) masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    if (bpp == 32) masks[0] = 0x00FF0000, masks[1] = 0x0000FF00, masks[2] = 0x000000FF;
  } else {
    return false;  // run-length and embedded JPEG/PNG bitmaps are not used by the program
  }
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;

  const uint8_t* palette = nullptr;
  uint32_t paletteCount = 0;
  if (bpp <= 8) {
    paletteCount = colorsUsed != 0 ? colorsUsed : (1u << bpp);
    if (paletteCount > (1u << bpp)) return false;
    if (afterHeader + static_cast<uint64_t>(paletteCount) * 4 > dibSize) return false;
    palette = dib + afterHeader;
  }
  if (!fileHeader) pixelOffset = afterHeader + static_cast<std::size_t>(paletteCount) * 4;

  const uint64_t stride = ((static_cast<uint64_t>(width) * bpp + 31) / 32) * 4;
  if (pixelOffset > dibSize || stride * static_cast<uint64_t>(height) > dibSize - pixelOffset) return false;
  const uint8_t* pixels = dib + pixelOffset;

  Image image;
  image.width = width;
  image.height = height;
  image.rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = pixels + stride * static_cast<uint64_t>(topDown ? y : height - 1 - y);
    uint8_t* dst = image.rgb.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 3;
    for (int32_t x = 0; x < width; ++x, dst += 3) {
      switch (bpp) {
        case 1:
        case 4:
        case 8: {
          const uint32_t perByte = 8 / bpp;
          const uint32_t byte = row[static_cast<uint32_t>(x) / perByte];
          const uint32_t shift = 8 - bpp - (static_cast<uint32_t>(x) % perByte) * bpp;
          const uint32_t index = (byte >> shift) & ((1u << bpp) - 1);
          if (index < paletteCount) {
            dst[0] = palette[index * 4 + 2], dst[1] = palette[index * 4 + 1], dst[2] = palette[index * 4];
          } else {
            dst[0] = dst[1] = dst[2] = 0;
          }
          break;
        }
        case 16: {
          const uint32_t p = u16(row + x * 2);
          dst[0] = channel(p, masks[0]), dst[1] = channel(p, masks[1]), dst[2] = channel(p, masks[2]);
          break;
        }
        case 24: dst[0] = row[x * 3 + 2], dst[1] = row[x * 3 + 1], dst[2] = row[x * 3]; break;
        case 32: {
          const uint32_t p = u32(row + x * 4);
          dst[0] = channel(p, masks[0]), dst[1] = channel(p, masks[1]), dst[2] = channel(p, masks[2]);
          break;
        }
      }
    }
  }
  out = std::move(image);
  return true;
}

}  // namespace platform
