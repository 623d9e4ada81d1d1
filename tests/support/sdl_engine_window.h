#pragma once
// The engine window over a plain SDL window of the test display, as the shell's saver window
// would be: the OpenGL device draws into it at the given size.
#include <SDL.h>

#include <cstdint>

#include "engine/device/application.h"
#include "tests/support/headless_engine_window.h"

namespace testsupport {

// The headless window's fixed client area, with a native window behind it that keeps the
// style it is given.
class SdlEngineWindow : public HeadlessEngineWindow {
 public:
  SdlEngineWindow(SDL_Window* window, int32_t width, int32_t height)
      : HeadlessEngineWindow(width, height), window_(window) {}
  HWND deviceWindow() override { return window_; }
  uint32_t style() override { return style_; }
  void setStyle(uint32_t style) override { style_ = style; }

 private:
  SDL_Window* window_;
  uint32_t style_ = 0;
};

}  // namespace testsupport
