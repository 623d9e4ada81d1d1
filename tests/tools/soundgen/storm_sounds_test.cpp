#include "tools/soundgen/storm_sounds.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tools/soundgen/loop_join.h"

namespace soundgen {
namespace {

double windowPeak(const std::vector<float>& s, double from, double to) {
  double peak = 0.0;
  for (std::size_t i = static_cast<std::size_t>(from * kSampleRate); i < static_cast<std::size_t>(to * kSampleRate);
       ++i)
    peak = std::max(peak, static_cast<double>(std::fabs(s[i])));
  return peak;
}

TEST(Ticks, TwoSecondMonoLoopWithTickAndTockOneSecondApart) {
  const Audio ticks = makeTicks(1);
  ASSERT_EQ(ticks.channelCount(), 1);
  ASSERT_EQ(ticks.frames(), static_cast<std::size_t>(2 * kSampleRate));
  const auto& s = ticks.channels[0];
  const double tick = windowPeak(s, 0.0, 0.05), tock = windowPeak(s, 1.0, 1.05);
  const double between = std::max(windowPeak(s, 0.4, 0.95), windowPeak(s, 1.4, 1.95));
  EXPECT_GT(tick, 30 * between);
  EXPECT_GT(tock, 30 * between);
  // Different, but of a kind.
  EXPECT_GT(std::fabs(20 * std::log10(tick / tock)), 0.5);
  EXPECT_LT(std::fabs(20 * std::log10(tick / tock)), 4.0);
  EXPECT_LT(peakOf(ticks), 0.6);
  const JoinStep join = measureJoin(ticks);
  EXPECT_LE(join.step, 3.0 * join.localStep + 1e-4);
}

TEST(Rain, StereoLoopThatJoinsCleanlyAndIsTrulyStereo) {
  const Audio rain = makeRain(6.0, 3);
  ASSERT_EQ(rain.channelCount(), 2);
  ASSERT_EQ(rain.frames(), static_cast<std::size_t>(6 * kSampleRate));
  const JoinStep join = measureJoin(rain);
  EXPECT_LE(join.step, 4.0 * join.localStep);
  double dot = 0, ll = 0, rr = 0;
  for (std::size_t i = 0; i < rain.frames(); ++i) {
    dot += rain.channels[0][i] * rain.channels[1][i];
    ll += rain.channels[0][i] * rain.channels[0][i];
    rr += rain.channels[1][i] * rain.channels[1][i];
  }
  EXPECT_LT(dot / std::sqrt(ll * rr), 0.9) << "left and right should not be the same signal";
  EXPECT_LT(peakOf(rain), dbToGain(-6.0) + 1e-6);
}

TEST(Thunder, ThreeDifferentClapsThatEndInSilenceWithoutClipping) {
  double previousLength = 0.0;
  for (int which = 1; which <= 3; ++which) {
    const Audio clap = makeThunder(which, 11);
    ASSERT_EQ(clap.channelCount(), 2);
    const double seconds = static_cast<double>(clap.frames()) / kSampleRate;
    EXPECT_GE(seconds, 4.0);
    EXPECT_LE(seconds, 12.0);
    EXPECT_NE(seconds, previousLength);
    previousLength = seconds;
    EXPECT_LT(peakOf(clap), dbToGain(-0.9));
    for (const auto& ch : clap.channels) EXPECT_EQ(ch.back(), 0.0f);
  }
  // The near strike cracks: far more of its first half second lies above 2 kHz than of the
  // distant grumble's.
  auto highShare = [](const Audio& a) {
    Biquad hp = Biquad::highPass(2000, 0.7);
    double high = 0, all = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(0.5 * kSampleRate); ++i) {
      const float x = a.channels[0][i], h = hp.process(x);
      high += h * h;
      all += x * x;
    }
    return high / all;
  };
  EXPECT_GT(highShare(makeThunder(1, 11)), 20 * highShare(makeThunder(3, 11)));
}

}  // namespace
}  // namespace soundgen
