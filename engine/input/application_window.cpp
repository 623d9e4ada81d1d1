#include "engine/input/application_window.h"

#include "platform/dinput/system_cursor.h"

namespace halcyon {

uintptr_t ApplicationInputWindow::handle() const {
  EngineWindow* w = app_->window();
  return w ? reinterpret_cast<uintptr_t>(w->deviceWindow()) : 0;
}

ClientRect ApplicationInputWindow::clientRect() const {
  EngineWindow* w = app_->window();
  if (w == nullptr) return {};
  const WindowRect r = w->clientRect();
  return {r.left, r.top, r.width(), r.height()};
}

bool ApplicationInputWindow::systemCursor(float& x, float& y) const {
  return dinput::systemCursorInClient(handle(), x, y);
}

void ApplicationInputWindow::showArrowCursor() { dinput::setArrowCursor(); }

void ApplicationInputWindow::hideCursor() { dinput::setCursorVisible(false); }

bool ApplicationInputWindow::asyncButtonDown(int button) const { return dinput::asyncButtonDown(button); }

}  // namespace halcyon
