#pragma once
// The two bitmap fonts of the scene: the small text font (every Windows-1252 character in a
// grid) and the large clock figures for the time and frame-rate overlays.
#include <optional>
#include <string>

#include "tools/fontbake/charset_text.h"
#include "tools/fontbake/glyph_raster.h"
#include "tools/fontbake/png_writer.h"

namespace fontbake {

struct BakedFont {
  Image texture;
  CharsetDescription charset;
};

// 256 characters, 16 to a line in 16 x 18 cells, white with coverage as alpha, widths in a
// "Sizes" array; texture 256 x 512.
std::optional<BakedFont> bakeSmallFont(FontFace& face, int pixelSize, const std::string& textureName);

// The characters the overlays draw: digits, ":", " ", "a", "m", "p"; 64 x 64 cells four to a
// line in a 256 x 256 texture, placed by "Rects". Ivory figures shading to old gold, with a
// bevel, a dark rim and a soft shadow so they read over any part of the room.
inline constexpr const char* kClockCharacters = "0123456789: amp";
std::optional<BakedFont> bakeClockFigures(FontFace& face, const std::string& textureName);

}  // namespace fontbake
