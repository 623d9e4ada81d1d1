#include <SDL.h>
#include <SDL_syswm.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/window/message_translation.h"
#include "platform/window/bmp_image.h"
#include "platform/window/sdl_events.h"
#include "platform/window/sdl_saver_window.h"
#include "platform/window/window_factory.h"
#include "platform/window/x11_errors.h"

namespace platform {
namespace {

struct Observers {
  std::map<int, SdlEventObserver> byHandle;
  int next = 1;
};

Observers& observers() {
  static Observers o;
  return o;
}

constexpr Uint64 kConnectRetryMs = 3000;

std::string& lastVideoError() {
  static std::string text;
  return text;
}

}  // namespace

SdlSaverWindow::SdlSaverWindow(WindowClass windowClass, uint32_t style, SDL_Window* window)
    : SaverWindow(std::move(windowClass), style), window_(window), id_(SDL_GetWindowID(window)) {}

SdlSaverWindow::~SdlSaverWindow() { destroyNativeWindow(); }

Rect SdlSaverWindow::clientRect() const {
  if (!window_) return {};
  int w = 0, h = 0;
  // The device draws in pixels, which on a scaled (HiDPI) display outnumber the window's
  // own units.
  if (SDL_GetWindowFlags(window_) & SDL_WINDOW_OPENGL) SDL_GL_GetDrawableSize(window_, &w, &h);
  else
    SDL_GetWindowSize(window_, &w, &h);
  return Rect{0, 0, w, h};
}

Rect SdlSaverWindow::windowRect() const {
  if (!window_) return {};
  int x = 0, y = 0, w = 0, h = 0;
  SDL_GetWindowPosition(window_, &x, &y);
  SDL_GetWindowSize(window_, &w, &h);
  return Rect{x, y, x + w, y + h};
}

bool SdlSaverWindow::paintBitmap(const uint8_t* bitmap, std::size_t size, int x, int y) {
  Image image;
  if (!window_ || !decodeBitmap(bitmap, size, image)) return false;
  SDL_Surface* target = SDL_GetWindowSurface(window_);
  if (!target) return false;
  SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(image.rgb.data(), image.width, image.height, 24,
                                                           image.width * 3, SDL_PIXELFORMAT_RGB24);
  if (!source) return false;
  SDL_Rect at{x, y, image.width, image.height};
  const bool ok = SDL_BlitSurface(source, nullptr, target, &at) == 0 && SDL_UpdateWindowSurface(window_) == 0;
  SDL_FreeSurface(source);
  return ok;
}

bool SdlSaverWindow::capture(Image& out) {
  SDL_Surface* surface = window_ ? SDL_GetWindowSurface(window_) : nullptr;
  if (!surface) return false;
  SDL_Surface* rgb = SDL_ConvertSurfaceFormat(surface, SDL_PIXELFORMAT_RGB24, 0);
  if (!rgb) return false;
  Image image;
  image.width = rgb->w;
  image.height = rgb->h;
  image.rgb.resize(static_cast<std::size_t>(rgb->w) * static_cast<std::size_t>(rgb->h) * 3);
  SDL_LockSurface(rgb);
  for (int y = 0; y < rgb->h; ++y) {
    const auto* row = static_cast<const uint8_t*>(rgb->pixels) + static_cast<std::ptrdiff_t>(y) * rgb->pitch;
    std::copy(row, row + rgb->w * 3, image.rgb.begin() + static_cast<std::ptrdiff_t>(y) * rgb->w * 3);
  }
  SDL_UnlockSurface(rgb);
  SDL_FreeSurface(rgb);
  out = std::move(image);
  return true;
}

bool SdlSaverWindow::setFullscreen(bool on) {
  if (!window_) return false;
  if (on) {
    // Without a window manager the full-screen request alone leaves the window at its
    // size, so it is first made to cover its display.
    SDL_Rect bounds;
    const int display = SDL_GetWindowDisplayIndex(window_);
    if (display >= 0 && SDL_GetDisplayBounds(display, &bounds) == 0) {
      SDL_SetWindowPosition(window_, bounds.x, bounds.y);
      SDL_SetWindowSize(window_, bounds.w, bounds.h);
    }
  }
  return SDL_SetWindowFullscreen(window_, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) == 0;
}

bool SdlSaverWindow::setTitle(const std::string& title) {
  if (!window_) return false;
  SDL_SetWindowTitle(window_, title.c_str());
  return true;
}

uint64_t SdlSaverWindow::x11Window() const {
  if (!window_) return 0;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window_, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
  return static_cast<uint64_t>(info.info.x11.window);
}

void SdlSaverWindow::takeSdlEvents(int timeoutMs, std::vector<WindowMessage>& messages) {
  SDL_Event event;
  bool have = false;
  if (timeoutMs < 0) {
    have = SDL_WaitEvent(&event) == 1;
  } else if (timeoutMs > 0) {
    have = SDL_WaitEventTimeout(&event, timeoutMs) == 1;
  }
  auto take = [&](const SDL_Event& e) {
    notifySdlEventObservers(e);
    translateSdlEvent(e, id_, messages);
  };
  if (have) take(event);
  while (SDL_PollEvent(&event) == 1) take(event);
}

void SdlSaverWindow::deliver(const std::vector<WindowMessage>& messages) {
  for (const WindowMessage& m : messages) {
    if (m.message == WM_PAINT) markPaint();
    else
      enqueue(m);
  }
}

void SdlSaverWindow::pumpNative(int timeoutMs) {
  std::vector<WindowMessage> messages;
  takeSdlEvents(timeoutMs, messages);
  deliver(messages);
}

void SdlSaverWindow::closeNative() {
  if (window_) SDL_HideWindow(window_);
}

void SdlSaverWindow::destroyNativeWindow() {
  if (window_) SDL_DestroyWindow(window_);
  window_ = nullptr;
}

int x11ScreenOfDisplayName(const std::string& name) {
  const std::size_t colon = name.rfind(':');
  if (colon == std::string::npos || colon + 1 >= name.size()) return -1;
  const std::string rest = name.substr(colon + 1);
  const std::size_t dot = rest.find('.');
  const auto allDigits = [](const std::string& text) {
    return !text.empty() && text.size() <= 6 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (!allDigits(rest.substr(0, dot))) return -1;
  if (dot == std::string::npos) return 0;
  const std::string screen = rest.substr(dot + 1);
  return allDigits(screen) ? std::stoi(screen) : -1;
}

bool initSdlVideo() {
  static bool done = false;
  if (done) return true;
  // A screensaver must not hold off the session's own idle handling; a run of its own asks
  // for the display to stay awake through keepDisplayAwake.
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  // Keep the saver on the X11 connection the hosts and tests talk to.
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
  const char* display = std::getenv("DISPLAY");
  const bool displayNamed = display && *display;
  // On a display of several X screens, SDL's XRandR view lists every screen at the same
  // origin and puts every window, and every OpenGL visual, on the first one; a saver a host
  // started for another screen then fails to draw into the host's window there. Without
  // XRandR SDL knows the one screen the display name asks for, which is all a saver draws on.
  if (displayNamed && x11ScreenOfDisplayName(display) > 0) SDL_SetHint(SDL_HINT_VIDEO_X11_XRANDR, "0");
  // An X server that has just lost its last client resets and refuses connections for a
  // moment; a display that exists is tried again for a bounded time.
  const Uint64 giveUp = SDL_GetTicks64() + kConnectRetryMs;
  // A server lost while SDL sets its video up is said like any later loss.
  installX11ErrorHandler();
  while (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    lastVideoError() = SDL_GetError();
    if (!displayNamed || SDL_GetTicks64() >= giveUp) return false;
    SDL_Delay(100);
  }
  installX11ErrorHandler();
  // The video stays up for the rest of the process: its X connection is the one every later
  // window of the saver uses, and dropping it could let the server reset under the run.
  done = true;
  return true;
}

std::string sdlVideoError() { return lastVideoError(); }

void survivesLossOfSdlDisplay(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (window && SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11)
    survivesDisplayLoss(info.info.x11.display);
}

bool displayLost() { return x11DisplayLost(); }
bool displayLostNow() { return x11DisplayLostNow(); }

int displayRefreshRate(const SaverWindow& window) {
  SDL_Window* w = window.sdlWindow();
  if (!w || !SDL_WasInit(SDL_INIT_VIDEO)) return 0;
  const int display = SDL_GetWindowDisplayIndex(w);
  SDL_DisplayMode mode{};
  if (display < 0 || SDL_GetCurrentDisplayMode(display, &mode) != 0) return 0;
  return std::max(0, mode.refresh_rate);
}

bool connectDisplay(std::string& why) {
  if (initSdlVideo()) return true;
  why = sdlVideoError();
  return false;
}

void routeSdlLog(std::function<void(const std::string& text)> sink) {
  static std::function<void(const std::string&)> route;
  route = std::move(sink);
  SDL_LogSetOutputFunction(
      [](void*, int, SDL_LogPriority, const char* message) {
        if (route) route(message ? message : "");
      },
      nullptr);
}

void keepDisplayAwake(bool awake) {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
  if (awake) SDL_DisableScreenSaver();
  else
    SDL_EnableScreenSaver();
}

int addSdlEventObserver(SdlEventObserver observer) {
  Observers& o = observers();
  const int handle = o.next++;
  o.byHandle[handle] = std::move(observer);
  return handle;
}

void removeSdlEventObserver(int handle) { observers().byHandle.erase(handle); }

void notifySdlEventObservers(const SDL_Event& event) {
  // Copy so an observer may unregister itself.
  const auto current = observers().byHandle;
  for (const auto& [handle, observer] : current)
    if (observer) observer(event);
}

std::unique_ptr<SaverWindow> createSdlWindow(const WindowClass& windowClass, const std::string& title, uint32_t style,
                                             const Rect& rect) {
  if (!initSdlVideo()) return nullptr;
  uint32_t flags = SDL_WINDOW_OPENGL;
  if (style & WS_POPUP) flags |= SDL_WINDOW_BORDERLESS;
  else
    flags |= SDL_WINDOW_RESIZABLE;
  if (!(style & WS_VISIBLE)) flags |= SDL_WINDOW_HIDDEN;
  const int w = rect.width() > 0 ? rect.width() : 1;
  const int h = rect.height() > 0 ? rect.height() : 1;
  SDL_Window* window = SDL_CreateWindow(title.c_str(), rect.left, rect.top, w, h, flags);
  if (!window) {
    // No OpenGL on this display: a plain window still shows the saver's stand-in drawing.
    window = SDL_CreateWindow(title.c_str(), rect.left, rect.top, w, h, flags & ~SDL_WINDOW_OPENGL);
  }
  if (!window) return nullptr;
  survivesLossOfSdlDisplay(window);
  return std::make_unique<SdlSaverWindow>(windowClass, style, window);
}

void showCursor(bool show) {
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

}  // namespace platform
