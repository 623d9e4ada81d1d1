#pragma once
// The engine window over a plain SDL window of the test display, as the shell's saver window
// would be: the OpenGL device draws into it at the given size.
#include <SDL.h>

#include <cstdint>

#include "engine/device/application.h"

namespace testsupport {

class SdlEngineWindow : public halcyon::EngineWindow {
 public:
  SdlEngineWindow(SDL_Window* window, int32_t width, int32_t height) : window_(window), width_(width), height_(height) {}
  HWND DeviceWindow() override { return window_; }
  uint32_t Style() override { return style_; }
  void SetStyle(uint32_t style) override { style_ = style; }
  halcyon::WindowRect Rect() override { return {0, 0, width_, height_}; }
  halcyon::WindowRect ClientRect() override { return Rect(); }
  void Place(const halcyon::WindowRect&) override {}
  void PostQuit() override {}
  halcyon::LRESULT DefaultProcedure(uint32_t, halcyon::WPARAM, halcyon::LPARAM) override { return 0; }

 private:
  SDL_Window* window_;
  int32_t width_, height_;
  uint32_t style_ = 0;
};

}  // namespace testsupport
