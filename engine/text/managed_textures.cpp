#include "engine/text/managed_textures.h"

#include "engine/device/texture.h"

namespace halcyon {
namespace {

class ManagedTexture : public CharsetTexture {
 public:
  explicit ManagedTexture(Texture* texture) : texture_(texture) {}
  ~ManagedTexture() override { texture_->release(); }
  ManagedTexture(const ManagedTexture&) = delete;
  ManagedTexture& operator=(const ManagedTexture&) = delete;

  int32_t width() const override { return static_cast<int32_t>(texture_->levelDesc().Width); }
  int32_t height() const override { return static_cast<int32_t>(texture_->levelDesc().Height); }
  // A texture cut from a larger one starts where its rectangle does.
  int32_t originX() const override { return static_cast<int32_t>(texture_->rect().left); }
  int32_t originY() const override { return static_cast<int32_t>(texture_->rect().top); }
  // Asked at every draw: a reset gives the texture a new device texture.
  IDirect3DBaseTexture9* deviceTexture() const override { return texture_->d3dTexture(); }

 private:
  Texture* texture_;
};

}  // namespace

std::unique_ptr<CharsetTexture> ManagedCharsetTextures::load(const CharsetTextureRequest& request,
                                                             const SearchPaths& paths) {
  TextureRequest wanted;
  wanted.file = request.file;
  wanted.flags = 0;
  if ((request.flags & CharsetTextureRequest::kFormatGiven) != 0) wanted.flags |= TextureRequest::Format;
  if ((request.flags & CharsetTextureRequest::kColourKeyGiven) != 0) wanted.flags |= TextureRequest::ColorKey;
  wanted.format = request.format;
  wanted.colorKey = request.colourKey;
  // Text is drawn as an overlay, which samples without mip levels: the top level alone.
  wanted.flags |= TextureRequest::Levels;
  wanted.levels = 1;
  Texture* texture = manager_->get(wanted, &paths);
  if (texture == nullptr) return nullptr;
  return std::make_unique<ManagedTexture>(texture);
}

}  // namespace halcyon
