// The clock scene's sound played for real into a WAV file and measured there: the fade-in,
// a thunder clap, and the ticking heard at the clock and from across the room. Each sound
// is a tone of its own so that it can be told apart in the mix.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <thread>

#include "clock/clock_sound.h"
#include "tests/platform/sound/sound_test_media.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(ClockSoundOutput, FadesInPlaysThunderAndPlacesTheTicking) {
  testsupport::TempDir dir;
  const auto wavPath = dir.file("clock.wav");
  std::map<std::string, std::vector<uint8_t>> media = {
      {"Media/ClockMusic.ogg", soundtest::sineOgg(440, 2.0, 0.2)},
      {"Media/ClockRain.ogg", soundtest::sineOgg(660, 2.0, 0.1, 2)},
      {"Media/ClockGrom1.ogg", soundtest::sineOgg(150, 1.5, 0.3)},
      {"Media/ClockGrom2.ogg", soundtest::sineOgg(150, 1.5, 0.3)},
      {"Media/ClockGrom3.ogg", soundtest::sineOgg(150, 1.5, 0.3)},
      {"Media/ClockTicks.ogg", soundtest::sineOgg(1000, 1.0, 0.3)},
  };
  brassmoor::ClockSound sound(
      {true, true, 100},
      brassmoor::openAlSound(wavPath.string()),
      [&](const std::string& name) -> std::optional<std::vector<uint8_t>> {
        auto it = media.find(name);
        if (it == media.end()) return std::nullopt;
        return it->second;
      },
      "Media");

  const platform::SoundVector clockAt{300, 180, 0};
  brassmoor::ListenerPose camera{clockAt, {1, 0, 0}, {0, 1, 0}};
  const Clock::time_point opened = Clock::now();
  sound.loadSoundLibrary();
  sound.initSound(nullptr);
  ASSERT_TRUE(sound.settings().music);  // the wave file opened as the output
  sound.loadSamples(clockAt);
  sound.restartFadeIn();
  const double fadeStart = secondsSince(opened);

  bool thundered = false;
  for (double t = 0; t < 6.0; t = secondsSince(opened) - fadeStart) {
    if (!thundered && t >= 1.5) {
      sound.playThunder(0, 100);
      thundered = true;
    }
    if (t >= 4.5) camera.position = {-200, 180, 0};  // five metres away
    sound.frameMove(camera, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  sound.endRun();

  const auto wav = soundtest::readWav(wavPath);
  ASSERT_TRUE(wav);
  const auto level = [&](double hz, double at) {
    return wav->toneAmplitude(hz, fadeStart + at - 0.1, fadeStart + at + 0.1);
  };
  const double full = level(440, 4.2);
  ASSERT_GT(full, 0.05);
  EXPECT_LT(level(440, 0.1), 0.1 * full);
  EXPECT_NEAR(level(440, 1.0) / full, 0.25, 0.08);
  EXPECT_NEAR(level(440, 2.0) / full, 0.50, 0.08);
  EXPECT_NEAR(level(440, 3.0) / full, 0.75, 0.08);
  EXPECT_NEAR(level(440, 5.5) / full, 1.0, 0.08);
  EXPECT_NEAR(level(660, 4.2) / level(660, 2.0), 2.0, 0.3);  // the rain fades in alike

  EXPECT_LT(level(150, 1.3), 0.02);
  EXPECT_GT(level(150, 1.8), 0.05);

  const double ticksNear = level(1000, 4.25);
  const double ticksFar = level(1000, 5.5);
  std::printf("music at 0/1/2/3/4.2 s: %.3f %.3f %.3f %.3f %.3f; thunder at 1.3/1.8 s: %.3f %.3f; "
              "ticks at the clock / 5 m away: %.4f / %.4f\n",
              level(440, 0.1), level(440, 1.0), level(440, 2.0), level(440, 3.0), full,
              level(150, 1.3), level(150, 1.8), ticksNear, ticksFar);
  EXPECT_GT(ticksNear, 0.05);
  EXPECT_NEAR(ticksFar / ticksNear, 0.0244, 0.01);
}

}  // namespace
