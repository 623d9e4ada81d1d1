// A whole run of the saver with its sound written to a WAV file (--audio-out), measured
// there. The media folder of the run holds tones in place of the sounds (loose files win over
// the embedded archive), so each sound can be told apart in the mix; the room itself comes
// from the archive. A tour of the test's own holds the camera at the dial for four seconds
// and then across the room.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "tests/app/process.h"
#include "tests/clock/clock_files.h"
#include "tests/platform/registry/scoped_config_dir.h"
#include "tests/platform/sound/sound_test_media.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

constexpr double kMusicHz = 440, kRainHz = 660, kThunderHz = 150, kTicksHz = 1000;

void writeMedia(const testsupport::TempDir& dir) {
  const auto put = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
    dir.write("Media/" + name, std::string(bytes.begin(), bytes.end()));
  };
  put("ClockMusic.ogg", soundtest::sineOgg(kMusicHz, 2.0, 0.2));
  put("ClockRain.ogg", soundtest::sineOgg(kRainHz, 2.0, 0.1, 2));
  for (const char* clap : {"ClockGrom1.ogg", "ClockGrom2.ogg", "ClockGrom3.ogg"})
    put(clap, soundtest::sineOgg(kThunderHz, 1.5, 0.3));
  put("ClockTicks.ogg", soundtest::sineOgg(kTicksHz, 1.0, 0.3));
  dir.write("Media/Scene.props", "Animations = array(\"near.cam\"); QuietTime = 3000; WinkTime = 1000;");
  // The dial of the room's clock is at about (272, 165, 0); the camera waits 20 cm in front
  // of it, then moves five metres away.
  using clocktest::tourKey;
  using namespace scenetest;
  Rec tour = with(structRec("_root", "_roottype"), tourKey("pos0", "pos", 0, 252, 165, 0),
                  tourKey("pos1", "pos", 45, 252, 165, 0), tourKey("pos2", "pos", 55, -230, 150, 0),
                  tourKey("pos3", "pos", 150, -230, 150, 0), tourKey("rot0", "rot", 0, 0, 0, 0, 1),
                  tourKey("rot1", "rot", 150, 0, 0, 0, 1));
  clocktest::writeRecord(dir, "Media/near.cam", *tour);
}

TEST(SaverSoundRun, MusicAndRainRiseOverFourSecondsThunderFollowsTheFirstFlashTicksSitAtTheClock) {
  testsupport::PrivateXServer server;
  if (server.display().empty()) GTEST_SKIP() << "needs Xvfb";
  testsupport::ScopedConfigDir config;
  testsupport::TempDir dir;
  std::filesystem::create_directories(dir.file("Media"));
  writeMedia(dir);
  const std::string wavPath = dir.file("run.wav").string();
  const std::string command = "cd '" + dir.path().string() + "' && DISPLAY=" + server.display() +
                              " LIBGL_ALWAYS_SOFTWARE=1 exec '" + std::string(BRASSMOOR_EXECUTABLE) +
                              "' --window 320x240 --seed 1 --seconds 12 --audio-out '" + wavPath + "'";
  testsupport::Process saver({"/bin/sh", "-c", command});
  ASSERT_TRUE(saver.started());
  EXPECT_EQ(saver.wait(60s), 1) << "a completed run ends with exit code 1";

  const auto wav = soundtest::readWav(wavPath);
  ASSERT_TRUE(wav) << "the run wrote " << wavPath;
  const auto level = [&](double hz, double at) { return wav->toneAmplitude(hz, at - 0.05, at + 0.05); };
  const auto firstReaching = [&](double hz, double value) {
    for (double t = 0.05; t < wav->seconds(); t += 0.01)
      if (level(hz, t) >= value) return t;
    return -1.0;
  };
  // The fade starts when the scene has loaded; it is found in the file by its own level and
  // everything else is timed from it.
  const double full = level(kMusicHz, 6.5);
  ASSERT_GT(full, 0.05) << "the music plays";
  const double quarter = firstReaching(kMusicHz, 0.25 * full);
  const double half = firstReaching(kMusicHz, 0.5 * full);
  const double threeQuarters = firstReaching(kMusicHz, 0.75 * full);
  const double start = half - 2.0;
  std::printf("load ended %.2f s into the file; music at 1/4, 3/4 of full after %.2f, %.2f s\n", start, quarter - start,
              threeQuarters - start);
  EXPECT_GE(start, 0.0);
  EXPECT_NEAR(quarter - start, 1.0, 0.2);
  EXPECT_NEAR(threeQuarters - start, 3.0, 0.2);
  EXPECT_NEAR(level(kRainHz, start + 5.0) / level(kRainHz, start + 2.0), 2.0, 0.35) << "the rain rises alike";

  const double clap = firstReaching(kThunderHz, 0.03);
  std::printf("first thunder clap %.2f s after the load\n", clap - start);
  EXPECT_GE(clap - start, 1.65) << "the first flash after 1 s, its clap at least 0.7 s later";
  EXPECT_LE(clap - start, 8.05) << "... and no more than 7 s later";

  const double ticksNear = level(kTicksHz, start + 4.2);
  const double ticksFar = level(kTicksHz, wav->seconds() - 0.5);
  std::printf("ticking at the dial / across the room: %.4f / %.4f\n", ticksNear, ticksFar);
  EXPECT_GT(ticksNear, 4 * ticksFar);
}

}  // namespace
