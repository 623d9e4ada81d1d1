#pragma once
// The program's own resources, found the way a module's resources are: by type, compared
// without regard to case, and integer id. The bytes live in the executable for the whole
// process, so callers use them in place and never free them.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/resources/resource_entry.h"

namespace platform {

// Type names of the two standard resource kinds the program keeps.
inline constexpr std::string_view kBitmapResource = "BITMAP";
inline constexpr std::string_view kDialogResource = "DIALOG";

struct ResourceBytes {
  const uint8_t* data = nullptr;
  std::size_t size = 0;
  bool found() const { return data != nullptr; }
  std::string_view text() const {
    return found() ? std::string_view(reinterpret_cast<const char*>(data), size) : std::string_view();
  }
};

// Not found: an empty ResourceBytes (data null).
ResourceBytes findResource(std::string_view type, int32_t id);
ResourceBytes findResourceIn(std::span<const ResourceEntry> table, std::string_view type, int32_t id);

// Bytes of a resource that have been copied out need not stay in memory: the whole pages
// inside [data, data + size) are handed back to the system, which reads them again from the
// executable if they are touched later. A range that is not inside one embedded resource (a
// caller's own buffer) is left alone. Returns how many bytes were handed back.
std::size_t releaseResourcePages(const void* data, std::size_t size);

}  // namespace platform
