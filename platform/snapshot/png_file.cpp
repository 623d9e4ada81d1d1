#include "platform/snapshot/png_file.h"

#include <png.h>

#include <cstdio>
#include <cstring>

namespace platform {

bool writePng(const std::string& path, int32_t width, int32_t height, const std::vector<uint8_t>& rgb) {
  if (width <= 0 || height <= 0 || path.empty()) return false;
  if (rgb.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3) return false;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;
  const std::string temporary = path + ".part";
  const int ok = png_image_write_to_file(&image, temporary.c_str(), 0, rgb.data(), width * 3, nullptr);
  png_image_free(&image);
  if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace platform
