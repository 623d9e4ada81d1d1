// Real playback through the mixer, written to a WAV file and measured there. Each test plays
// for a second or two in real time.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "platform/sound/openal_sound_library.h"
#include "tests/platform/sound/sound_test_media.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace platform;
using namespace std::chrono_literals;

struct Played {
  std::unique_ptr<SoundLibrary> lib;
  std::filesystem::path file;
};

// `streamAbove` 0 streams every sound, however short.
Played openWave(const testsupport::TempDir& dir, const char* name = "out.wav",
                uint64_t streamAbove = SoundOutput{}.streamAboveBytes) {
  Played p{createOpenAlSoundLibrary(SoundOutput{dir.file(name), streamAbove}), dir.file(name)};
  EXPECT_TRUE(p.lib->Init(SOUND_DEVICE_DEFAULT, 44100, SOUND_DEVICE_3D, nullptr, nullptr));
  return p;
}

SoundHandle startLoop(SoundLibrary& lib, const std::vector<uint8_t>& ogg, uint32_t flags) {
  const SoundHandle sample = lib.SampleLoad(ogg.data(), 0, static_cast<uint32_t>(ogg.size()), 20,
                                            flags | SOUND_SAMPLE_LOOP);
  EXPECT_NE(sample, 0u);
  const SoundHandle channel = lib.SampleGetChannel(sample, true);
  EXPECT_TRUE(lib.ChannelPlay(channel, true));
  return channel;
}

std::optional<soundtest::Wav> finish(Played& p) {
  p.lib.reset();  // closing the device completes the file
  return soundtest::readWav(p.file);
}

TEST(OpenAlOutput, WritesWhatPlaysAtTheGlobalVolume) {
  testsupport::TempDir dir;
  const auto tone = soundtest::sineOgg(440, 1.0, 0.5);
  Played p = openWave(dir);
  startLoop(*p.lib, tone, 0);
  std::this_thread::sleep_for(600ms);
  p.lib->SetConfig(SOUND_CONFIG_GVOL_SAMPLE, 25);
  std::this_thread::sleep_for(600ms);
  auto wav = finish(p);
  ASSERT_TRUE(wav);
  EXPECT_EQ(wav->rate, 44100);
  EXPECT_EQ(wav->channels, 2);
  EXPECT_NEAR(wav->seconds(), 1.2, 0.25);
  // The file begins as the mixer starts, up to a few tenths after Init returned, so every
  // window keeps well clear of the moments the test changed something.
  const double loud = wav->toneAmplitude(440, 0.1, 0.35);
  const double quiet = wav->toneAmplitude(440, 0.85, 1.1);
  EXPECT_GT(loud, 0.2);                   // a mono sample at full volume, spread over two speakers
  EXPECT_NEAR(quiet / loud, 0.25, 0.03);  // volumes are linear
  EXPECT_LT(wav->toneAmplitude(1000, 0.1, 0.5), 0.01);
}

TEST(OpenAlOutput, TickingFadesWithDistanceAsTheClockSceneSetsItUp) {
  testsupport::TempDir dir;
  const auto tone = soundtest::sineOgg(1000, 1.0, 0.5);
  Played p = openWave(dir);
  SoundLibrary& lib = *p.lib;
  lib.Set3DFactors(-1, 0.1f, -1);
  const SoundHandle ticks = startLoop(lib, tone, SOUND_SAMPLE_MONO | SOUND_SAMPLE_3D);
  const SoundVector clock{300, 180, 50}, facing{0, 0, 1};
  lib.ChannelSet3DAttributes(ticks, SOUND_3DMODE_NORMAL, 0.0f, 400.0f, 360, 360, 100);
  lib.ChannelSet3DPosition(ticks, &clock, &facing, nullptr);
  const SoundVector front{1, 0, 0}, top{0, 1, 0};
  const auto listenAt = [&](SoundVector at) {
    lib.Set3DPosition(&at, nullptr, &front, &top);
    lib.Apply3D();
    std::this_thread::sleep_for(800ms);
  };
  listenAt(clock);            // at the dial
  listenAt({250, 180, 50});   // half a metre away
  listenAt({-200, 180, 50});  // five metres, across the room
  auto wav = finish(p);
  ASSERT_TRUE(wav);
  const double atClock = wav->toneAmplitude(1000, 0.2, 0.5);
  const double near = wav->toneAmplitude(1000, 1.0, 1.3);
  const double across = wav->toneAmplitude(1000, 1.8, 2.1);
  // 1 / (1 + 0.1 × (d − 1)) up to d = 400: 0.17 at 50 units, 0.024 from 400 on.
  EXPECT_GT(atClock, 0.2);
  EXPECT_NEAR(near / atClock, 0.169, 0.03);
  EXPECT_NEAR(across / atClock, 0.0244, 0.008);
}

