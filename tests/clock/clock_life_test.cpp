// The clock beyond its hands: the moon disc's phase and the strike of the hours and quarters.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <vector>

#include "clock/chimes.h"
#include "clock/moon_phase.h"

namespace {

using brassmoor::ChimeMode;
using brassmoor::ClockChimes;

int64_t utc(int y, int mo, int d, int h, int mi) {
  halcyon::SystemTime t;
  t.year = uint16_t(y);
  t.month = uint16_t(mo);
  t.day = uint16_t(d);
  t.hour = uint16_t(h);
  t.minute = uint16_t(mi);
  return brassmoor::continuousLocalMs(t) / 1000;  // a plain calendar: UTC when read as such
}

// Distance in days between two lunation ages, the short way round.
double ageGap(double a, double b) {
  const double d = std::fmod(std::fabs(a - b), brassmoor::kSynodicMonthDays);
  return std::min(d, brassmoor::kSynodicMonthDays - d);
}

TEST(MoonPhase, AgeMatchesEclipsesWithinHours) {
  const double half = brassmoor::kSynodicMonthDays / 2;
  // Eclipses fall on exact new and full moons.
  EXPECT_LT(ageGap(brassmoor::moonAgeDays(utc(2017, 8, 21, 18, 30)), 0.0), 0.25) << "solar eclipse, new moon";
  EXPECT_LT(ageGap(brassmoor::moonAgeDays(utc(2024, 4, 8, 18, 21)), 0.0), 0.25) << "solar eclipse, new moon";
  EXPECT_LT(ageGap(brassmoor::moonAgeDays(utc(2022, 11, 8, 11, 2)), half), 0.25) << "lunar eclipse, full moon";
  EXPECT_LT(ageGap(brassmoor::moonAgeDays(utc(2025, 3, 14, 6, 55)), half), 0.25) << "lunar eclipse, full moon";
  EXPECT_NEAR(brassmoor::illuminatedFraction(half), 1.0, 1e-9);
  EXPECT_NEAR(brassmoor::illuminatedFraction(half / 2), 0.5, 1e-9);
}

TEST(MoonPhase, ShadowCoversTheDiscAtNewMoonAndHalfAtTheQuarters) {
  const auto area = [](double age) {
    const auto strip = brassmoor::moonShadowStrip(age, 201);
    double a = 0;
    for (size_t i = 2; i < strip.size(); i += 2) {
      const double dy = strip[i].second - strip[i - 2].second;
      a += dy * ((strip[i + 1].first - strip[i].first) + (strip[i - 1].first - strip[i - 2].first)) / 2;
    }
    return a / M_PI;
  };
  const double month = brassmoor::kSynodicMonthDays;
  EXPECT_NEAR(area(0.0), 1.0, 0.01);
  EXPECT_NEAR(area(month / 2), 0.0, 0.01);
  EXPECT_NEAR(area(month / 4), 0.5, 0.01);
  EXPECT_NEAR(area(month / 8), 1.0 - brassmoor::illuminatedFraction(month / 8), 0.01);
  // Waxing: the shadow is on the left (the lit limb on the right); waning the other way.
  const auto waxing = brassmoor::moonShadowStrip(month / 4, 11);
  const auto waning = brassmoor::moonShadowStrip(3 * month / 4, 11);
  EXPECT_NEAR(waxing[10].first, -1.0f, 1e-5f);
  EXPECT_NEAR(waxing[11].first, 0.0f, 1e-5f);
  EXPECT_NEAR(waning[10].first, 0.0f, 1e-5f);
  EXPECT_NEAR(waning[11].first, 1.0f, 1e-5f);
}

halcyon::SystemTime at(int h, int m, int s, int ms = 0, int day = 7) {
  halcyon::SystemTime t;
  t.year = 2026;
  t.month = 12;
  t.day = uint16_t(day);
  t.hour = uint16_t(h);
  t.minute = uint16_t(m);
  t.second = uint16_t(s);
  t.milliseconds = uint16_t(ms);
  return t;
}

// Runs the chimes in 20 ms frames from `start` for `seconds`; each stroke with its time in
// milliseconds after the start.
std::vector<std::pair<int, int64_t>> ring(ChimeMode mode, halcyon::SystemTime start, int seconds) {
  ClockChimes chimes;
  chimes.setMode(mode);
  std::vector<std::pair<int, int64_t>> strokes;
  const int64_t origin = brassmoor::continuousLocalMs(start);
  for (int64_t ms = 0; ms <= seconds * 1000; ms += 20) {
    const int64_t now = origin + ms;
    halcyon::SystemTime t = start;
    // The calendar fields from the continuous clock (the midnight test crosses a day).
    const int64_t msOfDay = now % 86400000;
    t.day = uint16_t(start.day + (now / 86400000 - origin / 86400000));
    t.hour = uint16_t(msOfDay / 3600000);
    t.minute = uint16_t(msOfDay / 60000 % 60);
    t.second = uint16_t(msOfDay / 1000 % 60);
    t.milliseconds = uint16_t(msOfDay % 1000);
    chimes.update(t, [&](int bell) { strokes.emplace_back(bell, ms); });
  }
  return strokes;
}

TEST(Chimes, HoursStrikeOnTheHourAndNothingElse) {
  const auto noon = ring(ChimeMode::Hours, at(11, 59, 58), 40);
  ASSERT_EQ(noon.size(), 12u);
  EXPECT_EQ(noon[0].second, 2000) << "the first stroke as the clock reaches 12:00:00";
  for (size_t i = 1; i < noon.size(); ++i) {
    EXPECT_EQ(noon[i].first, brassmoor::kHourBell);
    EXPECT_EQ(noon[i].second - noon[i - 1].second, ClockChimes::kStrokeMs);
  }
  const auto midnight = ring(ChimeMode::Hours, at(23, 59, 59), 3);
  ASSERT_GE(midnight.size(), 1u);
  EXPECT_EQ(midnight[0].second, 1000);
  EXPECT_EQ(ring(ChimeMode::Hours, at(12, 59, 59), 3).size(), 1u) << "one o'clock: one stroke";
  EXPECT_TRUE(ring(ChimeMode::Hours, at(12, 14, 58), 5).empty()) << "no quarters";
  EXPECT_TRUE(ring(ChimeMode::Off, at(11, 59, 58), 40).empty());
  EXPECT_TRUE(ring(ChimeMode::Hours, at(12, 0, 0, 500), 5).empty()) << "a start just after the hour rings nothing";
}

TEST(Chimes, QuartersGrowThroughTheHourAndTheHourStrikesAfterItsChime) {
  const auto quarter = ring(ChimeMode::Quarters, at(10, 14, 59), 10);
  ASSERT_EQ(quarter.size(), 4u);
  EXPECT_EQ(quarter[0].second, 1000);
  EXPECT_EQ(ring(ChimeMode::Quarters, at(10, 29, 59), 15).size(), 8u);
  EXPECT_EQ(ring(ChimeMode::Quarters, at(10, 44, 59), 20).size(), 12u);
  const auto hour = ring(ChimeMode::Quarters, at(2, 59, 59), 30);
  ASSERT_EQ(hour.size(), 16u + 3u);
  EXPECT_EQ(hour[0].second, 1000) << "the hour's chime begins on the hour";
  for (int i = 0; i < 16; ++i) EXPECT_LT(hour[i].first, brassmoor::kQuarterBells);
  for (int i = 16; i < 19; ++i) EXPECT_EQ(hour[i].first, brassmoor::kHourBell);
  EXPECT_GE(hour[16].second - hour[15].second, ClockChimes::kNoteMs) << "the strokes after the chime";
}

}  // namespace
