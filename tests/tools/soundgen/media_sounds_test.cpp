// The six sounds in media/ as the player will meet them: decoded from Ogg Vorbis.
#include <vorbis/vorbisfile.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <string>

#include "tools/soundgen/dsp.h"
#include "tools/soundgen/loop_join.h"

namespace soundgen {
namespace {

std::optional<Audio> decodeOgg(const std::string& name) {
  const std::string path = std::string(BRASSMOOR_SOURCE_DIR) + "/media/" + name;
  OggVorbis_File vf;
  if (ov_fopen(path.c_str(), &vf) != 0) return std::nullopt;
  const vorbis_info* info = ov_info(&vf, -1);
  Audio audio(info->channels, 0, static_cast<int>(info->rate));
  for (;;) {
    float** pcm = nullptr;
    int section = 0;
    const long frames = ov_read_float(&vf, &pcm, 4096, &section);
    if (frames < 0) {
      ov_clear(&vf);
      return std::nullopt;
    }
    if (frames == 0) break;
    for (int c = 0; c < info->channels; ++c)
      audio.channels[static_cast<std::size_t>(c)].insert(audio.channels[static_cast<std::size_t>(c)].end(), pcm[c],
                                                         pcm[c] + frames);
  }
  ov_clear(&vf);
  return audio;
}

double db(double linear) { return 20.0 * std::log10(linear); }

struct Expectation {
  int channels;
  double minSeconds, maxSeconds;
  bool loops;
};

const std::map<std::string, Expectation> kSounds = {
    {"ClockMusic.ogg", {2, 120.0, 180.0, true}}, {"ClockRain.ogg", {2, 30.0, 60.0, true}},
    {"ClockGrom1.ogg", {2, 4.0, 12.0, false}},   {"ClockGrom2.ogg", {2, 4.0, 12.0, false}},
    {"ClockGrom3.ogg", {2, 4.0, 12.0, false}},   {"ClockTicks.ogg", {1, 2.0, 2.0, true}},
    {"ClockBell.ogg", {1, 5.0, 9.0, false}},     {"ClockChime.ogg", {1, 3.0, 6.0, false}},
};

class MediaSounds : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (const auto& [name, expect] : kSounds) {
      auto audio = decodeOgg(name);
      if (audio) decoded_[name] = std::move(*audio);
    }
  }
  static const Audio* get(const std::string& name) {
    auto it = decoded_.find(name);
    return it == decoded_.end() ? nullptr : &it->second;
  }
  static std::map<std::string, Audio> decoded_;
};
std::map<std::string, Audio> MediaSounds::decoded_;

TEST_F(MediaSounds, EachDecodesAt44kHzWithItsChannelsAndLength) {
  for (const auto& [name, expect] : kSounds) {
    const Audio* a = get(name);
    ASSERT_NE(a, nullptr) << name << " does not decode";
    EXPECT_EQ(a->rate, 44100) << name;
    EXPECT_EQ(a->channelCount(), expect.channels) << name;
    const double seconds = static_cast<double>(a->frames()) / a->rate;
    EXPECT_GE(seconds, expect.minSeconds - 1e-3) << name;
    EXPECT_LE(seconds, expect.maxSeconds + 1e-3) << name;
    std::printf("%-15s %7.3f s  peak %6.2f dBFS  RMS %6.2f dBFS\n", name.c_str(), seconds, db(peakOf(*a)),
                db(rmsOf(*a)));
  }
}

TEST_F(MediaSounds, LoopsJoinEndToStartWithoutAClickOrAGap) {
  for (const auto& [name, expect] : kSounds) {
    if (!expect.loops) continue;
    const Audio* a = get(name);
    ASSERT_NE(a, nullptr) << name;
    const JoinStep join = measureJoin(*a);
    std::printf("%-15s join step %.5f, neighbouring steps %.5f\n", name.c_str(), join.step, join.localStep);
    EXPECT_LE(join.step, 4.0 * join.localStep + 0.002) << name;
    if (name == "ClockTicks.ogg") continue;  // its quiet stretch before the tick is intended
    // No gap: the first and last quarter seconds carry sound like the rest of the loop.
    const std::size_t quarter = static_cast<std::size_t>(a->rate / 4);
    Audio head(a->channelCount(), quarter), tail(a->channelCount(), quarter);
    for (int c = 0; c < a->channelCount(); ++c) {
      const auto& ch = a->channels[static_cast<std::size_t>(c)];
      std::copy(ch.begin(), ch.begin() + static_cast<std::ptrdiff_t>(quarter),
                head.channels[static_cast<std::size_t>(c)].begin());
      std::copy(ch.end() - static_cast<std::ptrdiff_t>(quarter), ch.end(),
                tail.channels[static_cast<std::size_t>(c)].begin());
    }
    EXPECT_GT(db(rmsOf(head)), db(rmsOf(*a)) - 12.0) << name;
    EXPECT_GT(db(rmsOf(tail)), db(rmsOf(*a)) - 12.0) << name;
  }
}

TEST_F(MediaSounds, LevelsSitTogetherAndThunderStandsOutWithoutClipping) {
  const Audio *music = get("ClockMusic.ogg"), *rain = get("ClockRain.ogg"), *ticks = get("ClockTicks.ogg");
  ASSERT_TRUE(music && rain && ticks);
  for (const auto& [name, expect] : kSounds) {
    ASSERT_NE(get(name), nullptr) << name;
    EXPECT_LT(db(peakOf(*get(name))), -0.3) << name << " is too close to clipping";
  }
  // Music leads, the rain lies under it but is still heard.
  const double musicRms = db(rmsOf(*music)), rainRms = db(rmsOf(*rain));
  EXPECT_GT(musicRms - rainRms, 2.0);
  EXPECT_LT(musicRms - rainRms, 12.0);
  EXPECT_GT(musicRms, -30.0);
  EXPECT_LT(musicRms, -18.0);
  // The near strike and the rolling peal peak well above the music; even the distant one
  // is louder than the rain's peaks.
  EXPECT_GT(db(peakOf(*get("ClockGrom1.ogg"))), db(peakOf(*music)) + 1.5);
  EXPECT_GT(db(peakOf(*get("ClockGrom2.ogg"))), db(peakOf(*music)) + 0.5);
  EXPECT_GT(db(peakOf(*get("ClockGrom3.ogg"))), db(peakOf(*rain)));
  // Ticks: clear, but not a hammer.
  EXPECT_GT(db(peakOf(*ticks)), -14.0);
  EXPECT_LT(db(peakOf(*ticks)), -3.0);
}

}  // namespace
}  // namespace soundgen
