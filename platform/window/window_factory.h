#pragma once
// Making the native windows behind SaverWindow.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/window/saver_window.h"

namespace platform {

// An SDL window at `rect` (screen coordinates). WS_POPUP gives a borderless window, anything
// else a normal framed, resizable one; WS_VISIBLE shows it at once. The window can carry an
// OpenGL context. None when there is no display or SDL cannot make it.
std::unique_ptr<SaverWindow> createSdlWindow(const WindowClass& windowClass, const std::string& title, uint32_t style,
                                             const Rect& rect);

// The saver inside a screensaver host's X window `host` (0: the screen's root window). SDL
// draws with an OpenGL context into a child window that covers the host's window and follows
// its size (into the root window itself when that is the host). The window takes no input;
// the host's destroying its window ends the run like a close. None when the host window
// does not exist or there is no display.
std::unique_ptr<SaverWindow> createHostedWindow(const WindowClass& windowClass, const std::string& title,
                                                uint64_t host);

// A plain X11 window: a child of `parent` at `rect` in the parent's client coordinates, or,
// with `parent` 0, a top-level window at `rect` on the screen. None when there is no display
// or the parent does not exist.
std::unique_ptr<SaverWindow> createX11Window(const WindowClass& windowClass, const std::string& title, uint32_t style,
                                             uint64_t parent, const Rect& rect);

// GetClientRect of any X11 window: (0, 0, width, height); none when it does not exist.
std::optional<Rect> x11ClientRect(uint64_t window);

}  // namespace platform
