#include "platform/d3dx/image_decode.h"

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>
#include <png.h>
#include <zlib.h>

namespace {

bool sideAcceptable(uint64_t w, uint64_t h) { return w > 0 && h > 0 && w <= kMaxImageSide && h <= kMaxImageSide; }

// The fit size as stored in the file: orientations 5..8 store the image on its side.
void storedFit(const DecodeRequest& request, int orientation, UINT& w, UINT& h) {
  const bool sideways = orientation >= 5;
  w = sideways ? request.fitHeight : request.fitWidth;
  h = sideways ? request.fitWidth : request.fitHeight;
}

uint32_t bigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// ---- JPEG ----

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void jpegFail(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }

// Warnings that mean picture data is missing or wrong: libjpeg would carry on and fill the
// rest with grey or garbage, so the image is refused and its owner keeps what it had.
void jpegWarning(j_common_ptr info, int level) {
  if (level >= 0) return;  // trace messages
  switch (info->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL: jpegFail(info); break;
    default: break;
  }
}
void jpegNoOutput(j_common_ptr) {}

int jpegOrientation(const jpeg_decompress_struct& info) {
  for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next) {
    if (m->marker != JPEG_APP0 + 1 || !m->data) continue;
    const int orientation = exifOrientation(m->data, m->data_length);
    if (orientation != 1) return orientation;
  }
  return 1;
}

// CMYK as libjpeg delivers it: Adobe's files store the inks inverted.
D3DCOLOR fromCmyk(const uint8_t* p, bool inverted) {
  auto channel = [&](uint8_t ink) {
    const unsigned c = inverted ? ink : 255u - ink, k = inverted ? p[3] : 255u - p[3];
    return (c * k + 127) / 255;
  };
  return D3DCOLOR_XRGB(channel(p[0]), channel(p[1]), channel(p[2]));
}

// The smallest of libjpeg's M/8 scales that still gives at least the stored fit size.
void chooseJpegScale(jpeg_decompress_struct& info, UINT fitW, UINT fitH) {
  info.scale_denom = 8;
  for (unsigned num = 1; num <= 8; ++num) {
    info.scale_num = num;
    jpeg_calc_output_dimensions(&info);
    if (info.output_width >= fitW && info.output_height >= fitH) return;
  }
}

// Kept free of objects with destructors between setjmp and the last libjpeg call, so a
// longjmp out of the library skips nothing that needs cleaning.
// Blue, green, red, alpha bytes are a D3DCOLOR on a little-endian machine.
#ifdef JCS_ALPHA_EXTENSIONS
constexpr bool kJpegWritesTexels = std::endian::native == std::endian::little;
constexpr J_COLOR_SPACE kJpegTexelSpace = JCS_EXT_BGRA;
#else
constexpr bool kJpegWritesTexels = false;
constexpr J_COLOR_SPACE kJpegTexelSpace = JCS_RGB;
#endif

