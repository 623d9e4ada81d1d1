#pragma once
// The frame loop: messages, the keep-awake key press, the frame rate and the overlay texts,
// input, and one frame of the scene per pass while the window is active.
#include <cstdint>
#include <string>

#include "engine/core/clock.h"

namespace brassmoor {

class SaverApplication;

// Frames per second over windows of at least one second. Within the first window the rate
// is the running estimate; the pass that closes a window reports the frames counted in it
// and is itself counted in neither.
class FrameRateMeter {
 public:
  void start(int64_t nowMs) {
    windowStart_ = nowMs;
    frameCount_ = 0;
    frameRate_ = 0;
  }
  void pass(int64_t nowMs);
  int64_t frameRate() const { return frameRate_; }
  int64_t frameCount() const { return frameCount_; }

 private:
  int64_t windowStart_ = 0;
  int64_t frameCount_ = 0;
  int64_t frameRate_ = 0;
};

// Paces frames at a rate: each frame's start follows the last one's by one period, so the
// rate holds on average though a single wait may be coarse. A frame that runs later than a
// whole period starts a new schedule instead of hurrying to catch up.
class FramePacer {
 public:
  explicit FramePacer(int32_t framesPerSecond) : periodUs_(framesPerSecond > 0 ? 1000000 / framesPerSecond : 0) {}
  // A frame is done at `nowUs`; how long to wait, in microseconds, before the next one.
  int64_t waitAfterFrame(int64_t nowUs);

 private:
  int64_t periodUs_;
  int64_t next_ = 0;
  bool started_ = false;
};

// "1:07:45 pm" in 12-hour form, "13:07:45 " in 24-hour form (the empty suffix keeps its
// blank). timeStyle as the setting: true for the 24-hour form.
std::string composeTimeText(const halcyon::SystemTime& time, bool timeStyle);

// Runs until a quit is requested, then winds the run down; returns the exit code: 1, or 8
// when the display went away.
int runFrameLoop(SaverApplication& application);

}  // namespace brassmoor
