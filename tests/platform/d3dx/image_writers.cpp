#include "tests/platform/d3dx/image_writers.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

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
}  // namespace

std::vector<uint8_t> encodePng(const std::vector<D3DCOLOR>& pixels, UINT w, UINT h, bool alpha) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, pngWrite, pngFlush);
  png_set_IHDR(png, info, w, h, 8, alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<uint8_t> row(w * 4);
  for (UINT y = 0; y < h; ++y) {
    size_t n = 0;
    for (UINT x = 0; x < w; ++x) {
      const D3DCOLOR c = pixels[y * w + x];
      row[n++] = static_cast<uint8_t>(c >> 16);
      row[n++] = static_cast<uint8_t>(c >> 8);
      row[n++] = static_cast<uint8_t>(c);
      if (alpha) row[n++] = static_cast<uint8_t>(c >> 24);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

std::vector<uint8_t> encodeJpeg(const std::vector<D3DCOLOR>& pixels, UINT w, UINT h, int quality) {
  jpeg_compress_struct info;
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = w;
  info.image_height = h;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  std::vector<uint8_t> row(w * 3);
  while (info.next_scanline < h) {
    for (UINT x = 0; x < w; ++x) {
      const D3DCOLOR c = pixels[info.next_scanline * w + x];
      row[x * 3] = static_cast<uint8_t>(c >> 16);
      row[x * 3 + 1] = static_cast<uint8_t>(c >> 8);
      row[x * 3 + 2] = static_cast<uint8_t>(c);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> out(buffer, buffer + size);
  free(buffer);
  return out;
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
  std::vector<uint8_t> v = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  put16(v, w);
  put16(v, h);
  v.push_back(32);
  v.push_back(0x28);  // top-left origin, 8 alpha bits
  for (D3DCOLOR c : pixels) put32(v, c);
  return v;
}
