#pragma once
// A charset: a range of characters drawn from one texture, each glyph a rectangle of it with
// a width in texels. Glyph rectangles come from a grid of equal cells (a glyph sits at the
// left of its cell and is as wide as its width entry) or from explicit rectangles.
#include <cstdint>
#include <memory>
#include <vector>

class IDirect3DBaseTexture9;

namespace halcyon {

// The texture a charset draws from, as fonts see it: its size, where its image starts inside
// it, and the device texture to draw with. Destroying it gives the texture back.
class CharsetTexture {
 public:
  virtual ~CharsetTexture() = default;
  virtual int32_t width() const = 0;
  virtual int32_t height() const = 0;
  virtual int32_t originX() const = 0;
  virtual int32_t originY() const = 0;
  virtual IDirect3DBaseTexture9* deviceTexture() const = 0;
};

// Normalised texture coordinates of a glyph.
struct GlyphRect {
  float u0 = 0, v0 = 0, u1 = 0, v1 = 0;
  bool operator==(const GlyphRect&) const = default;
};

struct GlyphSize {
  int32_t width = 0, height = 0;
};

class Charset {
 public:
  // No charset spans more characters than a 16-bit character can name.
  static constexpr int64_t kMaxCharacters = 65536;

  int32_t firstChar = 0;
  int32_t lastChar = 256;    // inclusive
  int32_t charsPerLine = 0;  // 0: no grid (the file gave none)
  int32_t cellWidth = 14;
  int32_t cellHeight = 14;
  std::vector<uint8_t> widths;   // indexed by character - firstChar
  std::vector<GlyphRect> rects;  // same index; entries beyond it read as zero
  std::unique_ptr<CharsetTexture> texture;

  // Whether the character (taken as 16-bit unsigned) lies in [firstChar, lastChar].
  bool holds(uint32_t character) const;

  // Width in texels; the cell width for characters outside the range.
  int32_t glyphWidth(uint32_t character) const;
  int32_t glyphHeight() const { return cellHeight; }
  // All zero without a texture.
  GlyphRect glyphRect(uint32_t character) const;
  // The rectangle moved inward by insets in texels; all zero without a texture.
  GlyphRect croppedGlyphRect(uint32_t character, int32_t left, int32_t top, int32_t right, int32_t bottom) const;
  // (width × scale, cell height × scale), each truncated toward zero.
  GlyphSize layoutSize(uint32_t character, float scale) const;
};

}  // namespace halcyon
