#pragma once
// Sounds made inside the tests: Ogg Vorbis files encoded from generated tones, and a reader
// of the WAV files the mixer writes, with level measurements over time.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace soundtest {

// Encodes interleaved float samples (-1..1) as an Ogg Vorbis file.
std::vector<uint8_t> encodeOgg(const std::vector<float>& interleaved, int channels, int rate);

// A sine of `hz` at `amplitude`, `seconds` long, the same in every channel.
std::vector<uint8_t> sineOgg(double hz, double seconds, double amplitude = 0.5, int channels = 1, int rate = 44100);

// Mono noise at 44.1 kHz: unlike a tone it fills many pages, so damage in its middle falls
// on audio rather than on the headers.
std::vector<uint8_t> noiseOgg(double seconds, double amplitude = 0.25);

struct Wav {
  int rate = 0;
  int channels = 0;
  std::vector<float> samples;  // interleaved, -1..1

  size_t frames() const { return channels ? samples.size() / channels : 0; }
  double seconds() const { return rate ? static_cast<double>(frames()) / rate : 0; }
  // Root mean square over [from, to) seconds, all channels, or one channel (0 left, 1 right).
  double rms(double from, double to, int channel = -1) const;
  // Amplitude of the `hz` component over [from, to) seconds (Goertzel, channels averaged).
  double toneAmplitude(double hz, double from, double to) const;
};

// Reads a 16-bit PCM or 32-bit float WAV file (plain or extensible header).
std::optional<Wav> readWav(const std::filesystem::path& path);

}  // namespace soundtest
