// Charset files as arbitrary text: loading must end in a charset or a failure, and every
// glyph query afterwards must stay inside its tables.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/text/font_manager.h"
#include "fuzz/text/any_textures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::AnyTextures textures;
  halcyon::FontManager fonts(&textures);
  halcyon::Charset charset;
  halcyon::FileRef file(data, static_cast<uint32_t>(size), true);
  fonts.loadCharset(file, nullptr, charset);
  for (uint32_t c = 0; c < 0x10000; c += 7) {
    volatile int32_t w = charset.glyphWidth(c);
    volatile float u = charset.glyphRect(c).u1 + charset.croppedGlyphRect(c, 1, 2, 3, 4).v0;
    volatile int32_t lw = charset.layoutSize(c, 1.5f).width;
    (void)w;
    (void)u;
    (void)lw;
  }
  return 0;
}
