#include "platform/sound/vorbis_decoder.h"

#include <vorbis/vorbisfile.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>

namespace platform {
namespace {

struct MemoryReader {
  std::span<const uint8_t> data;
  size_t position = 0;
};

size_t readMemory(void* out, size_t size, size_t count, void* source) {
  auto* reader = static_cast<MemoryReader*>(source);
  // The decoder takes a short read with errno set as a read error, so a stale errno left
  // by some earlier call must not turn the end of the data into a failure.
  errno = 0;
  if (size == 0 || count == 0) return 0;
  const size_t remaining = reader->data.size() - reader->position;
  const size_t wantedItems = count < remaining / size ? count : remaining / size;
  const size_t bytes = wantedItems * size;
  if (bytes > 0) std::memcpy(out, reader->data.data() + reader->position, bytes);
  reader->position += bytes;
  return wantedItems;
}

int seekMemory(void* source, ogg_int64_t offset, int whence) {
  auto* reader = static_cast<MemoryReader*>(source);
  const auto size = static_cast<ogg_int64_t>(reader->data.size());
  ogg_int64_t base = 0;
  switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = static_cast<ogg_int64_t>(reader->position); break;
    case SEEK_END: base = size; break;
    default: return -1;
  }
  if (offset > size || offset < -size) return -1;
  const ogg_int64_t target = base + offset;
  if (target < 0 || target > size) return -1;
  reader->position = static_cast<size_t>(target);
  return 0;
}

long tellMemory(void* source) { return static_cast<long>(static_cast<MemoryReader*>(source)->position); }

float clampUnit(float v) { return v > 1.0f ? 1.0f : (v < -1.0f ? -1.0f : v); }

}  // namespace

// The reader and the vorbisfile state that points at it, kept together at one address.
struct VorbisStream::State {
  MemoryReader reader;
  OggVorbis_File file{};
  bool open = false;
  ~State() {
    if (open) ov_clear(&file);
  }
};

VorbisStream::VorbisStream(std::unique_ptr<State> state) : state_(std::move(state)) {}
VorbisStream::~VorbisStream() = default;

std::unique_ptr<VorbisStream> VorbisStream::open(std::span<const uint8_t> data, bool mono) {
  if (data.empty() || !oggPagesComplete(data)) return nullptr;
  auto state = std::make_unique<State>();
  state->reader = MemoryReader{data, 0};
  const ov_callbacks callbacks{readMemory, seekMemory, nullptr, tellMemory};
  if (ov_open_callbacks(&state->reader, &state->file, nullptr, 0, callbacks) != 0) return nullptr;
  state->open = true;
  const vorbis_info* info = ov_info(&state->file, -1);
  if (info == nullptr || info->channels < 1 || info->channels > 255 || info->rate < 1000 || info->rate > 192000) {
    return nullptr;
  }
  std::unique_ptr<VorbisStream> stream(new VorbisStream(std::move(state)));
  stream->rate_ = static_cast<uint32_t>(info->rate);
  stream->sourceChannels_ = static_cast<uint32_t>(info->channels);
  stream->channels_ = mono || info->channels > 2 ? 1 : static_cast<uint32_t>(info->channels);
  const ogg_int64_t total = ov_pcm_total(&stream->state_->file, -1);
  stream->totalFrames_ = total > 0 ? static_cast<uint64_t>(total) : 0;
  return stream;
}

long VorbisStream::read(int16_t* out, size_t frames) {
  const size_t wanted = frames < 4096 ? frames : 4096;
  if (wanted == 0) return 0;
  float** planes = nullptr;
  int section = -1;
  // Decoding straight into float planes lets the downmix average without clipping.
  const long got = ov_read_float(&state_->file, &planes, static_cast<int>(wanted), &section);
  if (got <= 0) return got == 0 ? 0 : -1;  // a hole or a bad link: damaged data
  const vorbis_info* now = ov_info(&state_->file, section);
  if (now == nullptr || static_cast<uint32_t>(now->channels) != sourceChannels_ ||
      static_cast<uint32_t>(now->rate) != rate_) {
    return -1;  // a chained file whose links differ cannot be one sound
  }
  for (long f = 0; f < got; ++f) {
    if (channels_ == 1) {
      float sum = 0;
      for (uint32_t c = 0; c < sourceChannels_; ++c) sum += planes[c][f];
      *out++ = static_cast<int16_t>(clampUnit(sum / static_cast<float>(sourceChannels_)) * 32767.0f);
    } else {
      for (uint32_t c = 0; c < sourceChannels_; ++c) {
        *out++ = static_cast<int16_t>(clampUnit(planes[c][f]) * 32767.0f);
      }
    }
  }
  return got;
}

bool VorbisStream::rewind() { return ov_pcm_seek(&state_->file, 0) == 0; }


bool oggPagesComplete(std::span<const uint8_t> data) {
  constexpr size_t kHeaderSize = 27;
  size_t position = 0;
  bool sawPage = false;
  bool lastEndsStream = false;
  while (position + 4 <= data.size() && std::memcmp(data.data() + position, "OggS", 4) == 0) {
    if (data.size() - position < kHeaderSize) return false;
    const uint8_t* page = data.data() + position;
    const size_t segments = page[26];
    if (data.size() - position - kHeaderSize < segments) return false;
    size_t body = 0;
    for (size_t i = 0; i < segments; ++i) body += page[kHeaderSize + i];
    const size_t pageSize = kHeaderSize + segments + body;
    if (data.size() - position < pageSize) return false;
    sawPage = true;
    lastEndsStream = (page[5] & 0x04) != 0;
    position += pageSize;
  }
  // Bytes after the last page that are not a page (a tag some tools append) are tolerated.
  return sawPage && lastEndsStream;
}

std::optional<DecodedSound> decodeOggVorbis(std::span<const uint8_t> data, bool mono) {
  std::unique_ptr<VorbisStream> stream = VorbisStream::open(data, mono);
  if (!stream) return std::nullopt;
  DecodedSound sound;
  sound.rate = stream->rate();
  sound.channels = stream->channels();
  // The stream's own length, when it can be believed, saves regrowing the buffer.
  if (stream->totalFrames() > 0 && stream->totalFrames() <= kMaxDecodedValues / sound.channels) {
    sound.samples.reserve(static_cast<size_t>(stream->totalFrames()) * sound.channels);
  }
  std::vector<int16_t> piece(size_t{4096} * sound.channels);
  for (;;) {
    const long frames = stream->read(piece.data(), 4096);
    if (frames == 0) break;
    if (frames < 0) return std::nullopt;
    const size_t added = static_cast<size_t>(frames) * sound.channels;
    if (added > kMaxDecodedValues - sound.samples.size()) return std::nullopt;
    sound.samples.insert(sound.samples.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(added));
  }
  if (sound.samples.empty()) return std::nullopt;
  return sound;
}

}  // namespace platform
