#include "platform/window/message_translation.h"

#include <SDL.h>
#include <X11/Xlib.h>

namespace platform {
namespace {

WPARAM mouseKeyState(uint32_t sdlButtons, uint16_t mod) {
  WPARAM w = 0;
  if (sdlButtons & SDL_BUTTON_LMASK) w |= MK_LBUTTON;
  if (sdlButtons & SDL_BUTTON_RMASK) w |= MK_RBUTTON;
  if (sdlButtons & SDL_BUTTON_MMASK) w |= MK_MBUTTON;
  if (mod & KMOD_SHIFT) w |= MK_SHIFT;
  if (mod & KMOD_CTRL) w |= MK_CONTROL;
  return w;
}

// lParam of a key message: repeat count 1; bit 30 when the key was already down; bits 30
// and 31 on release.
LPARAM keyLParam(bool down, bool repeat) {
  uint32_t l = 1;
  if (repeat || !down) l |= 1u << 30;
  if (!down) l |= 1u << 31;
  return static_cast<LPARAM>(l);
}

void appendUtf8Characters(const char* text, std::vector<WindowMessage>& out) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (*p) {
    uint32_t cp = 0;
    int extra = 0;
    if (*p < 0x80) {
      cp = *p;
    } else if ((*p & 0xE0) == 0xC0) {
      cp = *p & 0x1F;
      extra = 1;
    } else if ((*p & 0xF0) == 0xE0) {
      cp = *p & 0x0F;
      extra = 2;
    } else if ((*p & 0xF8) == 0xF0) {
      cp = *p & 0x07;
      extra = 3;
    } else {
      ++p;
      continue;
    }
    ++p;
    bool ok = true;
    for (int i = 0; i < extra; ++i) {
      if ((*p & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (*p++ & 0x3F);
    }
    if (ok && cp <= 0xFFFF) out.push_back(WindowMessage{WM_CHAR, cp, 1, 0});
  }
}

}  // namespace

uint32_t virtualKeyFromSdlScancode(int sc) {
  if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return 'A' + static_cast<uint32_t>(sc - SDL_SCANCODE_A);
  if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return '1' + static_cast<uint32_t>(sc - SDL_SCANCODE_1);
  if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12) return VK_F1 + static_cast<uint32_t>(sc - SDL_SCANCODE_F1);
  if (sc >= SDL_SCANCODE_F13 && sc <= SDL_SCANCODE_F24) return 0x7C + static_cast<uint32_t>(sc - SDL_SCANCODE_F13);
  if (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_9)
    return VK_NUMPAD0 + 1 + static_cast<uint32_t>(sc - SDL_SCANCODE_KP_1);
  switch (sc) {
    case SDL_SCANCODE_0: return '0';
    case SDL_SCANCODE_RETURN: return VK_RETURN;
    case SDL_SCANCODE_ESCAPE: return VK_ESCAPE;
    case SDL_SCANCODE_BACKSPACE: return VK_BACK;
    case SDL_SCANCODE_TAB: return VK_TAB;
    case SDL_SCANCODE_SPACE: return VK_SPACE;
    case SDL_SCANCODE_MINUS: return VK_OEM_MINUS;
    case SDL_SCANCODE_EQUALS: return VK_OEM_PLUS;
    case SDL_SCANCODE_LEFTBRACKET: return VK_OEM_4;
    case SDL_SCANCODE_RIGHTBRACKET: return VK_OEM_6;
    case SDL_SCANCODE_BACKSLASH: return VK_OEM_5;
    case SDL_SCANCODE_SEMICOLON: return VK_OEM_1;
    case SDL_SCANCODE_APOSTROPHE: return VK_OEM_7;
    case SDL_SCANCODE_GRAVE: return VK_OEM_3;
    case SDL_SCANCODE_COMMA: return VK_OEM_COMMA;
    case SDL_SCANCODE_PERIOD: return VK_OEM_PERIOD;
    case SDL_SCANCODE_SLASH: return VK_OEM_2;
    case SDL_SCANCODE_CAPSLOCK: return VK_CAPITAL;
    case SDL_SCANCODE_PRINTSCREEN: return VK_SNAPSHOT;
    case SDL_SCANCODE_SCROLLLOCK: return VK_SCROLL;
    case SDL_SCANCODE_PAUSE: return VK_PAUSE;
    case SDL_SCANCODE_INSERT: return VK_INSERT;
    case SDL_SCANCODE_HOME: return VK_HOME;
    case SDL_SCANCODE_PAGEUP: return VK_PRIOR;
    case SDL_SCANCODE_DELETE: return VK_DELETE;
    case SDL_SCANCODE_END: return VK_END;
    case SDL_SCANCODE_PAGEDOWN: return VK_NEXT;
    case SDL_SCANCODE_RIGHT: return VK_RIGHT;
    case SDL_SCANCODE_LEFT: return VK_LEFT;
    case SDL_SCANCODE_DOWN: return VK_DOWN;
    case SDL_SCANCODE_UP: return VK_UP;
    case SDL_SCANCODE_NUMLOCKCLEAR: return VK_NUMLOCK;
    case SDL_SCANCODE_KP_DIVIDE: return VK_DIVIDE;
    case SDL_SCANCODE_KP_MULTIPLY: return VK_MULTIPLY;
    case SDL_SCANCODE_KP_MINUS: return VK_SUBTRACT;
    case SDL_SCANCODE_KP_PLUS: return VK_ADD;
    case SDL_SCANCODE_KP_ENTER: return VK_RETURN;
    case SDL_SCANCODE_KP_0: return VK_NUMPAD0;
    case SDL_SCANCODE_KP_PERIOD: return VK_DECIMAL;
    case SDL_SCANCODE_APPLICATION: return VK_APPS;
    case SDL_SCANCODE_LCTRL:
    case SDL_SCANCODE_RCTRL: return VK_CONTROL;
    case SDL_SCANCODE_LSHIFT:
    case SDL_SCANCODE_RSHIFT: return VK_SHIFT;
    case SDL_SCANCODE_LALT:
    case SDL_SCANCODE_RALT: return VK_MENU;
    case SDL_SCANCODE_LGUI: return VK_LWIN;
    case SDL_SCANCODE_RGUI: return VK_RWIN;
    default: return 0;
  }
}

void translateSdlEvent(const SDL_Event& e, uint32_t windowId, std::vector<WindowMessage>& out) {
  switch (e.type) {
    case SDL_QUIT:
      // The session or a signal asks the program to end.
      out.push_back(WindowMessage{WM_CLOSE, 0, 0, e.quit.timestamp});
      return;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      if (e.key.windowID != windowId) return;
      const bool down = e.type == SDL_KEYDOWN;
      // Every key, Alt combinations included, arrives as a plain key message: any key
      // ends the saver.
      out.push_back(WindowMessage{down ? WM_KEYDOWN : WM_KEYUP, virtualKeyFromSdlScancode(e.key.keysym.scancode),
                                  keyLParam(down, e.key.repeat != 0), e.key.timestamp});
      return;
    }
    case SDL_TEXTINPUT:
      if (e.text.windowID != windowId) return;
      appendUtf8Characters(e.text.text, out);
      return;
    case SDL_MOUSEMOTION:
      if (e.motion.windowID != windowId) return;
      out.push_back(WindowMessage{WM_MOUSEMOVE, mouseKeyState(e.motion.state, 0), makeLParam(e.motion.x, e.motion.y),
                                  e.motion.timestamp});
      return;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      if (e.button.windowID != windowId) return;
      const bool down = e.type == SDL_MOUSEBUTTONDOWN;
      uint32_t message = 0;
      WPARAM extra = 0;
      switch (e.button.button) {
        case SDL_BUTTON_LEFT: message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP; break;
        case SDL_BUTTON_RIGHT: message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP; break;
        case SDL_BUTTON_MIDDLE: message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP; break;
        case SDL_BUTTON_X1:
          message = down ? 0x020B : 0x020C;
          extra = 1u << 16;
          break;
        case SDL_BUTTON_X2:
          message = down ? 0x020B : 0x020C;
          extra = 2u << 16;
          break;
        default: return;
      }
      out.push_back(WindowMessage{message, extra | mouseKeyState(SDL_GetMouseState(nullptr, nullptr), 0),
                                  makeLParam(e.button.x, e.button.y), e.button.timestamp});
      return;
    }
    case SDL_MOUSEWHEEL: {
      if (e.wheel.windowID != windowId) return;
      const int delta = e.wheel.y * 120;
      out.push_back(WindowMessage{WM_MOUSEWHEEL, static_cast<WPARAM>(static_cast<uint16_t>(delta)) << 16, 0,
                                  e.wheel.timestamp});
      return;
    }
    case SDL_WINDOWEVENT: {
      if (e.window.windowID != windowId) return;
      const uint32_t t = e.window.timestamp;
      switch (e.window.event) {
        case SDL_WINDOWEVENT_SHOWN: out.push_back(WindowMessage{WM_SHOWWINDOW, 1, 0, t}); break;
        case SDL_WINDOWEVENT_HIDDEN: out.push_back(WindowMessage{WM_SHOWWINDOW, 0, 0, t}); break;
        case SDL_WINDOWEVENT_EXPOSED: out.push_back(WindowMessage{WM_PAINT, 0, 0, t}); break;
        case SDL_WINDOWEVENT_MOVED:
          out.push_back(WindowMessage{WM_MOVE, 0, makeLParam(e.window.data1, e.window.data2), t});
          break;
        case SDL_WINDOWEVENT_SIZE_CHANGED: {
          // SDL reports a finished resize of a framed window, never its start and end, so it
          // arrives as a whole move-size cycle: the device is reset to the new size once. A
          // full-screen window changes size only with its mode, which the device has set.
          SDL_Window* window = SDL_GetWindowFromID(windowId);
          const bool framed = window && !(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN);
          if (framed) out.push_back(WindowMessage{WM_ENTERSIZEMOVE, 0, 0, t});
          out.push_back(WindowMessage{WM_SIZE, SIZE_RESTORED, makeLParam(e.window.data1, e.window.data2), t});
          if (framed) out.push_back(WindowMessage{WM_EXITSIZEMOVE, 0, 0, t});
          break;
        }
        case SDL_WINDOWEVENT_MINIMIZED: out.push_back(WindowMessage{WM_SIZE, SIZE_MINIMIZED, 0, t}); break;
        case SDL_WINDOWEVENT_MAXIMIZED: out.push_back(WindowMessage{WM_SIZE, SIZE_MAXIMIZED, 0, t}); break;
        case SDL_WINDOWEVENT_RESTORED: out.push_back(WindowMessage{WM_SIZE, SIZE_RESTORED, 0, t}); break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          out.push_back(WindowMessage{WM_ACTIVATE, WA_ACTIVE, 0, t});
          out.push_back(WindowMessage{WM_SETFOCUS, 0, 0, t});
          break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
          out.push_back(WindowMessage{WM_ACTIVATE, WA_INACTIVE, 0, t});
          out.push_back(WindowMessage{WM_KILLFOCUS, 0, 0, t});
          break;
        case SDL_WINDOWEVENT_CLOSE: out.push_back(WindowMessage{WM_SYSCOMMAND, SC_CLOSE, 0, t}); break;
        default: break;
      }
      return;
    }
    default: return;
  }
}

