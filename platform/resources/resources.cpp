#include "platform/resources/resources.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

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

bool insideOneEntry(std::span<const ResourceEntry> table, const unsigned char* begin, std::size_t size) {
  return std::any_of(table.begin(), table.end(), [&](const ResourceEntry& entry) {
    return entry.begin != nullptr && entry.begin <= begin && begin <= entry.end &&
           size <= static_cast<std::size_t>(entry.end - begin);
  });
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

std::size_t releaseResourcePages(const void* data, std::size_t size) {
  const std::span<const ResourceEntry> table(kEmbeddedResources, kEmbeddedResourceCount);
  const auto* begin = static_cast<const unsigned char*>(data);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (begin == nullptr || size == 0 || pageSize <= 0 || !insideOneEntry(table, begin, size)) return 0;
  // Only pages wholly inside the range: the bytes around it may be read on (an archive's next
  // header, another resource).
  const auto page = static_cast<std::uintptr_t>(pageSize);
  const auto first = (reinterpret_cast<std::uintptr_t>(begin) + page - 1) / page * page;
  const auto last = (reinterpret_cast<std::uintptr_t>(begin) + size) / page * page;
  if (last <= first) return 0;
  // The resources lie in a read-only part of the executable's file mapping, so the pages come
  // back unchanged from the file.
  if (madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED) != 0) return 0;
  return last - first;
}

ResourceBytes findResource(std::string_view type, int32_t id) {
  return findResourceIn(std::span<const ResourceEntry>(kEmbeddedResources, kEmbeddedResourceCount), type, id);
}

}  // namespace platform
