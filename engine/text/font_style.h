#pragma once
// A text style: the size by which fonts are matched, Bold and Italic, the font name, and how
// glyphs are laid out (scale, extra spacing) and coloured.
#include <array>
#include <cstdint>
#include <string>

namespace halcyon {

enum FontFlags : uint32_t {
  kFontBold = 1,
  kFontItalic = 2,
};

struct FontStyle {
  int32_t size = 14;
  uint32_t flags = 0;
  // Glyph sizes are multiplied by it when text is laid out; the user of a style sets it.
  float scale = 1.0f;
  int32_t charSpace = 0;                                    // extra advance after each glyph, pixels
  int32_t rowSpace = 0;                                     // extra space between rows, pixels
  std::array<float, 4> colour{1.0f, 1.0f, 1.0f, 1.0f};      // alpha, red, green, blue
  std::array<float, 4> background{1.0f, 0.0f, 0.0f, 0.0f};  // alpha, red, green, blue
  std::u16string fontName;

  // Styles match when size, flags and font name are equal (names compared exactly).
  bool matches(const FontStyle& other) const {
    return size == other.size && flags == other.flags && fontName == other.fontName;
  }
};

// An 8-bit text in the shipped files' code page (Windows-1251) as UTF-16.
std::u16string utf16FromCp1251(const std::string& text);

}  // namespace halcyon
