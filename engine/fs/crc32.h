#pragma once
// CRC-32 as the archive records it: reflected, polynomial 0xEDB88320, initial value
// 0xFFFFFFFF and final complement. Pass a previous result as `crc` to continue over more
// bytes.
#include <cstddef>
#include <cstdint>

namespace halcyon {

uint32_t crc32(const void* data, size_t size, uint32_t crc = 0);

}  // namespace halcyon
