// The scene's sounds played together through the sound library, as a run at Volume 50 plays
// them (music and rain looping, the ticking placed at the clock a metre away, a thunder clap
// at full volume), with the mix written to a WAV file and measured. Runs in real time.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/sound/openal_sound_library.h"
#include "tests/support/temp_dir.h"
#include "tools/soundgen/wav_file.h"

namespace {

using namespace platform;
using namespace std::chrono_literals;

std::vector<char> readMedia(const std::string& name) {
  std::ifstream in(std::string(BRASSMOOR_SOURCE_DIR) + "/media/" + name, std::ios::binary);
  return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

SoundHandle load(SoundLibrary& lib, const std::string& name, uint32_t flags) {
  const auto bytes = readMedia(name);
  return lib.SampleLoad(bytes.data(), 0, static_cast<uint32_t>(bytes.size()), 20, flags);
}

double windowDb(const soundgen::Audio& a, double from, double to, bool peak) {
  double sum = 0.0, top = 0.0;
  std::size_t n = 0;
  for (const auto& ch : a.channels)
    for (std::size_t i = static_cast<std::size_t>(from * a.rate);
         i < static_cast<std::size_t>(to * a.rate) && i < ch.size(); ++i) {
      sum += static_cast<double>(ch[i]) * ch[i];
      top = std::max(top, static_cast<double>(std::fabs(ch[i])));
      ++n;
    }
  const double v = peak ? top : std::sqrt(sum / static_cast<double>(std::max<std::size_t>(n, 1)));
  return 20.0 * std::log10(std::max(v, 1e-9));
}

TEST(MediaPlayback, TheSixSoundsLoadAndPlayTogetherWithoutClipping) {
  testsupport::TempDir dir;
  const auto file = dir.file("mix.wav");
  auto lib = createOpenAlSoundLibrary(SoundOutput{file});
  ASSERT_TRUE(lib->Init(SOUND_DEVICE_DEFAULT, 44100, SOUND_DEVICE_3D, nullptr, nullptr));
  lib->Set3DFactors(SOUND_KEEP_FACTOR, 0.1f, SOUND_KEEP_FACTOR);
  const SoundVector listener{0, 100, 0}, front{1, 0, 0}, up{0, 1, 0};
  lib->Set3DPosition(&listener, nullptr, &front, &up);
  lib->Apply3D();
  ASSERT_TRUE(lib->SetConfig(SOUND_CONFIG_GVOL_SAMPLE, 50));

  const SoundHandle music = load(*lib, "ClockMusic.ogg", SOUND_SAMPLE_LOOP);
  const SoundHandle rain = load(*lib, "ClockRain.ogg", SOUND_SAMPLE_LOOP);
  const SoundHandle thunder[3] = {load(*lib, "ClockGrom1.ogg", 0), load(*lib, "ClockGrom2.ogg", 0),
                                  load(*lib, "ClockGrom3.ogg", 0)};
  const SoundHandle ticks = load(*lib, "ClockTicks.ogg",
                                 SOUND_SAMPLE_MONO | SOUND_SAMPLE_LOOP | SOUND_SAMPLE_3D | SOUND_SAMPLE_SOFTWARE);
  for (SoundHandle h : {music, rain, thunder[0], thunder[1], thunder[2], ticks}) ASSERT_NE(h, 0u);

  ASSERT_TRUE(lib->ChannelPlay(lib->SampleGetChannel(music, true), true));
  ASSERT_TRUE(lib->ChannelPlay(lib->SampleGetChannel(rain, true), true));
  const SoundHandle tick = lib->SampleGetChannel(ticks, true);
  ASSERT_TRUE(lib->ChannelPlay(tick, true));
  lib->ChannelSet3DAttributes(tick, SOUND_3DMODE_NORMAL, 0.0f, 400.0f, 360, 360, 100);
  const SoundVector clock{100, 100, 0}, facing{0, 0, 1};
  lib->ChannelSet3DPosition(tick, &clock, &facing, nullptr);
  lib->ChannelSetAttributes(tick, SOUND_KEEP_FREQUENCY, 100, -1);
  lib->Apply3D();
  std::this_thread::sleep_for(1500ms);
  const SoundHandle clap = lib->SampleGetChannel(thunder[0], true);
  ASSERT_TRUE(lib->ChannelSetAttributes(clap, SOUND_KEEP_FREQUENCY, 100, SOUND_KEEP_PAN));
  ASSERT_TRUE(lib->ChannelPlay(clap, true));
  // A little past the three seconds the checks read: the device writes the file a period at a
  // time, so its last few milliseconds may never reach it.
  std::this_thread::sleep_for(1600ms);
  lib.reset();

  // The file runs from the opening of the device; playing began three seconds before its end.
  const auto mix = soundgen::readWav(file.string());
  ASSERT_TRUE(mix.has_value());
  const double end = static_cast<double>(mix->frames()) / mix->rate;
  ASSERT_GE(end, 3.0);
  const double bedRms = windowDb(*mix, end - 2.7, end - 1.6, false),
               bedPeak = windowDb(*mix, end - 2.7, end - 1.6, true);
  const double clapPeak = windowDb(*mix, end - 1.5, end, true), overallPeak = windowDb(*mix, 0.0, end, true);
  std::printf("at volume 50: music + rain + ticks RMS %.1f dBFS, peak %.1f; with the clap peak %.1f\n", bedRms, bedPeak,
              clapPeak);
  EXPECT_GT(bedRms, -40.0) << "the music and rain should be plainly audible";
  EXPECT_GT(clapPeak, bedPeak + 3.0) << "the thunder should stand out";
  EXPECT_LT(overallPeak, -0.1) << "the mix clips";
}

}  // namespace
