// DirectDraw surface files: block-compressed (DXT1, DXT3, DXT5) or uncompressed with channel
// masks, with their stored mip levels. The sizes and counts in the header are only believed
// after they have been checked against the image limits and against the bytes that are there.
#include <algorithm>
#include <cstring>

#include "platform/d3dx/image_decode.h"
#include "platform/d3dx/mip_chain.h"

namespace {

constexpr size_t kHeaderBytes = 128;  // the magic and the 124-byte surface description
constexpr uint32_t kMipCountGiven = 0x20000;
constexpr uint32_t kAlphaPixels = 0x1, kAlphaOnly = 0x2, kFourCc = 0x4, kRgb = 0x40, kLuminance = 0x20000;
constexpr uint32_t kVolume = 0x200000;

uint32_t read32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

constexpr uint32_t fourCc(char a, char b, char c, char d) {
  return static_cast<uint32_t>(a) | (static_cast<uint32_t>(b) << 8) | (static_cast<uint32_t>(c) << 16) |
         (static_cast<uint32_t>(d) << 24);
}

enum class Layout { Dxt1, Dxt3, Dxt5, Masks };

struct PixelFormat {
  Layout layout = Layout::Masks;
  uint32_t bytesPerTexel = 0;        // masks only
  uint32_t masks[4] = {0, 0, 0, 0};  // alpha, red, green, blue
  bool luminance = false;
  bool alpha = false;
};

bool readPixelFormat(const uint8_t* pf, PixelFormat& out) {
  if (read32(pf) != 32) return false;
  const uint32_t flags = read32(pf + 4);
  if (flags & kFourCc) {
    switch (read32(pf + 8)) {
      case fourCc('D', 'X', 'T', '1'): out.layout = Layout::Dxt1; return true;
      case fourCc('D', 'X', 'T', '3'):
        out.layout = Layout::Dxt3;
        out.alpha = true;
        return true;
      case fourCc('D', 'X', 'T', '5'):
        out.layout = Layout::Dxt5;
        out.alpha = true;
        return true;
      default: return false;
    }
  }
  const uint32_t bits = read32(pf + 12);
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  out.bytesPerTexel = bits / 8;
  out.masks[0] = (flags & (kAlphaPixels | kAlphaOnly)) ? read32(pf + 28) : 0;
  out.masks[1] = read32(pf + 16);
  out.masks[2] = read32(pf + 20);
  out.masks[3] = read32(pf + 24);
  out.luminance = (flags & kLuminance) != 0;
  out.alpha = out.masks[0] != 0;
  if (!(flags & (kRgb | kLuminance | kAlphaOnly))) return false;
  if (flags & kAlphaOnly && !(flags & (kRgb | kLuminance))) out.masks[1] = out.masks[2] = out.masks[3] = 0;
  return out.masks[0] || out.masks[1] || out.masks[2] || out.masks[3];
}

uint64_t levelBytes(const PixelFormat& f, UINT w, UINT h) {
  if (f.layout == Layout::Masks) return static_cast<uint64_t>(w) * h * f.bytesPerTexel;
  const uint64_t blocks = static_cast<uint64_t>((w + 3) / 4) * ((h + 3) / 4);
  return blocks * (f.layout == Layout::Dxt1 ? 8 : 16);
}

// A channel under a mask, widened to 8 bits.
uint32_t channel(uint32_t value, uint32_t mask) {
  if (!mask) return 0;
  uint32_t shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  const uint32_t max = mask >> shift;
  return static_cast<uint32_t>((static_cast<uint64_t>((value & mask) >> shift) * 255 + max / 2) / max);
}

void decodeMasks(const PixelFormat& f, const uint8_t* data, UINT w, UINT h, D3DCOLOR* out) {
  for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) {
    uint32_t v = 0;
    for (uint32_t b = 0; b < f.bytesPerTexel; ++b) v |= static_cast<uint32_t>(data[i * f.bytesPerTexel + b]) << (8 * b);
    const uint32_t a = f.masks[0] ? channel(v, f.masks[0]) : 255;
    const uint32_t r = channel(v, f.masks[1]);
    const uint32_t g = f.luminance ? r : channel(v, f.masks[2]);
    const uint32_t b = f.luminance ? r : channel(v, f.masks[3]);
    out[i] = D3DCOLOR_ARGB(a, r, g, b);
  }
}

D3DCOLOR from565(uint32_t v) {
  const uint32_t r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
  return D3DCOLOR_ARGB(255, (r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2));
}

D3DCOLOR mix(D3DCOLOR a, D3DCOLOR b, uint32_t wa, uint32_t wb) {
  D3DCOLOR out = 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8)
    out |= ((((a >> shift) & 0xFF) * wa + ((b >> shift) & 0xFF) * wb) / (wa + wb)) << shift;
  return out;
}

// The four colours of a block; a three-colour block (first endpoint not above the second) has a
// transparent fourth, but only where the format has no alpha block of its own.
void blockColours(const uint8_t* block, D3DCOLOR* texels, bool threeColourAllowed) {
  const uint32_t c0 = block[0] | (block[1] << 8), c1 = block[2] | (block[3] << 8);
  D3DCOLOR palette[4] = {from565(c0), from565(c1), 0, 0};
  if (c0 > c1 || !threeColourAllowed) {
    palette[2] = mix(palette[0], palette[1], 2, 1);
    palette[3] = mix(palette[0], palette[1], 1, 2);
  } else {
    palette[2] = mix(palette[0], palette[1], 1, 1);
    palette[3] = 0;
  }
  const uint32_t indices = read32(block + 4);
  for (int i = 0; i < 16; ++i) texels[i] = palette[(indices >> (2 * i)) & 3];
}

