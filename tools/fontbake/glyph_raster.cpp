#include "tools/fontbake/glyph_raster.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>

namespace fontbake {

struct FontFace::Handles {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  ~Handles() {
    if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
  }
};

FontFace::FontFace(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}
FontFace::~FontFace() = default;

std::unique_ptr<FontFace> FontFace::open(const std::string& path) {
  auto handles = std::make_unique<Handles>();
  if (FT_Init_FreeType(&handles->library) != 0) return nullptr;
  if (FT_New_Face(handles->library, path.c_str(), 0, &handles->face) != 0) return nullptr;
  if (FT_Select_Charmap(handles->face, FT_ENCODING_UNICODE) != 0) return nullptr;
  return std::unique_ptr<FontFace>(new FontFace(std::move(handles)));
}

bool FontFace::setPixelSize(int pixels) {
  return pixels > 0 && FT_Set_Pixel_Sizes(handles_->face, 0, static_cast<FT_UInt>(pixels)) == 0;
}

bool FontFace::hasGlyph(std::uint32_t codepoint) const { return FT_Get_Char_Index(handles_->face, codepoint) != 0; }

int FontFace::ascender() const { return static_cast<int>(std::lround(handles_->face->size->metrics.ascender / 64.0)); }
int FontFace::descender() const {
  return static_cast<int>(std::lround(-handles_->face->size->metrics.descender / 64.0));
}

std::optional<Coverage> FontFace::render(std::uint32_t codepoint, bool hinted) const {
  FT_Face face = handles_->face;
  const FT_UInt index = FT_Get_Char_Index(face, codepoint);
  if (index == 0) return std::nullopt;
  const FT_Int32 flags = FT_LOAD_RENDER | (hinted ? FT_LOAD_TARGET_NORMAL : FT_LOAD_NO_HINTING);
  if (FT_Load_Glyph(face, index, flags) != 0) return std::nullopt;
  const FT_GlyphSlot slot = face->glyph;
  if (slot->format != FT_GLYPH_FORMAT_BITMAP || slot->bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return std::nullopt;
  Coverage c;
  c.width = static_cast<int>(slot->bitmap.width);
  c.height = static_cast<int>(slot->bitmap.rows);
  c.left = slot->bitmap_left;
  c.top = slot->bitmap_top;
  c.advance = static_cast<int>(std::lround(slot->advance.x / 64.0));
  c.alpha.resize(static_cast<std::size_t>(c.width) * static_cast<std::size_t>(c.height));
  const float levels = static_cast<float>(slot->bitmap.num_grays - 1);
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x)
      c.alpha[static_cast<std::size_t>(y * c.width + x)] =
          static_cast<float>(slot->bitmap.buffer[y * slot->bitmap.pitch + x]) / levels;
  return c;
}

}  // namespace fontbake
