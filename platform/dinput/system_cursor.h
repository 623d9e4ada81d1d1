#pragma once
// The system's own cursor and buttons, for input that does not go through the buffered
// devices: where the cursor stands over a window, whether it shows, and the buttons as the
// system sees them at this moment.
#include <cstdint>

namespace dinput {

// The cursor in client coordinates of `window` (an SDL_Window*); false when there is no
// window or the position cannot be read.
bool systemCursorInClient(uintptr_t window, float& x, float& y);
// Shows or hides the cursor (the arrow when shown).
void setCursorVisible(bool visible);
// Makes the cursor's shape the arrow without showing it: a cursor the shell has hidden stays
// hidden, as setting a cursor's shape never shows it.
void setArrowCursor();
// Whether a mouse button (0 left, 1 right, 2 middle) is down right now.
bool asyncButtonDown(int button);

}  // namespace dinput
