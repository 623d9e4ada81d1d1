#pragma once
// Ogg Vorbis from memory into 16-bit PCM, for samples that are decoded whole at load.
// The bytes come from the media archive or the disk and are not trusted: anything that is
// not a complete, intact Ogg Vorbis file gives no sound rather than a partial one.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace platform {

struct DecodedSound {
  uint32_t rate = 0;      // frames per second
  uint32_t channels = 0;  // 1 or 2
  std::vector<int16_t> samples;  // interleaved, channels × frames values

  size_t frames() const { return channels == 0 ? 0 : samples.size() / channels; }
};

// Decoded sounds larger than this many 16-bit values are refused (about 12 minutes of
// stereo at 48 kHz), so that a hostile header cannot make a load eat all memory.
inline constexpr size_t kMaxDecodedValues = size_t{64} << 20;

// Decodes `data`. With `mono` (or when the file has more than two channels) the channels are
// averaged into one. Returns nothing for a truncated, corrupted, empty or oversized file.
std::optional<DecodedSound> decodeOggVorbis(std::span<const uint8_t> data, bool mono);

// True when `data` is a run of complete Ogg pages, the last of them ending its stream. A
// file cut short loses its final page or part of one, which this detects even where the
// decoder itself would quietly stop early.
bool oggPagesComplete(std::span<const uint8_t> data);

}  // namespace platform
