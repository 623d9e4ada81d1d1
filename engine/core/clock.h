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
// The moment a local date and time names, in seconds since 1970 UTC, by the system's time zone.
int64_t localUnixSeconds(const SystemTime& local);

struct ClockSources {
  // Replaces the millisecond clock; an empty function restores the real one.
  static void setMillisecondSource(std::function<int64_t()> source);
  // Makes the local time start at `start` now and run on with the millisecond clock;
  // clearLocalTime() restores the system's local time.
  static void setLocalTime(const SystemTime& start);
  static void clearLocalTime();
};

// One frame's time, read once by the frame loop and handed to everything the frame moves:
// the millisecond clock, the step since the frame before and the local time the clock's hands
// and the time overlay show.
struct FrameTime {
  int64_t nowMs = 0;
  // Never negative and never more than FrameClock::kMaxStepMs.
  int64_t stepMs = 0;
  SystemTime local;
};

// Makes the frame times of a run. A frame's step is capped, so that a stall (a stopped
// process, a long device reset, a machine waking from sleep) moves what steps by it no
// further than a slow frame would; what measures time since an event (a flash, a tour's
// start) reads nowMs and sees the whole pause.
class FrameClock {
 public:
  static constexpr int64_t kMaxStepMs = 100;
  // The first frame's step is 0.
  FrameTime next(int64_t nowMs, const SystemTime& local);
  // The frame time of the clocks now.
  FrameTime next() { return next(millisecondClock(), localTime()); }

 private:
  int64_t previousMs_ = 0;
  bool started_ = false;
};

// A restartable stopwatch. The forms without a time read millisecondClock; the forms with one
// take the frame's time instead.
class IntervalTimer {
 public:
  IntervalTimer() { restart(); }
  explicit IntervalTimer(int64_t nowMs) : start_(nowMs) {}
  void restart() { start_ = millisecondClock(); }
  void restart(int64_t nowMs) { start_ = nowMs; }
  int64_t elapsed() const { return millisecondClock() - start_; }
  int64_t elapsed(int64_t nowMs) const { return nowMs - start_; }
  // True once `ms` milliseconds have passed (or the clock stands `ms` or more before the
  // start, as after a wrap), and then the timer restarts from now.
  bool restartIfElapsed(int64_t ms) { return restartIfElapsed(ms, millisecondClock()); }
  bool restartIfElapsed(int64_t ms, int64_t nowMs);
  int64_t start() const { return start_; }

 private:
  int64_t start_ = 0;
};

}  // namespace halcyon
