// Arbitrary bytes as a font file (".fs"): its styles and charsets load or fail, and matching
// styles, finding charsets and measuring text afterwards stay inside what was loaded. The
// charsets it names are looked for beside the shipped ones.
#include <cstddef>
#include <cstdint>

#include "engine/text/font_manager.h"
#include "fuzz/text/any_textures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::AnyTextures textures;
  halcyon::FontManager fonts(&textures);
  fonts.searchPaths().addLocation(halcyon::FileRef("media"));
  fonts.loadFont(halcyon::FileRef(data, static_cast<uint32_t>(size), true));
  for (int32_t wanted : {0, 14, 64, 1 << 30}) {
    halcyon::FontStyle style;
    style.size = wanted;
    (void)fonts.matchStyle(style);
    (void)fonts.findCharset('A', style);
    volatile int32_t w = fonts.measure("12:45 pm\nfps 60", style).width;
    (void)w;
  }
  return 0;
}