void translateXEvent(const _XEvent& event, unsigned long window, unsigned long deleteAtom,
                     std::vector<WindowMessage>& out) {
  const XEvent& e = event;
  if (e.xany.window != window) return;
  switch (e.type) {
    case Expose: out.push_back(WindowMessage{WM_PAINT, 0, 0, 0}); return;
    case ConfigureNotify:
      out.push_back(WindowMessage{WM_MOVE, 0, makeLParam(e.xconfigure.x, e.xconfigure.y), 0});
      out.push_back(WindowMessage{WM_SIZE, SIZE_RESTORED, makeLParam(e.xconfigure.width, e.xconfigure.height), 0});
      return;
    case MapNotify: out.push_back(WindowMessage{WM_SHOWWINDOW, 1, 0, 0}); return;
    case UnmapNotify: out.push_back(WindowMessage{WM_SHOWWINDOW, 0, 0, 0}); return;
    case DestroyNotify:
      // The host took the window away (its preview pane closed).
      out.push_back(WindowMessage{WM_DESTROY, 0, 0, 0});
      return;
    case ClientMessage:
      if (e.xclient.format == 32 && static_cast<unsigned long>(e.xclient.data.l[0]) == deleteAtom)
        out.push_back(WindowMessage{WM_SYSCOMMAND, SC_CLOSE, 0, 0});
      return;
    default: return;
  }
}

}  // namespace platform
