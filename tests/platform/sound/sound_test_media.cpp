#include "tests/platform/sound/sound_test_media.h"

#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

namespace soundtest {

std::vector<uint8_t> encodeOgg(const std::vector<float>& interleaved, int channels, int rate) {
  std::vector<uint8_t> out;
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, channels, rate, 0.5f) != 0) {
    vorbis_info_clear(&vi);
    return out;
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block vb;
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, 1234);

  const auto append = [&out](const ogg_page& page) {
    out.insert(out.end(), page.header, page.header + page.header_len);
    out.insert(out.end(), page.body, page.body + page.body_len);
  };
  ogg_packet header, comment, code;
  vorbis_analysis_headerout(&vd, &vc, &header, &comment, &code);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &comment);
  ogg_stream_packetin(&os, &code);
  ogg_page page;
  while (ogg_stream_flush(&os, &page) != 0) append(page);

  const size_t frames = interleaved.size() / static_cast<size_t>(channels);
  size_t done = 0;
  bool eos = false;
  while (!eos) {
    const size_t chunk = std::min<size_t>(1024, frames - done);
    if (chunk == 0) {
      vorbis_analysis_wrote(&vd, 0);
    } else {
      float** buffer = vorbis_analysis_buffer(&vd, static_cast<int>(chunk));
      for (size_t f = 0; f < chunk; ++f) {
        for (int c = 0; c < channels; ++c) {
          buffer[c][f] = interleaved[(done + f) * static_cast<size_t>(channels) + c];
        }
      }
      vorbis_analysis_wrote(&vd, static_cast<int>(chunk));
      done += chunk;
    }
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&vd, &packet) != 0) {
        ogg_stream_packetin(&os, &packet);
        while (ogg_stream_pageout(&os, &page) != 0) {
          append(page);
          if (ogg_page_eos(&page)) eos = true;
        }
      }
    }
  }
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return out;
}

std::vector<uint8_t> sineOgg(double hz, double seconds, double amplitude, int channels, int rate) {
  const auto frames = static_cast<size_t>(seconds * rate);
  std::vector<float> samples(frames * static_cast<size_t>(channels));
  for (size_t f = 0; f < frames; ++f) {
    const auto v = static_cast<float>(amplitude * std::sin(2 * M_PI * hz * f / rate));
    for (int c = 0; c < channels; ++c) samples[f * channels + c] = v;
  }
  return encodeOgg(samples, channels, rate);
}

std::vector<uint8_t> noiseOgg(double seconds, double amplitude) {
  std::mt19937 random(3);
  std::uniform_real_distribution<float> value(static_cast<float>(-amplitude), static_cast<float>(amplitude));
  std::vector<float> samples(static_cast<size_t>(seconds * 44100));
  for (float& v : samples) v = value(random);
  return encodeOgg(samples, 1, 44100);
}

namespace {
uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
}  // namespace

std::optional<Wav> readWav(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
    return std::nullopt;
  }
  Wav wav;
  int bits = 0;
  bool isFloat = false;
  size_t pos = 12;
  while (pos + 8 <= bytes.size()) {
    const uint8_t* chunk = bytes.data() + pos;
    size_t size = le32(chunk + 4);
    const size_t bodyStart = pos + 8;
    if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16 && bodyStart + 16 <= bytes.size()) {
      uint16_t format = le16(chunk + 8);
      wav.channels = le16(chunk + 10);
      wav.rate = static_cast<int>(le32(chunk + 12));
      bits = le16(chunk + 22);
      if (format == 0xFFFE && size >= 40 && bodyStart + 40 <= bytes.size()) {
        format = le16(chunk + 8 + 24);  // the sub-format's first two bytes
      }
      isFloat = format == 3;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      // A writer that was not closed leaves the size open; take what is there.
      size = std::min(size, bytes.size() - bodyStart);
      if (wav.channels == 0) return std::nullopt;
      const uint8_t* data = bytes.data() + bodyStart;
      if (bits == 16 && !isFloat) {
        for (size_t i = 0; i + 1 < size; i += 2) {
          wav.samples.push_back(static_cast<int16_t>(le16(data + i)) / 32768.0f);
        }
      } else if (bits == 32 && isFloat) {
        for (size_t i = 0; i + 3 < size; i += 4) {
          float v;
          std::memcpy(&v, data + i, 4);
          wav.samples.push_back(v);
        }
      } else {
        return std::nullopt;
      }
      return wav;
    }
    pos = bodyStart + size + (size & 1);
  }
  return std::nullopt;
}

double Wav::rms(double from, double to, int channel) const {
  const size_t a = static_cast<size_t>(std::max(0.0, from) * rate);
  const size_t b = std::min(frames(), static_cast<size_t>(std::max(0.0, to) * rate));
  double sum = 0;
  size_t n = 0;
  for (size_t f = a; f < b; ++f) {
    for (int c = 0; c < channels; ++c) {
      if (channel >= 0 && c != channel) continue;
      const double v = samples[f * channels + c];
      sum += v * v;
      ++n;
    }
  }
  return n ? std::sqrt(sum / n) : 0;
}

double Wav::toneAmplitude(double hz, double from, double to) const {
  const size_t a = static_cast<size_t>(std::max(0.0, from) * rate);
  const size_t b = std::min(frames(), static_cast<size_t>(std::max(0.0, to) * rate));
  if (b <= a) return 0;
  const double w = 2 * M_PI * hz / rate;
  const double coeff = 2 * std::cos(w);
  double total = 0;
  for (int c = 0; c < channels; ++c) {
    double s1 = 0, s2 = 0;
    for (size_t f = a; f < b; ++f) {
      const double s = samples[f * channels + c] + coeff * s1 - s2;
      s2 = s1;
      s1 = s;
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    total += 2 * std::sqrt(std::max(0.0, power)) / static_cast<double>(b - a);
  }
  return total / channels;
}

}  // namespace soundtest
