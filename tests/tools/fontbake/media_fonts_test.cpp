// The two fonts in media/ as the engine will read them: the font file names its charset,
// the charset its texture, and every glyph the overlays draw has a width and a rectangle
// that holds all of its ink.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "tools/fontbake/font_bake.h"
#include "charset_reader.h"

namespace fontbake {
namespace {

const std::string kMedia = std::string(BRASSMOOR_SOURCE_DIR) + "/media/";

struct Texture {
  int width = 0, height = 0;
  std::shared_ptr<stbi_uc> texels;
  int alpha(int x, int y) const { return texels.get()[(y * width + x) * 4 + 3]; }
};

Texture loadTexture(const std::string& name) {
  Texture t;
  int channels = 0;
  t.texels.reset(stbi_load((kMedia + name).c_str(), &t.width, &t.height, &channels, 4), stbi_image_free);
  return t;
}

bool powerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

struct FontFiles {
  std::vector<reader::Style> styles;
  reader::Charset charset;
  Texture texture;
};

FontFiles load(const std::string& fontName) {
  FontFiles f;
  f.styles = reader::readFont(reader::readFile(kMedia + fontName));
  if (f.styles.size() != 1 || f.styles[0].charsets.size() != 1) return f;
  f.charset = reader::readCharset(reader::readFile(kMedia + f.styles[0].charsets[0]));
  f.texture = loadTexture(f.charset.texture);
  return f;
}

TEST(MediaFonts, TextFontHasAWidthAndACellForAll256Characters) {
  const FontFiles f = load("sylfaen.fs");
  ASSERT_EQ(f.styles.size(), 1u);
  EXPECT_EQ(f.styles[0].size, 14);
  ASSERT_NE(f.texture.texels, nullptr) << "charset texture missing or not a PNG";
  EXPECT_TRUE(powerOfTwo(f.texture.width) && powerOfTwo(f.texture.height));
  const int perLine = f.charset.perLine, cellW = f.charset.cellWidth, cellH = f.charset.cellHeight;
  ASSERT_GT(perLine, 0);
  EXPECT_EQ(f.charset.first, 0);
  EXPECT_EQ(f.charset.last, 255);
  EXPECT_EQ(f.charset.format, "D3DFMT_A8R8G8B8");
  EXPECT_EQ(f.charset.sizesChildren, 256);
  EXPECT_TRUE(f.charset.sizesAllNumbers);
  for (int c = 0; c < 256; ++c) {
    ASSERT_TRUE(f.charset.widths.count(c)) << c;
    const int width = f.charset.widths.at(c);
    EXPECT_LE(width, cellW) << c;
    const int x0 = (c % perLine) * cellW, y0 = (c / perLine) * cellH;
    ASSERT_LE(x0 + cellW, f.texture.width);
    ASSERT_LE(y0 + cellH, f.texture.height);
    int ink = 0, outside = 0;
    for (int y = y0; y < y0 + cellH; ++y)
      for (int x = x0; x < x0 + cellW; ++x) {
        if (f.texture.alpha(x, y) == 0) continue;
        ++ink;
        if (x >= x0 + width) ++outside;
      }
    EXPECT_EQ(outside, 0) << "character " << c << " has ink beyond its width";
    const bool printable = (c > 32 && c < 127) || (c > 160 && c != 173);
    if (printable) {
      EXPECT_GT(ink, 4) << "character " << c << " draws nothing";
    }
  }
}

TEST(MediaFonts, ClockFiguresHaveAWidthAndRectangleForEveryOverlayCharacter) {
  const FontFiles f = load("64font.fs");
  ASSERT_EQ(f.styles.size(), 1u);
  EXPECT_EQ(f.styles[0].size, 64);
  ASSERT_NE(f.texture.texels, nullptr);
  EXPECT_TRUE(powerOfTwo(f.texture.width) && powerOfTwo(f.texture.height));
  EXPECT_EQ(f.charset.cellWidth, 64);
  EXPECT_EQ(f.charset.cellHeight, 64);
  int longestTime = 0;
  std::map<char, int> widths;
  for (char ch : std::string(kClockCharacters)) {
    const int code = static_cast<unsigned char>(ch);
    ASSERT_TRUE(f.charset.widths.count(code)) << "no width for '" << ch << "'";
    ASSERT_TRUE(f.charset.rects.count(code)) << "no rectangle for '" << ch << "'";
    ASSERT_GE(code, f.charset.first);
    ASSERT_LE(code, f.charset.last);
    const auto [x0, y0, x1, y1] = f.charset.rects.at(code);
    EXPECT_EQ(f.charset.widths.at(code), x1 - x0 + 1) << ch;
    ASSERT_TRUE(x0 >= 0 && y0 >= 0 && x1 < f.texture.width && y1 < f.texture.height && x0 < x1 && y0 < y1) << ch;
    EXPECT_EQ(y1 - y0 + 1, 64) << ch;
    widths[ch] = x1 - x0 + 1;
    // The cell around the rectangle holds no ink outside it, and the rectangle's last
    // column (which the engine leaves out) is clear.
    const int cellX = x0 / 64 * 64, cellY = y0 / 64 * 64;
    int ink = 0;
    for (int y = cellY; y < cellY + 64; ++y)
      for (int x = cellX; x < cellX + 64; ++x) {
        if (f.texture.alpha(x, y) == 0) continue;
        ++ink;
        EXPECT_TRUE(x >= x0 && x < x1 && y >= y0 && y <= y1) << "ink of '" << ch << "' at " << x << "," << y;
      }
    if (ch == ' ') {
      EXPECT_EQ(ink, 0);
    } else {
      EXPECT_GT(ink, 100) << ch;
    }
  }
  for (char ch : std::string("12:00:00 pm")) longestTime += widths[ch];
  EXPECT_LE(longestTime, 350) << "the widest time must fit the overlay's box";
}

}  // namespace
}  // namespace fontbake
