// The shipped fonts loaded the way the program loads them: through the font manager, with
// the media folder as search location and the textures decoded from their PNG files.
#include <stb/stb_image.h>

#include <gtest/gtest.h>

#include "engine/text/font_manager.h"
#include "tests/engine/text/sized_charset_texture.h"

namespace {

using halcyon::FileRef;
using halcyon::FontManager;
using halcyon::FontStyle;

// Stands in for the texture manager: the texture exists when its name resolves and the file
// is an image; its size is the image's.
class PngTextures : public halcyon::CharsetTextureSource {
 public:
  std::unique_ptr<halcyon::CharsetTexture> load(const halcyon::CharsetTextureRequest& request,
                                                const halcyon::SearchPaths& paths) override {
    FileRef file = request.file;
    if (!paths.resolve(file)) return nullptr;
    int w = 0, h = 0, channels = 0;
    if (!stbi_info(file.name.c_str(), &w, &h, &channels)) return nullptr;
    formats.push_back(request.format);
    return std::make_unique<texttest::SizedCharsetTexture>(w, h);
  }
  std::vector<uint32_t> formats;
};

class EngineFonts : public ::testing::Test {
 protected:
  void SetUp() override {
    fonts.searchPaths().addLocation(FileRef(std::string(BRASSMOOR_SOURCE_DIR) + "/media"));
    ASSERT_TRUE(fonts.loadFont(FileRef("/sylfaen.fs")));
    ASSERT_TRUE(fonts.loadFont(FileRef("/64font.fs")));
  }
  PngTextures textures;
  FontManager fonts{&textures};
};

FontStyle ofSize(int size) {
  FontStyle s;
  s.size = size;
  return s;
}

TEST_F(EngineFonts, BothFontsLoadWithTheirTexturesInTheirFormat) {
  ASSERT_EQ(fonts.styles().size(), 2u);
  EXPECT_EQ(fonts.styles()[0].style.size, 14);
  EXPECT_EQ(fonts.styles()[1].style.size, 64);
  for (const auto& style : fonts.styles()) {
    ASSERT_EQ(style.charsets.size(), 1u);
    EXPECT_NE(style.charsets[0]->texture, nullptr);
  }
  EXPECT_EQ(textures.formats, (std::vector<uint32_t>{halcyon::kFormatA8R8G8B8, halcyon::kFormatA8R8G8B8}));
}

TEST_F(EngineFonts, OverlayCharactersHaveWidthsAndRectanglesInTheFigureFont) {
  const FontStyle wanted = ofSize(64);
  for (char ch : std::string("0123456789: amp")) {
    const halcyon::Charset* charset = fonts.findCharset(static_cast<unsigned char>(ch), wanted);
    ASSERT_NE(charset, nullptr) << ch;
    EXPECT_EQ(charset, fonts.styles()[1].charsets[0].get()) << ch;
    EXPECT_GT(charset->glyphWidth(static_cast<unsigned char>(ch)), 10) << ch;
    EXPECT_EQ(charset->glyphHeight(), 64);
    const halcyon::GlyphRect r = charset->glyphRect(static_cast<unsigned char>(ch));
    EXPECT_TRUE(r.u0 >= 0 && r.u1 <= 1 && r.v0 >= 0 && r.v1 <= 1 && r.u0 < r.u1 && r.v0 < r.v1) << ch;
  }
  // The widest time fits the overlay's 350-unit box at scale 1, the digits keep one width
  // so the time does not jitter as it counts, and a 24-hour time fits its 290 units.
  EXPECT_LE(fonts.measure("12:00:00 pm", wanted).width, 350);
  for (char d = '1'; d <= '9'; ++d)
    EXPECT_EQ(fonts.measure(std::string(1, d), wanted).width, fonts.measure("0", wanted).width) << d;
  EXPECT_LE(fonts.measure("23:59:59 ", wanted).width, 290);
  EXPECT_EQ(fonts.measure("64", wanted).height, 64);
}

TEST_F(EngineFonts, SmallTextMatchesTheTextFontAndLargerSizesTheFigures) {
  EXPECT_EQ(fonts.matchStyle(ofSize(14)), &fonts.styles()[0]);
  EXPECT_EQ(fonts.matchStyle(ofSize(20)), &fonts.styles()[1]);
  EXPECT_EQ(fonts.matchStyle(ofSize(100)), &fonts.styles()[1]);
  const halcyon::Charset* text = fonts.findCharset('W', ofSize(14));
  ASSERT_NE(text, nullptr);
  EXPECT_GT(text->glyphWidth('W'), 8);
  EXPECT_GT(fonts.measure("Brassmoor", ofSize(14)).width, 50);
}

}  // namespace
