#pragma once
// Small encoders for building test images in memory.
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/d3d9/d3d9types.h"

// Pixels 0xAARRGGBB, rows top to bottom.
std::vector<uint8_t> encodePng(const std::vector<D3DCOLOR>& pixels, UINT w, UINT h, bool alpha,
                               bool interlaced = false);
std::vector<uint8_t> encodeJpeg(const std::vector<D3DCOLOR>& pixels, UINT w, UINT h, int quality = 95);
std::vector<uint8_t> encodeBmp(const std::vector<D3DCOLOR>& pixels, UINT w, UINT h);
std::vector<uint8_t> encodeTga(const std::vector<D3DCOLOR>& pixels, UINT w, UINT h);

// A JPEG written a row at a time, so a picture of any size needs no whole copy in memory:
// `fillRow` gets each row, top to bottom, to fill with `width` pixels of three bytes (R, G, B),
// or four (C, M, Y, K) when `cmyk`. `exif`, when not empty, goes in as the APP1 marker.
struct JpegLayout {
  JpegLayout(UINT w, UINT h) : width(w), height(h) {}
  UINT width, height;
  bool cmyk = false;
  int quality = 95;
  std::vector<uint8_t> exif;
};
std::vector<uint8_t> writeJpeg(const JpegLayout& layout, const std::function<void(UINT y, uint8_t* row)>& fillRow);
// A big-endian TIFF header and directory holding only the orientation tag (1..8), as EXIF
// blocks and PNG eXIf chunks carry it.
std::vector<uint8_t> tiffOrientation(int orientation);
// An EXIF block (APP1 payload) holding only the orientation tag.
std::vector<uint8_t> exifOrientation(int orientation);

// A JPEG whose stored pixels carry an EXIF orientation tag (1..8).
std::vector<uint8_t> encodeJpegOriented(const std::vector<D3DCOLOR>& stored, UINT w, UINT h, int orientation);
// A CMYK JPEG with Adobe's marker; `inks` are C, M, Y, K bytes (0xCCMMYYKK) stored inverted,
// as Adobe's files store them.
std::vector<uint8_t> encodeCmykJpeg(const std::vector<uint32_t>& inks, UINT w, UINT h);
// A TGA whose pixels are run-length packets.
std::vector<uint8_t> encodeRleTga(const std::vector<D3DCOLOR>& pixels, UINT w, UINT h);
// A GIF with a two-colour table (black, white); `white` says which pixels are white.
std::vector<uint8_t> encodeGif(const std::vector<bool>& white, UINT w, UINT h);
// A PNG's header chunk changed to claim w x h, its checksum made right again.
void forgePngSize(std::vector<uint8_t>& png, uint32_t w, uint32_t h);
