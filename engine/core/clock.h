#pragma once
// Process clocks: the monotonic millisecond clock that paces timers, animation and the
// frame rate, and the local wall-clock time that the hands and the time overlay show.
// Both read the real clocks unless a run (a fixed-time demo) or a test sets a source.
#include <cstdint>
#include <functional>

namespace halcyon {

// Monotonic 64-bit milliseconds.
int64_t millisecondClock();

// Local time with the fields of the Win32 SYSTEMTIME record.
struct SystemTime {
  uint16_t year = 0, month = 0, dayOfWeek = 0, day = 0;
  uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
};
SystemTime localTime();

struct ClockSources {
  // Replaces the millisecond clock; an empty function restores the real one.
  static void setMillisecondSource(std::function<int64_t()> source);
  // Makes the local time start at `start` now and run on with the millisecond clock;
  // clearLocalTime() restores the system's local time.
  static void setLocalTime(const SystemTime& start);
  static void clearLocalTime();
};

// A restartable stopwatch over millisecondClock.
class IntervalTimer {
 public:
  IntervalTimer() { restart(); }
  void restart() { start_ = millisecondClock(); }
  int64_t elapsed() const { return millisecondClock() - start_; }
  // True once `ms` milliseconds have passed (or the clock stands `ms` or more before the
  // start, as after a wrap); the timer then restarts itself.
  bool elapsedAtLeast(int64_t ms);
  int64_t start() const { return start_; }

 private:
  int64_t start_ = 0;
};

}  // namespace halcyon
