#include "platform/window/x11_errors.h"

#include <X11/Xlib.h>
#include <errno.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/window/saver_window.h"

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

void writeError(const char* text, std::size_t size) { [[maybe_unused]] const ssize_t n = write(2, text, size); }

std::atomic<void (*)() noexcept> gBeforeEnding{nullptr};

// Taken by whichever thread first ends the run for the lost display: a crash handler, the
// grace timer and the frame loop can each meet the loss while another is already ending it,
// and the loss is said once.
std::atomic<bool> gEndingTaken{false};

// The process is already being ended for the loss, by a thread that may still be finishing
// the files: they are finished here too (the step only ever sets them to what is on disk),
// and the process ends with the same code, saying nothing more.
[[noreturn]] void endWithTheOtherEnding() {
  if (auto step = gBeforeEnding.load()) step();
  _exit(kLostExitCode);
}

[[noreturn]] void endNow(const char* text, std::size_t size) {
  if (gEndingTaken.exchange(true)) endWithTheOtherEnding();
  if (auto step = gBeforeEnding.load()) step();
  writeError(text, size);
  _exit(kLostExitCode);
}

// The same line the frame loop says when it meets the loss, for a loss met anywhere else.
[[noreturn]] void endForLostDisplay() {
  static const char text[] = "brassmoor: the X display went away; the run ends\n";
  endNow(text, sizeof text - 1);
}

// Some calls of the window system's libraries wait for an event from the server (a window
// being mapped or unmapped); on a lost connection that event never comes. The run has a few
// seconds to end in order, then the process ends without it.
void endAfterGrace(int) {
  static const char text[] = "brassmoor: the X display went away and the run did not end in time\n";
  endNow(text, sizeof text - 1);
}

void markLost() {
  if (gLost.exchange(true)) return;
  struct sigaction action {};
  action.sa_handler = endAfterGrace;
  sigemptyset(&action.sa_mask);
  sigaction(SIGALRM, &action, nullptr);
  alarm(kGraceSeconds);
}

// The connections whose loss the run outlives (see survivesDisplayLoss). A few suffice: the
// saver's window connection and a host's.
std::array<std::atomic<Display*>, 8> gSurviving{};

bool survives(Display* display) {
  for (const auto& slot : gSurviving)
    if (display && slot.load() == display) return true;
  return false;
}

// Any other connection is one Xlib would end the process for (with code 1 and, before our
// handler is in place, a line of its own): the start-up's, before the saver's window exists.
// Nothing has begun that needs ending in order, so the process ends at once, saying why.
int noteLoss(Display* display) {
  markLost();
  if (!survives(display)) endForLostDisplay();
  return 0;
}

// Returning from here instead of exiting leaves the connection marked broken: Xlib answers
// every later call on it without touching the socket.
void stayAlive(Display*, void*) { markLost(); }

// The OpenGL library speaks to the server through its own requests and, once the server is
// gone, can follow an empty reply to a crash before Xlib notices anything; the X libraries'
// own consistency checks can abort on a reply cut short. A crash or abort met when the server
// is known lost, or no longer takes connections, is that loss and is said as one; any other
// goes on to the handler that was in place.
struct LocalServer {
  sockaddr_un abstractName{};  // the socket in the abstract namespace, as the client library tries first
  sockaddr_un fileName{};
  bool known = false;
} gServer;
struct CrashSignal {
  int number;
  struct sigaction previous;
};
CrashSignal gCrashSignals[] = {{SIGSEGV, {}}, {SIGABRT, {}}};

// The local X server's socket names for a display name ":N", ":N.S" or "unix:N".
void rememberLocalServer(const char* name) {
  if (!name) return;
  const std::string text = name;
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) return;
  const std::string host = text.substr(0, colon);
  if (!host.empty() && host != "unix") return;
  const std::string number = text.substr(colon + 1, text.find('.', colon) - colon - 1);
  if (number.empty() || number.size() > 6 || number.find_first_not_of("0123456789") != std::string::npos) return;
  const std::string path = "/tmp/.X11-unix/X" + number;
  gServer.fileName.sun_family = AF_UNIX;
  std::memcpy(gServer.fileName.sun_path, path.c_str(), path.size() + 1);
  gServer.abstractName.sun_family = AF_UNIX;
  std::memcpy(gServer.abstractName.sun_path + 1, path.c_str(), path.size());
  gServer.known = true;
}

