#pragma once
// Decoders of the image formats the media use. Pixels come out as 0xAARRGGBB, rows top to
// bottom. Sizes are capped so that a forged header cannot ask for more memory than any real
// texture needs.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3dx/d3dx.h"

struct DecodedImage {
  UINT width = 0, height = 0;
  bool hasAlpha = false;
  D3DXIMAGE_FILEFORMAT fileFormat = D3DXIFF_BMP;
  std::vector<D3DCOLOR> pixels;
};

constexpr UINT kMaxImageSide = 16384;
constexpr size_t kMaxImagePixels = size_t{64} << 20;

// False for unknown, malformed or truncated data.
bool decodeImage(const uint8_t* data, size_t size, DecodedImage& out);
bool decodeJpeg(const uint8_t* data, size_t size, DecodedImage& out);
bool decodePng(const uint8_t* data, size_t size, DecodedImage& out);
// BMP, TGA and GIF (its first frame).
bool decodeOther(const uint8_t* data, size_t size, DecodedImage& out);

// Resizes with the D3DX filter kinds: NONE copies the overlapping corner (the rest is
// transparent black), POINT picks the nearest texel, the others average the covered area
// (bilinear when enlarging).
std::vector<D3DCOLOR> resizeImage(const std::vector<D3DCOLOR>& src, UINT sw, UINT sh, UINT dw, UINT dh, DWORD filter);
// The next mip level: each texel the average of a 2x2 block (a 1-wide side averages pairs).
std::vector<D3DCOLOR> halveImage(const std::vector<D3DCOLOR>& src, UINT sw, UINT sh, UINT& dw, UINT& dh, DWORD filter);
