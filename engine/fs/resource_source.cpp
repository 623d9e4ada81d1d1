#include "engine/fs/resource_source.h"

#include <utility>

#include "platform/resources/resources.h"

namespace halcyon {

namespace {

// The resources embedded in the executable at build time.
std::optional<ResourceBytes> defaultLookup(std::string_view type, int32_t id) {
  const platform::ResourceBytes found = platform::findResource(type, id);
  if (!found.found()) return std::nullopt;
  return ResourceBytes{found.data, static_cast<uint32_t>(found.size)};
}

ResourceLookup& installed() {
  static ResourceLookup lookup;
  return lookup;
}

}  // namespace

ResourceLookup setResourceLookup(ResourceLookup lookup) { return std::exchange(installed(), std::move(lookup)); }

std::optional<ResourceBytes> findResource(std::string_view type, int32_t id) {
  // Resource ids are 16-bit numbers.
  const int32_t shortId = id & 0xFFFF;
  if (const auto& lookup = installed()) return lookup(type, shortId);
  return defaultLookup(type, shortId);
}

}  // namespace halcyon
