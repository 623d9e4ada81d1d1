#pragma once
// One embedded resource as the build lays it out: the bytes run from `begin` to `end`.
#include <cstddef>
#include <cstdint>

namespace platform {

struct ResourceEntry {
  const char* type;  // "MEMFILE", "CUSTOMDATA", "BITMAP", "DIALOG"
  int32_t id;
  const unsigned char* begin;
  const unsigned char* end;
};

// The table compiled from resources/ (see resources/CMakeLists.txt).
extern const ResourceEntry kEmbeddedResources[];
extern const std::size_t kEmbeddedResourceCount;

}  // namespace platform
