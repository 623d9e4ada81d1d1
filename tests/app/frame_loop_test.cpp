#include "app/frame_loop.h"
#include "app/run_options.h"

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

TEST(FramePacer, HoldsTheRateOnAverageAndStartsAnewAfterALongStall) {
  brassmoor::FramePacer pacer(50);  // 20 ms a frame
  EXPECT_EQ(pacer.waitAfterFrame(1000), 20000);
  // A frame that took 5 ms of its 20 waits out the rest, measured from the schedule.
  EXPECT_EQ(pacer.waitAfterFrame(21000 + 5000), 15000);
  // A frame a little late is not waited for; the next one makes up for it.
  EXPECT_EQ(pacer.waitAfterFrame(41000 + 25000), 0);
  EXPECT_EQ(pacer.waitAfterFrame(66000 + 1000), 14000);
  // After a stall longer than a frame the schedule starts again: no burst of frames.
  EXPECT_EQ(pacer.waitAfterFrame(500000), 0);
  EXPECT_EQ(pacer.waitAfterFrame(501000), 19000);
  EXPECT_EQ(brassmoor::FramePacer(0).waitAfterFrame(123), 0) << "no cap, no wait";
}

TEST(FramePacer, CapComesFromTheOptionTheSettingTheHostOrTheDisplay) {
  brassmoor::RunOptions alone, hosted, asked;
  hosted.windowId = 42;
  asked.frameCap = 0;
  EXPECT_EQ(brassmoor::frameCap(alone, 0, 75), 75) << "a run of its own: the display's refresh";
  EXPECT_EQ(brassmoor::frameCap(alone, 0, 0), 60) << "a display that does not say";
  EXPECT_EQ(brassmoor::frameCap(hosted, 0, 144), brassmoor::kHostFrameCap);
  EXPECT_EQ(brassmoor::frameCap(alone, 30, 75), 30) << "the stored cap";
  EXPECT_EQ(brassmoor::frameCap(hosted, 30, 75), 30);
  EXPECT_EQ(brassmoor::frameCap(asked, 30, 75), 0) << "--max-fps 0 lifts every cap";
}

}  // namespace
