#include "clock/storm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "clock/hands.h"
#include "tests/clock/clock_files.h"
#include "tests/support/fake_clock.h"

namespace {

using brassmoor::Storm;
using clocktest::ScriptedRandom;

halcyon::SystemTime at(int h, int m, int s, int ms) {
  halcyon::SystemTime t;
  t.hour = uint16_t(h);
  t.minute = uint16_t(m);
  t.second = uint16_t(s);
  t.milliseconds = uint16_t(ms);
  return t;
}

TEST(Hands, AnglesFollowTheDial) {
  const auto midnight = brassmoor::handAngles(at(0, 0, 0, 0));
  EXPECT_FLOAT_EQ(midnight.hour, 0.0f);
  EXPECT_FLOAT_EQ(midnight.minute, -1.5707964f);

  const auto half = brassmoor::handAngles(at(15, 30, 0, 0));
  EXPECT_FLOAT_EQ(half.hour, 1.8325957f);
  EXPECT_FLOAT_EQ(half.minute, 1.5707964f);

  // Just before one o'clock and one o'clock lie side by side, and the afternoon folds onto
  // the dial.
  const float twelfth = 2.0f * 3.1415927f / 12.0f;
  const auto before = brassmoor::handAngles(at(12, 59, 59, 999));
  const auto one = brassmoor::handAngles(at(13, 0, 0, 0));
  EXPECT_LT(before.hour, one.hour);
  EXPECT_NEAR(before.hour, twelfth, 1e-5f);
  EXPECT_FLOAT_EQ(one.hour, twelfth);
  EXPECT_NEAR(brassmoor::handAngles(at(11, 59, 59, 999)).hour, 2.0f * 3.1415927f, 1e-5f);
  EXPECT_FLOAT_EQ(brassmoor::handAngles(at(12, 0, 0, 0)).hour, 0.0f);
}

TEST(Hands, EachTrackHoldsOneKeyTurningAboutY) {
  halcyon::Track hour(halcyon::Track::kRotation), minute(halcyon::Track::kRotation);
  brassmoor::setHands(at(3, 0, 0, 0), hour, minute);
  brassmoor::setHands(at(15, 30, 0, 0), hour, minute);
  ASSERT_EQ(hour.keys().size(), 1u);
  ASSERT_EQ(minute.keys().size(), 1u);
  halcyon::Quaternion q;
  ASSERT_TRUE(hour.evaluate(1234.0f, q));
  EXPECT_FLOAT_EQ(q.x, 0.0f);
  EXPECT_FLOAT_EQ(q.z, 0.0f);
  EXPECT_NEAR(q.y, std::sin(1.8325957f / 2), 1e-6f);
  EXPECT_NEAR(q.w, std::cos(1.8325957f / 2), 1e-6f);
}

TEST(StormMaths, RealModuloAndRamps) {
  EXPECT_FLOAT_EQ(brassmoor::realModulo(1250.0f, 500.0f), 250.0f);
  EXPECT_FLOAT_EQ(brassmoor::realModulo(-100.0f, 500.0f), 400.0f);
  EXPECT_EQ(brassmoor::realModulo(7.0f, 0.00005f), 0.0f);

  const D3DGAMMARAMP base = brassmoor::baseGammaRamp(-100);
  EXPECT_EQ(base.red[0], 0);
  EXPECT_EQ(base.red[100], 100 * 256 - 20000);
  EXPECT_EQ(brassmoor::baseGammaRamp(100).blue[255], 65535);

  // Strength 0.5: 16384 + 384 i, capped from i = 128 on.
  const D3DGAMMARAMP flash = brassmoor::flashGammaRamp(0.5f);
  EXPECT_EQ(flash.green[0], 16384);
  EXPECT_EQ(flash.green[127], 16384 + 384 * 127);
  EXPECT_EQ(flash.green[128], 65535);
  const D3DGAMMARAMP half = brassmoor::blendGammaRamp(flash, brassmoor::baseGammaRamp(0), 0.5f);
  EXPECT_EQ(half.red[10], (16384 + 3840 + 2560) / 2);
}

class StormRun : public ::testing::Test {
 protected:
  testsupport::FakeClock clock_;
  ScriptedRandom random_;
  Storm storm_{std::ref(random_)};
  std::vector<D3DGAMMARAMP> ramps_;
  int claps_ = 0;
  float loudness_ = 0.0f;

