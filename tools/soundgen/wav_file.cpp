#include "tools/soundgen/wav_file.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace soundgen {
namespace {

void put16(std::string& out, std::uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void put32(std::string& out, std::uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}
std::uint32_t get16(const std::string& in, std::size_t at) {
  return static_cast<std::uint8_t>(in[at]) | static_cast<std::uint8_t>(in[at + 1]) << 8;
}
std::uint32_t get32(const std::string& in, std::size_t at) { return get16(in, at) | get16(in, at + 2) << 16; }

constexpr std::uint32_t kFormatPcm = 1;
constexpr std::uint32_t kFormatFloat = 3;
constexpr std::uint32_t kFormatExtensible = 0xFFFE;

}  // namespace

bool writeWavFloat(const std::string& path, const Audio& audio) {
  const std::uint32_t channels = static_cast<std::uint32_t>(audio.channelCount());
  const std::size_t frames = audio.frames();
  const std::size_t dataBytes = frames * channels * 4;
  if (channels == 0 || dataBytes > 0xFFFFFF00u) return false;
  std::string out;
  out.reserve(46 + dataBytes);
  out += "RIFF";
  put32(out, static_cast<std::uint32_t>(38 + dataBytes));
  out += "WAVEfmt ";
  put32(out, 18);  // a non-PCM format carries the (empty) extension size
  put16(out, kFormatFloat);
  put16(out, channels);
  put32(out, static_cast<std::uint32_t>(audio.rate));
  put32(out, static_cast<std::uint32_t>(audio.rate) * channels * 4);
  put16(out, channels * 4);
  put16(out, 32);
  put16(out, 0);
  out += "data";
  put32(out, static_cast<std::uint32_t>(dataBytes));
  for (std::size_t i = 0; i < frames; ++i) {
    for (const auto& ch : audio.channels) {
      char bytes[4];
      std::memcpy(bytes, &ch[i], 4);
      out.append(bytes, 4);
    }
  }
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(out.data(), static_cast<std::streamsize>(out.size()));
  return static_cast<bool>(file);
}

std::optional<Audio> decodeWav(const std::string& in) {
  if (in.size() < 12 || in.compare(0, 4, "RIFF") != 0 || in.compare(8, 4, "WAVE") != 0) return std::nullopt;
  std::uint32_t format = 0, channels = 0, rate = 0, bits = 0;
  bool haveFormat = false;
  std::size_t at = 12;
  while (at + 8 <= in.size()) {
    const std::string id = in.substr(at, 4);
    const std::size_t size = get32(in, at + 4);
    const std::size_t body = at + 8;
    if (size > in.size() - body) return std::nullopt;
    if (id == "fmt ") {
      if (size < 16) return std::nullopt;
      format = get16(in, body);
      channels = get16(in, body + 2);
      rate = get32(in, body + 4);
      bits = get16(in, body + 14);
      if (format == kFormatExtensible) {
        if (size < 26) return std::nullopt;
        format = get16(in, body + 24);  // first two bytes of the sub-format GUID
      }
      haveFormat = true;
    } else if (id == "data") {
      if (!haveFormat || channels == 0 || channels > 8 || rate == 0) return std::nullopt;
      const bool isFloat = format == kFormatFloat && bits == 32;
      const bool isPcm = format == kFormatPcm && (bits == 16 || bits == 24 || bits == 32);
      if (!isFloat && !isPcm) return std::nullopt;
      const std::size_t bytesPerSample = bits / 8;
      const std::size_t frames = size / (bytesPerSample * channels);
      Audio audio(static_cast<int>(channels), frames, static_cast<int>(rate));
      std::size_t p = body;
      for (std::size_t i = 0; i < frames; ++i) {
        for (std::uint32_t c = 0; c < channels; ++c, p += bytesPerSample) {
          float v;
          if (isFloat) {
            std::uint32_t raw = get32(in, p);
            std::memcpy(&v, &raw, 4);
          } else if (bits == 16) {
            v = static_cast<float>(static_cast<std::int16_t>(get16(in, p)) / 32768.0);
          } else if (bits == 24) {
            std::uint32_t bytes3 = static_cast<std::uint8_t>(in[p]) |
                                   static_cast<std::uint32_t>(static_cast<std::uint8_t>(in[p + 1])) << 8 |
                                   static_cast<std::uint32_t>(static_cast<std::uint8_t>(in[p + 2])) << 16;
            std::int32_t raw = static_cast<std::int32_t>(bytes3 << 8);
            v = static_cast<float>((raw >> 8) / 8388608.0);
          } else {
            v = static_cast<float>(static_cast<std::int32_t>(get32(in, p)) / 2147483648.0);
          }
          audio.channels[c][i] = v;
        }
      }
      return audio;
    }
    at = body + size + (size & 1);
  }
  return std::nullopt;
}

std::optional<Audio> readWav(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return decodeWav(bytes);
}

}  // namespace soundgen
