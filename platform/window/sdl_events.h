#pragma once
// SDL's video subsystem is started once for the process, and every SDL event that the
// windows read is shown to the observers registered here before it is translated, so that
// the input devices read the same event stream as the window.
#include <functional>
#include <string>

union SDL_Event;
struct SDL_Window;

namespace platform {

// Starts SDL's video on the X11 display of $DISPLAY, retrying a refused connection for a few
// seconds; false when there is no display to be had (sdlVideoError says why). Once started
// it stays up until the process ends.
bool initSdlVideo();
std::string sdlVideoError();
// The X screen an X display name such as "host:0.1" or ":1" asks for (0 when it names none);
// -1 when the name is not one of an X display.
int x11ScreenOfDisplayName(const std::string& name);
// A lost X connection under `window` ends the run in order instead of the process at once.
void survivesLossOfSdlDisplay(SDL_Window* window);

using SdlEventObserver = std::function<void(const SDL_Event&)>;
int addSdlEventObserver(SdlEventObserver observer);
void removeSdlEventObserver(int handle);
void notifySdlEventObservers(const SDL_Event& event);

}  // namespace platform
