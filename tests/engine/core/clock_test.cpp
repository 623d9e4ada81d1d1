#include "engine/core/clock.h"

#include <gtest/gtest.h>

#include "tests/support/fake_clock.h"

namespace {

TEST(IntervalTimer, LapseAnswersOnceAndRestarts) {
  testsupport::FakeClock clock(5000);
  halcyon::IntervalTimer timer;
  clock.advance(999);
  EXPECT_FALSE(timer.elapsedAtLeast(1000));
  clock.advance(1);
  EXPECT_TRUE(timer.elapsedAtLeast(1000));
  EXPECT_EQ(timer.elapsed(), 0);
  EXPECT_FALSE(timer.elapsedAtLeast(1000));
}

TEST(IntervalTimer, ClockStandingFarBeforeStartCountsAsLapsed) {
  testsupport::FakeClock clock(50'000);
  halcyon::IntervalTimer timer;
  clock.set(50'000 - 30'000);
  EXPECT_TRUE(timer.elapsedAtLeast(30'000));
  EXPECT_EQ(timer.start(), 20'000);
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
