#include "platform/window/x11_errors.h"

#include <X11/Xlib.h>

#include <atomic>

namespace platform {
namespace {

std::atomic<unsigned long> gErrors{0};

int countError(Display*, XErrorEvent*) {
  ++gErrors;
  return 0;
}

}  // namespace

void installX11ErrorHandler() { XSetErrorHandler(countError); }

unsigned long x11ErrorCount() { return gErrors.load(); }

}  // namespace platform
