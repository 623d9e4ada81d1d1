#pragma once
// The clock's strike. With "Hours" the hour bell strikes the hour (one to twelve strokes) as
// the hour begins; with "Quarters" four smaller bells ring a chime at each quarter, longer
// as the hour fills (one change of four notes at a quarter past, two at the half, three at a
// quarter to, four at the hour), and the hour's strokes follow the hour's chime.
//
// The bells answer the local time the hands show, so a run started at a set time strikes
// exactly when its clock reaches the hour. A boundary that the clock jumped over (a start
// just after it, a clock set forward) rings nothing.
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "engine/core/clock.h"
#include "settings/setting_choices.h"

namespace brassmoor {

// Bells 0..3 ring the quarters, highest first; bell 4 strikes the hours.
inline constexpr int kQuarterBells = 4;
inline constexpr int kHourBell = 4;

struct BellStroke {
  int bell = 0;
  int64_t atMs = 0;  // after the quarter or hour began
};

// What rings as quarter `quarter` (1, 2, 3; 4 is the hour) begins, for an hour `hour` on a
// 24-hour clock. Nothing for ChimeMode::Off, nor for the quarters with ChimeMode::Hours.
std::vector<BellStroke> chimeAt(ChimeMode mode, int quarter, int hour);

class ClockChimes {
 public:
  using Strike = std::function<void(int bell)>;
  static constexpr int64_t kNoteMs = 550;       // between the notes of a change
  static constexpr int64_t kChangeGapMs = 550;  // a rest after each change
  static constexpr int64_t kStrokeMs = 1800;    // between the hour's strokes
  static constexpr int64_t kBeforeStrokesMs = 1500;

  void setMode(ChimeMode mode) { mode_ = mode; }
  ChimeMode mode() const { return mode_; }
  // Each frame with the local time: rings every stroke that has fallen due.
  void update(const halcyon::SystemTime& now, const Strike& strike);
  size_t pending() const { return pending_.size(); }

 private:
  struct Due {
    int bell;
    int64_t atMs;  // on the continuous local clock
  };

  ChimeMode mode_ = kDefaultChimes;
  std::optional<int64_t> last_;
  std::deque<Due> pending_;
};

// Milliseconds from 1 January 1970 of a local date and time taken as a plain calendar
// (no zone), so that day and month ends count on without a jump.
int64_t continuousLocalMs(const halcyon::SystemTime& t);

}  // namespace brassmoor
