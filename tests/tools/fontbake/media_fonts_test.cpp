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
#include "udf_probe.h"

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

std::string unquote(const std::string& v) { return v.size() >= 2 && v.front() == '"' ? v.substr(1, v.size() - 2) : v; }

struct FontFiles {
  std::map<std::string, std::string> font, charset;
  Texture texture;
};

FontFiles load(const std::string& fontName) {
  FontFiles f;
  for (const auto& s : probe::statements(probe::readFile(kMedia + fontName))) f.font[s.path] = s.value;
  const auto charsets = probe::arrayElements(f.font["Styles[0].Charsets"]);
  if (charsets.size() != 1) return f;
  for (const auto& s : probe::statements(probe::readFile(kMedia + unquote(charsets[0])))) f.charset[s.path] = s.value;
  f.texture = loadTexture(unquote(f.charset["Name"]));
  return f;
}

TEST(MediaFonts, TextFontHasAWidthAndACellForAll256Characters) {
  const FontFiles f = load("sylfaen.fs");
  EXPECT_EQ(f.font.at("Styles[0].Size"), "14");
  ASSERT_NE(f.texture.texels, nullptr) << "charset texture missing or not a PNG";
  EXPECT_TRUE(powerOfTwo(f.texture.width) && powerOfTwo(f.texture.height));
  const int perLine = std::stoi(f.charset.at("CharsPerLine")), cellW = std::stoi(f.charset.at("CharWidth")),
            cellH = std::stoi(f.charset.at("CharHeight"));
  EXPECT_EQ(f.charset.at("StartChar"), "0");
  EXPECT_EQ(f.charset.at("EndChar"), "255");
  const auto widths = probe::arrayElements(f.charset.at("Sizes"));
  ASSERT_EQ(widths.size(), 256u);
  for (int c = 0; c < 256; ++c) {
    const auto& w = widths[static_cast<std::size_t>(c)];
    ASSERT_TRUE(probe::isInteger(w)) << c;
    const int width = std::stoi(w);
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
  EXPECT_EQ(f.font.at("Styles[0].Size"), "64");
  ASSERT_NE(f.texture.texels, nullptr);
  EXPECT_TRUE(powerOfTwo(f.texture.width) && powerOfTwo(f.texture.height));
  EXPECT_EQ(f.charset.at("CharWidth"), "64");
  EXPECT_EQ(f.charset.at("CharHeight"), "64");
  int longestTime = 0;
  std::map<char, int> widths;
  for (char ch : std::string(kClockCharacters)) {
    const std::string key = std::string("[\"") + ch + "\"]";
    ASSERT_TRUE(f.charset.count("Sizes" + key)) << "no width for '" << ch << "'";
    ASSERT_TRUE(f.charset.count("Rects" + key)) << "no rectangle for '" << ch << "'";
    const auto r = probe::arrayElements(f.charset.at("Rects" + key));
    ASSERT_EQ(r.size(), 4u);
    const int x0 = std::stoi(r[0]), y0 = std::stoi(r[1]), x1 = std::stoi(r[2]), y1 = std::stoi(r[3]);
    EXPECT_EQ(std::stoi(f.charset.at("Sizes" + key)), x1 - x0 + 1) << ch;
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