TEST(OpenAlOutput, LeftAndRightAreTheScenesLeftAndRight) {
  testsupport::TempDir dir;
  const auto ogg = soundtest::sineOgg(700, 1.0, 0.5);
  Played p = openWave(dir);
  SoundLibrary& lib = *p.lib;
  const SoundHandle tone = startLoop(lib, ogg, SOUND_SAMPLE_MONO | SOUND_SAMPLE_3D);
  // Looking along +z with y up, +x is to the right in the scene's left-handed space.
  const SoundVector right{50, 0, 0}, origin{0, 0, 0}, front{0, 0, 1}, top{0, 1, 0};
  lib.ChannelSet3DPosition(tone, &right, nullptr, nullptr);
  lib.Set3DPosition(&origin, nullptr, &front, &top);
  lib.Apply3D();
  std::this_thread::sleep_for(600ms);
  auto wav = finish(p);
  ASSERT_TRUE(wav);
  EXPECT_GT(wav->rms(0.2, 0.5, 1), 2 * wav->rms(0.2, 0.5, 0));
}

TEST(OpenAlOutput, PanAndFrequencyActOnAFlatMonoChannel) {
  testsupport::TempDir dir;
  const auto ogg = soundtest::sineOgg(400, 1.0, 0.5);
  const auto drivers = [] {
    const char* value = std::getenv("ALSOFT_DRIVERS");
    return std::string(value ? value : "(unset)");
  };
  const std::string driversBefore = drivers();
  Played p = openWave(dir);
  // The redirection lives in the mixer, not in the environment children would inherit.
  EXPECT_EQ(drivers(), driversBefore);
  SoundLibrary& lib = *p.lib;
  const SoundHandle channel = startLoop(lib, ogg, 0);
  ASSERT_TRUE(lib.ChannelSetAttributes(channel, -1, -1, -100));
  std::this_thread::sleep_for(500ms);
  ASSERT_TRUE(lib.ChannelSetAttributes(channel, 88200, -1, 100));
  std::this_thread::sleep_for(500ms);
  auto wav = finish(p);
  ASSERT_TRUE(wav);
  EXPECT_GT(wav->rms(0.05, 0.3, 0), 4 * wav->rms(0.05, 0.3, 1));
  EXPECT_GT(wav->rms(0.7, 0.95, 1), 4 * wav->rms(0.7, 0.95, 0));
  EXPECT_GT(wav->toneAmplitude(800, 0.7, 0.95), 10 * wav->toneAmplitude(400, 0.7, 0.95));
}

TEST(OpenAlOutput, TwoLibrariesAtOnceKeepToTheirOwnOutput) {
  testsupport::TempDir dir;
  const auto low = soundtest::sineOgg(440, 1.0, 0.5);
  const auto high = soundtest::sineOgg(880, 1.0, 0.5);
  Played a = openWave(dir, "a.wav");
  Played b = openWave(dir, "b.wav");
  startLoop(*a.lib, low, 0);
  startLoop(*b.lib, high, 0);
  a.lib->SetConfig(SOUND_CONFIG_GVOL_SAMPLE, 50);
  std::this_thread::sleep_for(500ms);
  auto wavA = finish(a);
  auto wavB = finish(b);
  ASSERT_TRUE(wavA && wavB);
  EXPECT_GT(wavA->toneAmplitude(440, 0.2, 0.4), 0.1);
  EXPECT_LT(wavA->toneAmplitude(880, 0.2, 0.4), 0.01);
  EXPECT_GT(wavB->toneAmplitude(880, 0.2, 0.4), 0.2);  // b's volume was not touched
  EXPECT_LT(wavB->toneAmplitude(440, 0.2, 0.4), 0.01);
}

