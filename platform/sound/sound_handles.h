#pragma once
// How a 32-bit handle names a sample or a channel: its kind in the top four bits, a
// generation in the next twelve and the table index + 1 in the low sixteen, so that no handle
// is 0 and a channel slot handed out again no longer answers to its earlier handles (until
// its generation wraps after 4095 reuses).
#include <cstdint>

namespace platform {

enum class HandleKind : uint32_t { None = 0, Sample = 1, Channel = 2 };

inline constexpr uint32_t kMaxHandleIndex = 0xFFFF - 1;

constexpr uint32_t makeHandle(HandleKind kind, uint16_t generation, uint32_t index) {
  return (static_cast<uint32_t>(kind) << 28) | ((generation & 0xFFFu) << 16) | (index + 1);
}
constexpr HandleKind handleKind(uint32_t handle) {
  const uint32_t kind = handle >> 28;
  if ((handle & 0xFFFFu) == 0) return HandleKind::None;
  return kind == 1 ? HandleKind::Sample : kind == 2 ? HandleKind::Channel : HandleKind::None;
}
constexpr uint16_t handleGeneration(uint32_t handle) { return static_cast<uint16_t>((handle >> 16) & 0xFFFu); }
constexpr uint32_t handleIndex(uint32_t handle) { return (handle & 0xFFFFu) - 1; }
constexpr uint16_t nextGeneration(uint16_t generation) { return static_cast<uint16_t>((generation + 1) & 0xFFFu); }

}  // namespace platform
