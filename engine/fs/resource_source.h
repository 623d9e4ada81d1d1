#pragma once
// The executable's embedded resources as the file layer sees them: a lookup by resource type
// (compared without regard to ASCII case) and integer id that yields bytes living as long as
// the program. The file layer never owns or frees them.
//
// By default the lookup asks the program's embedded resource table; tests and tools install
// their own with setResourceLookup.
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace halcyon {

struct ResourceBytes {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
};

using ResourceLookup = std::function<std::optional<ResourceBytes>(std::string_view type, int32_t id)>;

// Installs a lookup; an empty function restores the default. Returns the previous one.
ResourceLookup setResourceLookup(ResourceLookup lookup);

// None when no resource of that type and id exists.
std::optional<ResourceBytes> findResource(std::string_view type, int32_t id);

// The type under which file data is embedded.
inline constexpr std::string_view kMemFileType = "MemFile";

}  // namespace halcyon
