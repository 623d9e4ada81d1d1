#include "clock/chimes.h"

#include <array>

namespace brassmoor {
namespace {

constexpr int64_t kQuarterMs = 15 * 60 * 1000;
// Five changes rung on the four quarter bells (0 the highest); the quarters take them in
// turn, so each quarter's chime is the one before it and more.
constexpr std::array<std::array<int, 4>, 5> kChanges = {{
    {0, 1, 2, 3},
    {2, 0, 1, 3},
    {0, 2, 3, 1},
    {3, 1, 0, 2},
    {1, 3, 2, 0},
}};
constexpr std::array<std::array<int, 4>, 4> kQuarterChanges = {{
    {0, -1, -1, -1},
    {1, 2, -1, -1},
    {3, 4, 0, -1},
    {1, 2, 3, 4},
}};

int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
  // Days from 1970-01-01 in the proleptic Gregorian calendar.
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

int64_t continuousLocalMs(const halcyon::SystemTime& t) {
  const int64_t days = daysFromCivil(t.year, t.month, t.day);
  return ((days * 24 + t.hour) * 60 + t.minute) * 60000 + int64_t(t.second) * 1000 + t.milliseconds;
}

std::vector<BellStroke> chimeAt(ChimeMode mode, int quarter, int hour) {
  std::vector<BellStroke> strokes;
  if (mode == ChimeMode::Off || quarter < 1 || quarter > 4) return strokes;
  int64_t at = 0;
  if (mode == ChimeMode::Quarters) {
    for (int change : kQuarterChanges[quarter - 1]) {
      if (change < 0) break;
      for (int bell : kChanges[change]) {
        strokes.push_back({bell, at});
        at += ClockChimes::kNoteMs;
      }
      at += ClockChimes::kChangeGapMs;
    }
    if (quarter == 4) at += ClockChimes::kBeforeStrokesMs - ClockChimes::kNoteMs - ClockChimes::kChangeGapMs;
  }
  if (quarter != 4) return strokes;
  const int count = hour % 12 == 0 ? 12 : hour % 12;
  for (int i = 0; i < count; ++i) strokes.push_back({kHourBell, at + i * ClockChimes::kStrokeMs});
  return strokes;
}

void ClockChimes::update(const halcyon::SystemTime& now, const Strike& strike) {
  const int64_t ms = continuousLocalMs(now);
  // A boundary counts only when the clock ran across it since the frame before, and not by
  // a jump: a clock set forward by more than this rings nothing for the time it skipped.
  constexpr int64_t kLongestFrameMs = 5000;
  if (last_ && ms > *last_ && ms - *last_ <= kLongestFrameMs) {
    const int64_t boundary = ms - ms % kQuarterMs;
    if (*last_ < boundary) {
      const int64_t minuteOfDay = (boundary / 60000) % (24 * 60);
      const int quarter = static_cast<int>((minuteOfDay % 60) / 15);
      const int hour = static_cast<int>(minuteOfDay / 60);
      for (const BellStroke& s : chimeAt(mode_, quarter == 0 ? 4 : quarter, hour))
        pending_.push_back({s.bell, boundary + s.atMs});
    }
  } else if (last_ && ms < *last_) {
    pending_.clear();  // the clock was set back: what was due belongs to another time
  }
  last_ = ms;
  while (!pending_.empty() && pending_.front().atMs <= ms) {
    if (strike) strike(pending_.front().bell);
    pending_.pop_front();
  }
}

}  // namespace brassmoor
