#include "platform/d3dx/image_decode.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

namespace {

bool sizeAcceptable(uint64_t w, uint64_t h) {
  return w > 0 && h > 0 && w <= kMaxImageSide && h <= kMaxImageSide && w * h <= kMaxImagePixels;
}

// ---- JPEG ----

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void jpegFail(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }
void jpegQuiet(j_common_ptr, int) {}
void jpegNoOutput(j_common_ptr) {}

// Kept free of objects with destructors between setjmp and the last libjpeg call, so a
// longjmp out of the library skips nothing that needs cleaning.
bool decodeJpegInto(const uint8_t* data, size_t size, DecodedImage& out, std::vector<uint8_t>& row) {
  jpeg_decompress_struct info;
  JpegError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = jpegFail;
  error.manager.emit_message = jpegQuiet;
  error.manager.output_message = jpegNoOutput;
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || !sizeAcceptable(info.image_width, info.image_height)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  if (info.output_components != 3) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  out.width = info.output_width;
  out.height = info.output_height;
  out.pixels.assign(static_cast<size_t>(out.width) * out.height, 0);
  row.assign(static_cast<size_t>(out.width) * 3, 0);
  while (info.output_scanline < info.output_height) {
    JSAMPROW rows[1] = {row.data()};
    const UINT y = info.output_scanline;
    if (jpeg_read_scanlines(&info, rows, 1) != 1) break;
    D3DCOLOR* dst = out.pixels.data() + static_cast<size_t>(y) * out.width;
    for (UINT x = 0; x < out.width; ++x) dst[x] = D3DCOLOR_XRGB(row[x * 3], row[x * 3 + 1], row[x * 3 + 2]);
  }
  const bool complete = info.output_scanline == info.output_height;
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return complete;
}

// ---- PNG ----

struct PngReader {
  const uint8_t* data;
  size_t size;
  size_t offset;
};

void pngRead(png_structp png, png_bytep out, png_size_t length) {
  auto* reader = static_cast<PngReader*>(png_get_io_ptr(png));
  if (length > reader->size - reader->offset) png_error(png, "truncated");
  std::memcpy(out, reader->data + reader->offset, length);
  reader->offset += length;
}

void pngWarning(png_structp, png_const_charp) {}
void pngErrorExit(png_structp png, png_const_charp) { png_longjmp(png, 1); }

bool decodePngInto(const uint8_t* data, size_t size, DecodedImage& out, std::vector<uint8_t>& rowBytes) {
  PngReader reader{data, size, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngErrorExit, pngWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &reader, pngRead);
  png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
  png_read_info(png, info);
  const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  if (!sizeAcceptable(w, h)) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  const int colourType = png_get_color_type(png, info);
  out.hasAlpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS);
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<size_t>(w) * 4) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  out.width = w;
  out.height = h;
  out.pixels.assign(static_cast<size_t>(w) * h, 0);
  rowBytes.resize(4);
  for (int pass = 0; pass < passes; ++pass)
    for (png_uint_32 y = 0; y < h; ++y) png_read_row(png, reinterpret_cast<png_bytep>(out.pixels.data() + static_cast<size_t>(y) * w), nullptr);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

}  // namespace

bool decodeJpeg(const uint8_t* data, size_t size, DecodedImage& out) {
  std::vector<uint8_t> row;
  out = DecodedImage{};
  out.fileFormat = D3DXIFF_JPG;
  if (!data || size < 4) return false;
  if (!decodeJpegInto(data, size, out, row)) {
    out.pixels.clear();
    return false;
  }
  return true;
}

bool decodePng(const uint8_t* data, size_t size, DecodedImage& out) {
  std::vector<uint8_t> row;
  out = DecodedImage{};
  out.fileFormat = D3DXIFF_PNG;
  if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0) return false;
  if (!decodePngInto(data, size, out, row)) {
    out.pixels.clear();
    return false;
  }
  return true;
}

