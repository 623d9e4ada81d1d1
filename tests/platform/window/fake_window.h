#pragma once
// A saver window without a display: it records what is painted and shown, and delivers
// only the messages posted to it.
#include <string>
#include <vector>

#include "platform/window/saver_window.h"

namespace testsupport {

class FakeWindow final : public platform::SaverWindow {
 public:
  FakeWindow(platform::WindowClass windowClass, uint32_t style, platform::Rect rect)
      : SaverWindow(std::move(windowClass), style), rect_(rect) {}

  platform::Rect clientRect() const override { return {0, 0, rect_.width(), rect_.height()}; }
  platform::Rect windowRect() const override { return rect_; }
  bool paintBitmap(const uint8_t* bitmap, std::size_t size, int x, int y) override {
    painted.push_back({bitmap, size, x, y});
    return true;
  }
  bool capture(platform::Image& image) override {
    image.width = 2;
    image.height = 1;
    image.rgb = {1, 2, 3, 4, 5, 6};
    return true;
  }
  bool setFullscreen(bool on) override {
    fullscreen = on;
    return true;
  }
  uint64_t x11Window() const override { return 0; }

  struct Paint {
    const uint8_t* data;
    std::size_t size;
    int x, y;
  };
  std::vector<Paint> painted;
  bool fullscreen = false;
  bool nativeClosed = false;
  std::vector<int> waits;  // every wait for the window system that was not a mere look

 protected:
  void pumpNative(int timeoutMs) override {
    if (timeoutMs != 0) waits.push_back(timeoutMs);
  }
  void closeNative() override { nativeClosed = true; }

 private:
  platform::Rect rect_;
};

}  // namespace testsupport
