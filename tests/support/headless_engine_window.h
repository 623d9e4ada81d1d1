#pragma once
// An engine window with no native window behind it, for the recording render runtime: a
// client area of the given size and nothing else.
#include <cstdint>

#include "engine/device/application.h"

namespace testsupport {

class HeadlessEngineWindow : public halcyon::EngineWindow {
 public:
  explicit HeadlessEngineWindow(int32_t width = 64, int32_t height = 64) : width_(width), height_(height) {}
  HWND DeviceWindow() override { return nullptr; }
  uint32_t Style() override { return 0; }
  void SetStyle(uint32_t) override {}
  halcyon::WindowRect Rect() override { return {0, 0, width_, height_}; }
  halcyon::WindowRect ClientRect() override { return Rect(); }
  void Place(const halcyon::WindowRect&) override {}
  void PostQuit() override {}
  halcyon::LRESULT DefaultProcedure(uint32_t, halcyon::WPARAM, halcyon::LPARAM) override { return 0; }
  bool SystemGone() override { return systemGone; }
  // Set by a test standing for a window system that went away under the window.
  bool systemGone = false;

 private:
  int32_t width_, height_;
};

}  // namespace testsupport
