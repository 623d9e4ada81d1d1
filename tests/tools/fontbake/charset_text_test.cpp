#include "tools/fontbake/charset_text.h"

#include <gtest/gtest.h>

#include "tools/fontbake/cp1252.h"
#include "udf_probe.h"

namespace fontbake {
namespace {

std::map<std::string, std::string> asMap(const std::string& text) {
  std::map<std::string, std::string> m;
  for (const auto& s : probe::statements(text)) m[s.path] = s.value;
  return m;
}

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

TEST(CharsetText, GridWidthsAreOneArrayWithAnElementForEveryCharacter) {
  CharsetDescription c;
  c.textureName = "t.png";
  c.firstChar = 0;
  c.lastChar = 255;
  for (int i = 0; i < 256; ++i) c.gridWidths.push_back(i % 17);
  const auto m = asMap(charsetText(c));
  // Every line of sixteen must end in a comma, or two widths would merge into one
  // element that is not a number and every later width would shift by one character.
  const auto widths = probe::arrayElements(m.at("Sizes"));
  ASSERT_EQ(widths.size(), 256u);
  for (std::size_t i = 0; i < widths.size(); ++i) {
    ASSERT_TRUE(probe::isInteger(widths[i])) << i << ": " << widths[i];
    EXPECT_EQ(std::stoi(widths[i]), static_cast<int>(i % 17));
  }
  EXPECT_EQ(m.at("Name"), "\"t.png\"");
  EXPECT_EQ(m.at("Format"), "\"D3DFMT_A8R8G8B8\"");
  EXPECT_EQ(m.at("EndChar"), "255");
}

TEST(CharsetText, RectanglesAreKeyedByTheQuotedCharacter) {
  CharsetDescription c;
  c.rects['5'] = {64, 64, 103, 127};
  c.rects[' '] = {192, 128, 209, 191};
  c.rects[':'] = {128, 128, 146, 191};
  const auto m = asMap(charsetText(c));
  EXPECT_EQ(m.at("Rects[\"5\"]"), "array(64, 64, 103, 127)");
  EXPECT_EQ(m.at("Sizes[\"5\"]"), "40");  // inclusive: 64..103
  EXPECT_EQ(m.at("Sizes[\" \"]"), "18");
  EXPECT_EQ(m.at("Rects[\":\"]"), "array(128, 128, 146, 191)");
  EXPECT_EQ(m.count("Sizes"), 0u);
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
  const auto m = asMap(fontText("64font", 64, "64font.css", "figures"));
  EXPECT_EQ(m.at("Styles[0].Size"), "64");
  EXPECT_EQ(m.at("Styles[0].Charsets"), "array(\"64font.css\")");
  EXPECT_EQ(m.at("Name"), "\"64font\"");
}

}  // namespace
}  // namespace fontbake
