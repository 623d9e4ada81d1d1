#pragma once
// Reading and atomically replacing the store file (internal to platform/registry).
#include <filesystem>

#include "platform/registry/registry.h"

namespace platform {

// Damaged: some lines (or, for a file over the size cap, all of them) were skipped; `store`
// holds every value that could be read.
enum class StoreLoad { Loaded, Missing, Damaged, Unreadable };

StoreLoad loadStore(const std::filesystem::path& file, RegistryStore& store);
// Replaces the file whole. With `keepOriginal` the file as it stands is first copied to
// "<file>.bad", so that what could not be read is not lost with the rewrite.
bool saveStore(const std::filesystem::path& file, const RegistryStore& store, bool keepOriginal = false);
// Records why an operation failed, for registryLastError().
void setRegistryError(std::string text);

}  // namespace platform
