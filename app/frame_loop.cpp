#include "app/frame_loop.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "app/entry_point.h"
#include "app/saver_application.h"
#include "engine/core/trace.h"
#include "platform/snapshot/png_file.h"

namespace brassmoor {

using namespace platform;

namespace {

constexpr int64_t kKeepAwakeMs = 30000;
constexpr int kInactiveWaitMs = 50;

// --record and --screenshot: pictures of the drawn frames.
class FrameOutput {
 public:
  explicit FrameOutput(const RunOptions& options) : options_(options) {}

  void frameDrawn(SaverApplication& app) {
    if (options_.recordDir.empty() || recordFailed_) return;
    if (index_ == 0) {
      std::error_code ec;
      std::filesystem::create_directories(options_.recordDir, ec);
    }
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05lld.png", static_cast<long long>(index_));
    const std::string path = (std::filesystem::path(options_.recordDir) / name).string();
    if (!save(app, path)) {
      halcyon::reportFailure("cannot write " + path + "; recording stopped");
      recordFailed_ = true;
    }
    ++index_;
  }

  void finish(SaverApplication& app, bool anyFrame) {
    if (options_.screenshot.empty()) return;
    if (!anyFrame || !save(app, options_.screenshot))
      halcyon::reportFailure("cannot write the screenshot " + options_.screenshot);
  }

 private:
  static bool save(SaverApplication& app, const std::string& path) {
    Image image;
    return app.captureFrame(image) && writePng(path, image.width, image.height, image.rgb);
  }

