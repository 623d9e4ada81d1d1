// The saver inside a screensaver host's X window. SDL draws with OpenGL into a child window
// of our own that covers the host's window: a host window of another depth or visual than
// the OpenGL configuration would refuse the context, the default visual never does. SDL
// listens to no events of a window it did not make, so a connection of our own watches the
// host for size changes and for its going away.
#include <SDL.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <algorithm>
#include <chrono>

#include "platform/window/sdl_events.h"
#include "platform/window/sdl_saver_window.h"
#include "platform/window/window_factory.h"
#include "platform/window/x11_errors.h"

namespace platform {
namespace {

int64_t nowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

struct HostTarget {
  Display* display = nullptr;  // our own connection
  Window host = 0;
  Window target = 0;  // where SDL draws: our child, or the root window itself
  bool ownTarget = false;
  Colormap colormap = 0;
  int width = 0;
  int height = 0;
};

class HostedSaverWindow final : public SdlSaverWindow {
 public:
  HostedSaverWindow(WindowClass windowClass, SDL_Window* window, const HostTarget& target)
      : SdlSaverWindow(std::move(windowClass), WS_CHILD | WS_VISIBLE, window), x_(target) {
    // What a newly shown window hears first; without the activation the frame loop would
    // never draw, since the host's window is not ours to focus.
    enqueue(WindowMessage{WM_SHOWWINDOW, 1, 0, 0});
    enqueue(WindowMessage{WM_ACTIVATE, WA_ACTIVE, 0, 0});
  }
  ~HostedSaverWindow() override {
    destroyNativeWindow();
    releaseHost();
  }

  bool hosted() const override { return true; }

  Rect clientRect() const override { return x_.display ? Rect{0, 0, x_.width, x_.height} : Rect{}; }

  Rect windowRect() const override {
    if (!alive()) return {};
    Window child;
    int x = 0, y = 0;
    XTranslateCoordinates(x_.display, x_.target, DefaultRootWindow(x_.display), 0, 0, &x, &y, &child);
    return Rect{x, y, x + x_.width, y + x_.height};
  }

  // The host decides the size and the name of its window.
  bool setFullscreen(bool) override { return false; }
  bool setTitle(const std::string&) override { return false; }

 protected:
  void pumpNative(int timeoutMs) override {
    if (timeoutMs != 0) waitForEvents(timeoutMs);
    std::vector<WindowMessage> fromSdl;
    takeSdlEvents(0, fromSdl);
    std::vector<WindowMessage> messages;
    // Of SDL's events only the quit request counts (SIGTERM, SIGINT): input and size
    // changes belong to the host.
    for (const WindowMessage& m : fromSdl)
      if (m.message == WM_CLOSE) messages.push_back(m);
    takeXEvents(messages);
    deliver(messages);
  }

  // The host's window is the host's to hide; ours goes with this object.
  void closeNative() override {}

 private:
  void releaseHost() {
    if (!x_.display) return;
    if (x_.ownTarget && !gone_) XDestroyWindow(x_.display, x_.target);
    if (x_.colormap) XFreeColormap(x_.display, x_.colormap);
    XSync(x_.display, False);
    XCloseDisplay(x_.display);
    x_.display = nullptr;
  }

  bool alive() const { return x_.display != nullptr && !gone_; }

  void waitForEvents(int timeoutMs) {
    const int64_t deadline = timeoutMs < 0 ? 0 : nowMs() + timeoutMs;
    while (true) {
      SDL_PumpEvents();
      if (SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) return;
      if (!x_.display || XPending(x_.display) > 0) return;
      // SDL has no descriptor to wait on: short slices keep a signal's quit prompt.
      int slice = 10;
      if (timeoutMs >= 0) {
        const int64_t left = deadline - nowMs();
        if (left <= 0) return;
        slice = static_cast<int>(std::min<int64_t>(slice, left));
      }
      pollfd fd{ConnectionNumber(x_.display), POLLIN, 0};
      ::poll(&fd, 1, slice);
    }
  }

