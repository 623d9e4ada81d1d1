#pragma once
// Windows bitmaps as the resources keep them: a BMP file ("BM" header) or a bare DIB
// (info header, optional masks and palette, pixels). Uncompressed 1, 4, 8, 16, 24 and 32 bits
// per pixel; bottom-up or top-down. Every size and offset is checked against the data.
#include <cstddef>
#include <cstdint>

#include "platform/window/saver_window.h"

namespace platform {

// False (and `out` untouched) when the bytes are not a bitmap this reader understands.
bool decodeBitmap(const uint8_t* data, std::size_t size, Image& out);

}  // namespace platform
