#pragma once
// An engine window with no native window behind it, for the recording render runtime: a
// client area of the given size and nothing else.
#include <cstdint>

#include "engine/device/application.h"

namespace testsupport {

class HeadlessEngineWindow : public halcyon::EngineWindow {
 public:
  explicit HeadlessEngineWindow(int32_t width = 64, int32_t height = 64) : width_(width), height_(height) {}
  HWND deviceWindow() override { return nullptr; }
  uint32_t style() override { return 0; }
  void setStyle(uint32_t) override {}
  halcyon::WindowRect rect() override { return {0, 0, width_, height_}; }
  halcyon::WindowRect clientRect() override { return rect(); }
  void place(const halcyon::WindowRect&) override {}
  void postQuit() override {}
  halcyon::LRESULT defaultProcedure(uint32_t, halcyon::WPARAM, halcyon::LPARAM) override { return 0; }
  bool systemGone() override { return windowSystemGone; }
  // Set by a test standing for a window system that went away under the window.
  bool windowSystemGone = false;

 private:
  int32_t width_, height_;
};

}  // namespace testsupport
