#pragma once
// The one place where toolkit events become window messages.
#include <cstdint>
#include <vector>

#include "platform/window/win32_messages.h"

union SDL_Event;
union _XEvent;

namespace platform {

// Virtual-key code of an SDL scancode; 0 for keys without one.
uint32_t virtualKeyFromSdlScancode(int scancode);

// Appends the messages `event` means for the SDL window `windowId` (events of other windows
// give none). An exposure gives WM_PAINT, which the window folds into its paint mark.
void translateSdlEvent(const SDL_Event& event, uint32_t windowId, std::vector<WindowMessage>& out);

// The same for an X11 event of the native window `window`; `deleteAtom` is the window
// manager's WM_DELETE_WINDOW atom.
void translateXEvent(const _XEvent& event, unsigned long window, unsigned long deleteAtom,
                     std::vector<WindowMessage>& out);

}  // namespace platform
