// Charset files as arbitrary text: loading must end in a charset or a failure, and every
// glyph query afterwards must stay inside its tables.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/text/font_manager.h"

namespace {

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  AnyTextures textures;
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
