#include "engine/text/font_manager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/engine/text/sized_charset_texture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/trace_capture.h"

namespace {

using halcyon::Charset;
using halcyon::CharsetTextureRequest;
using halcyon::FileRef;
using halcyon::FontManager;
using halcyon::FontStyle;
using halcyon::GlyphRect;
using halcyon::SearchPaths;

// Stands in for the texture manager: a texture exists when its name resolves through the
// paths the font code hands over.
class FakeTextures : public halcyon::CharsetTextureSource {
 public:
  std::unique_ptr<halcyon::CharsetTexture> load(const CharsetTextureRequest& request,
                                                const SearchPaths& paths) override {
    requests.push_back(request);
    FileRef file = request.file;
    if (!paths.resolve(file)) return nullptr;
    resolved.push_back(file.name);
    return std::make_unique<texttest::SizedCharsetTexture>(width, height, originX, originY);
  }
  std::vector<CharsetTextureRequest> requests;
  std::vector<std::string> resolved;
  int32_t width = 256, height = 256, originX = 0, originY = 0;
};

// Our own large-digit charset: 256 characters in a grid of 64 x 64 cells, 4 to a line, with
// widths and rectangles for the characters a clock face needs.
const char kDigits[] =
    "// large digits\r\n"
    "Name         = \"digits.png\";\r\n"
    "Format       = \"D3DFMT_A8R8G8B8\";\r\n"
    "ColorKey     = array(255, 0, 255);\r\n"
    "CharsPerLine = 4;\r\n"
    "CharWidth    = 64;\r\n"
    "CharHeight   = 64;\r\n"
    "StartChar    = 0;\r\n"
    "EndChar      = 255;\r\n"
    "Sizes[\"0\"] = 37;\r\n"
    "Rects[\"0\"] = array(13  , 0, 48 , 63);\r\n"
    "Sizes[\"5\"] = 38;\r\n"
    "Rects[\"5\"] = array(74, 64, 113, 127);\r\n"
    "Sizes[\".\"] = 19;\r\n"
    "Rects[\".\"] = array(84 , 192, 102, 255);\r\n"
    "Sizes[\":\"] = 18;\r\n"
    "Rects[\":\"] = array(200, 192, 217, 255);\r\n"
    "Sizes[\" \"] = 30;\r\n"
    "Rects[\" \"] = array(220, 0, 249, 63);\r\n";

class FontTest : public testing::Test {
 protected:
  // Names are given relative to the temporary folder, found through a search path: a
  // leading "/" is dropped when a name is resolved, so whole paths would not be found.
  FontTest() : fonts(&textures) { paths.addLocation(FileRef(dir.path().string())); }
  std::string path(const std::string& name) const { return (dir.path() / name).string(); }
  void write(const std::string& name, const std::string& text) {
    std::filesystem::create_directories((dir.path() / name).parent_path());
    dir.write(name, text);
  }
  bool loadCharset(const std::string& name, Charset& cs) { return fonts.loadCharset(FileRef(name), &paths, cs); }

