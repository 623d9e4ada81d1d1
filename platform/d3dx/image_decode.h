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
  // How many levels the file stores, the full-size one included; a decoder fills `mips` with
  // the smaller ones (each half the one above).
  UINT storedLevels = 1;
  std::vector<std::vector<D3DCOLOR>> mips;
};

// A header naming a longer side is refused at once.
constexpr UINT kMaxImageSide = 16384;
// The most pixels a decoder allocates for one image (128 MB of 0xAARRGGBB). It is checked
// before anything is allocated; an image needing more is refused, unless it can be decoded
// smaller for a caller who asked for less.
constexpr size_t kMaxImagePixels = size_t{32} << 20;

// What the caller needs: with a fit size, a decoder that can decode smaller (JPEG by its
// scaled transform, PNG by averaging blocks as rows arrive) may deliver any size between the
// fit size and the full size on each axis, saving the time and memory of the full image. The
// fit size is in the image's upright orientation.
struct DecodeRequest {
  UINT fitWidth = 0, fitHeight = 0;  // 0: the full size
};

// False for unknown, malformed, truncated or damaged data and for sizes beyond the limits.
// JPEG and PNG photos come out turned upright by their EXIF orientation, TGA images by their
// origin corner; CMYK JPEGs are converted.
bool decodeImage(const uint8_t* data, size_t size, DecodedImage& out, const DecodeRequest& request = {});
bool decodeJpeg(const uint8_t* data, size_t size, DecodedImage& out, const DecodeRequest& request = {});
bool decodePng(const uint8_t* data, size_t size, DecodedImage& out, const DecodeRequest& request = {});
// DXT1/3/5 and uncompressed surfaces, with their stored levels.
bool decodeDds(const uint8_t* data, size_t size, DecodedImage& out);
// The size and kind from a DDS header whose levels are all present; a DXT1 file's one-bit alpha
// shows only in its decoded picture.
bool readDdsInfo(const uint8_t* data, size_t size, DecodedImage& out);
// BMP, TGA and GIF (its first frame).
bool decodeOther(const uint8_t* data, size_t size, DecodedImage& out);
// Only the header: size (upright), alpha and kind, no pixels. Cheap for any file size.
bool readImageInfo(const uint8_t* data, size_t size, DecodedImage& out);
bool readOtherInfo(const uint8_t* data, size_t size, DecodedImage& out);
// Whether the pixel buffer of a w x h image is within the decoders' budget.
bool imageWithinBudget(uint64_t w, uint64_t h);

// EXIF orientation (1..8) from the payload of a JPEG APP1 segment or of a PNG eXIf chunk (the
// same TIFF block without the segment's name); 1 when there is none.
int exifOrientation(const uint8_t* payload, size_t size);
// Turns pixels stored as the camera saw them upright, as an EXIF orientation says.
void orientImage(DecodedImage& image, int orientation);

// Resizes with the D3DX filter kinds: NONE copies the overlapping corner (the rest is
// transparent black), POINT picks the nearest texel, the others average the covered area
// (bilinear when enlarging).
std::vector<D3DCOLOR> resizeImage(const std::vector<D3DCOLOR>& src, UINT sw, UINT sh, UINT dw, UINT dh, DWORD filter);
