// BMP, TGA and GIF through stb_image, limited to the formats the media may hold.
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

bool decodeOther(const uint8_t* data, size_t size, DecodedImage& out) {
  out = DecodedImage{};
  if (!data || size < 4 || size > 0x7FFFFFFF) return false;
  int w = 0, h = 0, channels = 0;
  if (!stbi_info_from_memory(data, static_cast<int>(size), &w, &h, &channels)) return false;
  if (w <= 0 || h <= 0 || static_cast<UINT>(w) > kMaxImageSide || static_cast<UINT>(h) > kMaxImageSide ||
      static_cast<size_t>(w) * static_cast<size_t>(h) > kMaxImagePixels)
    return false;
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') out.fileFormat = D3DXIFF_BMP;
  else if (size >= 4 && std::memcmp(data, "GIF8", 4) == 0) out.fileFormat = D3DXIFF_BMP;
  else out.fileFormat = D3DXIFF_TGA;
  stbi_uc* pixels = stbi_load_from_memory(data, static_cast<int>(size), &w, &h, &channels, 4);
  if (!pixels) return false;
  out.width = static_cast<UINT>(w);
  out.height = static_cast<UINT>(h);
  out.hasAlpha = channels == 4 || channels == 2;
  out.pixels.resize(static_cast<size_t>(w) * h);
  for (size_t i = 0; i < out.pixels.size(); ++i) {
    const stbi_uc* p = pixels + i * 4;
    out.pixels[i] = D3DCOLOR_ARGB(p[3], p[0], p[1], p[2]);
  }
  stbi_image_free(pixels);
  return true;
}
