#include "settings/setting_choices.h"

#include <array>
#include <string>

namespace brassmoor {
namespace {

template <std::size_t N>
std::optional<int32_t> parseChoice(std::string_view text, const std::array<const char*, N>& names) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  for (std::size_t i = 0; i < N; ++i)
    if (lower == names[i]) return static_cast<int32_t>(i);
  if (lower.size() == 1 && lower[0] >= '0' && lower[0] < static_cast<char>('0' + N)) return lower[0] - '0';
  return std::nullopt;
}

constexpr std::array<const char*, 3> kLightningNames = {"off", "soft", "full"};
constexpr std::array<const char*, 3> kChimeNames = {"off", "hours", "quarters"};

}  // namespace

LightningMode lightningMode(int32_t stored) {
  return stored >= 0 && stored <= 2 ? static_cast<LightningMode>(stored) : kDefaultLightning;
}

ChimeMode chimeMode(int32_t stored) {
  return stored >= 0 && stored <= 2 ? static_cast<ChimeMode>(stored) : kDefaultChimes;
}

std::optional<LightningMode> parseLightning(std::string_view text) {
  if (const auto i = parseChoice(text, kLightningNames)) return static_cast<LightningMode>(*i);
  return std::nullopt;
}

std::optional<ChimeMode> parseChimes(std::string_view text) {
  if (const auto i = parseChoice(text, kChimeNames)) return static_cast<ChimeMode>(*i);
  return std::nullopt;
}

const char* lightningName(LightningMode mode) {
  return kLightningNames[static_cast<std::size_t>(lightningMode(static_cast<int32_t>(mode)))];
}
const char* chimesName(ChimeMode mode) {
  return kChimeNames[static_cast<std::size_t>(chimeMode(static_cast<int32_t>(mode)))];
}

}  // namespace brassmoor