void explicitAlpha(const uint8_t* block, D3DCOLOR* texels) {
  for (int i = 0; i < 16; ++i) {
    const uint32_t a = (block[i / 2] >> ((i & 1) * 4)) & 15;
    texels[i] = (texels[i] & 0x00FFFFFFu) | ((a * 17) << 24);
  }
}

void interpolatedAlpha(const uint8_t* block, D3DCOLOR* texels) {
  const uint32_t a0 = block[0], a1 = block[1];
  uint32_t palette[8] = {a0, a1, 0, 0, 0, 0, 0, 255};
  if (a0 > a1) {
    for (uint32_t i = 1; i < 7; ++i) palette[i + 1] = ((7 - i) * a0 + i * a1) / 7;
  } else {
    for (uint32_t i = 1; i < 5; ++i) palette[i + 1] = ((5 - i) * a0 + i * a1) / 5;
  }
  uint64_t bits = 0;
  for (int i = 0; i < 6; ++i) bits |= static_cast<uint64_t>(block[2 + i]) << (8 * i);
  for (int i = 0; i < 16; ++i) texels[i] = (texels[i] & 0x00FFFFFFu) | (palette[(bits >> (3 * i)) & 7] << 24);
}

void decodeBlocks(const PixelFormat& f, const uint8_t* data, UINT w, UINT h, D3DCOLOR* out) {
  const size_t blockBytes = f.layout == Layout::Dxt1 ? 8 : 16;
  const UINT across = (w + 3) / 4, down = (h + 3) / 4;
  for (UINT by = 0; by < down; ++by)
    for (UINT bx = 0; bx < across; ++bx) {
      const uint8_t* block = data + (static_cast<size_t>(by) * across + bx) * blockBytes;
      D3DCOLOR texels[16];
      if (f.layout == Layout::Dxt1) {
        blockColours(block, texels, true);
      } else {
        blockColours(block + 8, texels, false);
        if (f.layout == Layout::Dxt3) explicitAlpha(block, texels);
        else
          interpolatedAlpha(block, texels);
      }
      for (UINT y = 0; y < 4 && by * 4 + y < h; ++y)
        for (UINT x = 0; x < 4 && bx * 4 + x < w; ++x)
          out[static_cast<size_t>(by * 4 + y) * w + bx * 4 + x] = texels[y * 4 + x];
    }
}

struct Header {
  UINT width = 0, height = 0, levels = 1;
  PixelFormat format;
};

// The header, believed only when every level it announces is present in full.
bool readHeader(const uint8_t* data, size_t size, Header& h) {
  if (!data || size < kHeaderBytes || std::memcmp(data, "DDS ", 4) != 0 || read32(data + 4) != 124) return false;
  const uint32_t flags = read32(data + 8);
  h.height = read32(data + 12);
  h.width = read32(data + 16);
  if (h.width == 0 || h.height == 0 || h.width > kMaxImageSide || h.height > kMaxImageSide ||
      !imageWithinBudget(h.width, h.height))
    return false;
  if (read32(data + 112) & kVolume) return false;
  if (!readPixelFormat(data + 76, h.format)) return false;
  h.levels = (flags & kMipCountGiven) ? std::clamp<UINT>(read32(data + 28), 1, fullMipCount(h.width, h.height)) : 1;
  // A cube map's first face is its leading chain.
  uint64_t needed = 0;
  for (UINT level = 0, w = h.width, ht = h.height; level < h.levels;
       ++level, w = std::max(1u, w / 2), ht = std::max(1u, ht / 2))
    needed += levelBytes(h.format, w, ht);
  return needed <= size - kHeaderBytes;
}

}  // namespace

bool readDdsInfo(const uint8_t* data, size_t size, DecodedImage& out) {
  out = DecodedImage{};
  out.fileFormat = D3DXIFF_DDS;
  Header h;
  if (!readHeader(data, size, h)) return false;
  out.width = h.width;
  out.height = h.height;
  out.hasAlpha = h.format.alpha;
  out.storedLevels = h.levels;
  return true;
}

bool decodeDds(const uint8_t* data, size_t size, DecodedImage& out) {
  out = DecodedImage{};
  out.fileFormat = D3DXIFF_DDS;
  Header h;
  if (!readHeader(data, size, h)) return false;
  size_t offset = kHeaderBytes;
  UINT lw = h.width, lh = h.height;
  for (UINT level = 0; level < h.levels; ++level) {
    std::vector<D3DCOLOR> pixels(static_cast<size_t>(lw) * lh);
    if (h.format.layout == Layout::Masks) decodeMasks(h.format, data + offset, lw, lh, pixels.data());
    else
      decodeBlocks(h.format, data + offset, lw, lh, pixels.data());
    offset += static_cast<size_t>(levelBytes(h.format, lw, lh));
    if (level == 0) out.pixels = std::move(pixels);
    else
      out.mips.push_back(std::move(pixels));
    lw = std::max(1u, lw / 2);
    lh = std::max(1u, lh / 2);
  }
  out.width = h.width;
  out.height = h.height;
  out.storedLevels = h.levels;
  out.hasAlpha = h.format.alpha;
  if (h.format.layout == Layout::Dxt1)
    out.hasAlpha = std::any_of(out.pixels.begin(), out.pixels.end(), [](D3DCOLOR c) { return (c >> 24) != 0xFF; });
  return true;
}