  // One frame of the storm at the fake clock's time, as the frame loop hands it down.
  void runFrame(bool effects = true, bool thunder = true) {
    const halcyon::FrameTime frame = frames_.next(clock_.now(), {});
    storm_.scheduleLightning(frame, effects && thunder);
    storm_.workThunder(frame, effects, [this](float loudness) {
      ++claps_;
      loudness_ = loudness;
    });
    storm_.workWinks(frame);
    storm_.updateFlash(frame, [this](const D3DGAMMARAMP& r) { ramps_.push_back(r); });
    storm_.updateWink(frame);
  }
  halcyon::FrameClock frames_;
};

TEST_F(StormRun, DrawsAndPausesInOrder) {
  storm_.setTimes(3000, 0);
  EXPECT_EQ(storm_.winkTime(), Storm::kDefaultWinkTime);
  storm_.setTimes(-5, -1);
  EXPECT_EQ(storm_.quietTime(), 3000);
  storm_.start(clock_.now());

  // Single flash, odd parity: the pause is (r' mod 9000) + 6000; the last draw places the
  // strike, its clap 700 + 100 ms after the flash.
  random_.draws = {399, 99, 4, 7, 8999, 100};
  clock_.advance(999);
  runFrame();
  EXPECT_FALSE(storm_.flashActive());
  clock_.advance(1);
  runFrame();
  ASSERT_TRUE(storm_.flashActive());
  EXPECT_EQ(storm_.flashDuration(), 699);
  EXPECT_FLOAT_EQ(storm_.flashStrength(), 0.995f);
  EXPECT_EQ(storm_.nextFlashDelay(), 14999);
  EXPECT_EQ(random_.used, 6u);
  ASSERT_EQ(storm_.thunderDelays(), std::vector<int64_t>{800});

  // The flash ends with the base ramp; the pause counts from there.
  clock_.advance(699);
  runFrame();
  EXPECT_FALSE(storm_.flashActive());
  EXPECT_EQ(ramps_.back().red[255], brassmoor::baseGammaRamp(0).red[255]);
  EXPECT_EQ(claps_, 0);
  clock_.advance(100);
  runFrame();
  EXPECT_EQ(claps_, 0);
  clock_.advance(1);
  runFrame();
  EXPECT_EQ(claps_, 1);
  EXPECT_FLOAT_EQ(loudness_, 1.0f);
  EXPECT_EQ(storm_.thunderQueued(), 0u);

  // Even parity: Q + (r' mod 2Q), here 3000 + 0.
  random_.draws = {0, 0, 1, 2, 6000};
  random_.next = 0;
  clock_.advance(14998 - 101);
  runFrame();
  EXPECT_FALSE(storm_.flashActive());
  clock_.advance(1);
  runFrame();
  ASSERT_TRUE(storm_.flashActive());
  EXPECT_EQ(storm_.flashDuration(), 300);
  EXPECT_FLOAT_EQ(storm_.flashStrength(), 0.5f);
  EXPECT_EQ(storm_.nextFlashDelay(), 3000);

  // Flash level: 0.9343 at a quarter, full at the middle.
  clock_.advance(75);
  runFrame();
  EXPECT_NEAR(storm_.flashLevel(), 0.8408964f * 1.1111112f, 1e-5f);
  clock_.advance(75);
  runFrame();
  EXPECT_FLOAT_EQ(storm_.flashLevel(), 1.0f);
  EXPECT_FLOAT_EQ(storm_.windowFlash(), 1.0f);
  EXPECT_EQ(ramps_.back().red[0], 16384);
}

TEST_F(StormRun, DoubleFlashFollowsQuicklyAndQueuesAFlicker) {
  storm_.setTimes(3000, 1000);
  storm_.start(clock_.now());
  random_.draws = {0, 0, 5, 42, 1999};
  random_.rest = 1;
  clock_.advance(1000);
  runFrame();
  EXPECT_EQ(storm_.nextFlashDelay(), 42);
  EXPECT_EQ(storm_.winksQueued(), 1u);
  // A frame far past the flash's end ends it dark, never with an undefined level.
  clock_.advance(2000);
  runFrame();
  EXPECT_FALSE(storm_.flashActive());
  EXPECT_EQ(storm_.flashLevel(), 0.0f);
  EXPECT_FALSE(storm_.winkActive());
  clock_.advance(999);
  runFrame();
  EXPECT_TRUE(storm_.winkActive());
  EXPECT_EQ(storm_.winksQueued(), 0u);
}

TEST_F(StormRun, ASecondWinkTriggerLengthensTheFlicker) {
  storm_.setTimes(100000, 1000);
  storm_.start(clock_.now());
  // Two double flashes, their flickers due at 2000 and 2500 ms; each trigger asks for 2000 ms.
  random_.draws = {0,
                   0,
                   0,
                   42,
                   0,
                   /*thunder*/ 0,
                   /*second*/ 0,
                   0,
                   0,
                   50,
                   158,
                   /*thunder*/ 0,
                   /*first flicker*/ 1000,
                   /*a single flash*/ 0,
                   0,
                   1,
                   1,
                   0,
                   /*thunder*/ 0,
                   /*second flicker*/ 1000};
  random_.rest = 1;
  clock_.advance(1000);
  runFrame();
  clock_.advance(300);
  runFrame();  // the first flash ends
  clock_.advance(42);
  runFrame();  // the second flash starts
  EXPECT_EQ(storm_.winksQueued(), 2u);
  clock_.advance(658);
  runFrame();  // first trigger
  ASSERT_TRUE(storm_.winkActive());
  EXPECT_EQ(storm_.winkDuration(), 2000);
  clock_.advance(500);
  runFrame();  // second trigger, 500 ms in
  EXPECT_EQ(storm_.winksQueued(), 0u);
  // No earlier than 2000 ms after the second trigger does the flicker stop.
  for (int ms = 0; ms < 1990; ms += 10) {
    clock_.advance(10);
    runFrame();
    ASSERT_TRUE(storm_.winkActive()) << ms;
  }
  for (int ms = 0; ms < 1000 && storm_.winkActive(); ms += 10) {
    clock_.advance(10);
    runFrame();
  }
  EXPECT_FALSE(storm_.winkActive());
  EXPECT_EQ(storm_.winkLevel(), 0.0f);
}

TEST_F(StormRun, ThunderWithEffectsOffNeverPlaysNorPilesUp) {
  storm_.setTimes(3000, 1000);
  storm_.start(clock_.now());
  random_.rest = 1;  // single flashes only
  for (int i = 0; i < 200; ++i) {
    clock_.advance(100);
    runFrame(/*effects=*/false);
    EXPECT_EQ(storm_.thunderQueued(), 0u);
  }
  EXPECT_EQ(claps_, 0);
  // Thunder sample missing: flashes come, claps never queue.
  for (int i = 0; i < 200; ++i) {
    clock_.advance(100);
    runFrame(true, /*thunder=*/false);
  }
  EXPECT_EQ(claps_, 0);
}

// A storm of rapid double flashes (every draw 0: 300 ms flashes, a double each time, 0 ms
// apart) run at `frameMs` per frame; what the picture got, frame by frame.
struct LightningTrace {
  std::vector<float> window;
  std::vector<D3DGAMMARAMP> ramps;
  std::vector<int64_t> shownStarts;  // ms of each flash start the picture shows
  size_t winks = 0;
};

LightningTrace runLightning(brassmoor::LightningMode mode, int frameMs, int frames) {
  testsupport::FakeClock clock;
  ScriptedRandom random;
  Storm storm{std::ref(random)};
  storm.setLightning(mode);
  storm.setTimes(3000, 1000);
  storm.start(clock.now());
  halcyon::FrameClock frameClock;
  frameClock.next(clock.now(), {});
  LightningTrace trace;
  bool wasShown = false;
  for (int f = 0; f < frames; ++f) {
    clock.advance(frameMs);
    const halcyon::FrameTime frame = frameClock.next(clock.now(), {});
    storm.scheduleLightning(frame, true);
    storm.workThunder(frame, true, nullptr);
    trace.winks = std::max(trace.winks, storm.winksQueued());
    storm.workWinks(frame);
    storm.updateFlash(frame, [&](const D3DGAMMARAMP& r) { trace.ramps.push_back(r); });
    storm.updateWink(frame);
    trace.window.push_back(storm.windowFlash());
    if (storm.flashShown() && !wasShown) trace.shownStarts.push_back(int64_t(f) * frameMs);
    wasShown = storm.flashShown();
  }
  return trace;
}

TEST(Lightning, SoftRisesGentlyNeverTouchesTheGammaRampAndCountsItsFlashes) {
  for (int frameMs : {4, 16, 33, 100}) {
    const LightningTrace t = runLightning(brassmoor::LightningMode::Soft, frameMs, 20000 / frameMs);
    float peak = 0.0f;
    for (size_t f = 1; f < t.window.size(); ++f) {
      ASSERT_LE(t.window[f] - t.window[f - 1], Storm::kSoftRisePerFrame + 1e-6f) << frameMs << " ms, frame " << f;
      peak = std::max(peak, t.window[f]);
    }
    EXPECT_LE(peak, Storm::kSoftPeak + 1e-6f);
    // Even at ten frames a second a soft flash still shows in the window.
    EXPECT_GE(peak, frameMs <= 33 ? 0.3f : 0.09f) << frameMs << " ms a frame";
    for (const D3DGAMMARAMP& r : t.ramps) ASSERT_EQ(r.red[128], brassmoor::baseGammaRamp(0).red[128]);
    ASSERT_GE(t.shownStarts.size(), 3u);
    for (size_t i = 2; i < t.shownStarts.size(); ++i)
      EXPECT_GE(t.shownStarts[i] - t.shownStarts[i - 2], 1000) << "three flashes within a second";
  }
}

TEST(Lightning, FullKeepsTheDesignedFlashAndOffShowsNone) {
  const LightningTrace full = runLightning(brassmoor::LightningMode::Full, 16, 1000);
  EXPECT_FLOAT_EQ(*std::max_element(full.window.begin(), full.window.end()), 1.0f);
  const bool brightened = std::any_of(full.ramps.begin(), full.ramps.end(), [](const D3DGAMMARAMP& r) {
    return r.red[0] > brassmoor::baseGammaRamp(0).red[0];
  });
  EXPECT_TRUE(brightened);
  EXPECT_GT(full.winks, 0u);

  const LightningTrace off = runLightning(brassmoor::LightningMode::Off, 16, 1000);
  EXPECT_FLOAT_EQ(*std::max_element(off.window.begin(), off.window.end()), 0.0f);
  for (const D3DGAMMARAMP& r : off.ramps) ASSERT_EQ(r.red[0], brassmoor::baseGammaRamp(0).red[0]);
  EXPECT_TRUE(off.shownStarts.empty());
  EXPECT_EQ(off.winks, 0u) << "a storm too far to see leaves the lamp alone";
}

TEST_F(StormRun, ThunderComesAsLateAsTheStrikeIsFarAndFarThunderIsQuieter) {
  storm_.setTimes(3000, 1000);
  storm_.start(clock_.now());
  random_.rest = 1;
  random_.draws = {0, 0, 1, 1, 0, /*strike*/ 6299};
  clock_.advance(1000);
  runFrame();
  ASSERT_EQ(storm_.thunderDelays(), std::vector<int64_t>{Storm::kNearThunderMs + 6299});
  clock_.advance(Storm::kNearThunderMs + 6298);
  runFrame();
  EXPECT_EQ(claps_, 0);
  clock_.advance(1);
  runFrame();
  EXPECT_EQ(claps_, 1);

  storm_.setLightning(brassmoor::LightningMode::Off);
  random_.draws = {0, 0, 1, 1, 0, /*strike*/ 0};
  random_.next = 0;
  for (int i = 0; i < 200 && storm_.thunderQueued() == 0; ++i) {
    clock_.advance(100);
    runFrame();
  }
  ASSERT_EQ(storm_.thunderDelays(), std::vector<int64_t>{Storm::kFarThunderMs});
  for (int i = 0; i < 100 && claps_ == 1; ++i) {
    clock_.advance(100);
    runFrame();
  }
  EXPECT_EQ(claps_, 2);
  EXPECT_FLOAT_EQ(loudness_, Storm::kFarThunderLoudness);
}

}  // namespace