// Only async-signal-safe calls: a socket and a connect.
bool answers(const sockaddr_un& address, socklen_t size) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return true;
  const bool refused = connect(fd, reinterpret_cast<const sockaddr*>(&address), size) != 0 &&
                       (errno == ECONNREFUSED || errno == ENOENT);
  close(fd);
  return !refused;
}

bool localServerGone() {
  if (!gServer.known) return false;
  const socklen_t abstractSize = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 +
                                                        std::strlen(gServer.abstractName.sun_path + 1));
  return !answers(gServer.abstractName, abstractSize) && !answers(gServer.fileName, sizeof gServer.fileName);
}

// A server being stopped closes its clients' connections before it stops taking new ones, so
// the OpenGL library can crash on its closed connection while the server still answers. A
// crash is therefore given a moment to turn out to be that loss; a crash with the server
// staying up goes on to its ordinary ending that much later. Only async-signal-safe calls.
bool displayGoesWithin(int milliseconds) {
  constexpr int kStepMs = 20;
  for (int waited = 0;; waited += kStepMs) {
    if (gLost.load() || gEndingTaken.load() || localServerGone()) return true;
    if (!gServer.known || waited >= milliseconds) return false;
    const timespec step{0, kStepMs * 1000000L};
    nanosleep(&step, nullptr);
  }
}

void onCrash(int signal, siginfo_t* info, void* context) {
  const int savedErrno = errno;
  constexpr int kLossSettlesMs = 1500;
  if (displayGoesWithin(kLossSettlesMs)) endForLostDisplay();
  errno = savedErrno;
  for (const CrashSignal& crash : gCrashSignals) {
    if (crash.number != signal) continue;
    const struct sigaction& previous = crash.previous;
    if ((previous.sa_flags & SA_SIGINFO) && previous.sa_sigaction) {
      previous.sa_sigaction(signal, info, context);
      return;
    }
    if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
      previous.sa_handler(signal);
      return;
    }
    // Put the default back: the faulting instruction runs again (an abort raises its signal
    // again) and the process ends as it would have.
    sigaction(signal, &previous, nullptr);
  }
  // A signal sent by another process has no faulting instruction to run again; sent once more,
  // it ends the process as it was meant to once this handler returns.
  if (info && info->si_code <= 0) raise(signal);
}

void watchForCrashAfterLoss() {
  static bool done = false;
  if (done) return;
  done = true;
  rememberLocalServer(std::getenv("DISPLAY"));
  struct sigaction action {};
  action.sa_sigaction = onCrash;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  for (CrashSignal& crash : gCrashSignals) sigaction(crash.number, &action, &crash.previous);
}

// A write to the socket of a server that has gone would otherwise end the process on
// SIGPIPE, with nothing said; ignored, the write fails and Xlib reports the loss to the
// I/O-error handler above. A handler somebody else installed is left alone.
void reportWritesToALostServer() {
  struct sigaction current {};
  if (sigaction(SIGPIPE, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) return;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

}  // namespace

void installX11ErrorHandler() {
  XSetErrorHandler(countError);
  XSetIOErrorHandler(noteLoss);
  reportWritesToALostServer();
  watchForCrashAfterLoss();
}

unsigned long x11ErrorCount() { return gErrors.load(); }

void survivesDisplayLoss(Display* display) {
  if (!display) return;
  if (!survives(display))
    for (auto& slot : gSurviving) {
      Display* empty = nullptr;
      if (slot.compare_exchange_strong(empty, display)) break;
    }
  XSetIOErrorExitHandler(display, stayAlive, nullptr);
}

void beforeEndingForLostDisplay(void (*step)() noexcept) { gBeforeEnding.store(step); }

void takeLostDisplayEnding() {
  if (gEndingTaken.exchange(true)) endWithTheOtherEnding();
}

bool x11DisplayLost() { return gLost.load(); }

bool x11DisplayLostNow() { return gLost.load() || localServerGone(); }

}  // namespace platform
