#pragma once
// Charset textures through the engine's texture manager: shared by name with every other
// user of the same image, counted, and remade by the manager after a device reset.
#include "engine/text/font_manager.h"

namespace halcyon {

class TextureManager;

class ManagedCharsetTextures : public CharsetTextureSource {
 public:
  explicit ManagedCharsetTextures(TextureManager& manager) : manager_(&manager) {}
  std::unique_ptr<CharsetTexture> load(const CharsetTextureRequest& request, const SearchPaths& paths) override;

 private:
  TextureManager* manager_;
};

}  // namespace halcyon
