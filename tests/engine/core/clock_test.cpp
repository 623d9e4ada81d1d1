#include "engine/core/clock.h"

#include <gtest/gtest.h>

#include "tests/support/fake_clock.h"

namespace {

TEST(IntervalTimer, LapseAnswersOnceAndRestarts) {
  testsupport::FakeClock clock(5000);
  halcyon::IntervalTimer timer;
  clock.advance(999);
  EXPECT_FALSE(timer.restartIfElapsed(1000));
  clock.advance(1);
  EXPECT_TRUE(timer.restartIfElapsed(1000));
  EXPECT_EQ(timer.elapsed(), 0);
  EXPECT_FALSE(timer.restartIfElapsed(1000));
}

TEST(IntervalTimer, ClockStandingFarBeforeStartCountsAsLapsed) {
  testsupport::FakeClock clock(50'000);
  halcyon::IntervalTimer timer;
  clock.set(50'000 - 30'000);
  EXPECT_TRUE(timer.restartIfElapsed(30'000));
  EXPECT_EQ(timer.start(), 20'000);
}

TEST(FrameClock, StepsAreCappedAndNeverNegative) {
  halcyon::FrameClock frames;
  const halcyon::SystemTime local{};
  EXPECT_EQ(frames.next(1000, local).stepMs, 0) << "the first frame has no frame before it";
  EXPECT_EQ(frames.next(1016, local).stepMs, 16);
  const halcyon::FrameTime stalled = frames.next(1016 + 5000, local);
  EXPECT_EQ(stalled.nowMs, 6016) << "the time itself is never capped";
  EXPECT_EQ(stalled.stepMs, halcyon::FrameClock::kMaxStepMs);
  EXPECT_EQ(frames.next(6000, local).stepMs, 0) << "a clock set back gives no step";
  EXPECT_EQ(frames.next(6010, local).stepMs, 10) << "and steps on from where it stands";
}

TEST(LocalTime, SetTimeRunsOnWithTheMillisecondClockAcrossMidnight) {
  testsupport::FakeClock clock;
  clock.setLocalTime(23, 59, 59, 500);
  auto t = halcyon::localTime();
  EXPECT_EQ(t.hour, 23);
  EXPECT_EQ(t.milliseconds, 500);
  clock.advance(700);
  t = halcyon::localTime();
  EXPECT_EQ(t.hour, 0);
  EXPECT_EQ(t.minute, 0);
  EXPECT_EQ(t.second, 0);
  EXPECT_EQ(t.milliseconds, 200);
  EXPECT_EQ(t.day, 8);
}

}  // namespace
