#pragma once
// The clock scene inside the shell, as the program runs it: the shell makes the device,
// composes the frame and owns the camera, the tours and the properties; the scene loads the
// room and draws its passes. The scene's own operations and parts are offered here under
// the names the tests use, beside the shell's; frameMove and composeFrame read the (fake)
// clocks as the frame loop does, once for each call.
#include <memory>
#include <utility>

#include "app/saver_application.h"
#include "clock/clock_scene.h"

namespace clocktest {

class ClockShell : public brassmoor::SaverApplication {
 public:
  explicit ClockShell(brassmoor::ClockSceneSetup setup = {}) {
    auto scene = std::make_unique<brassmoor::ClockScene>(std::move(setup));
    clock_ = scene.get();
    setScene(std::move(scene));
  }

  brassmoor::ClockScene& clockScene() { return *clock_; }

  bool loadCustom() { return clock_->loadCustom(); }
  bool frameMove() { return clock_->frameMove(frames_.next()); }
  // A frame drawn at the clocks' time now; the step belongs to the frames of frameMove.
  bool composeFrame() {
    halcyon::FrameTime frame;
    frame.nowMs = halcyon::millisecondClock();
    frame.local = halcyon::localTime();
    return SaverApplication::composeFrame(frame);
  }
  void endRun() { clock_->endRun(); }
  intptr_t configDialogProc(void* dialog, uint32_t message, platform::WPARAM wParam, platform::LPARAM lParam) {
    return clock_->configDialogProc(dialog, message, wParam, lParam);
  }

  brassmoor::Storm& storm() { return clock_->storm(); }
  brassmoor::ClockChimes& chimes() { return clock_->chimes(); }
  brassmoor::ClockSound& sound() { return clock_->sound(); }
  // The room (the shell's own scene() is the scene interface).
  halcyon::Scene& scene() { return clock_->scene(); }
  bool sceneLoaded() const { return clock_->sceneLoaded(); }
  halcyon::SceneNode* hourHand() const { return clock_->hourHand(); }
  halcyon::SceneNode* minuteHand() const { return clock_->minuteHand(); }
  halcyon::SceneNode* clockGlass() const { return clock_->clockGlass(); }
  halcyon::SceneNode* lamp() const { return clock_->lamp(); }
  halcyon::SceneNode* curtain() const { return clock_->curtain(); }
  halcyon::SceneNode* outdoorPlane() const { return clock_->outdoorPlane(); }
  const halcyon::Track& hourTrack() const { return clock_->hourTrack(); }
  const halcyon::Track& minuteTrack() const { return clock_->minuteTrack(); }
  halcyon::Vec3 ticksPosition() const { return clock_->ticksPosition(); }

 private:
  brassmoor::ClockScene* clock_ = nullptr;
  halcyon::FrameClock frames_;
};

}  // namespace clocktest
