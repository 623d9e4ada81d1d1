#include "engine/core/clock.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <optional>
#include <utility>

namespace halcyon {
namespace {

struct Sources {
  std::function<int64_t()> milliseconds;
  std::optional<SystemTime> localStart;
  int64_t localStartMs = 0;
};

Sources& sources() {
  static Sources s;
  return s;
}

int64_t realMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The calendar fields of `t` for mktime, which then applies the zone's own daylight-saving
// rule for that date and carries fields out of their range into the next.
std::tm toTm(const SystemTime& t) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;
  return tm;
}

SystemTime fromTm(const std::tm& tm, int ms) {
  SystemTime t;
  t.year = static_cast<uint16_t>(tm.tm_year + 1900);
  t.month = static_cast<uint16_t>(tm.tm_mon + 1);
  t.dayOfWeek = static_cast<uint16_t>(tm.tm_wday);
  t.day = static_cast<uint16_t>(tm.tm_mday);
  t.hour = static_cast<uint16_t>(tm.tm_hour);
  t.minute = static_cast<uint16_t>(tm.tm_min);
  t.second = static_cast<uint16_t>(tm.tm_sec);
  t.milliseconds = static_cast<uint16_t>(ms);
  return t;
}

}  // namespace

int64_t millisecondClock() {
  const auto& source = sources().milliseconds;
  return source ? source() : realMilliseconds();
}

SystemTime localTime() {
  const Sources& s = sources();
  if (s.localStart) {
    // A set time runs on from its start with the millisecond clock; the date advances
    // through mktime's normalisation.
    const SystemTime& st = *s.localStart;
    const int64_t total = static_cast<int64_t>(st.milliseconds) + (millisecondClock() - s.localStartMs);
    const int64_t carrySeconds = total >= 0 ? total / 1000 : (total - 999) / 1000;
    std::tm tm = toTm(st);
    tm.tm_sec = static_cast<int>(st.second + carrySeconds);
    std::mktime(&tm);
    return fromTm(tm, static_cast<int>(total - carrySeconds * 1000));
  }
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t secs = system_clock::to_time_t(now);
  const int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm tm{};
  localtime_r(&secs, &tm);
  return fromTm(tm, ms);
}

int64_t localUnixSeconds(const SystemTime& local) {
  std::tm tm = toTm(local);
  return static_cast<int64_t>(std::mktime(&tm));
}

void ClockSources::setMillisecondSource(std::function<int64_t()> source) { sources().milliseconds = std::move(source); }

void ClockSources::setLocalTime(const SystemTime& start) {
  sources().localStart = start;
  sources().localStartMs = millisecondClock();
}

void ClockSources::clearLocalTime() { sources().localStart.reset(); }

FrameTime FrameClock::next(int64_t nowMs, const SystemTime& local) {
  FrameTime frame;
  frame.nowMs = nowMs;
  frame.local = local;
  // A clock that stands still or runs back (a source set by hand) gives no step.
  frame.stepMs = started_ ? std::clamp<int64_t>(nowMs - previousMs_, 0, kMaxStepMs) : 0;
  previousMs_ = nowMs;
  started_ = true;
  return frame;
}

bool IntervalTimer::restartIfElapsed(int64_t ms, int64_t now) {
  if (now - start_ >= ms || start_ - now >= ms) {
    start_ = now;
    return true;
  }
  return false;
}

}  // namespace halcyon
