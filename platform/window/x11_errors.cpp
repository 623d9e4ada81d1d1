#include "platform/window/x11_errors.h"

#include <X11/Xlib.h>

#include <atomic>

namespace platform {
namespace {

std::atomic<unsigned long> gErrors{0};
std::atomic<bool> gLost{false};

int countError(Display*, XErrorEvent*) {
  ++gErrors;
  return 0;
}

int noteLoss(Display*) {
  gLost = true;
  return 0;
}

// Returning from here instead of exiting leaves the connection marked broken: Xlib answers
// every later call on it without touching the socket.
void stayAlive(Display*, void*) { gLost = true; }

}  // namespace

void installX11ErrorHandler() {
  XSetErrorHandler(countError);
  XSetIOErrorHandler(noteLoss);
}

unsigned long x11ErrorCount() { return gErrors.load(); }

void survivesDisplayLoss(Display* display) {
  if (display) XSetIOErrorExitHandler(display, stayAlive, nullptr);
}

bool x11DisplayLost() { return gLost.load(); }

}  // namespace platform
