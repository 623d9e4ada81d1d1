#pragma once
// SDL's video subsystem is started once for the process, and every SDL event that the
// windows read is shown to the observers registered here before it is translated, so that
// the input devices read the same event stream as the window.
#include <functional>

union SDL_Event;

namespace platform {

bool initSdlVideo();

using SdlEventObserver = std::function<void(const SDL_Event&)>;
int addSdlEventObserver(SdlEventObserver observer);
void removeSdlEventObserver(int handle);
void notifySdlEventObservers(const SDL_Event& event);

}  // namespace platform