bool decodeJpegInto(const uint8_t* data, size_t size, DecodedImage& out, std::vector<uint8_t>& row,
                    const DecodeRequest& request, bool headerOnly, int& orientation) {
  jpeg_decompress_struct info;
  JpegError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = jpegFail;
  error.manager.emit_message = jpegWarning;
  error.manager.output_message = jpegNoOutput;
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || !sideAcceptable(info.image_width, info.image_height)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  orientation = jpegOrientation(info);
  if (headerOnly) {
    const bool sideways = orientation >= 5;
    out.width = sideways ? info.image_height : info.image_width;
    out.height = sideways ? info.image_width : info.image_height;
    jpeg_destroy_decompress(&info);
    return true;
  }
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  // Where the library can write blue, green, red and an opaque alpha itself, its rows are the
  // picture's texels as they lie in memory, and the room's pictures need no pass of their own
  // to become texels at start-up.
  const bool direct = !cmyk && kJpegWritesTexels;
  info.out_color_space = cmyk ? JCS_CMYK : direct ? kJpegTexelSpace : JCS_RGB;
  UINT fitW = 0, fitH = 0;
  storedFit(request, orientation, fitW, fitH);
  if (fitW || fitH) chooseJpegScale(info, fitW, fitH);
  jpeg_calc_output_dimensions(&info);
  if (!imageWithinBudget(info.output_width, info.output_height)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_start_decompress(&info);
  const int components = cmyk || direct ? 4 : 3;
  if (info.output_components != components) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  const bool inverted = info.saw_Adobe_marker;
  out.width = info.output_width;
  out.height = info.output_height;
  out.pixels.assign(static_cast<size_t>(out.width) * out.height, 0);
  row.assign(static_cast<size_t>(out.width) * components, 0);
  while (info.output_scanline < info.output_height) {
    const UINT y = info.output_scanline;
    D3DCOLOR* dst = out.pixels.data() + static_cast<size_t>(y) * out.width;
    JSAMPROW rows[1] = {direct ? reinterpret_cast<JSAMPROW>(dst) : row.data()};
    if (jpeg_read_scanlines(&info, rows, 1) != 1) break;
    if (direct) continue;
    if (cmyk) {
      for (UINT x = 0; x < out.width; ++x) dst[x] = fromCmyk(&row[x * 4], inverted);
    } else {
      for (UINT x = 0; x < out.width; ++x) dst[x] = D3DCOLOR_XRGB(row[x * 3], row[x * 3 + 1], row[x * 3 + 2]);
    }
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

// The compressed image data present in the file: the sum of its IDAT chunks' lengths, as far
// as the chunks lie inside the data.
uint64_t pngImageDataBytes(const uint8_t* data, size_t size) {
  uint64_t total = 0;
  size_t at = 8;
  while (size >= 12 && at <= size - 12) {
    const uint32_t length = bigEndian32(data + at);
    if (length > 0x7FFFFFFFu || length > size - 12 - at) break;
    if (std::memcmp(data + at + 4, "IDAT", 4) == 0) total += length;
    if (std::memcmp(data + at + 4, "IEND", 4) == 0) break;
    at += 12 + size_t{length};
  }
  return total;
}

// Deflate expands at most about 1032 to 1: rows needing more than that of the compressed
// data present cannot be in the file, whatever the header says.
bool pngDataCanHold(const uint8_t* data, size_t size, uint64_t w, uint64_t h, unsigned bitsPerPixel) {
  const uint64_t rawBytes = (w * bitsPerPixel + 7) / 8 * h;
  return rawBytes <= pngImageDataBytes(data, size) * 1032 + 1024;
}

// Adds one decoded row (B, G, R, A bytes) into per-block channel sums.
void addToBlocks(const uint8_t* row, UINT w, UINT factor, std::vector<uint32_t>& sums) {
  for (UINT x = 0; x < w; ++x) {
    uint32_t* block = &sums[static_cast<size_t>(x / factor) * 4];
    for (int c = 0; c < 4; ++c) block[c] += row[x * 4 + c];
  }
}

// Writes the averaged blocks as one output row and clears the sums.
void emitBlocks(std::vector<uint32_t>& sums, UINT w, UINT factor, UINT rows, D3DCOLOR* dst, UINT outW) {
  for (UINT ox = 0; ox < outW; ++ox) {
    const uint32_t n = std::min(factor, w - ox * factor) * rows;
    uint32_t* block = &sums[static_cast<size_t>(ox) * 4];
    D3DCOLOR c = 0;
    for (int k = 0; k < 4; ++k) c |= ((block[k] + n / 2) / n) << (8 * k);
    dst[ox] = c;
    std::fill(block, block + 4, 0u);
  }
}

// Reads the seven passes of an interlaced image, adding each pixel to the sums of the block it
// falls in, then writes every block's average into `out` (already sized w / factor rounded up).
void readPassesIntoBlocks(png_structp png, UINT w, UINT h, UINT factor, std::vector<uint8_t>& rowBytes,
                          std::vector<uint32_t>& sums, DecodedImage& out) {
  const UINT outW = out.width, outH = out.height;
  rowBytes.assign(static_cast<size_t>(w) * 4, 0);
  sums.assign(static_cast<size_t>(outW) * outH * 4, 0);
  for (int pass = 0; pass < PNG_INTERLACE_ADAM7_PASSES; ++pass) {
    const UINT cols = PNG_PASS_COLS(w, pass), rows = PNG_PASS_ROWS(h, pass);
    if (cols == 0 || rows == 0) continue;  // the decoder skips empty passes too
    for (UINT r = 0; r < rows; ++r) {
      png_read_row(png, rowBytes.data(), nullptr);
      const size_t blockRow = static_cast<size_t>(PNG_ROW_FROM_PASS_ROW(r, pass) / factor) * outW;
      for (UINT c = 0; c < cols; ++c) {
        uint32_t* block = &sums[(blockRow + PNG_COL_FROM_PASS_COL(c, pass) / factor) * 4];
        for (int k = 0; k < 4; ++k) block[k] += rowBytes[static_cast<size_t>(c) * 4 + static_cast<size_t>(k)];
      }
    }
  }
  for (UINT oy = 0; oy < outH; ++oy)
    for (UINT ox = 0; ox < outW; ++ox) {
      const uint32_t n = std::min(factor, w - ox * factor) * std::min(factor, h - oy * factor);
      const uint32_t* block = &sums[(static_cast<size_t>(oy) * outW + ox) * 4];
      D3DCOLOR c = 0;
      for (int k = 0; k < 4; ++k) c |= ((block[k] + n / 2) / n) << (8 * k);
      out.pixels[static_cast<size_t>(oy) * outW + ox] = c;
    }
}

// The orientation of an eXIf chunk ahead of the pixels; 1 when there is none.
int pngOrientation(png_structp png, png_infop info) {
  png_uint_32 length = 0;
  png_bytep exif = nullptr;
  if (png_get_eXIf_1(png, info, &length, &exif) == 0 || !exif) return 1;
  return exifOrientation(exif, length);
}

bool decodePngInto(const uint8_t* data, size_t size, DecodedImage& out, std::vector<uint8_t>& rowBytes,
                   std::vector<uint32_t>& sums, const DecodeRequest& request, int& orientation) {
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
  const unsigned bitsPerPixel = png_get_channels(png, info) * png_get_bit_depth(png, info);
  const bool interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
  orientation = pngOrientation(png, info);
  UINT fitW = 0, fitH = 0;
  storedFit(request, orientation, fitW, fitH);
  UINT factor = 1;
  // A block's sums stay within 32 bits up to 4096 x 4096 pixels of 255.
  if (fitW && fitH) factor = std::clamp<UINT>(std::min(w / fitW, h / fitH), 1, 4096);
  // Interlaced pixels arrive scattered over seven passes, so every block of the smaller image
  // keeps its sums until the last pass: four words per block, paid for from the same budget.
  if (interlaced && factor > 1 &&
      uint64_t{(w + factor - 1) / factor} * ((h + factor - 1) / factor) * 4 > kMaxImagePixels)
    factor = 1;
  const UINT outW = (w + factor - 1) / factor, outH = (h + factor - 1) / factor;
  if (!sideAcceptable(w, h) || !pngDataCanHold(data, size, w, h, bitsPerPixel) || !imageWithinBudget(outW, outH)) {
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
  // Averaged down, an interlaced image is read pass by pass as the seven small images it holds.
  const bool byPass = interlaced && factor > 1;
  const int passes = byPass ? 0 : png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<size_t>(w) * 4) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  out.width = outW;
  out.height = outH;
  out.pixels.assign(static_cast<size_t>(outW) * outH, 0);
  if (factor == 1) {
    for (int pass = 0; pass < passes; ++pass)
      for (png_uint_32 y = 0; y < h; ++y)
        png_read_row(png, reinterpret_cast<png_bytep>(out.pixels.data() + static_cast<size_t>(y) * w), nullptr);
  } else if (byPass) {
    readPassesIntoBlocks(png, w, h, factor, rowBytes, sums, out);
  } else {
    rowBytes.assign(static_cast<size_t>(w) * 4, 0);
    sums.assign(static_cast<size_t>(outW) * 4, 0);
    for (png_uint_32 y = 0; y < h; ++y) {
      png_read_row(png, rowBytes.data(), nullptr);
      addToBlocks(rowBytes.data(), w, factor, sums);
      if (y % factor == factor - 1 || y == h - 1)
        emitBlocks(sums, w, factor, y % factor + 1, out.pixels.data() + static_cast<size_t>(y / factor) * outW, outW);
    }
  }
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

// Whether a chunk's stored checksum matches its type and data (the decoder drops an ancillary
// chunk whose checksum is wrong, so the header reading must too).
bool pngChunkIntact(const uint8_t* chunk, uint32_t length) {
  const uLong crc = crc32(0L, chunk + 4, 4 + length);
  return bigEndian32(chunk + 8 + length) == static_cast<uint32_t>(crc);
}

// The header chunk alone, whether a transparency chunk follows it, and the orientation of an
// eXIf chunk before the pixels (the size is reported upright, as the decoder delivers it).
bool readPngInfo(const uint8_t* data, size_t size, DecodedImage& out) {
  if (size < 33 || png_sig_cmp(data, 0, 8) != 0 || std::memcmp(data + 12, "IHDR", 4) != 0) return false;
  const uint32_t w = bigEndian32(data + 16), h = bigEndian32(data + 20);
  if (!sideAcceptable(w, h)) return false;
  out.hasAlpha = (data[25] & PNG_COLOR_MASK_ALPHA) != 0;
  int orientation = 1;
  for (size_t at = 8; size >= 12 && at <= size - 12;) {
    const uint32_t length = bigEndian32(data + at);
    if (length > size - 12 - at || std::memcmp(data + at + 4, "IDAT", 4) == 0) break;
    if (std::memcmp(data + at + 4, "tRNS", 4) == 0) out.hasAlpha = true;
    if (std::memcmp(data + at + 4, "eXIf", 4) == 0 && pngChunkIntact(data + at, length))
      orientation = exifOrientation(data + at + 8, length);
    at += 12 + size_t{length};
  }
  const bool sideways = orientation >= 5;
  out.width = sideways ? h : w;
  out.height = sideways ? w : h;
  return true;
}

// Reads a 16- or 32-bit value of a TIFF block in its byte order.
struct TiffReader {
  const uint8_t* data;
  size_t size;
  bool little;
  uint32_t u16(size_t at) const {
    return little ? data[at] | (uint32_t{data[at + 1]} << 8) : (uint32_t{data[at]} << 8) | data[at + 1];
  }
  uint32_t u32(size_t at) const { return little ? u16(at) | (u16(at + 2) << 16) : (u16(at) << 16) | u16(at + 2); }
};

}  // namespace

bool imageWithinBudget(uint64_t w, uint64_t h) { return sideAcceptable(w, h) && w * h <= kMaxImagePixels; }

int exifOrientation(const uint8_t* payload, size_t size) {
  if (!payload || size < 8) return 1;
  // A JPEG segment names itself before the TIFF block; a PNG chunk holds the block alone.
  const size_t skip = size >= 14 && std::memcmp(payload, "Exif\0\0", 6) == 0 ? 6 : 0;
  const uint8_t* tiff = payload + skip;
  const size_t n = size - skip;
  if (!((tiff[0] == 'I' && tiff[1] == 'I') || (tiff[0] == 'M' && tiff[1] == 'M'))) return 1;
  const TiffReader r{tiff, n, tiff[0] == 'I'};
  if (r.u16(2) != 42) return 1;
  const uint32_t ifd = r.u32(4);
  if (ifd < 8 || ifd > n - 2) return 1;
  const uint32_t count = r.u16(ifd);
  for (uint32_t i = 0; i < count; ++i) {
    const size_t entry = size_t{ifd} + 2 + size_t{i} * 12;
    if (entry + 12 > n) break;
    if (r.u16(entry) != 0x0112) continue;
    const uint32_t value = r.u16(entry + 2) == 3 ? r.u16(entry + 8) : 1;  // SHORT
    return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
  }
  return 1;
}

void orientImage(DecodedImage& image, int orientation) {
  if (orientation < 2 || orientation > 8 || image.pixels.empty()) return;
  const UINT w = image.width, h = image.height;
  const bool sideways = orientation >= 5;
  const UINT ow = sideways ? h : w, oh = sideways ? w : h;
  std::vector<D3DCOLOR> turned(image.pixels.size());
  for (UINT y = 0; y < oh; ++y)
    for (UINT x = 0; x < ow; ++x) {
      UINT sx = x, sy = y;
      switch (orientation) {
        case 2: sx = w - 1 - x; break;
        case 3:
          sx = w - 1 - x;
          sy = h - 1 - y;
          break;
        case 4: sy = h - 1 - y; break;
        case 5:
          sx = y;
          sy = x;
          break;
        case 6:
          sx = y;
          sy = h - 1 - x;
          break;
        case 7:
          sx = w - 1 - y;
          sy = h - 1 - x;
          break;
        case 8:
          sx = w - 1 - y;
          sy = x;
          break;
      }
      turned[static_cast<size_t>(y) * ow + x] = image.pixels[static_cast<size_t>(sy) * w + sx];
    }
  image.pixels = std::move(turned);
  image.width = ow;
  image.height = oh;
}

namespace {

// What a decoder hands back: the image turned upright by its file's orientation, or, when
// decoding failed part way, no pixels at all.
bool uprightOrNothing(bool decoded, DecodedImage& out, int orientation) {
  if (!decoded) {
    out.pixels.clear();
    return false;
  }
  orientImage(out, orientation);
  return true;
}

}  // namespace

bool decodeJpeg(const uint8_t* data, size_t size, DecodedImage& out, const DecodeRequest& request) {
  std::vector<uint8_t> row;
  out = DecodedImage{};
  out.fileFormat = D3DXIFF_JPG;
  if (!data || size < 4) return false;
  int orientation = 1;
  const bool decoded = decodeJpegInto(data, size, out, row, request, false, orientation);
  return uprightOrNothing(decoded, out, orientation);
}

bool decodePng(const uint8_t* data, size_t size, DecodedImage& out, const DecodeRequest& request) {
  std::vector<uint8_t> row;
  std::vector<uint32_t> sums;
  out = DecodedImage{};
  out.fileFormat = D3DXIFF_PNG;
  if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0) return false;
  int orientation = 1;
  const bool decoded = decodePngInto(data, size, out, row, sums, request, orientation);
  return uprightOrNothing(decoded, out, orientation);
}

namespace {
bool isJpeg(const uint8_t* data, size_t size) {
  return size >= 4 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}
bool isPng(const uint8_t* data, size_t size) {
  return size >= 8 && data[0] == 0x89 && data[1] == 'P' && data[2] == 'N' && data[3] == 'G';
}
bool isDds(const uint8_t* data, size_t size) { return size >= 4 && std::memcmp(data, "DDS ", 4) == 0; }
}  // namespace

bool decodeImage(const uint8_t* data, size_t size, DecodedImage& out, const DecodeRequest& request) {
  if (!data || size < 4) return false;
  if (isJpeg(data, size)) return decodeJpeg(data, size, out, request);
  if (isPng(data, size)) return decodePng(data, size, out, request);
  if (isDds(data, size)) return decodeDds(data, size, out);
  return decodeOther(data, size, out);
}

bool readImageInfo(const uint8_t* data, size_t size, DecodedImage& out) {
  out = DecodedImage{};
  if (!data || size < 4) return false;
  if (isJpeg(data, size)) {
    std::vector<uint8_t> row;
    int orientation = 1;
    out.fileFormat = D3DXIFF_JPG;
    return decodeJpegInto(data, size, out, row, DecodeRequest{}, true, orientation);
  }
  if (isPng(data, size)) {
    out.fileFormat = D3DXIFF_PNG;
    return readPngInfo(data, size, out);
  }
  if (isDds(data, size)) return readDdsInfo(data, size, out);
  return readOtherInfo(data, size, out);
}

std::vector<D3DCOLOR> resizeImage(const std::vector<D3DCOLOR>& src, UINT sw, UINT sh, UINT dw, UINT dh, DWORD filter) {
  std::vector<D3DCOLOR> dst(static_cast<size_t>(dw) * dh, 0);
  const DWORD kind = filter & 0xFF;
  if (sw == dw && sh == dh) return src;
  if (kind == D3DX_FILTER_NONE) {
    for (UINT y = 0; y < std::min(sh, dh); ++y)
      std::memcpy(&dst[static_cast<size_t>(y) * dw], &src[static_cast<size_t>(y) * sw],
                  std::min(sw, dw) * sizeof(D3DCOLOR));
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
