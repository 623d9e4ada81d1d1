#include "platform/sound/vorbis_decoder.h"

#include <vorbis/vorbisfile.h>

#include <cerrno>
#include <cstring>
#include <limits>

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

long tellMemory(void* source) {
  return static_cast<long>(static_cast<MemoryReader*>(source)->position);
}

// Closes the vorbisfile state on every path out of the decoder.
struct VorbisFile {
  OggVorbis_File file{};
  bool open = false;
  ~VorbisFile() {
    if (open) ov_clear(&file);
  }
};

}  // namespace

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
  if (data.empty() || !oggPagesComplete(data)) return std::nullopt;

  MemoryReader reader{data, 0};
  const ov_callbacks callbacks{readMemory, seekMemory, nullptr, tellMemory};
  VorbisFile vf;
  if (ov_open_callbacks(&reader, &vf.file, nullptr, 0, callbacks) != 0) return std::nullopt;
  vf.open = true;

  const vorbis_info* info = ov_info(&vf.file, -1);
  if (info == nullptr || info->channels < 1 || info->channels > 255 || info->rate < 1000 ||
      info->rate > 192000) {
    return std::nullopt;
  }
  const auto sourceChannels = static_cast<size_t>(info->channels);
  const long rate = info->rate;
  const bool downmix = mono || sourceChannels > 2;

  DecodedSound sound;
  sound.rate = static_cast<uint32_t>(rate);
  sound.channels = downmix ? 1 : static_cast<uint32_t>(sourceChannels);

  // The stream's own length, when it can be believed, saves regrowing the buffer.
  const ogg_int64_t total = ov_pcm_total(&vf.file, -1);
  if (total > 0 && static_cast<uint64_t>(total) <= kMaxDecodedValues / sound.channels) {
    sound.samples.reserve(static_cast<size_t>(total) * sound.channels);
  }

  // Decoding straight into float planes lets the downmix average without clipping.
  int section = -1;
  for (;;) {
    float** planes = nullptr;
    const long frames = ov_read_float(&vf.file, &planes, 4096, &section);
    if (frames == 0) break;
    if (frames < 0) return std::nullopt;  // a hole or a bad link: corrupted data
    const vorbis_info* now = ov_info(&vf.file, section);
    if (now == nullptr || static_cast<size_t>(now->channels) != sourceChannels ||
        now->rate != rate) {
      return std::nullopt;  // a chained file whose links differ cannot be one sample
    }
    const size_t added = static_cast<size_t>(frames) * sound.channels;
    if (added > kMaxDecodedValues - sound.samples.size()) return std::nullopt;
    for (long f = 0; f < frames; ++f) {
      if (downmix) {
        float sum = 0;
        for (size_t c = 0; c < sourceChannels; ++c) sum += planes[c][f];
        float v = sum / static_cast<float>(sourceChannels);
        v = v > 1.0f ? 1.0f : (v < -1.0f ? -1.0f : v);
        sound.samples.push_back(static_cast<int16_t>(v * 32767.0f));
      } else {
        for (size_t c = 0; c < sourceChannels; ++c) {
          float v = planes[c][f];
          v = v > 1.0f ? 1.0f : (v < -1.0f ? -1.0f : v);
          sound.samples.push_back(static_cast<int16_t>(v * 32767.0f));
        }
      }
    }
  }
  if (sound.samples.empty()) return std::nullopt;
  return sound;
}

}  // namespace platform
