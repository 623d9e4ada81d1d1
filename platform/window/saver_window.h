#pragma once
// A window with a Win32-style message queue: posted messages, timers and the translated
// events of its toolkit come out of peekMessage/getMessage in the order Windows would give
// them (posted and input first, then WM_PAINT when something needs painting, then WM_TIMER),
// and dispatchMessage hands them to the window class's procedure.
//
// Three kinds exist: an SDL window (the full-screen saver, a test window; the render device
// draws into it), the same inside a screensaver host's X window, and a plain X11 child
// window inside a host's preview pane.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/window/win32_messages.h"

struct SDL_Window;

namespace platform {

class SaverWindow;
using WindowProcedure = std::function<LRESULT(SaverWindow& window, uint32_t message, WPARAM wParam, LPARAM lParam)>;

struct WindowClass {
  std::string name;
  uint32_t style = 0;  // CS_HREDRAW | CS_VREDRAW or 0
  WindowProcedure procedure;
};

// Registers a class and returns its atom (0xC000 and up); 0 when the name is taken or empty.
uint16_t registerWindowClass(const WindowClass& windowClass);
bool unregisterWindowClass(const std::string& name);

struct Image {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgb;  // top row first, 3 bytes per pixel
};

class SaverWindow {
 public:
  virtual ~SaverWindow();
  SaverWindow(const SaverWindow&) = delete;
  SaverWindow& operator=(const SaverWindow&) = delete;

  // PeekMessage with PM_REMOVE: the next message, or false when none is waiting.
  bool peekMessage(WindowMessage& out);
  // GetMessage: waits for the next message; false once it is WM_QUIT.
  bool getMessage(WindowMessage& out);
  // WaitMessage with a limit: returns when a message may be waiting or after `timeoutMs`
  // (negative: no limit).
  void waitMessage(int timeoutMs);
  LRESULT dispatchMessage(const WindowMessage& message);
  // SendMessage: straight to the procedure.
  LRESULT sendMessage(uint32_t message, WPARAM wParam = 0, LPARAM lParam = 0);
  void postMessage(uint32_t message, WPARAM wParam = 0, LPARAM lParam = 0);
  void postQuitMessage(int exitCode);

  void setTimer(uintptr_t id, uint32_t milliseconds);
  void killTimer(uintptr_t id);
  // Marks the client area for a WM_PAINT.
  void invalidate() { paintPending_ = true; }

  // Sends WM_DESTROY to the procedure and closes the native window. Idempotent.
  void destroy();
  bool destroyed() const { return destroyed_; }

  const std::string& className() const { return class_.name; }
  uint32_t style() const { return style_; }
  virtual Rect clientRect() const = 0;
  virtual Rect windowRect() const = 0;

  // BitBlt of a Windows bitmap (BMP bytes) unscaled at (x, y) of the client area, clipped.
  virtual bool paintBitmap(const uint8_t* bitmap, std::size_t size, int x, int y) = 0;
  // Reads back what the window shows (windows drawn without the render device: the preview,
  // a host's window); windows that cannot do it answer false.
  virtual bool capture(Image&) { return false; }

  // Full-screen on the desktop's mode, or back to the window's own size.
  virtual bool setFullscreen(bool) { return false; }
  virtual bool setTitle(const std::string&) { return false; }

  // A window inside a screensaver host's window: it is drawn at the host's size (never
  // full-screen) and takes no input; the host decides when the saver ends.
  virtual bool hosted() const { return false; }

  virtual SDL_Window* sdlWindow() const { return nullptr; }
  virtual uint64_t x11Window() const = 0;

 protected:
  SaverWindow(WindowClass windowClass, uint32_t style);
  // Moves translated native events into the queue; waits up to `timeoutMs` for one first
  // (0: do not wait, negative: wait without limit).
  virtual void pumpNative(int timeoutMs) = 0;
  virtual void closeNative() = 0;
  void enqueue(const WindowMessage& message);
  void markPaint() { paintPending_ = true; }

 private:
  struct Timer {
    uintptr_t id;
    uint32_t interval;
    int64_t due;
  };
  bool takeReady(WindowMessage& out);
  int millisecondsToNextTimer() const;

  WindowClass class_;
  uint32_t style_;
  std::deque<WindowMessage> queue_;
  std::vector<Timer> timers_;
  bool paintPending_ = false;
  bool quitPosted_ = false;
  int quitCode_ = 0;
  bool destroyed_ = false;
};

// Shows or hides the mouse cursor over SDL windows (ShowCursor).
void showCursor(bool show);

// Holds the display's own blanking off while the saver runs on its own (true) or leaves it
// to the session (false, the default); a host decides for the savers it starts.
void keepDisplayAwake(bool awake);

// Starts the window system's connection ahead of any window (see initSdlVideo); false, with
// the reason in `why`, when the display cannot be reached.
bool connectDisplay(std::string& why);

// The refresh rate of the display the window is on, in Hz; 0 when it cannot be told.
int displayRefreshRate(const SaverWindow& window);

// True once the connection to the X server was lost: the run should end, drawing nothing more.
bool displayLost();
// displayLost(), or the X server no longer takes connections: a loss the libraries met
// without telling Xlib. Asks the server, so for a failure's cause, not for every frame.
bool displayLostNow();

// A step taken just before a lost display ends the process at once, without the run ending
// in order (a crash of the OpenGL library after the loss, or a run that did not end within its
// grace): finishing files the run was writing. It runs in a signal handler, so it may make only
// async-signal-safe calls. One step; a later call replaces it.
void beforeEndingForLostDisplay(void (*step)() noexcept);

// The run's ending for a lost display is said once, whichever thread meets the loss first
// (the frame loop, a crash of the OpenGL library, the grace timer). The first caller returns,
// to say the loss and end the run; a later one finds the process already being ended for it
// and ends it there with the display-lost code, after the step above. Async-signal-safe.
void takeLostDisplayEnding();

// Messages SDL's own log would print go to `sink` instead, so the program has one channel.
void routeSdlLog(std::function<void(const std::string& text)> sink);

}  // namespace platform
