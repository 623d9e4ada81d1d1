#pragma once
// Reading and atomically replacing the store file (internal to platform/registry).
#include <filesystem>

#include "platform/registry/registry.h"

namespace platform {

enum class StoreLoad { Loaded, Missing, Unreadable };

StoreLoad loadStore(const std::filesystem::path& file, RegistryStore& store);
bool saveStore(const std::filesystem::path& file, const RegistryStore& store);

}  // namespace platform
