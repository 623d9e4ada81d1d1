#include "engine/fs/resource_source.h"

#include <utility>

namespace halcyon {

namespace {

std::optional<ResourceBytes> defaultLookup(std::string_view, int32_t) { return std::nullopt; }

ResourceLookup& installed() {
  static ResourceLookup lookup;
  return lookup;
}

}  // namespace

ResourceLookup setResourceLookup(ResourceLookup lookup) {
  return std::exchange(installed(), std::move(lookup));
}

std::optional<ResourceBytes> findResource(std::string_view type, int32_t id) {
  // Resource ids are 16-bit numbers.
  const int32_t shortId = id & 0xFFFF;
  if (const auto& lookup = installed()) return lookup(type, shortId);
  return defaultLookup(type, shortId);
}

}  // namespace halcyon
