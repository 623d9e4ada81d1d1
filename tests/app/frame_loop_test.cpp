#include "app/frame_loop.h"

#include <gtest/gtest.h>

namespace {

using brassmoor::FrameRateMeter;

halcyon::SystemTime at(int h, int m, int s) {
  halcyon::SystemTime t;
  t.hour = static_cast<uint16_t>(h);
  t.minute = static_cast<uint16_t>(m);
  t.second = static_cast<uint16_t>(s);
  return t;
}

TEST(FrameRate, WindowClosingAfterExactlyOneSecondReportsItsFramesAndCountsNeither) {
  FrameRateMeter meter;
  meter.start(5000);
  for (int64_t t = 5100; t < 6000; t += 100) meter.pass(t);  // 9 passes
  EXPECT_EQ(meter.frameCount(), 9);
  EXPECT_EQ(meter.frameRate(), 9 * 1000 / 900);
  meter.pass(6000);  // exactly 1000 ms: closes the window
  EXPECT_EQ(meter.frameRate(), 9);
  EXPECT_EQ(meter.frameCount(), 0);
  meter.pass(6500);
  EXPECT_EQ(meter.frameCount(), 1);
  EXPECT_EQ(meter.frameRate(), 2);  // running estimate of the new window: 1 * 1000 / 500
}

TEST(FrameRate, FirstPassInTheSameMillisecondKeepsZero) {
  FrameRateMeter meter;
  meter.start(42);
  meter.pass(42);
  EXPECT_EQ(meter.frameCount(), 1);
  EXPECT_EQ(meter.frameRate(), 0);
  meter.pass(43);
  EXPECT_EQ(meter.frameRate(), 2000);
}

TEST(FrameRate, LongStallClosesTheWindowWithWhatWasCounted) {
  FrameRateMeter meter;
  meter.start(0);
  meter.pass(3);
  meter.pass(7000);
  EXPECT_EQ(meter.frameRate(), 1);
  EXPECT_EQ(meter.frameCount(), 0);
}

TEST(TimeText, TwelveAndTwentyFourHourForms) {
  using brassmoor::composeTimeText;
  EXPECT_EQ(composeTimeText(at(0, 5, 9), false), "0:05:09 am");
  EXPECT_EQ(composeTimeText(at(12, 0, 0), false), "12:00:00 pm");
  EXPECT_EQ(composeTimeText(at(13, 7, 45), false), "1:07:45 pm");
  EXPECT_EQ(composeTimeText(at(11, 59, 59), false), "11:59:59 am");
  EXPECT_EQ(composeTimeText(at(23, 10, 10), false), "11:10:10 pm");
  EXPECT_EQ(composeTimeText(at(13, 7, 45), true), "13:07:45 ");
  EXPECT_EQ(composeTimeText(at(0, 0, 0), true), "0:00:00 ");
}

}  // namespace
