#include "tests/support/fake_clock.h"

namespace testsupport {

FakeClock::FakeClock(int64_t startMs) : now_(startMs) {
  halcyon::ClockSources::setMillisecondSource([this] {
    const int64_t t = now_;
    now_ += step_;
    return t;
  });
}

FakeClock::~FakeClock() {
  halcyon::ClockSources::clearLocalTime();
  halcyon::ClockSources::setMillisecondSource({});
}

void FakeClock::setLocalTime(int hour, int minute, int second, int ms) {
  halcyon::SystemTime t;
  t.year = 2026;
  t.month = 12;
  t.day = 7;
  t.dayOfWeek = 1;
  t.hour = static_cast<uint16_t>(hour);
  t.minute = static_cast<uint16_t>(minute);
  t.second = static_cast<uint16_t>(second);
  t.milliseconds = static_cast<uint16_t>(ms);
  halcyon::ClockSources::setLocalTime(t);
}

}  // namespace testsupport
