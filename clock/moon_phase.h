#pragma once
// The moon in the dial's arch shows the real phase of the moon: its age in the lunation for
// the local date and time, and the part of the painted disc that lies in shadow.
#include <cstdint>
#include <utility>
#include <vector>

namespace brassmoor {

// Mean length of a lunation, new moon to new moon.
inline constexpr double kSynodicMonthDays = 29.530588853;

// Days since the last new moon at `unixSeconds` (seconds since 1970 UTC), 0 <= age < one
// lunation: the mean lunation corrected by its two largest periodic terms (the moon's and
// the sun's anomalies), which keeps it within a few hours of the true phase.
double moonAgeDays(int64_t unixSeconds);
// The lit share of the disc at `ageDays`: 0 new, 0.5 at the quarters, 1 full.
double illuminatedFraction(double ageDays);

// The disc's shadow as a triangle strip in disc units (radius 1, x to the viewer's right, y
// up), as seen from the northern hemisphere (the waxing moon lit on the right): `rows` rows
// from the bottom of the disc to the top, each a pair (shadow's left edge, right edge).
std::vector<std::pair<float, float>> moonShadowStrip(double ageDays, int rows);

}  // namespace brassmoor
