#pragma once
// The SDL-backed SaverWindow, shared by the saver's own window and the window inside a
// screensaver host (hosted_window.cpp), which differ only in where events and size come from.
#include <SDL.h>

#include <vector>

#include "platform/window/saver_window.h"

namespace platform {

class SdlSaverWindow : public SaverWindow {
 public:
  SdlSaverWindow(WindowClass windowClass, uint32_t style, SDL_Window* window);
  ~SdlSaverWindow() override;

  Rect clientRect() const override;
  Rect windowRect() const override;
  bool paintBitmap(const uint8_t* bitmap, std::size_t size, int x, int y) override;
  bool capture(Image& out) override;
  bool setFullscreen(bool on) override;
  bool setTitle(const std::string& title) override;
  SDL_Window* sdlWindow() const override { return window_; }
  uint64_t x11Window() const override;

 protected:
  void pumpNative(int timeoutMs) override;
  // Destroying the window hides it; the native window itself lives until this object goes,
  // because the render device's context belongs to it and the scene's device resources are
  // released after the window was destroyed.
  void closeNative() override;
  void destroyNativeWindow();
  // Waits up to `timeoutMs` for an SDL event (0: no wait, negative: no limit), then takes
  // every waiting one: observers see each, and the translated messages are appended.
  void takeSdlEvents(int timeoutMs, std::vector<WindowMessage>& messages);
  // Queues translated messages; exposures become the paint mark.
  void deliver(const std::vector<WindowMessage>& messages);
  uint32_t sdlWindowId() const { return id_; }

 private:
  SDL_Window* window_;
  uint32_t id_;
};

}  // namespace platform
