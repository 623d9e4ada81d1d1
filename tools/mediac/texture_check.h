#pragma once
// Every texture the scene names must be in the media folder, readable and sized in powers of
// two (the device's textures are made at the image's own size).

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/mediac/media_model.h"

namespace brassmoor::mediac {

// Width and height from a PNG or JPEG header; none when the file is missing or not one of those.
std::optional<std::pair<int, int>> imageSize(const std::string& path);

// The texture file names a scene uses, each once, in material order.
std::vector<std::string> textureNames(const MediaScene& scene);

// One line per problem; empty when every texture is fine.
std::vector<std::string> checkTextures(const MediaScene& scene, const std::string& dir);

}  // namespace brassmoor::mediac
