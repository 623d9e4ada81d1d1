#pragma once
// Charset textures of any size without a device, for the font fuzz targets.
#include <memory>

#include "engine/text/font_manager.h"

namespace fuzzsupport {

class AnyTexture : public halcyon::CharsetTexture {
 public:
  AnyTexture(int32_t w, int32_t h) : w_(w), h_(h) {}
  int32_t width() const override { return w_; }
  int32_t height() const override { return h_; }
  int32_t originX() const override { return 3; }
  int32_t originY() const override { return 5; }
  IDirect3DBaseTexture9* deviceTexture() const override { return nullptr; }

 private:
  int32_t w_, h_;
};

class AnyTextures : public halcyon::CharsetTextureSource {
 public:
  std::unique_ptr<halcyon::CharsetTexture> load(const halcyon::CharsetTextureRequest& request,
                                                const halcyon::SearchPaths&) override {
    if (request.file.name.size() % 5 == 0) return nullptr;
    return std::make_unique<AnyTexture>(static_cast<int32_t>(request.file.name.size() * 16), 256);
  }
};

}  // namespace fuzzsupport
