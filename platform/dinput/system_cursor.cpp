#include "platform/dinput/system_cursor.h"

#include <SDL.h>

namespace dinput {

bool systemCursorInClient(uintptr_t window, float& x, float& y) {
  if (window == 0 || SDL_WasInit(SDL_INIT_VIDEO) == 0) return false;
  auto* w = reinterpret_cast<SDL_Window*>(window);
  int gx = 0, gy = 0, wx = 0, wy = 0;
  SDL_GetGlobalMouseState(&gx, &gy);
  SDL_GetWindowPosition(w, &wx, &wy);
  x = static_cast<float>(gx - wx);
  y = static_cast<float>(gy - wy);
  return true;
}

void setCursorVisible(bool visible) {
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return;
  if (visible) SDL_SetCursor(SDL_GetDefaultCursor());
  SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

void setArrowCursor() {
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return;
  SDL_SetCursor(SDL_GetDefaultCursor());
}

bool asyncButtonDown(int button) {
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return false;
  const Uint32 state = SDL_GetGlobalMouseState(nullptr, nullptr);
  switch (button) {
    case 0: return (state & SDL_BUTTON_LMASK) != 0;
    case 1: return (state & SDL_BUTTON_RMASK) != 0;
    case 2: return (state & SDL_BUTTON_MMASK) != 0;
    default: return false;
  }
}

}  // namespace dinput
