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

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

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
      {true, true, 100}, brassmoor::openAlSound(wavPath.string()),
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
  sound.restartFadeIn(halcyon::millisecondClock());
  const double fadeStart = secondsSince(opened);

  bool thundered = false;
  for (double t = 0; t < 6.0; t = secondsSince(opened) - fadeStart) {
    if (!thundered && t >= 1.5) {
      sound.playThunder(0, 100);
      thundered = true;
    }
    if (t >= 4.5) camera.position = {-200, 180, 0};  // five metres away
    sound.frameMove(camera, false, halcyon::millisecondClock());
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  sound.endRun();

  const auto wav = soundtest::readWav(wavPath);
  ASSERT_TRUE(wav);
  // The file starts when the mixer starts, a little after the clock above was read; so the
  // fade is located in the file by its own level and everything else is timed from it.
  const auto level = [&](double hz, double at) { return wav->toneAmplitude(hz, at - 0.05, at + 0.05); };
  const auto firstReaching = [&](double hz, double value) {
    for (double t = 0.05; t < wav->seconds(); t += 0.01) {
      if (level(hz, t) >= value) return t;
    }
    return -1.0;
  };
  const double full = level(440, fadeStart + 5.0);
  ASSERT_GT(full, 0.05);
  const double quarter = firstReaching(440, 0.25 * full);
  const double half = firstReaching(440, 0.5 * full);
  const double threeQuarters = firstReaching(440, 0.75 * full);
  const double whole = firstReaching(440, 0.97 * full);
  const double start = half - 2.0;  // where the fade began in the file
  std::printf(
      "fade began at %.2f s in the file (%.2f s after the mixer opened); 1/4, 1/2, 3/4 "
      "and full level at %.2f, %.2f, %.2f, %.2f s of the fade\n",
      start, fadeStart, quarter - start, half - start, threeQuarters - start, whole - start);
  EXPECT_NEAR(start, fadeStart, 0.3);
  EXPECT_NEAR(quarter - start, 1.0, 0.15);  // a straight rise over four seconds
  EXPECT_NEAR(threeQuarters - start, 3.0, 0.15);
  EXPECT_NEAR(whole - start, 4.0, 0.25);
  EXPECT_LT(level(440, start - 0.2), 0.05 * full);
  EXPECT_NEAR(level(660, start + 4.5) / level(660, start + 2.0), 2.0, 0.3);  // the rain alike

  const double clap = firstReaching(150, 0.03);
  std::printf("thunder clap from %.2f s of the fade\n", clap - start);
  EXPECT_NEAR(clap - start, 1.5, 0.2);

  const double ticksNear = level(1000, start + 4.25);
  const double ticksFar = level(1000, start + 5.5);
  std::printf("ticks at the clock / 5 m away: %.4f / %.4f\n", ticksNear, ticksFar);
  EXPECT_GT(ticksNear, 0.05);
  // Full level within 10 units; at 500 the roll-off of 0.1 leaves 10 / (10 + 0.1 * 490).
  EXPECT_NEAR(ticksFar / ticksNear, 10.0 / 59.0, 0.03);
}

}  // namespace
