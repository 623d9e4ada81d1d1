// BMP, TGA and GIF through stb_image, limited to the formats the media may hold.
#include <algorithm>
#include <cstring>

#include "platform/d3dx/image_decode.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_ONLY_GIF
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS 16384
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wpedantic"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace {

enum class OtherKind { Bmp, Gif, Tga };

OtherKind kindOf(const uint8_t* data, size_t size) {
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') return OtherKind::Bmp;
  if (size >= 4 && std::memcmp(data, "GIF8", 4) == 0) return OtherKind::Gif;
  return OtherKind::Tga;
}

uint32_t little16(const uint8_t* p) { return p[0] | (uint32_t{p[1]} << 8); }
uint32_t little32(const uint8_t* p) { return little16(p) | (little16(p + 2) << 16); }

// Uncompressed rows must all be present; run-length packets must cover every pixel before
// the data ends. A header claiming more than the file holds is refused before any pixel
// memory is taken, instead of being decoded into a mostly black image.
bool tgaDataPresent(const uint8_t* data, size_t size, uint64_t w, uint64_t h) {
  if (size < 18) return false;
  const unsigned type = data[2], bytesPerPixel = (data[16] + 7u) / 8u;
  uint64_t at = 18 + uint64_t{data[0]};
  if (data[1] == 1) at += uint64_t{little16(data + 5)} * ((data[7] + 7u) / 8u);
  if (bytesPerPixel == 0) return false;
  const uint64_t pixels = w * h;
  if (type < 8) return at + pixels * bytesPerPixel <= size;
  for (uint64_t done = 0; done < pixels;) {
    if (at >= size) return false;
    const uint8_t packet = data[at++];
    const uint64_t count = (packet & 0x7Fu) + 1u;
    at += (packet & 0x80u) ? bytesPerPixel : count * bytesPerPixel;
    if (at > size) return false;
    done += count;
  }
  return true;
}

bool bmpDataPresent(const uint8_t* data, size_t size, uint64_t w, uint64_t h) {
  if (size < 30) return false;
  const uint32_t offset = little32(data + 10), header = little32(data + 14);
  const unsigned bits = header == 12 ? little16(data + 24) : little16(data + 28);
  const uint32_t compression = header == 12 || size < 34 ? 0 : little32(data + 30);
  // Only plain and bit-field rows are decoded; anything else would be read as rows that are
  // not there.
  if (compression != 0 && compression != 3 && compression != 6) return false;
  const uint64_t rowBytes = (w * bits + 31) / 32 * 4;
  return uint64_t{offset} + rowBytes * h <= size;
}

// Skips a chain of GIF sub-blocks ending in an empty one; false when the data ends first.
bool skipGifBlocks(const uint8_t* data, size_t size, size_t& at) {
  while (at < size) {
    const uint8_t length = data[at++];
    if (length == 0) return true;
    at += length;
  }
  return false;
}

// The first picture's blocks (colour tables, extensions, image data) must all be present, and
// hold enough codes for the picture: a code of at least two bits gives at most 4096 pixels.
bool gifDataPresent(const uint8_t* data, size_t size, uint64_t w, uint64_t h) {
  if (size < 13) return false;
  size_t at = 13;
  if (data[10] & 0x80) at += 3u * (2u << (data[10] & 7));
  while (at < size) {
    const uint8_t block = data[at++];
    if (block == 0x21) {
      if (++at > size || !skipGifBlocks(data, size, at)) return false;
    } else if (block == 0x2C) {
      if (at + 9 > size) return false;
      const uint8_t flags = data[at + 8];
      at += 9;
      if (flags & 0x80) at += 3u * (2u << (flags & 7));
      const size_t codes = ++at;
      return at <= size && skipGifBlocks(data, size, at) && w * h <= uint64_t{at - codes} * 4 * 4096;
    } else {
      return false;
    }
  }
  return false;
}

bool dataPresent(OtherKind kind, const uint8_t* data, size_t size, uint64_t w, uint64_t h) {
  switch (kind) {
    case OtherKind::Bmp: return bmpDataPresent(data, size, w, h);
    case OtherKind::Gif: return gifDataPresent(data, size, w, h);
    case OtherKind::Tga: return tgaDataPresent(data, size, w, h);
  }
  return false;
}

}  // namespace

bool readOtherInfo(const uint8_t* data, size_t size, DecodedImage& out) {
  out = DecodedImage{};
  if (!data || size < 4 || size > 0x7FFFFFFF) return false;
  int w = 0, h = 0, channels = 0;
  if (!stbi_info_from_memory(data, static_cast<int>(size), &w, &h, &channels)) return false;
  if (w <= 0 || h <= 0 || static_cast<UINT>(w) > kMaxImageSide || static_cast<UINT>(h) > kMaxImageSide) return false;
  // GIF counts as BMP: the image-info record has no GIF kind.
  out.fileFormat = kindOf(data, size) == OtherKind::Tga ? D3DXIFF_TGA : D3DXIFF_BMP;
  out.width = static_cast<UINT>(w);
  out.height = static_cast<UINT>(h);
  out.hasAlpha = channels == 4 || channels == 2;
  return true;
}

bool decodeOther(const uint8_t* data, size_t size, DecodedImage& out) {
  if (!readOtherInfo(data, size, out)) return false;
  const UINT w = out.width, h = out.height;
  if (!imageWithinBudget(w, h) || !dataPresent(kindOf(data, size), data, size, w, h)) {
    out = DecodedImage{};
    return false;
  }
  int gotW = 0, gotH = 0, channels = 0;
  stbi_uc* pixels = stbi_load_from_memory(data, static_cast<int>(size), &gotW, &gotH, &channels, 4);
  if (!pixels || static_cast<UINT>(gotW) != w || static_cast<UINT>(gotH) != h) {
    stbi_image_free(pixels);
    out = DecodedImage{};
    return false;
  }
  out.pixels.resize(static_cast<size_t>(w) * h);
  for (size_t i = 0; i < out.pixels.size(); ++i) {
    const stbi_uc* p = pixels + i * 4;
    out.pixels[i] = D3DCOLOR_ARGB(p[3], p[0], p[1], p[2]);
  }
  stbi_image_free(pixels);
  // The decoder follows a TGA's bottom or top origin but not its right-hand one (bit 4 of the
  // descriptor): such rows are stored from right to left.
  if (kindOf(data, size) == OtherKind::Tga && (data[17] & 0x10))
    for (auto row = out.pixels.begin(); row != out.pixels.end(); row += w) std::reverse(row, row + w);
  return true;
}
