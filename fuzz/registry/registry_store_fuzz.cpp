// Arbitrary bytes as a settings file: parsing keeps what it can, and what it kept survives
// being written and read again unchanged, with nothing skipped the second time.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/registry/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const platform::RegistryStore store = platform::RegistryStore::parse(text);
  const std::string written = store.serialize();
  const platform::RegistryStore again = platform::RegistryStore::parse(written);
  if (!again.skippedLines().empty()) std::abort();
  if (again.serialize() != written) std::abort();
  if (again.keys().size() != store.keys().size()) std::abort();
  for (size_t k = 0; k < store.keys().size(); ++k) {
    const auto& a = store.keys()[k];
    const auto& b = again.keys()[k];
    if (a.values.size() != b.values.size()) std::abort();
    for (size_t v = 0; v < a.values.size(); ++v)
      if (a.values[v].type != b.values[v].type || a.values[v].data != b.values[v].data) std::abort();
  }
  return 0;
}
