#pragma once
// A hand-driven millisecond clock for the life of a test; restores the real clock after.
#include <cstdint>

#include "engine/core/clock.h"

namespace testsupport {

class FakeClock {
 public:
  explicit FakeClock(int64_t startMs = 1'000'000);
  ~FakeClock();
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  int64_t now() const { return now_; }
  void set(int64_t ms) { now_ = ms; }
  void advance(int64_t ms) { now_ += ms; }
  // Every later reading moves the clock on by `ms` (0: it stands until moved by hand), for
  // code that waits on the clock.
  void setStep(int64_t ms) { step_ = ms; }
  // Fixes the local time (it then runs on with this clock).
  void setLocalTime(int hour, int minute, int second, int ms = 0);

 private:
  int64_t now_;
  int64_t step_ = 0;
};

}  // namespace testsupport
