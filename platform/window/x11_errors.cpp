#include "platform/window/x11_errors.h"

#include <X11/Xlib.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace platform {
namespace {

std::atomic<unsigned long> gErrors{0};
std::atomic<bool> gLost{false};

int countError(Display*, XErrorEvent*) {
  ++gErrors;
  return 0;
}

constexpr unsigned kGraceSeconds = 5;
constexpr int kLostExitCode = 8;

// Some calls of the window system's libraries wait for an event from the server (a window
// being mapped or unmapped); on a lost connection that event never comes. The run has a few
// seconds to end in order, then the process ends without it.
void endAfterGrace(int) {
  static const char text[] = "brassmoor: the X display went away and the run did not end in time\n";
  [[maybe_unused]] const ssize_t n = write(2, text, sizeof text - 1);
  _exit(kLostExitCode);
}

void markLost() {
  if (gLost.exchange(true)) return;
  struct sigaction action {};
  action.sa_handler = endAfterGrace;
  sigemptyset(&action.sa_mask);
  sigaction(SIGALRM, &action, nullptr);
  alarm(kGraceSeconds);
}

int noteLoss(Display*) {
  markLost();
  return 0;
}

// Returning from here instead of exiting leaves the connection marked broken: Xlib answers
// every later call on it without touching the socket.
void stayAlive(Display*, void*) { markLost(); }

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