  void takeXEvents(std::vector<WindowMessage>& out) {
    if (!x_.display) return;
    int newWidth = x_.width, newHeight = x_.height;
    while (XPending(x_.display) > 0) {
      XEvent e;
      XNextEvent(x_.display, &e);
      switch (e.type) {
        case ConfigureNotify:
          if (e.xconfigure.window == x_.host) {
            newWidth = std::max(1, e.xconfigure.width);
            newHeight = std::max(1, e.xconfigure.height);
          }
          break;
        case Expose:
          if (e.xexpose.window == x_.target && e.xexpose.count == 0) markPaint();
          break;
        case DestroyNotify:
          if (e.xdestroywindow.window == x_.host || e.xdestroywindow.window == x_.target) {
            if (!gone_) out.push_back(WindowMessage{WM_DESTROY, 0, 0, 0});
            gone_ = true;
          }
          break;
        default: break;
      }
    }
    if (gone_ || (newWidth == x_.width && newHeight == x_.height)) return;
    x_.width = newWidth;
    x_.height = newHeight;
    // SDL resizes our child, and learns the size the OpenGL drawable now has.
    if (SDL_Window* window = sdlWindow()) SDL_SetWindowSize(window, newWidth, newHeight);
    // A size change from outside is one finished sizing move, the same as a user's drag of
    // a window's edge: the device is reset once, at the end.
    out.push_back(WindowMessage{WM_ENTERSIZEMOVE, 0, 0, 0});
    out.push_back(WindowMessage{WM_SIZE, SIZE_RESTORED, makeLParam(newWidth, newHeight), 0});
    out.push_back(WindowMessage{WM_EXITSIZEMOVE, 0, 0, 0});
  }

  HostTarget x_;
  bool gone_ = false;
};

void release(HostTarget& t) {
  if (!t.display) return;
  if (t.ownTarget && t.target) XDestroyWindow(t.display, t.target);
  if (t.colormap) XFreeColormap(t.display, t.colormap);
  XCloseDisplay(t.display);
  t = HostTarget{};
}

// Opens our connection and makes the child window inside `host` (0: the root window).
bool prepareTarget(uint64_t host, const std::string& title, HostTarget& t) {
  t.display = XOpenDisplay(nullptr);
  if (!t.display) return false;
  survivesDisplayLoss(t.display);
  const Window root = DefaultRootWindow(t.display);
  t.host = host != 0 ? static_cast<Window>(host) : root;
  const unsigned long before = x11ErrorCount();
  XWindowAttributes a;
  if (!XGetWindowAttributes(t.display, t.host, &a) || (XSync(t.display, False), x11ErrorCount() != before)) {
    release(t);
    return false;
  }
  t.width = std::max(1, a.width);
  t.height = std::max(1, a.height);
  if (t.host == a.root) {
    // Drawing on the desktop itself: a child of the root would be a new top-level window.
    t.target = t.host;
    XSelectInput(t.display, t.host, StructureNotifyMask | ExposureMask);
  } else {
    Visual* visual = DefaultVisualOfScreen(a.screen);
    const int depth = DefaultDepthOfScreen(a.screen);
    t.colormap = XCreateColormap(t.display, a.root, visual, AllocNone);
    XSetWindowAttributes attributes{};
    attributes.colormap = t.colormap;
    attributes.border_pixel = 0;
    attributes.background_pixel = BlackPixelOfScreen(a.screen);
    attributes.event_mask = ExposureMask | StructureNotifyMask;
    t.target = XCreateWindow(t.display, t.host, 0, 0, static_cast<unsigned>(t.width), static_cast<unsigned>(t.height),
                             0, depth, InputOutput, visual, CWColormap | CWBorderPixel | CWBackPixel | CWEventMask,
                             &attributes);
    t.ownTarget = t.target != 0;
    if (t.ownTarget) {
      XStoreName(t.display, t.target, title.c_str());
      XMapWindow(t.display, t.target);
    }
    // Only the structure of the host's window: its input belongs to the host (and X lets
    // one client alone select button presses).
    XSelectInput(t.display, t.host, StructureNotifyMask);
  }
  XSync(t.display, False);
  if (t.target == 0 || x11ErrorCount() != before) {
    release(t);
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<SaverWindow> createHostedWindow(const WindowClass& windowClass, const std::string& title,
                                                uint64_t host) {
  if (!initSdlVideo()) return nullptr;
  // After SDL's start: its own handler would end the process on the first error about a
  // window the host has already destroyed.
  installX11ErrorHandler();
  HostTarget target;
  if (!prepareTarget(host, title, target)) return nullptr;
  void* native = reinterpret_cast<void*>(static_cast<uintptr_t>(target.target));
  SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
  SDL_Window* window = SDL_CreateWindowFrom(native);
  if (!window) {
    // No OpenGL on this display: the window still takes the saver's stand-in drawing.
    SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "0");
    window = SDL_CreateWindowFrom(native);
  }
  if (!window) {
    release(target);
    return nullptr;
  }
  installX11ErrorHandler();
  survivesLossOfSdlDisplay(window);
  return std::make_unique<HostedSaverWindow>(windowClass, window, target);
}

}  // namespace platform
