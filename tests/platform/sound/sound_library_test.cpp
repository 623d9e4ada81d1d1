// The library's rules that do not depend on hearing anything: handles, ranges, channel
// limits. They run on the no-sound device, which keeps all the bookkeeping of a real one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/sound/openal_sound_library.h"
#include "platform/sound/sound_handles.h"
#include "tests/platform/sound/sound_test_media.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace platform;

std::unique_ptr<SoundLibrary> silentLibrary() {
  auto lib = createOpenAlSoundLibrary({});
  EXPECT_TRUE(lib->Init(SOUND_DEVICE_NONE, 44100, SOUND_DEVICE_3D, nullptr, nullptr));
  return lib;
}

SoundHandle load(SoundLibrary& lib, const std::vector<uint8_t>& ogg, uint32_t max, uint32_t flags) {
  return lib.SampleLoad(ogg.data(), 0, static_cast<uint32_t>(ogg.size()), max, flags);
}

TEST(SoundLibrary, EveryCallFailsBeforeInitAndInitHappensOnce) {
  auto lib = createOpenAlSoundLibrary({});
  const auto ogg = soundtest::sineOgg(440, 0.1);
  EXPECT_FALSE(lib->SetConfig(SOUND_CONFIG_GVOL_SAMPLE, 10));
  EXPECT_FALSE(lib->Set3DFactors(1, 1, 1));
  EXPECT_EQ(load(*lib, ogg, 1, 0), 0u);
  EXPECT_FALSE(lib->Init(SOUND_DEVICE_NONE, 5, 0, nullptr, nullptr));  // no such rate
  EXPECT_FALSE(lib->Init(7, 44100, 0, nullptr, nullptr));              // no such device
  EXPECT_TRUE(lib->Init(SOUND_DEVICE_NONE, 44100, 0, nullptr, nullptr));
  EXPECT_FALSE(lib->Init(SOUND_DEVICE_NONE, 44100, 0, nullptr, nullptr));
  EXPECT_NE(load(*lib, ogg, 1, 0), 0u);
}

TEST(SoundLibrary, ZeroWrongKindAndForgedHandlesFailWithoutEffect) {
  auto lib = silentLibrary();
  const auto ogg = soundtest::sineOgg(440, 0.1);
  const SoundHandle sample = load(*lib, ogg, 2, SOUND_SAMPLE_LOOP);
  ASSERT_NE(sample, 0u);
  const SoundHandle channel = lib->SampleGetChannel(sample, true);
  ASSERT_NE(channel, 0u);

  EXPECT_EQ(lib->SampleGetChannel(0, true), 0u);
  EXPECT_EQ(lib->SampleGetChannel(channel, true), 0u);  // a channel is not a sample
  EXPECT_FALSE(lib->ChannelPlay(0, true));
  EXPECT_FALSE(lib->ChannelPlay(sample, true));  // nor a sample a channel
  EXPECT_FALSE(lib->ChannelPlay(makeHandle(HandleKind::Channel, 1, 500), true));
  EXPECT_FALSE(lib->ChannelSetAttributes(0, -1, 50, -101));
  EXPECT_FALSE(lib->ChannelSet3DAttributes(0, 0, 0, 400, 360, 360, 100));
  EXPECT_FALSE(lib->ChannelSet3DPosition(0, nullptr, nullptr, nullptr));
  EXPECT_TRUE(lib->ChannelPlay(channel, true));
}

TEST(SoundLibrary, RefusesValuesOutOfTheirRanges) {
  auto lib = silentLibrary();
  const auto ogg = soundtest::sineOgg(440, 0.1);
  const SoundHandle channel = lib->SampleGetChannel(load(*lib, ogg, 1, 0), true);
  ASSERT_NE(channel, 0u);
  EXPECT_TRUE(lib->SetConfig(SOUND_CONFIG_GVOL_SAMPLE, 100));
  EXPECT_FALSE(lib->SetConfig(SOUND_CONFIG_GVOL_SAMPLE, 101));
  EXPECT_FALSE(lib->SetConfig(99, 1));
  EXPECT_TRUE(lib->ChannelSetAttributes(channel, -1, 100, -101));
  EXPECT_TRUE(lib->ChannelSetAttributes(channel, 0, -1, 100));
  EXPECT_FALSE(lib->ChannelSetAttributes(channel, -1, 101, 0));
  EXPECT_FALSE(lib->ChannelSetAttributes(channel, -1, 50, 101));
  EXPECT_FALSE(lib->ChannelSetAttributes(channel, 50, 50, 0));  // below 100 Hz
  EXPECT_FALSE(lib->Set3DFactors(0, 1, 1));                     // no distance unit
  EXPECT_FALSE(lib->Set3DFactors(-1, 11, -1));
  EXPECT_TRUE(lib->Set3DFactors(-1, 0.1f, -1));
  const SoundVector bad{std::nanf(""), 0, 0};
  EXPECT_FALSE(lib->Set3DPosition(&bad, nullptr, nullptr, nullptr));
  const SoundVector zero{0, 0, 0}, up{0, 1, 0}, ahead{0, 0, 1};
  EXPECT_FALSE(lib->Set3DPosition(nullptr, nullptr, &zero, nullptr));  // no direction
  EXPECT_FALSE(lib->Set3DPosition(nullptr, nullptr, &up, &up));        // looking up along up
  EXPECT_FALSE(lib->Set3DPosition(nullptr, nullptr, &up, nullptr));    // ... the current up
  EXPECT_TRUE(lib->Set3DPosition(nullptr, nullptr, &ahead, &up));
  EXPECT_EQ(lib->SampleLoad(ogg.data(), 0, static_cast<uint32_t>(ogg.size()), 0, 0), 0u);
}

