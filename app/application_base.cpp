#include "app/application_base.h"

#include <algorithm>

namespace brassmoor {

using namespace platform;

ApplicationBase::~ApplicationBase() { Cleanup3DEnvironment(); }

bool ApplicationBase::RestoreDeviceObjects() { return true; }

void ApplicationBase::InvalidateDeviceObjects() {}

bool ApplicationBase::Create(void* moduleInstance, SaverWindow* saverWindow) {
  instance = moduleInstance;
  window = saverWindow;
  return window != nullptr;
}

bool ApplicationBase::SetMode(bool fullScreen) {
  Cleanup3DEnvironment();
  if (window == nullptr) return false;
  windowed = !fullScreen;
  if (fullScreen) window->setFullscreen(true);
  active = true;
  suspended = false;
  deviceReady_ = true;
  RestoreDeviceObjects();
  return true;
}

bool ApplicationBase::TestDevice() { return deviceReady_ && window != nullptr && !window->destroyed(); }

void ApplicationBase::Cleanup3DEnvironment() {
  if (!deviceReady_) return;
  InvalidateDeviceObjects();
  deviceReady_ = false;
}

void ApplicationBase::AddMessageHandler(MessageHandler* handler) {
  if (handler && std::find(handlers_.begin(), handlers_.end(), handler) == handlers_.end()) handlers_.push_back(handler);
}

void ApplicationBase::RemoveMessageHandler(MessageHandler* handler) { std::erase(handlers_, handler); }

bool ApplicationBase::PresentFrame() { return TestDevice() && window->presentBlack(); }

bool ApplicationBase::CaptureFrame(Image& image) { return window != nullptr && window->capture(image); }

LRESULT ApplicationBase::MsgProc(SaverWindow& w, uint32_t message, WPARAM wParam, LPARAM lParam) {
  // Copy: a handler may unregister itself while it is called.
  const auto handlers = handlers_;
  for (MessageHandler* handler : handlers) handler->HandleMessage(w, message, wParam, lParam);
  switch (message) {
    case WM_SIZE:
      if (wParam == SIZE_MINIMIZED) {
        suspended = true;
        minimized = true;
        maximized = false;
      } else if (wParam == SIZE_MAXIMIZED) {
        if (minimized) suspended = false;
        maximized = true;
        minimized = false;
      } else if (wParam == SIZE_RESTORED) {
        if (maximized) maximized = false;
        if (minimized) {
          suspended = false;
          minimized = false;
        }
      }
      return 0;
    case WM_ACTIVATE:
      active = lowWord(wParam) != 0;
      return 0;
    case WM_ENTERSIZEMOVE:
      suspended = true;
      return 0;
    case WM_EXITSIZEMOVE:
      suspended = false;
      return 0;
    case WM_SYSCOMMAND:
      if (!windowed && (wParam == SC_SIZE || wParam == SC_MOVE || wParam == SC_MAXIMIZE || wParam == SC_KEYMENU ||
                        wParam == SC_MONITORPOWER))
        return 1;
      // The default handling of a close command is a close request.
      if ((wParam & 0xFFF0) == SC_CLOSE) w.postMessage(WM_CLOSE);
      return 0;
    case WM_CLOSE:
      Cleanup3DEnvironment();
      w.postQuitMessage(0);
      return 0;
    case WM_QUIT:
      Cleanup3DEnvironment();
      return 0;
    default:
      return 0;
  }
}

}  // namespace brassmoor