  testsupport::TempDir dir;
  SearchPaths paths;
  FakeTextures textures;
  FontManager fonts;
};

GlyphRect texels(float x0, float y0, float x1, float y1, float w = 256, float h = 256) {
  return {x0 / w, y0 / h, x1 / w, y1 / h};
}

TEST_F(FontTest, LargeDigitCharsetTakesRectanglesOverTheGrid) {
  write("digits.css", kDigits);
  write("digits.png", "png");
  Charset cs;
  ASSERT_TRUE(loadCharset("digits.css", cs));
  EXPECT_EQ(cs.firstChar, 0);
  EXPECT_EQ(cs.lastChar, 255);
  // "5" was 38 wide by its size entry; its rectangle spans texels 74..113 and makes it 40.
  EXPECT_EQ(cs.glyphWidth('5'), 40);
  EXPECT_EQ(cs.glyphRect('5'), texels(74, 64, 113, 127));
  EXPECT_EQ(cs.glyphWidth('0'), 36);
  EXPECT_EQ(cs.glyphWidth(':'), 18);
  EXPECT_EQ(cs.glyphRect(':'), texels(200, 192, 217, 255));
  EXPECT_EQ(cs.glyphWidth(' '), 30);
  // A character with neither entry keeps its grid cell (row 12, column 1 for "1") at the
  // width nothing set: a whole cell.
  EXPECT_EQ(cs.glyphWidth('1'), 64);
  EXPECT_EQ(cs.glyphRect('1'), texels(64, 768, 128, 832));
  EXPECT_EQ(cs.glyphHeight(), 64);
  // The texture was asked for by name with the format and the colour key.
  ASSERT_EQ(textures.requests.size(), 1u);
  EXPECT_EQ(textures.requests[0].file.name, "digits.png");
  EXPECT_EQ(textures.requests[0].file.sources, halcyon::Disk | halcyon::Archive);
  EXPECT_EQ(textures.requests[0].flags, 0x03u);
  EXPECT_EQ(textures.requests[0].format, D3DFMT_A8R8G8B8);
  EXPECT_EQ(textures.requests[0].colourKey, 0xFFFF00FFu);
  ASSERT_EQ(textures.resolved.size(), 1u);
  EXPECT_EQ(textures.resolved[0], path("digits.png"));
}

TEST_F(FontTest, FullStopEntriesAreSplitByThePathRuleAndGiveItNothing) {
  write("digits.css", kDigits);
  write("digits.png", "png");
  Charset cs;
  ASSERT_TRUE(loadCharset("digits.css", cs));
  // The full stop keeps its grid cell: index 46, row 11, column 2, beyond the texture.
  EXPECT_EQ(cs.glyphWidth('.'), 64);
  EXPECT_EQ(cs.glyphRect('.'), texels(128, 704, 192, 768));
  // The "Sizes" child named by bracket and quote reads as character 0 with width 0; the
  // "Rects" child of that name has one child, not four, and is skipped.
  EXPECT_EQ(cs.glyphWidth(0), 0);
  EXPECT_EQ(cs.glyphRect(0), texels(0, 0, 0, 64));
}

TEST_F(FontTest, SizesByQuotedCharacterByIndexAndAsAnArray) {
  write("t.png", "png");
  write("by_index.css",
        "Name = \"t.png\"; CharsPerLine = 16; CharWidth = 16; CharHeight = 16;"
        "StartChar = 32; EndChar = 127; Sizes[97] = 11; Sizes[\"b\"] = 12; Sizes[\"\xE9\"] = 13;");
  Charset a;
  ASSERT_TRUE(loadCharset("by_index.css", a));
  EXPECT_EQ(a.glyphWidth('a'), 11);
  EXPECT_EQ(a.glyphWidth('b'), 12);
  EXPECT_EQ(a.glyphWidth('c'), 16);
  EXPECT_EQ(a.glyphRect('a'), texels(16, 64, 27, 80));  // index 65: row 4, column 1
  EXPECT_EQ(a.glyphWidth(200), 16);                     // outside the range: the cell width
  EXPECT_EQ(a.glyphWidth(0xE9), 16);

  // An array of widths names its elements "0", "1", ...: those are the character codes. A
  // missing comma merges two numbers into one element that is no number: it reads as 0 and
  // the widths after it move down by one character.
  write("array.css",
        "Name = \"t.png\"; CharsPerLine = 4; CharWidth = 10; CharHeight = 10;"
        "StartChar = 0; EndChar = 5; Sizes = array(5, 6 7, 8, 9);");
  Charset b;
  ASSERT_TRUE(loadCharset("array.css", b));
  EXPECT_EQ(b.glyphWidth(0), 5);
  EXPECT_EQ(b.glyphWidth(1), 0);
  EXPECT_EQ(b.glyphWidth(2), 8);
  EXPECT_EQ(b.glyphWidth(3), 9);
  EXPECT_EQ(b.glyphWidth(4), 10);
}

TEST_F(FontTest, GridStartsAtTheImageOriginAndCropsInTexels) {
  textures.width = 512;
  textures.height = 128;
  textures.originX = 256;
  textures.originY = 64;
  write("t.png", "png");
  write("grid.css",
        "Name = \"t.png\"; CharsPerLine = 2; CharWidth = 8; CharHeight = 8; StartChar = 65; EndChar = 68;"
        "Sizes = object(A = 0); Sizes[66] = 6; ColorKey = 16711935; Format = \"D3DFMT_UNKNOWN_ONE\";");
  Charset cs;
  ASSERT_TRUE(loadCharset("grid.css", cs));
  EXPECT_EQ(cs.glyphRect('B'), texels(264, 64, 270, 72, 512, 128));
  EXPECT_EQ(cs.glyphRect('C'), texels(256, 72, 264, 80, 512, 128));
  const GlyphRect cropped = cs.croppedGlyphRect('B', 1, 2, 3, 4);
  EXPECT_EQ(cropped, texels(265, 66, 267, 68, 512, 128));
  EXPECT_EQ(textures.requests.back().colourKey, 0x00FF00FFu);
  EXPECT_EQ(textures.requests.back().format, D3DFMT_UNKNOWN);
  // Layout size: width and cell height times the scale, truncated.
  EXPECT_EQ(cs.layoutSize('B', 1.7f).width, 10);
  EXPECT_EQ(cs.layoutSize('B', 1.7f).height, 13);
  EXPECT_EQ(cs.glyphRect('A' - 1), GlyphRect{});
}

TEST_F(FontTest, ExplicitRectanglesWithoutAGrid) {
  write("t.png", "png");
  write("rects.css", "Name = \"t.png\"; Rects[\"x\"] = array(10, 20, 29, 39); Rects[\"y\"] = array(1, 2);");
  Charset cs;
  ASSERT_TRUE(loadCharset("rects.css", cs));
  EXPECT_EQ(cs.glyphRect('x'), texels(10, 20, 29, 39));
  EXPECT_EQ(cs.glyphWidth('x'), 20);
  EXPECT_EQ(cs.glyphRect('y'), GlyphRect{});
  EXPECT_EQ(cs.glyphWidth('y'), 14);
}

TEST_F(FontTest, CharsetFailures) {
  testsupport::TraceCapture trace;
  Charset missing;
  EXPECT_FALSE(loadCharset("nowhere.css", missing));

  write("backwards.css", "StartChar = 10; EndChar = 9;");
  Charset backwards;
  EXPECT_FALSE(loadCharset("backwards.css", backwards));

  write("huge.css", "StartChar = -2000000000; EndChar = 2000000000; CharsPerLine = 1;");
  Charset huge;
  EXPECT_FALSE(loadCharset("huge.css", huge));

  write("notexture.css", "Name = \"absent.png\"; CharsPerLine = 4; Sizes[\"a\"] = 5;");
  Charset notexture;
  EXPECT_FALSE(loadCharset("notexture.css", notexture));
  EXPECT_EQ(notexture.texture, nullptr);
  EXPECT_TRUE(notexture.rects.empty());
  EXPECT_EQ(notexture.glyphRect('a'), GlyphRect{});
  EXPECT_EQ(notexture.croppedGlyphRect('a', 1, 1, 1, 1), GlyphRect{});
  EXPECT_EQ(notexture.glyphWidth('a'), 5);
  ASSERT_EQ(trace.entries().size(), 1u);
  EXPECT_EQ(trace.entries()[0].sink, "error");
  EXPECT_EQ(trace.entries()[0].caption, "");
  EXPECT_EQ(trace.entries()[0].text, "Error: font texture loading failed\n");

  // No texture source at all behaves like a missing texture.
  FontManager bare;
  Charset none;
  EXPECT_FALSE(bare.loadCharset(FileRef("notexture.css"), &paths, none));
}

TEST_F(FontTest, FontFindsCharsetsAndTexturesBesideItself) {
  write("media/fonts/big.fs",
        "Name = \"Big\";\r\n"
        "Styles[0].Size = 64;\r\n"
        "Styles[0].FontName = \"Cl\xEE\x63k\";\r\n"
        "Styles[0].Bold = 1;\r\n"
        "Styles[0].Charsets = array(\"digits.css\");\r\n");
  write("media/fonts/digits.css", kDigits);
  write("media/fonts/digits.png", "png");
  ASSERT_TRUE(fonts.loadFont(FileRef("media/fonts/big.fs"), &paths));
  ASSERT_EQ(fonts.styles().size(), 1u);
  const FontStyle& s = fonts.styles()[0].style;
  EXPECT_EQ(s.size, 64);
  EXPECT_EQ(s.flags, halcyon::kFontBold);
  EXPECT_EQ(s.fontName, u"Cl\u043Eck");
  ASSERT_EQ(fonts.styles()[0].charsets.size(), 1u);
  EXPECT_EQ(fonts.styles()[0].charsets[0]->glyphWidth('5'), 40);
  EXPECT_EQ(textures.resolved.back(), path("media/fonts") + "/digits.png");
  EXPECT_EQ(textures.requests.back().file.name, "digits.png");
}

TEST_F(FontTest, FontNamedByABareNameIsFoundThroughTheSearchPaths) {
  write("media/small.fs", "Styles = array(object(Size = 14, Charsets = array(\"small.css\")));");
  write("media/small.css", "Name = \"small.png\"; CharsPerLine = 16;");
  write("media/small.png", "png");
  FileRef font("/small.fs");
  EXPECT_FALSE(fonts.loadFont(font));
  EXPECT_TRUE(fonts.styles().empty());
  SearchPaths media;
  media.addLocation(FileRef(path("media")));
  EXPECT_TRUE(fonts.loadFont(font, &media));
  ASSERT_EQ(fonts.styles().size(), 1u);
  // The manager's own paths serve every load.
  fonts.searchPaths().addLocation(FileRef(path("media")));
  EXPECT_TRUE(fonts.loadFont(font));
  EXPECT_EQ(fonts.styles().size(), 2u);
}

TEST_F(FontTest, FailingCharsetKeepsTheStyleAndReportsTheName) {
  testsupport::TraceCapture trace;
  write("f.fs",
        "Styles[0].Size = 20; Styles[0].Charsets = array(\"gone.css\", \"ok.css\");"
        "Styles[1].Size = 30;");  // no charsets: not kept
  write("ok.css", "StartChar = 0; EndChar = 10;");
  EXPECT_FALSE(fonts.loadFont(FileRef("f.fs"), &paths));
  ASSERT_EQ(fonts.styles().size(), 1u);
  EXPECT_EQ(fonts.styles()[0].style.size, 20);
  EXPECT_EQ(fonts.styles()[0].charsets.size(), 2u);
  EXPECT_THAT(trace.texts(), testing::ElementsAre("Error: Charset 'gone.css' loading failed\n"));
  EXPECT_EQ(trace.entries()[0].caption, "");
}

TEST_F(FontTest, UnreadableFontAddsNothing) {
  EXPECT_FALSE(fonts.loadFont(FileRef("absent.fs"), &paths));
  std::filesystem::create_directories(dir.path() / "dir.fs");
  EXPECT_FALSE(fonts.loadFont(FileRef("dir.fs"), &paths));
  EXPECT_TRUE(fonts.styles().empty());
}

class FindCharsetTest : public FontTest {
 protected:
  void SetUp() override {
    write("t.png", "png");
    write("small.fs", "Styles[0].Size = 14; Styles[0].Charsets = array(\"small.css\");");
    write("small.css", "Name = \"t.png\"; CharsPerLine = 16; StartChar = 0; EndChar = 255;");
    write("big.fs", "Styles[0].Size = 64; Styles[0].Charsets = array(\"digits.css\", \"more.css\");");
    write("digits.css", "Name = \"t.png\"; CharsPerLine = 4; StartChar = 32; EndChar = 58;");
    write("more.css", "Name = \"t.png\"; CharsPerLine = 4; StartChar = 50; EndChar = 112;");
    ASSERT_TRUE(fonts.loadFont(FileRef("small.fs"), &paths));
    ASSERT_TRUE(fonts.loadFont(FileRef("big.fs"), &paths));
    small = fonts.styles()[0].charsets[0].get();
    digits = fonts.styles()[1].charsets[0].get();
    more = fonts.styles()[1].charsets[1].get();
  }
  const Charset* find(uint32_t c, int32_t size, uint32_t flags = 0) {
    FontStyle wanted;
    wanted.size = size;
    wanted.flags = flags;
    return fonts.findCharset(c, wanted);
  }
  const Charset *small = nullptr, *digits = nullptr, *more = nullptr;
};

TEST_F(FindCharsetTest, FloorWhenItMatchesOrNothingIsAboveElseCeiling) {
  EXPECT_EQ(find('5', 64), digits);   // exact
  EXPECT_EQ(find('5', 20), digits);   // floor 14 does not match: the ceiling
  EXPECT_EQ(find('5', 100), digits);  // no ceiling: the floor
  EXPECT_EQ(find('5', 14), small);
  EXPECT_EQ(find('5', 10), small);       // no floor: the ceiling
  EXPECT_EQ(find('5', 14, 1), small);    // a bold 14 is not the plain 14, which is also the ceiling
  EXPECT_EQ(find('5', 64, 1), digits);   // nothing above: the floor
  EXPECT_EQ(find('p', 64), more);        // first charset that holds it
  EXPECT_EQ(find('4', 64), digits);      // both hold it: the first listed
  EXPECT_EQ(find('z', 64), nullptr);     // none of the matched style's charsets
  EXPECT_EQ(find(0x10035, 64), digits);  // characters are 16-bit
}

TEST(ShippedFonts, TheOverlaySizeFindsTheClockFigures) {
  FakeTextures textures;
  FontManager fonts(&textures);
  fonts.searchPaths().addLocation(FileRef(BRASSMOOR_MEDIA_DIR));
  ASSERT_TRUE(fonts.loadFont(FileRef("/sylfaen.fs")));
  ASSERT_TRUE(fonts.loadFont(FileRef("/64font.fs")));
  ASSERT_EQ(fonts.styles().size(), 2u);
  const Charset* text = fonts.styles()[0].charsets.at(0).get();
  const Charset* figures = fonts.styles()[1].charsets.at(0).get();
  FontStyle wanted;
  for (int32_t size : {64, 20, 100}) {
    wanted.size = size;
    EXPECT_EQ(fonts.findCharset('5', wanted), figures) << size;
  }
  wanted.size = 14;
  EXPECT_EQ(fonts.findCharset('5', wanted), text);
  // Every character of a time text has a glyph in the figures.
  for (char c : std::string("0123456789: apm")) {
    EXPECT_GT(figures->glyphWidth(static_cast<uint8_t>(c)), 0) << c;
    EXPECT_NE(figures->glyphRect(static_cast<uint8_t>(c)), GlyphRect{}) << c;
  }
  EXPECT_EQ(text->glyphWidth('A'), 12);
  EXPECT_EQ(text->glyphHeight(), 18);
}

TEST(FindCharsetEmpty, NoStylesGiveNothing) {
  FontManager fonts;
  EXPECT_EQ(fonts.findCharset('a', FontStyle{}), nullptr);
  EXPECT_EQ(fonts.measure("abc", FontStyle{}).width, 0);
  // Without glyphs a line is the style's size high; huge sizes saturate instead of wrapping.
  FontStyle huge;
  huge.size = 1 << 30;
  huge.rowSpace = INT32_MAX;
  EXPECT_EQ(fonts.measure("a\nb\nc", huge).height, INT32_MAX);
}

TEST_F(FindCharsetTest, MeasureAddsAdvancesAndCharSpaceAndStacksLines) {
  FontStyle style;
  style.size = 64;
  style.scale = 0.5f;
  style.charSpace = 3;
  style.rowSpace = 2;
  // 14-wide cells (no sizes given) at half scale: 7 per glyph; "z" has no charset.
  EXPECT_EQ(fonts.measure("12z3", style).width, 7 * 3 + 3 * 2);
  EXPECT_EQ(fonts.measure("12z3", style).height, 7);
  EXPECT_EQ(fonts.measure("1\n123", style).width, 27);
  EXPECT_EQ(fonts.measure("1\n123", style).height, 16);
}

}  // namespace
