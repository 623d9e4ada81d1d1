#include "app/runtime_version.h"

#include <cstdio>

namespace brassmoor {
namespace {

int letterIndex(char letter) {
  if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter - 'A' + 'a');
  return letter >= 'a' && letter <= 'z' ? letter - 'a' + 1 : 0;
}

}  // namespace

uint32_t packRuntimeVersion(const RuntimeVersion& v) {
  return ((v.major & 0xFFFF) << 16) + ((v.minor & 0xFF) << 8) + static_cast<uint32_t>(letterIndex(v.letter));
}

void formatRuntimeVersion(const RuntimeVersion& v, char* buffer, std::size_t length) {
  if (!buffer || length == 0) return;
  if (letterIndex(v.letter) != 0) std::snprintf(buffer, length, "%u.%u%c", v.major, v.minor, v.letter);
  else
    std::snprintf(buffer, length, "%u.%u", v.major, v.minor);
}

}  // namespace brassmoor