bool decodeImage(const uint8_t* data, size_t size, DecodedImage& out) {
  if (!data || size < 4) return false;
  if (data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return decodeJpeg(data, size, out);
  if (size >= 8 && data[0] == 0x89 && data[1] == 'P' && data[2] == 'N' && data[3] == 'G') return decodePng(data, size, out);
  return decodeOther(data, size, out);
}

std::vector<D3DCOLOR> resizeImage(const std::vector<D3DCOLOR>& src, UINT sw, UINT sh, UINT dw, UINT dh, DWORD filter) {
  std::vector<D3DCOLOR> dst(static_cast<size_t>(dw) * dh, 0);
  const DWORD kind = filter & 0xFF;
  if (sw == dw && sh == dh) return src;
  if (kind == D3DX_FILTER_NONE) {
    for (UINT y = 0; y < std::min(sh, dh); ++y)
      std::memcpy(&dst[static_cast<size_t>(y) * dw], &src[static_cast<size_t>(y) * sw], std::min(sw, dw) * sizeof(D3DCOLOR));
    return dst;
  }
  auto at = [&](UINT x, UINT y) { return src[static_cast<size_t>(std::min(y, sh - 1)) * sw + std::min(x, sw - 1)]; };
  if (kind == D3DX_FILTER_POINT) {
    for (UINT y = 0; y < dh; ++y)
      for (UINT x = 0; x < dw; ++x)
        dst[static_cast<size_t>(y) * dw + x] = at(static_cast<UINT>((static_cast<uint64_t>(x) * sw + sw / 2) / dw),
                                                  static_cast<UINT>((static_cast<uint64_t>(y) * sh + sh / 2) / dh));
    return dst;
  }
  // Area average along each axis when shrinking, linear interpolation when enlarging.
  for (UINT y = 0; y < dh; ++y) {
    const double y0 = static_cast<double>(y) * sh / dh, y1 = static_cast<double>(y + 1) * sh / dh;
    for (UINT x = 0; x < dw; ++x) {
      const double x0 = static_cast<double>(x) * sw / dw, x1 = static_cast<double>(x + 1) * sw / dw;
      double acc[4] = {0, 0, 0, 0}, total = 0;
      auto add = [&](D3DCOLOR c, double w) {
        acc[0] += w * (c >> 24);
        acc[1] += w * ((c >> 16) & 0xFF);
        acc[2] += w * ((c >> 8) & 0xFF);
        acc[3] += w * (c & 0xFF);
        total += w;
      };
      if (dw > sw || dh > sh) {
        const double cx = (x + 0.5) * sw / dw - 0.5, cy = (y + 0.5) * sh / dh - 0.5;
        const double fx = std::max(0.0, cx), fy = std::max(0.0, cy);
        const UINT ix = static_cast<UINT>(fx), iy = static_cast<UINT>(fy);
        const double tx = dw > sw ? fx - ix : 0.0, ty = dh > sh ? fy - iy : 0.0;
        add(at(ix, iy), (1 - tx) * (1 - ty));
        add(at(ix + 1, iy), tx * (1 - ty));
        add(at(ix, iy + 1), (1 - tx) * ty);
        add(at(ix + 1, iy + 1), tx * ty);
      } else {
        for (UINT sy = static_cast<UINT>(y0); sy < sh && sy < y1; ++sy) {
          const double wy = std::min<double>(sy + 1, y1) - std::max<double>(sy, y0);
          for (UINT sx = static_cast<UINT>(x0); sx < sw && sx < x1; ++sx) {
            const double wx = std::min<double>(sx + 1, x1) - std::max<double>(sx, x0);
            if (wx > 0 && wy > 0) add(at(sx, sy), wx * wy);
          }
        }
      }
      if (total <= 0) continue;
      auto byte = [&](double v) { return static_cast<DWORD>(std::min(255.0, std::max(0.0, v / total + 0.5))); };
      dst[static_cast<size_t>(y) * dw + x] = D3DCOLOR_ARGB(byte(acc[0]), byte(acc[1]), byte(acc[2]), byte(acc[3]));
    }
  }
  return dst;
}

std::vector<D3DCOLOR> halveImage(const std::vector<D3DCOLOR>& src, UINT sw, UINT sh, UINT& dw, UINT& dh, DWORD filter) {
  dw = std::max(1u, sw / 2);
  dh = std::max(1u, sh / 2);
  std::vector<D3DCOLOR> dst(static_cast<size_t>(dw) * dh);
  const bool point = (filter & 0xFF) == D3DX_FILTER_POINT || (filter & 0xFF) == D3DX_FILTER_NONE;
  for (UINT y = 0; y < dh; ++y)
    for (UINT x = 0; x < dw; ++x) {
      const UINT sx = std::min(x * 2, sw - 1), sy = std::min(y * 2, sh - 1);
      const UINT sx1 = std::min(sx + 1, sw - 1), sy1 = std::min(sy + 1, sh - 1);
      if (point) {
        dst[static_cast<size_t>(y) * dw + x] = src[static_cast<size_t>(sy) * sw + sx];
        continue;
      }
      const D3DCOLOR c[4] = {src[static_cast<size_t>(sy) * sw + sx], src[static_cast<size_t>(sy) * sw + sx1],
                             src[static_cast<size_t>(sy1) * sw + sx], src[static_cast<size_t>(sy1) * sw + sx1]};
      D3DCOLOR out = 0;
      for (int shift = 0; shift < 32; shift += 8) {
        DWORD sum = 0;
        for (D3DCOLOR v : c) sum += (v >> shift) & 0xFF;
        out |= ((sum + 2) / 4) << shift;
      }
      dst[static_cast<size_t>(y) * dw + x] = out;
    }
  return dst;
}
