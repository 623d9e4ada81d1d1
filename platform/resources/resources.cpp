#include "platform/resources/resources.h"

namespace platform {
namespace {

bool sameTypeName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

ResourceBytes findResourceIn(std::span<const ResourceEntry> table, std::string_view type, int32_t id) {
  for (const ResourceEntry& entry : table) {
    if (entry.id == id && entry.type != nullptr && sameTypeName(entry.type, type) && entry.begin != nullptr &&
        entry.end >= entry.begin) {
      return ResourceBytes{entry.begin, static_cast<std::size_t>(entry.end - entry.begin)};
    }
  }
  return {};
}

ResourceBytes findResource(std::string_view type, int32_t id) {
  return findResourceIn(std::span<const ResourceEntry>(kEmbeddedResources, kEmbeddedResourceCount), type, id);
}

}  // namespace platform
