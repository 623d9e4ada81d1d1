#include "platform/sound/vorbis_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "tests/platform/sound/sound_test_media.h"

namespace {

using platform::decodeOggVorbis;

double peak(const platform::DecodedSound& sound) {
  int peak = 0;
  for (int16_t v : sound.samples) peak = std::max(peak, std::abs(static_cast<int>(v)));
  return peak / 32767.0;
}

TEST(VorbisDecoder, DecodesToneWithItsRateLengthAndLevel) {
  const auto ogg = soundtest::sineOgg(440, 1.0, 0.5, 1, 22050);
  const auto sound = decodeOggVorbis(ogg, false);
  ASSERT_TRUE(sound);
  EXPECT_EQ(sound->rate, 22050u);
  EXPECT_EQ(sound->channels, 1u);
  EXPECT_EQ(sound->frames(), 22050u);
  EXPECT_NEAR(peak(*sound), 0.5, 0.05);
}

TEST(VorbisDecoder, StereoStaysStereoUnlessMonoIsAskedFor) {
  // Left and right in opposite phase: their average is silence.
  std::vector<float> samples;
  for (int f = 0; f < 44100; ++f) {
    const auto v = static_cast<float>(0.5 * std::sin(2 * M_PI * 300 * f / 44100.0));
    samples.push_back(v);
    samples.push_back(-v);
  }
  const auto ogg = soundtest::encodeOgg(samples, 2, 44100);
  const auto stereo = decodeOggVorbis(ogg, false);
  ASSERT_TRUE(stereo);
  EXPECT_EQ(stereo->channels, 2u);
  EXPECT_NEAR(peak(*stereo), 0.5, 0.05);

  const auto mono = decodeOggVorbis(ogg, true);
  ASSERT_TRUE(mono);
  EXPECT_EQ(mono->channels, 1u);
  EXPECT_EQ(mono->frames(), stereo->frames());
  EXPECT_LT(peak(*mono), 0.05);
}

TEST(VorbisDecoder, RefusesEveryTruncationOfAFile) {
  const auto ogg = soundtest::sineOgg(440, 0.5);
  ASSERT_TRUE(decodeOggVorbis(ogg, false));
  for (size_t cut = 0; cut < ogg.size(); cut += 7) {
    const std::span<const uint8_t> part(ogg.data(), cut);
    EXPECT_FALSE(decodeOggVorbis(part, false)) << "cut at " << cut << " of " << ogg.size();
  }
  EXPECT_FALSE(decodeOggVorbis(std::span(ogg.data(), ogg.size() - 1), false));
}

TEST(VorbisDecoder, RefusesDamagedAudioPagesAndNonOggData) {
  const auto ogg = soundtest::sineOgg(440, 2.0);
  auto damaged = ogg;
  damaged[damaged.size() / 2] ^= 0x5A;  // the page checksum no longer matches
  EXPECT_FALSE(decodeOggVorbis(damaged, false));

  const std::vector<uint8_t> text = {'n', 'o', 't', ' ', 'o', 'g', 'g'};
  EXPECT_FALSE(decodeOggVorbis(text, false));
  EXPECT_FALSE(decodeOggVorbis({}, false));
  // A lone, complete page that ends its stream but holds no Vorbis headers.
  std::vector<uint8_t> empty(27, 0);
  std::memcpy(empty.data(), "OggS", 4);
  empty[5] = 0x04;
  EXPECT_FALSE(decodeOggVorbis(empty, false));
}

TEST(VorbisDecoder, SurvivesRandomDamageAnywhere) {
  const auto ogg = soundtest::sineOgg(523, 0.3);
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    auto copy = ogg;
    const int flips = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < flips; ++i) copy[random() % copy.size()] = static_cast<uint8_t>(random());
    const auto sound = decodeOggVorbis(copy, round % 2 == 0);  // must return, either way
    if (sound) {
      EXPECT_FALSE(sound->samples.empty());
    }
  }
}

TEST(VorbisDecoder, ToleratesBytesAfterTheLastPage) {
  auto ogg = soundtest::sineOgg(440, 0.2);
  for (char c : std::string("TAG trailing bytes")) ogg.push_back(static_cast<uint8_t>(c));
  EXPECT_TRUE(decodeOggVorbis(ogg, false));
}

TEST(VorbisDecoder, AStreamGivesTheWholeSoundInPiecesAndStartsAgainAfterARewind) {
  const auto ogg = soundtest::sineOgg(440, 0.5, 0.5, 2, 22050);
  const auto whole = decodeOggVorbis(ogg, true);
  ASSERT_TRUE(whole);
  auto stream = platform::VorbisStream::open(ogg, true);
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->rate(), 22050u);
  EXPECT_EQ(stream->channels(), 1u);
  EXPECT_EQ(stream->totalFrames(), whole->frames());
  const auto readAll = [&] {
    std::vector<int16_t> all, piece(1000);
    for (long got; (got = stream->read(piece.data(), piece.size())) > 0;) {
      all.insert(all.end(), piece.begin(), piece.begin() + got);
    }
    return all;
  };
  EXPECT_EQ(readAll(), whole->samples);
  EXPECT_EQ(stream->read(nullptr, 0), 0);
  ASSERT_TRUE(stream->rewind());
  EXPECT_EQ(readAll(), whole->samples);
}

TEST(VorbisDecoder, AStreamRefusesWhatTheWholeDecoderRefusesAtOpenOrReportsDamageWhenRead) {
  const auto ogg = soundtest::noiseOgg(2.0);
  EXPECT_FALSE(platform::VorbisStream::open(std::span(ogg.data(), ogg.size() - 1), false));
  EXPECT_FALSE(platform::VorbisStream::open({}, false));
  auto damaged = ogg;
  damaged[damaged.size() / 2] ^= 0x5A;
  auto stream = platform::VorbisStream::open(damaged, false);
  ASSERT_TRUE(stream);  // the headers are intact
  std::vector<int16_t> piece(4096);
  long got = 0;
  int pieces = 0;
  while ((got = stream->read(piece.data(), piece.size())) > 0) ++pieces;
  EXPECT_EQ(got, -1);
  EXPECT_GT(pieces, 0);
}

}  // namespace
