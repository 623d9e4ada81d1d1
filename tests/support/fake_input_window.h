#pragma once
// An input window with no native window behind it: a client area of the given size, and a
// system cursor, left button and windowed state a test sets by hand; it keeps the cursor
// shape last asked for.
#include <cstdint>
#include <string>

#include "engine/input/input_manager.h"

namespace testsupport {

class FakeInputWindow : public halcyon::InputWindow {
 public:
  FakeInputWindow(uintptr_t handle, int32_t width, int32_t height) : handle_(handle), width_(width), height_(height) {}
  uintptr_t handle() const override { return handle_; }
  halcyon::ClientRect clientRect() const override { return {0, 0, width_, height_}; }
  bool isWindowed() const override { return windowed; }
  bool systemCursor(float& x, float& y) const override {
    x = cursorX;
    y = cursorY;
    return true;
  }
  void showArrowCursor() override { cursorShape = "arrow"; }
  void hideCursor() override { cursorShape = "none"; }
  bool asyncButtonDown(int button) const override { return button == 0 ? asyncLeft : false; }

  bool windowed = false;
  float cursorX = 0, cursorY = 0;
  bool asyncLeft = false;
  std::string cursorShape;

 private:
  uintptr_t handle_;
  int32_t width_, height_;
};

}  // namespace testsupport
