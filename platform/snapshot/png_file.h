#pragma once
// Writing pictures the user asked for (screenshots, recorded frames) as PNG files.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// `rgb`: width * height pixels of 3 bytes, top row first. False when the picture is empty,
// its size does not match, or the file cannot be written (no partial file is left).
bool writePng(const std::string& path, int32_t width, int32_t height, const std::vector<uint8_t>& rgb);

}  // namespace platform
