#include "tests/platform/d3dx/image_writers.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

namespace {
void pngWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void pngFlush(png_structp) {}
void put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
  put16(v, x & 0xFFFF);
  put16(v, x >> 16);
}
// A TGA header for 32-bit pixels stored from the top-left corner with 8 alpha bits;
// `imageType` is 2 for plain pixels, 10 for run-length packets.
std::vector<uint8_t> tgaHeader(uint8_t imageType, UINT w, UINT h) {
  std::vector<uint8_t> v = {0, 0, imageType, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  put16(v, w);
  put16(v, h);
  v.push_back(32);
  v.push_back(0x28);
  return v;
}
}  // namespace

std::vector<uint8_t> encodePng(const std::vector<D3DCOLOR>& pixels, UINT w, UINT h, bool alpha, bool interlaced) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, pngWrite, pngFlush);
  png_set_IHDR(png, info, w, h, 8, alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<uint8_t> rows;
  for (UINT y = 0; y < h; ++y)
    for (UINT x = 0; x < w; ++x) {
      const D3DCOLOR c = pixels[y * w + x];
      rows.insert(rows.end(), {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)});
      if (alpha) rows.push_back(static_cast<uint8_t>(c >> 24));
    }
  // Each pass of an interlaced image is given every row; the writer picks its pixels.
  const int passes = png_set_interlace_handling(png);
  const size_t rowBytes = size_t{w} * (alpha ? 4 : 3);
  for (int pass = 0; pass < passes; ++pass)
    for (UINT y = 0; y < h; ++y) png_write_row(png, rows.data() + y * rowBytes);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

