// Feeds arbitrary bytes to the sample decoder, as a damaged or hostile media file would.
#include <cstddef>
#include <cstdint>

#include "platform/sound/vorbis_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  platform::oggPagesComplete(bytes);
  platform::decodeOggVorbis(bytes, (size & 1) != 0);
  return 0;
}
