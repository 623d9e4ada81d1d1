#include "tools/fontbake/charset_text.h"

#include <gtest/gtest.h>

#include "charset_reader.h"
#include "tools/fontbake/cp1252.h"

namespace fontbake {
namespace {

TEST(Cp1252, MapsTheWindowsRowAndLeavesGapsEmpty) {
  EXPECT_EQ(cp1252ToUnicode(0x41), 0x41u);
  EXPECT_EQ(cp1252ToUnicode(0xE9), 0xE9u);
  EXPECT_EQ(cp1252ToUnicode(0x80), 0x20ACu);  // euro
  EXPECT_EQ(cp1252ToUnicode(0x85), 0x2026u);  // ellipsis
  EXPECT_EQ(cp1252ToUnicode(0x97), 0x2014u);  // em dash
  EXPECT_EQ(cp1252ToUnicode(0x9F), 0x0178u);
  for (int unassigned : {0x81, 0x8D, 0x8F, 0x90, 0x9D, 0x00, 0x1F, 0x7F})
    EXPECT_EQ(cp1252ToUnicode(static_cast<std::uint8_t>(unassigned)), 0u) << unassigned;
}

TEST(CharsetText, GridWidthsReadBackAsOneNumberPerCharacter) {
  CharsetDescription c;
  c.textureName = "t.png";
  c.charsPerLine = 16;
  c.firstChar = 0;
  c.lastChar = 255;
  for (int i = 0; i < 256; ++i) c.gridWidths.push_back(i % 17);
  const reader::Charset read = reader::readCharset(charsetText(c));
  // A line of sixteen without its closing comma would merge two widths into one element
  // that is not a number, and every later width would shift by one character.
  EXPECT_EQ(read.sizesChildren, 256);
  EXPECT_TRUE(read.sizesAllNumbers);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(read.widths.at(i), i % 17) << i;
  EXPECT_EQ(read.texture, "t.png");
  EXPECT_EQ(read.format, "D3DFMT_A8R8G8B8");
  EXPECT_EQ(read.perLine, 16);
  EXPECT_EQ(read.last, 255);
}

TEST(CharsetText, RectanglesReadBackForTheirCharacters) {
  CharsetDescription c;
  c.rects['5'] = {64, 64, 103, 127};
  c.rects[' '] = {192, 128, 209, 191};
  c.rects[':'] = {128, 128, 146, 191};
  const reader::Charset read = reader::readCharset(charsetText(c));
  ASSERT_EQ(read.rects.size(), 3u);
  EXPECT_EQ(read.rects.at('5').x0, 64);
  EXPECT_EQ(read.rects.at('5').y1, 127);
  EXPECT_EQ(read.widths.at('5'), 40);  // inclusive: 64..103
  EXPECT_EQ(read.widths.at(' '), 18);
  EXPECT_EQ(read.rects.at(':').x1, 146);
}

TEST(CharsetText, RefusesRectanglesForCharactersThePathSyntaxCannotName) {
  // A full stop splits the path, "=" is taken for the assignment, "]" ends the bracket.
  for (int bad : std::initializer_list<int>{'.', '=', ']', '"', ';', '\\', '\t', 0xE9}) {
    CharsetDescription c;
    c.rects['1'] = {0, 0, 10, 10};
    c.rects[static_cast<unsigned char>(bad)] = {0, 0, 10, 10};
    EXPECT_EQ(charsetText(c), "") << bad;
  }
}

TEST(CharsetText, FontFileNamesOneStyleAndItsCharset) {
  const auto styles = reader::readFont(fontText("64font", 64, "64font.css", "figures"));
  ASSERT_EQ(styles.size(), 1u);
  EXPECT_EQ(styles[0].size, 64);
  EXPECT_EQ(styles[0].charsets, std::vector<std::string>{"64font.css"});
}

}  // namespace
}  // namespace fontbake