TEST(OpenAlOutput, AnOutputThatCannotBeOpenedFailsInitAndTheSilentDeviceStillWorks) {
  testsupport::TempDir dir;
  auto lib = createOpenAlSoundLibrary(SoundOutput{dir.path() / "missing" / "out.wav"});
  EXPECT_FALSE(lib->Init(SOUND_DEVICE_DEFAULT, 44100, SOUND_DEVICE_3D, nullptr, nullptr));
  EXPECT_TRUE(lib->Init(SOUND_DEVICE_NONE, 44100, 0, nullptr, nullptr));
  const auto ogg = soundtest::sineOgg(440, 0.1);
  EXPECT_NE(lib->SampleLoad(ogg.data(), 0, static_cast<uint32_t>(ogg.size()), 20, 0), 0u);
}

TEST(OpenAlOutput, AStreamedLoopGoesRoundWithoutAGapOrAStep) {
  testsupport::TempDir dir;
  // 132 whole cycles in 0.3 s: the loop point falls inside the buffers and, played without a
  // seam, the tone runs on as if it were endless.
  const auto tone = soundtest::sineOgg(440, 0.3, 0.5);
  Played p = openWave(dir, "out.wav", 0);
  startLoop(*p.lib, tone, 0);
  std::this_thread::sleep_for(1600ms);
  auto wav = finish(p);
  ASSERT_TRUE(wav);
  const double level = wav->rms(0.3, 1.3);
  EXPECT_GT(level, 0.15);
  for (double t = 0.3; t < 1.3; t += 0.01) {
    EXPECT_NEAR(wav->rms(t, t + 0.01), level, 0.25 * level) << "at " << t << " s";
  }
  // The steepest a 440 Hz sine of this level can change between two frames, with room
  // for the codec's own ripple; a seam would jump by far more.
  const double steepest = 2 * M_PI * 440 / 44100 * level * std::sqrt(2.0);
  double largestStep = 0;
  for (size_t f = static_cast<size_t>(0.3 * wav->rate) + 1; f < static_cast<size_t>(1.3 * wav->rate); ++f) {
    const double step = std::abs(wav->samples[f * 2] - wav->samples[(f - 1) * 2]);
    largestStep = std::max(largestStep, step);
  }
  EXPECT_LT(largestStep, 1.5 * steepest);
}

TEST(OpenAlOutput, AStreamedSoundPlaysOutItsChannelIsFreedAndTwoChannelsStreamAtOnce) {
  testsupport::TempDir dir;
  const auto tone = soundtest::sineOgg(600, 0.4, 0.5);
  Played p = openWave(dir, "out.wav", 0);
  SoundLibrary& lib = *p.lib;
  const SoundHandle sample = lib.SampleLoad(tone.data(), 0, static_cast<uint32_t>(tone.size()), 2, 0);
  ASSERT_NE(sample, 0u);
  const SoundHandle first = lib.SampleGetChannel(sample, true);
  ASSERT_TRUE(lib.ChannelPlay(first, true));
  const SoundHandle second = lib.SampleGetChannel(sample, true);
  ASSERT_TRUE(lib.ChannelSetAttributes(second, 88200, -1, -101));  // an octave up
  ASSERT_TRUE(lib.ChannelPlay(second, true));
  EXPECT_EQ(lib.SampleGetChannel(sample, true), 0u);  // both busy
  std::this_thread::sleep_for(900ms);
  const SoundHandle again = lib.SampleGetChannel(sample, true);
  EXPECT_NE(again, 0u);  // played out
  EXPECT_NE(again, first);
  auto wav = finish(p);
  ASSERT_TRUE(wav);
  EXPECT_GT(wav->toneAmplitude(600, 0.05, 0.3), 0.1);
  EXPECT_GT(wav->toneAmplitude(1200, 0.05, 0.3), 0.1);
  EXPECT_LT(wav->rms(0.7, 0.85), 0.01);
}

TEST(OpenAlOutput, AStreamedLoopDamagedInTheMiddleEndsWhereTheDamageLies) {
  testsupport::TempDir dir;
  auto tone = soundtest::noiseOgg(2.0);
  tone[tone.size() / 2] ^= 0x5A;
  Played p = openWave(dir, "out.wav", 0);
  SoundLibrary& lib = *p.lib;
  const SoundHandle sample = lib.SampleLoad(tone.data(), 0, static_cast<uint32_t>(tone.size()), 1, SOUND_SAMPLE_LOOP);
  ASSERT_NE(sample, 0u);
  ASSERT_TRUE(lib.ChannelPlay(lib.SampleGetChannel(sample, true), true));
  std::this_thread::sleep_for(1800ms);
  EXPECT_NE(lib.SampleGetChannel(sample, true), 0u);  // no longer playing
}

}  // namespace