TEST(SoundLibrary, BadOrTruncatedFilesLoadAsZero) {
  auto lib = silentLibrary();
  const auto ogg = soundtest::sineOgg(440, 0.3);
  EXPECT_EQ(lib->SampleLoad(ogg.data(), 0, static_cast<uint32_t>(ogg.size() / 2), 20, 0), 0u);
  const std::vector<uint8_t> junk(4096, 0xAB);
  EXPECT_EQ(load(*lib, junk, 20, 0), 0u);
  EXPECT_EQ(lib->SampleLoad(nullptr, 0, 100, 20, 0), 0u);
  // An offset into a larger block names the file inside it.
  std::vector<uint8_t> padded(16 + ogg.size(), 0);
  std::copy(ogg.begin(), ogg.end(), padded.begin() + 16);
  EXPECT_NE(lib->SampleLoad(padded.data(), 16, static_cast<uint32_t>(ogg.size()), 20, 0), 0u);
}

TEST(SoundLibrary, OnlyNewChannelsStopAtTheSamplesLimit) {
  auto lib = silentLibrary();
  const auto ogg = soundtest::sineOgg(440, 0.1);
  const SoundHandle sample = load(*lib, ogg, 2, SOUND_SAMPLE_LOOP);
  const SoundHandle first = lib->SampleGetChannel(sample, true);
  ASSERT_TRUE(lib->ChannelPlay(first, true));
  const SoundHandle second = lib->SampleGetChannel(sample, true);
  ASSERT_TRUE(lib->ChannelPlay(second, true));
  EXPECT_NE(first, second);
  EXPECT_EQ(lib->SampleGetChannel(sample, true), 0u);
  // Without only-new the channel that has played longest is taken over.
  EXPECT_EQ(lib->SampleGetChannel(sample, false), first);
  ASSERT_TRUE(lib->ChannelPlay(first, true));
  EXPECT_EQ(lib->SampleGetChannel(sample, false), second);
}

TEST(SoundLibrary, AnEndedChannelIsHandedOutAgainAndItsOldHandleGoesStale) {
  auto lib = silentLibrary();
  const auto ogg = soundtest::sineOgg(440, 0.05);
  const SoundHandle sample = load(*lib, ogg, 1, 0);
  const SoundHandle first = lib->SampleGetChannel(sample, true);
  ASSERT_TRUE(lib->ChannelPlay(first, true));
  EXPECT_EQ(lib->SampleGetChannel(sample, true), 0u);  // still playing
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  const SoundHandle again = lib->SampleGetChannel(sample, true);
  ASSERT_NE(again, 0u);
  EXPECT_NE(again, first);
  EXPECT_FALSE(lib->ChannelPlay(first, true));
  EXPECT_FALSE(lib->ChannelSetAttributes(first, -1, 10, -101));
  EXPECT_TRUE(lib->ChannelPlay(again, true));
}

TEST(SoundLibrary, ThreeDimensionalCallsNeedAThreeDimensionalSampleOnAThreeDimensionalDevice) {
  const auto ogg = soundtest::sineOgg(440, 0.1);
  auto lib = silentLibrary();
  const SoundHandle flat = lib->SampleGetChannel(load(*lib, ogg, 1, SOUND_SAMPLE_LOOP), true);
  const SoundHandle placed = lib->SampleGetChannel(load(*lib, ogg, 1, 30), true);
  // The no-sound device was opened with 3D, so only the 3D sample takes 3D settings.
  const SoundVector at{1, 2, 3};
  EXPECT_FALSE(lib->ChannelSet3DPosition(flat, &at, nullptr, nullptr));
  EXPECT_TRUE(lib->ChannelSet3DPosition(placed, &at, nullptr, nullptr));
  EXPECT_TRUE(lib->ChannelSet3DAttributes(placed, 0, 0.0f, 400.0f, 360, 360, 100));
  EXPECT_FALSE(lib->ChannelSet3DAttributes(placed, 0, 500.0f, 400.0f, 360, 360, 100));
  EXPECT_FALSE(lib->ChannelSet3DAttributes(placed, 5, 0.0f, 0.0f, -1, -1, -1));

  auto flatDevice = createOpenAlSoundLibrary({});
  ASSERT_TRUE(flatDevice->Init(SOUND_DEVICE_NONE, 44100, 0, nullptr, nullptr));
  const SoundHandle unplaced = flatDevice->SampleGetChannel(load(*flatDevice, ogg, 1, 30), true);
  ASSERT_NE(unplaced, 0u);
  EXPECT_FALSE(flatDevice->ChannelSet3DPosition(unplaced, &at, nullptr, nullptr));
}

// Whether or not the machine has a sound card, opening it prints nothing on stderr: the
// libraries under the mixer stay quiet, and a missing card is the caller's to say.
TEST(SoundLibrary, OpeningTheSoundCardSaysNothingOnStderr) {
  if (std::getenv("ALSOFT_LOGLEVEL")) GTEST_SKIP() << "the mixer's log level was set: its words are asked for";
  testsupport::TempDir dir;
  const auto said = dir.file("stderr");
  std::fflush(stderr);
  const int saved = ::dup(2);
  std::FILE* capture = std::fopen(said.c_str(), "w");
  ASSERT_TRUE(saved >= 0 && capture);
  ::dup2(::fileno(capture), 2);
  {
    auto lib = createOpenAlSoundLibrary({});
    lib->Init(SOUND_DEVICE_DEFAULT, 44100, SOUND_DEVICE_3D, nullptr, nullptr);
  }
  std::fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  std::fclose(capture);
  EXPECT_EQ(testsupport::readFileBytes(said), "");
}

}  // namespace
