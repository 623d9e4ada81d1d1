#pragma once
// Charset textures of any size without a device, for the font fuzz targets.
#include <memory>

#include "engine/text/font_manager.h"
#include "tests/engine/text/sized_charset_texture.h"

namespace fuzzsupport {

class AnyTextures : public halcyon::CharsetTextureSource {
 public:
  std::unique_ptr<halcyon::CharsetTexture> load(const halcyon::CharsetTextureRequest& request,
                                                const halcyon::SearchPaths&) override {
    if (request.file.name.size() % 5 == 0) return nullptr;
    // A non-zero origin, so the glyph arithmetic that adds it is exercised too.
    return std::make_unique<texttest::SizedCharsetTexture>(static_cast<int32_t>(request.file.name.size() * 16), 256, 3,
                                                           5);
  }
};

}  // namespace fuzzsupport
