#include "engine/gui/window_manager.h"

#include <algorithm>

namespace halcyon {

void WindowManager::add(Window* window) {
  if (window != nullptr && std::find(windows_.begin(), windows_.end(), window) == windows_.end()) {
    windows_.push_back(window);
  }
}

void WindowManager::remove(Window* window) {
  windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
}

void WindowManager::onInputEvent(const InputEvent& event) {
  const std::vector<Window*> round = windows_;  // a window may remove itself when told
  for (Window* w : round) {
    if (w->visible()) w->onInputEvent(event);
  }
}

bool WindowManager::render(StateCache& states) {
  bool ok = true;
  for (Window* w : windows_) {
    if (w->visible() && !w->render(states)) ok = false;
  }
  return ok;
}

}  // namespace halcyon
