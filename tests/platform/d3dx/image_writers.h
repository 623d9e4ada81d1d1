#pragma once
// Small encoders for building test images in memory.
#include <cstdint>
#include <vector>

#include "platform/d3d9/d3d9types.h"

// Pixels 0xAARRGGBB, rows top to bottom.
std::vector<uint8_t> encodePng(const std::vector<D3DCOLOR>& pixels, UINT w, UINT h, bool alpha);
std::vector<uint8_t> encodeJpeg(const std::vector<D3DCOLOR>& pixels, UINT w, UINT h, int quality = 95);
std::vector<uint8_t> encodeBmp(const std::vector<D3DCOLOR>& pixels, UINT w, UINT h);
std::vector<uint8_t> encodeTga(const std::vector<D3DCOLOR>& pixels, UINT w, UINT h);
