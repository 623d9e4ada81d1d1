#pragma once
// The saver window as the engine sees it: the engine's Application reads its rectangles and
// style and hands its SDL window to the render device; the shell keeps the window itself.
#include <cstdint>

#include "engine/device/application.h"
#include "platform/window/saver_window.h"

namespace brassmoor {

class ShellEngineWindow final : public halcyon::EngineWindow {
 public:
  explicit ShellEngineWindow(platform::SaverWindow& window) : window_(window), style_(window.style()) {}

  HWND deviceWindow() override { return window_.sdlWindow(); }
  uint32_t style() override { return style_; }
  void setStyle(uint32_t style) override { style_ = style; }
  halcyon::WindowRect rect() override { return convert(window_.windowRect()); }
  halcyon::WindowRect clientRect() override { return convert(window_.clientRect()); }
  // The render device moves the SDL window itself when it switches modes.
  void place(const halcyon::WindowRect&) override {}
  void postQuit() override { window_.postQuitMessage(0); }
  halcyon::LRESULT defaultProcedure(uint32_t, halcyon::WPARAM, halcyon::LPARAM) override { return 0; }
  bool systemGone() override { return platform::displayLost(); }

  platform::SaverWindow& window() { return window_; }

 private:
  static halcyon::WindowRect convert(const platform::Rect& r) { return {r.left, r.top, r.right, r.bottom}; }

  platform::SaverWindow& window_;
  uint32_t style_;
};

}  // namespace brassmoor
