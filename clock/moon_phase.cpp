#include "clock/moon_phase.h"

#include <algorithm>
#include <cmath>

namespace brassmoor {
namespace {

constexpr double kPi = 3.14159265358979323846;
// The new moon of 6 January 2000, 18:14 UTC, as a Julian day.
constexpr double kNewMoonJulianDay = 2451550.09766;
constexpr double kUnixEpochJulianDay = 2440587.5;

double degrees(double d) { return d * kPi / 180.0; }

}  // namespace

double moonAgeDays(int64_t unixSeconds) {
  const double julianDay = kUnixEpochJulianDay + static_cast<double>(unixSeconds) / 86400.0;
  const double lunations = (julianDay - kNewMoonJulianDay) / kSynodicMonthDays;
  // The true new moon comes early or late against the mean one by up to about 14 hours,
  // mostly through the moon's own anomaly and the sun's.
  const double sunAnomaly = degrees(2.5534 + 29.10535670 * lunations);
  const double moonAnomaly = degrees(201.5643 + 385.81693528 * lunations);
  const double late = -0.4072 * std::sin(moonAnomaly) + 0.1721 * std::sin(sunAnomaly);
  double age = (lunations - std::floor(lunations)) * kSynodicMonthDays - late;
  age = std::fmod(age, kSynodicMonthDays);
  if (age < 0.0) age += kSynodicMonthDays;
  return age;
}

double illuminatedFraction(double ageDays) { return (1.0 - std::cos(2.0 * kPi * ageDays / kSynodicMonthDays)) / 2.0; }

std::vector<std::pair<float, float>> moonShadowStrip(double ageDays, int rows) {
  std::vector<std::pair<float, float>> strip;
  if (rows < 2) return strip;
  const double angle = 2.0 * kPi *
                       std::fmod(std::fmod(ageDays, kSynodicMonthDays) + kSynodicMonthDays, kSynodicMonthDays) /
                       kSynodicMonthDays;
  const bool waxing = angle < kPi;
  for (int i = 0; i < rows; ++i) {
    // Rows crowd towards the top and bottom, where the limb turns fastest.
    const double y = -std::cos(kPi * i / (rows - 1));
    const double half = std::sqrt(std::max(0.0, 1.0 - y * y));
    // The terminator is a half ellipse: at the limb at new moon, across the middle at the
    // quarters, at the other limb at full moon.
    const double terminator = (waxing ? 1.0 : -1.0) * half * std::cos(angle);
    const double left = waxing ? -half : terminator;
    const double right = waxing ? terminator : half;
    strip.emplace_back(static_cast<float>(left), static_cast<float>(y));
    strip.emplace_back(static_cast<float>(right), static_cast<float>(y));
  }
  return strip;
}

}  // namespace brassmoor
