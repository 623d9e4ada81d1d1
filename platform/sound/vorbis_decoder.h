#pragma once
// Ogg Vorbis from memory into 16-bit PCM: decoded whole at load for short samples, or a piece
// at a time for long ones that are streamed while they play.
// The bytes come from the media archive or the disk and are not trusted: anything that is
// not a complete, intact Ogg Vorbis file gives no sound rather than a partial one.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace platform {

struct DecodedSound {
  uint32_t rate = 0;             // frames per second
  uint32_t channels = 0;         // 1 or 2
  std::vector<int16_t> samples;  // interleaved, channels × frames values

  size_t frames() const { return channels == 0 ? 0 : samples.size() / channels; }
};

// Decoded sounds larger than this many 16-bit values are refused (about 12 minutes of
// stereo at 48 kHz), so that a hostile header cannot make a load eat all memory.
inline constexpr size_t kMaxDecodedValues = size_t{64} << 20;

// A decoder that hands out the sound a piece at a time. It reads the bytes it was opened on
// in place: they must outlive it.
class VorbisStream {
 public:
  // Opens `data` (complete Ogg pages, a readable first header, 1000..192000 Hz). With `mono`
  // (or when the file has more than two channels) the channels are averaged into one.
  static std::unique_ptr<VorbisStream> open(std::span<const uint8_t> data, bool mono);
  ~VorbisStream();
  VorbisStream(const VorbisStream&) = delete;
  VorbisStream& operator=(const VorbisStream&) = delete;

  uint32_t rate() const { return rate_; }
  uint32_t channels() const { return channels_; }  // after the downmix: 1 or 2
  // Frames in the whole stream as its last page states them; 0 when it states none.
  uint64_t totalFrames() const { return totalFrames_; }

  // Decodes up to `frames` frames into `out` (channels() × frames values). Returns the frames
  // written, 0 at the end of the stream, or -1 for damaged data or a chained link whose
  // channels or rate differ from the first.
  long read(int16_t* out, size_t frames);
  // Back to the first frame; false when the stream cannot seek there.
  bool rewind();

 private:
  struct State;
  explicit VorbisStream(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
  uint32_t rate_ = 0;
  uint32_t channels_ = 0;
  uint32_t sourceChannels_ = 0;
  uint64_t totalFrames_ = 0;
};

// Decodes `data`. With `mono` (or when the file has more than two channels) the channels are
// averaged into one. Returns nothing for a truncated, corrupted, empty or oversized file.
std::optional<DecodedSound> decodeOggVorbis(std::span<const uint8_t> data, bool mono);

// True when `data` is a run of complete Ogg pages, the last of them ending its stream. A
// file cut short loses its final page or part of one, which this detects even where the
// decoder itself would quietly stop early.
bool oggPagesComplete(std::span<const uint8_t> data);

}  // namespace platform
