#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/temp_dir.h"
#include "tools/soundgen/loop_join.h"
#include "tools/soundgen/wav_file.h"

namespace soundgen {
namespace {

Audio sine(double frequency, double seconds, int channels = 1) {
  Audio a(channels, static_cast<std::size_t>(seconds * kSampleRate));
  for (auto& ch : a.channels)
    for (std::size_t i = 0; i < ch.size(); ++i)
      ch[i] = static_cast<float>(0.5 * std::sin(2 * kPi * frequency * static_cast<double>(i) / kSampleRate));
  return a;
}

std::string le16(int v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string le32(std::uint32_t v) { return le16(static_cast<int>(v & 0xFFFF)) + le16(static_cast<int>(v >> 16)); }

std::string pcm16File(const std::vector<std::int16_t>& samples, int channels, std::uint32_t dataSizeField) {
  std::string f = "RIFF" + le32(0) + "WAVEfmt " + le32(16) + le16(1) + le16(channels) + le32(44100) +
                  le32(44100u * 2u * static_cast<std::uint32_t>(channels)) + le16(2 * channels) + le16(16);
  f += "LIST" + le32(3) + "abc" + std::string(1, '\0');  // odd-sized chunk with its pad byte
  f += "data" + le32(dataSizeField);
  for (auto s : samples) f += le16(static_cast<std::uint16_t>(s));
  return f;
}

TEST(WavFile, FloatFilesRoundTrip) {
  testsupport::TempDir dir;
  Audio a = sine(440, 0.1, 2);
  a.channels[1][7] = -1.0f;
  const auto path = dir.file("a.wav").string();
  ASSERT_TRUE(writeWavFloat(path, a));
  const auto b = readWav(path);
  ASSERT_TRUE(b.has_value());
  EXPECT_EQ(b->rate, 44100);
  ASSERT_EQ(b->channelCount(), 2);
  EXPECT_EQ(b->channels, a.channels);
}

TEST(WavFile, ReadsPcm16AndSkipsOtherChunks) {
  const auto audio = decodeWav(pcm16File({0, 16384, -32768, 32767}, 2, 8));
  ASSERT_TRUE(audio.has_value());
  ASSERT_EQ(audio->frames(), 2u);
  EXPECT_FLOAT_EQ(audio->channels[0][0], 0.0f);
  EXPECT_FLOAT_EQ(audio->channels[1][0], 0.5f);
  EXPECT_FLOAT_EQ(audio->channels[0][1], -1.0f);
  EXPECT_NEAR(audio->channels[1][1], 1.0f, 1e-4);
}

TEST(WavFile, DamagedFilesGiveNoAudio) {
  // A data chunk that claims more bytes than the file has, a missing format chunk, a
  // truncated header, a foreign container and an unsupported sample size.
  EXPECT_FALSE(decodeWav(pcm16File({1, 2}, 1, 4000)).has_value());
  EXPECT_FALSE(decodeWav("RIFF" + le32(12) + "WAVEdata" + le32(0)).has_value());
  EXPECT_FALSE(decodeWav("RIFF\0\0").has_value());
  EXPECT_FALSE(decodeWav(std::string("OggS") + std::string(40, '\0')).has_value());
  std::string eightBit = pcm16File({1, 2}, 1, 4);
  eightBit[34] = 8;
  EXPECT_FALSE(decodeWav(eightBit).has_value());
  EXPECT_FALSE(readWav("/nonexistent/file.wav").has_value());
}

TEST(LoopJoin, FadingTheOverhangInRemovesTheClickOfAPlainCut) {
  // 437.5 Hz leaves half a period over in one second, so cutting a second out leaves a
  // jump at the wrap-around.
  const Audio source = sine(437.5, 1.5);
  const auto plain = joinLoop(source, 1000, kSampleRate, 0, FadeShape::Linear);
  const auto joined = joinLoop(source, 1000, kSampleRate, 2205, FadeShape::Linear);
  ASSERT_TRUE(plain && joined);
  const JoinStep cut = measureJoin(*plain), smooth = measureJoin(*joined);
  EXPECT_GT(cut.step, 5.0 * cut.localStep);
  EXPECT_LE(smooth.step, 1.5 * smooth.localStep);
  EXPECT_EQ(joined->frames(), static_cast<std::size_t>(kSampleRate));
}

TEST(LoopJoin, MaterialThatRepeatsIsLeftUntouched) {
  // Two identical passes: the fade blends a signal with itself and changes nothing.
  const Audio source = sine(441, 2.0);  // 441 Hz: exactly 441 periods a second
  const auto loop = joinLoop(source, kSampleRate / 2, kSampleRate, 4410, FadeShape::Linear);
  ASSERT_TRUE(loop);
  for (std::size_t i = 0; i < loop->frames(); ++i)
    ASSERT_NEAR(loop->channels[0][i], source.channels[0][kSampleRate / 2 + i], 1e-6) << i;
}

TEST(LoopJoin, EqualPowerKeepsUnrelatedNoiseAtItsLoudness) {
  Random rng(5);
  Audio noise(1, 3 * kSampleRate);
  for (float& s : noise.channels[0]) s = static_cast<float>(rng.range(-0.5, 0.5));
  const auto loop = joinLoop(noise, 0, 2 * kSampleRate, kSampleRate / 2, FadeShape::EqualPower);
  ASSERT_TRUE(loop);
  Audio fadeRegion(1, kSampleRate / 2);
  std::copy(loop->channels[0].begin(), loop->channels[0].begin() + kSampleRate / 2, fadeRegion.channels[0].begin());
  EXPECT_NEAR(20 * std::log10(rmsOf(fadeRegion) / rmsOf(noise)), 0.0, 0.5);
}

TEST(LoopJoin, RefusesSourcesTooShortForTheLoop) {
  const Audio source = sine(440, 1.0);
  EXPECT_FALSE(joinLoop(source, 0, kSampleRate, 1, FadeShape::Linear));
  EXPECT_FALSE(joinLoop(source, kSampleRate + 5, 10, 0, FadeShape::Linear));
  EXPECT_FALSE(joinLoop(source, 0, 100, 200, FadeShape::Linear));
  EXPECT_FALSE(joinLoop(source, 0, 0, 0, FadeShape::Linear));
}

}  // namespace
}  // namespace soundgen
