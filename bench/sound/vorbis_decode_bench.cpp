// Decoding the scene's sounds happens at load, before the first frame: the music dominates.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "platform/sound/vorbis_decoder.h"

namespace {

std::vector<uint8_t> mediaFile(const char* name) {
  std::ifstream in(std::string(BRASSMOOR_MEDIA_DIR) + "/" + name, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void decode(benchmark::State& state, const char* name, bool mono) {
  const std::vector<uint8_t> bytes = mediaFile(name);
  if (bytes.empty()) {
    state.SkipWithError("media file missing");
    return;
  }
  size_t frames = 0;
  for (auto _ : state) {
    auto sound = platform::decodeOggVorbis(bytes, mono);
    if (!sound) {
      state.SkipWithError("decode failed");
      return;
    }
    frames = sound->frames();
    benchmark::DoNotOptimize(sound->samples.data());
  }
  state.counters["seconds_of_sound"] = static_cast<double>(frames) / 44100.0;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

BENCHMARK_CAPTURE(decode, music, "ClockMusic.ogg", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode, rain, "ClockRain.ogg", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode, ticks_mono, "ClockTicks.ogg", true)->Unit(benchmark::kMillisecond);

}  // namespace