std::vector<uint8_t> writeJpeg(const JpegLayout& layout, const std::function<void(UINT y, uint8_t* row)>& fillRow) {
  jpeg_compress_struct info;
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = layout.width;
  info.image_height = layout.height;
  info.input_components = layout.cmyk ? 4 : 3;
  info.in_color_space = layout.cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, layout.quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  if (!layout.exif.empty())
    jpeg_write_marker(&info, JPEG_APP0 + 1, layout.exif.data(), static_cast<unsigned>(layout.exif.size()));
  std::vector<uint8_t> row(static_cast<size_t>(layout.width) * info.input_components);
  while (info.next_scanline < layout.height) {
    fillRow(info.next_scanline, row.data());
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> out(buffer, buffer + size);
  free(buffer);
  return out;
}

std::vector<uint8_t> tiffOrientation(int orientation) {
  // One entry in the first directory (tag 0x0112, a short), then no next directory.
  return {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, uint8_t(orientation), 0, 0, 0, 0, 0, 0};
}

std::vector<uint8_t> exifOrientation(int orientation) {
  std::vector<uint8_t> exif = {'E', 'x', 'i', 'f', 0, 0};
  const std::vector<uint8_t> tiff = tiffOrientation(orientation);
  exif.insert(exif.end(), tiff.begin(), tiff.end());
  return exif;
}

namespace {
// Rows of 0xAARRGGBB pixels as the R, G, B bytes a JPEG takes.
std::function<void(UINT, uint8_t*)> rgbRows(const std::vector<D3DCOLOR>& pixels, UINT w) {
  return [&pixels, w](UINT y, uint8_t* row) {
    for (UINT x = 0; x < w; ++x) {
      const D3DCOLOR c = pixels[y * w + x];
      row[x * 3] = static_cast<uint8_t>(c >> 16);
      row[x * 3 + 1] = static_cast<uint8_t>(c >> 8);
      row[x * 3 + 2] = static_cast<uint8_t>(c);
    }
  };
}
}  // namespace

std::vector<uint8_t> encodeJpeg(const std::vector<D3DCOLOR>& pixels, UINT w, UINT h, int quality) {
  JpegLayout layout{w, h};
  layout.quality = quality;
  return writeJpeg(layout, rgbRows(pixels, w));
}

std::vector<uint8_t> encodeBmp(const std::vector<D3DCOLOR>& pixels, UINT w, UINT h) {
  const uint32_t rowBytes = (w * 3 + 3) & ~3u;
  std::vector<uint8_t> v = {'B', 'M'};
  put32(v, 54 + rowBytes * h);
  put32(v, 0);
  put32(v, 54);
  put32(v, 40);
  put32(v, w);
  put32(v, h);
  put16(v, 1);
  put16(v, 24);
  for (int i = 0; i < 6; ++i) put32(v, 0);
  for (UINT y = h; y-- > 0;) {
    for (UINT x = 0; x < w; ++x) {
      const D3DCOLOR c = pixels[y * w + x];
      v.push_back(static_cast<uint8_t>(c));
      v.push_back(static_cast<uint8_t>(c >> 8));
      v.push_back(static_cast<uint8_t>(c >> 16));
    }
    for (uint32_t p = w * 3; p < rowBytes; ++p) v.push_back(0);
  }
  return v;
}

std::vector<uint8_t> encodeTga(const std::vector<D3DCOLOR>& pixels, UINT w, UINT h) {
  std::vector<uint8_t> v = tgaHeader(2, w, h);
  for (D3DCOLOR c : pixels) put32(v, c);
  return v;
}

std::vector<uint8_t> encodeJpegOriented(const std::vector<D3DCOLOR>& stored, UINT w, UINT h, int orientation) {
  JpegLayout layout{w, h};
  layout.exif = exifOrientation(orientation);
  return writeJpeg(layout, rgbRows(stored, w));
}

std::vector<uint8_t> encodeCmykJpeg(const std::vector<uint32_t>& inks, UINT w, UINT h) {
  JpegLayout layout{w, h};
  layout.cmyk = true;
  return writeJpeg(layout, [&inks, w](UINT y, uint8_t* row) {
    for (UINT x = 0; x < w; ++x)
      for (int shift = 24; shift >= 0; shift -= 8) *row++ = uint8_t(255 - ((inks[y * w + x] >> shift) & 0xFF));
  });
}

std::vector<uint8_t> encodeRleTga(const std::vector<D3DCOLOR>& pixels, UINT w, UINT h) {
  std::vector<uint8_t> v = tgaHeader(10, w, h);
  for (size_t i = 0; i < pixels.size();) {
    size_t run = 1;
    while (i + run < pixels.size() && run < 128 && pixels[i + run] == pixels[i]) ++run;
    v.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
    put32(v, pixels[i]);
    i += run;
  }
  return v;
}

std::vector<uint8_t> encodeGif(const std::vector<bool>& white, UINT w, UINT h) {
  std::vector<uint8_t> v = {'G', 'I', 'F', '8', '9', 'a'};
  put16(v, w);
  put16(v, h);
  v.insert(v.end(), {0x80, 0, 0, 0, 0, 0, 255, 255, 255});  // global table of two colours
  v.push_back(0x2C);
  put16(v, 0);
  put16(v, 0);
  put16(v, w);
  put16(v, h);
  v.push_back(0);
  v.push_back(2);  // LZW minimum code size
  // Three-bit codes: a clear code before every pixel keeps the code table from growing.
  std::vector<uint8_t> data;
  uint32_t bits = 0, count = 0;
  auto code = [&](uint32_t c) {
    bits |= c << count;
    count += 3;
    while (count >= 8) {
      data.push_back(static_cast<uint8_t>(bits));
      bits >>= 8;
      count -= 8;
    }
  };
  for (bool p : white) {
    code(4);
    code(p ? 1 : 0);
  }
  code(5);
  if (count) data.push_back(static_cast<uint8_t>(bits));
  for (size_t at = 0; at < data.size(); at += 255) {
    const size_t n = std::min<size_t>(255, data.size() - at);
    v.push_back(static_cast<uint8_t>(n));
    v.insert(v.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
             data.begin() + static_cast<std::ptrdiff_t>(at + n));
  }
  v.push_back(0);
  v.push_back(0x3B);
  return v;
}

void forgePngSize(std::vector<uint8_t>& png, uint32_t w, uint32_t h) {
  for (int i = 0; i < 4; ++i) {
    png[16 + i] = static_cast<uint8_t>(w >> (24 - 8 * i));
    png[20 + i] = static_cast<uint8_t>(h >> (24 - 8 * i));
  }
  const uLong crc = crc32(0L, png.data() + 12, 17);
  for (int i = 0; i < 4; ++i) png[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
}