  const RunOptions& options_;
  int64_t index_ = 0;
  bool recordFailed_ = false;
};

}  // namespace

void FrameRateMeter::pass(int64_t now) {
  const int64_t elapsed = now - windowStart_;
  if (elapsed >= 1000) {
    frameRate_ = frameCount_;
    windowStart_ = now;
    frameCount_ = 0;
  } else {
    ++frameCount_;
    if (elapsed != 0) frameRate_ = frameCount_ * 1000 / elapsed;
  }
}

int64_t FramePacer::waitAfterFrame(int64_t nowUs) {
  if (periodUs_ == 0) return 0;
  if (!started_) {
    next_ = nowUs;
    started_ = true;
  }
  next_ += periodUs_;
  if (nowUs - next_ > periodUs_) next_ = nowUs;  // more than a whole frame behind
  return std::max<int64_t>(0, next_ - nowUs);
}

std::string composeTimeText(const halcyon::SystemTime& t, bool timeStyle) {
  unsigned hour = t.hour;
  const char* suffix = "";
  if (!timeStyle) {
    suffix = hour < 12 ? "am" : "pm";
    if (hour > 12) hour -= 12;
  }
  char text[40];
  std::snprintf(text, sizeof text, "%u:%s%u:%s%u %s", hour, t.minute < 10 ? "0" : "", static_cast<unsigned>(t.minute),
                t.second < 10 ? "0" : "", static_cast<unsigned>(t.second), suffix);
  return text;
}

int runFrameLoop(SaverApplication& app) {
  SaverWindow& window = *app.saverWindow();
  const RunOptions& options = app.runOptions();
  const bool preview = app.mode() == ScreensaverMode::Preview;
  halcyon::FrameClock frameClock;
  FrameRateMeter meter;
  const int64_t startMs = halcyon::millisecondClock();
  meter.start(startMs);
  halcyon::IntervalTimer rateTextTimer(startMs);
  halcyon::IntervalTimer idleTimer(startMs);
  halcyon::IntervalTimer runTimer(startMs);
  bool firstFrameDone = false;
  int64_t framesDrawn = 0;
  FrameOutput output(options);
  FramePacer pacer(frameCap(options, app.settings().FrameCap, displayRefreshRate(window)));
  const auto microseconds = [] {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  };
  const auto runLimitReached = [&](int64_t nowMs) {
    return options.seconds && static_cast<double>(runTimer.elapsed(nowMs)) >= *options.seconds * 1000.0;
  };

  const bool handsOverFrames = options.frames || !options.screenshot.empty() || !options.recordDir.empty();
  bool displayGone = false;
  while (!app.quitRequested()) {
    if (displayLost()) {
      // Every later call on the connection does nothing; the run ends in its usual order.
      sayDisplayLost();
      displayGone = true;
      app.requestQuit();
      break;
    }
    WindowMessage message;
    bool handled = false;
    while (!app.quitRequested() && window.peekMessage(message)) {
      window.dispatchMessage(message);
      handled = true;
    }
    if (preview) {
      if (runLimitReached(halcyon::millisecondClock())) app.requestQuit();
      // The preview only answers messages; waiting for them costs the host nothing.
      if (!app.quitRequested() && !handled) window.waitMessage(options.seconds ? 50 : -1);
      continue;
    }

    // The pass's one reading of the clocks: everything below takes its time from here.
    const halcyon::FrameTime frame = frameClock.next();
    if (idleTimer.restartIfElapsed(kKeepAwakeMs, frame.nowMs)) {
      // Two synthetic F3 presses, as the saver always made them; the window procedure ignores
      // the key. What keeps the display awake here is the start-up's keepDisplayAwake.
      window.postMessage(WM_KEYDOWN, VK_F3, 1);
      window.postMessage(WM_KEYDOWN, VK_F3, 1);
    }
    if (runLimitReached(frame.nowMs)) app.requestQuit();
    if (app.quitRequested()) {
      halcyon::logLine("2.exit\n");
      break;
    }

    meter.pass(frame.nowMs);
    if (OverlayText* fps = app.fpsText(); fps && rateTextTimer.restartIfElapsed(1000, frame.nowMs)) {
      fps->setText(std::to_string(static_cast<int32_t>(meter.frameRate())));
      fps->markForRedraw();
    }
    const Rect client = window.clientRect();
    if (OverlayText* time = app.timeText()) {
      time->setText(composeTimeText(frame.local, app.settings().TimeStyle));
      const auto [width, height] = time->textExtent();
      time->setPlace(static_cast<float>(client.right) - width, static_cast<float>(client.bottom) - height);
      time->markForRedraw();
    }

    app.parts().input->update(0);
    app.parts().input->pump();
    app.scene().perFrameHook();
    app.updateFreeCamera(frame);
    // A run that exists to hand over frames (--frames, --screenshot, --record) draws them
    // whichever window has the focus: otherwise one started beside another window could wait
    // for ever for a frame that never comes.
    if (!app.engine().active() && !handsOverFrames) {
      // Nothing is drawn while the window is inactive, but the scene goes on (the sound keeps
      // fading in and the storm keeps its thunder). The loop then waits for the window system
      // (a bounded wait, so timers and the run's limits are still looked at) instead of
      // asking it again at once, which would keep a core busy for nothing.
      app.scene().frameMove(frame);
      if (!app.quitRequested()) window.waitMessage(kInactiveWaitMs);
      continue;
    }

    if (!firstFrameDone) halcyon::logLine("Active Frame1 start\n");
    app.scene().frameMove(frame);
    if (!firstFrameDone) {
      halcyon::logLine("Do Render started\n");
      // On a rasteriser on the CPU the programs' building would otherwise peak with the
      // frame's own memory: the run's largest resident size.
      app.composeFrameUnseen(frame);
    }
    const bool drawn = app.composeFrame(frame);
    if (!firstFrameDone) {
      halcyon::logLine("Active Frame1 end\n");
      firstFrameDone = true;
    }
    if (drawn) {
      ++framesDrawn;
      output.frameDrawn(app);
      if (options.frames && framesDrawn >= *options.frames) app.requestQuit();
    }
    if (const int64_t wait = pacer.waitAfterFrame(microseconds()); wait > 0)
      std::this_thread::sleep_for(std::chrono::microseconds(wait));
  }

  output.finish(app, framesDrawn > 0);
  app.scene().endRun();
  app.scene().exitHook();
  // Without the display the window is already gone with it; asking the window system to take
  // it down would wait for an answer that never comes.
  if (!displayGone) {
    app.destroyWindow();
    showCursor(true);
    keepDisplayAwake(false);
  }
  halcyon::logError("", "Log closed\n");
  return displayGone ? exit_code::kDisplayLost : exit_code::kRunEnded;
}

}  // namespace brassmoor
