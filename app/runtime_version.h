#pragma once
// The graphics runtime's version as the start-up check reports it: packed into one number
// (major << 16 | minor << 8 | letter index) and as text ("9.0", "8.1b"). The saver starts only
// at kRequiredRuntimeVersion or above.
#include <cstddef>
#include <cstdint>

namespace brassmoor {

inline constexpr uint32_t kRequiredRuntimeVersion = 0x00090000;

struct RuntimeVersion {
  uint32_t major = 0;
  uint32_t minor = 0;
  char letter = 0;  // 'a'..'z' in either case; anything else counts as no letter
};

// major * 65536 + minor * 256 + letter index (1 for "a" to 26 for "z", 0 without a letter).
uint32_t packRuntimeVersion(const RuntimeVersion& version);
// "%d.%d", or "%d.%d%c" with a letter, always terminated within `length` bytes (nothing is
// written when `length` is 0).
void formatRuntimeVersion(const RuntimeVersion& version, char* buffer, std::size_t length);

}  // namespace brassmoor
