#pragma once
// The settings that choose one of a few named modes: how the storm's lightning shows and
// whether the clock strikes. The record stores them as small integers (registry DWORDs); the
// defaults resource, the command line and the host's configuration name them in words.
#include <cstdint>
#include <optional>
#include <string_view>

namespace brassmoor {

// Off: no flash is seen, the storm is far away. Soft: a flash lights the window, the view
// outside and the room through the window, never the whole picture at once, and gently.
// Full: as designed, with the whole picture brightened through the gamma ramp.
enum class LightningMode : int32_t { Off = 0, Soft = 1, Full = 2 };
// Off: silent. Hours: the hour struck on the bell. Quarters: a quarter chime every fifteen
// minutes, and the hour after the fourth.
enum class ChimeMode : int32_t { Off = 0, Hours = 1, Quarters = 2 };

inline constexpr LightningMode kDefaultLightning = LightningMode::Full;
inline constexpr ChimeMode kDefaultChimes = ChimeMode::Off;

// The stored integer as a mode; anything outside the known values gives the default, so a
// hand-edited or damaged store never switches the flashes on in an unknown way.
LightningMode lightningMode(int32_t stored);
ChimeMode chimeMode(int32_t stored);

// "off" / "soft" / "full" and "off" / "hours" / "quarters", in any case, or the integer;
// nothing for any other text.
std::optional<LightningMode> parseLightning(std::string_view text);
std::optional<ChimeMode> parseChimes(std::string_view text);

const char* lightningName(LightningMode mode);
const char* chimesName(ChimeMode mode);

}  // namespace brassmoor
