#pragma once
// The window layer's base: a rectangle on screen that can be shown or hidden, hears input
// events while it is visible and draws itself once per frame.
#include <cstdint>

#include "engine/input/input_event.h"

namespace halcyon {

class StateCache;

class Window {
 public:
  virtual ~Window() = default;

  // Moving or resizing to where the window already is changes nothing.
  void place(int32_t x, int32_t y) {
    if (x == x_ && y == y_) return;
    x_ = x;
    y_ = y;
    markForRedraw();
  }
  void resize(int32_t width, int32_t height) {
    if (width == width_ && height == height_) return;
    width_ = width;
    height_ = height;
    markForRedraw();
  }
  int32_t x() const { return x_; }
  int32_t y() const { return y_; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

  void setVisible(bool visible) { visible_ = visible; }
  bool visible() const { return visible_; }

  // What is drawn is rebuilt only when something changed since the last draw.
  void markForRedraw() { redraw_ = true; }
  bool needsRedraw() const { return redraw_; }

  virtual void onInputEvent(const InputEvent&) {}
  // Draws through the cache's device; false when drawing failed.
  virtual bool render(StateCache& states) = 0;

 protected:
  void redrawn() { redraw_ = false; }

 private:
  int32_t x_ = 0, y_ = 0, width_ = 0, height_ = 0;
  bool visible_ = true;
  bool redraw_ = true;
};

}  // namespace halcyon
