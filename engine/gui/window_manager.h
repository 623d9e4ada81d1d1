#pragma once
// The window manager: the windows on screen in the order they were added (later ones on top).
// It listens to the input manager and passes every event to the visible windows, and draws
// the visible windows once per frame, after the scene, on a cleared depth buffer.
#include <vector>

#include "engine/gui/window.h"
#include "engine/input/input_event.h"

namespace halcyon {

class WindowManager : public InputListener {
 public:
  // Windows are not owned; a window must be removed before it is destroyed.
  void add(Window* window);
  void remove(Window* window);
  const std::vector<Window*>& windows() const { return windows_; }

  void onInputEvent(const InputEvent& event) override;
  // Draws every visible window; false when one of them failed (the others are still drawn).
  bool render(StateCache& states);

 private:
  std::vector<Window*> windows_;
};

}  // namespace halcyon
