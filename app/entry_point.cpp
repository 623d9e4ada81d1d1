#include "app/entry_point.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/frame_loop.h"
#include "app/run_options.h"
#include "app/saver_application.h"
#include "engine/core/clock.h"
#include "engine/core/random.h"
#include "engine/core/trace.h"
#include "platform/window/saver_window.h"

#ifndef BRASSMOOR_VERSION
#define BRASSMOOR_VERSION "0"
#endif

namespace brassmoor {

std::string traceDateTime(const halcyon::SystemTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%u/%u/%04u, %u:%02u:%02u ", static_cast<unsigned>(t.day),
                static_cast<unsigned>(t.month), static_cast<unsigned>(t.year), static_cast<unsigned>(t.hour),
                static_cast<unsigned>(t.minute), static_cast<unsigned>(t.second));
  return text;
}

void sayDisplayLost() {
  platform::takeLostDisplayEnding();
  halcyon::reportFailure("the X display went away; the run ends");
}

int exitCodeFor(StartFailure failure) {
  switch (failure) {
    case StartFailure::NoDisplay: return exit_code::kNoDisplay;
    case StartFailure::NoOpenGL: return exit_code::kNoOpenGL;
    case StartFailure::NoDisplayMode: return exit_code::kNoDisplayMode;
    case StartFailure::NoWindow: return exit_code::kNoWindow;
    case StartFailure::MediaUnreadable: return exit_code::kMediaUnreadable;
    case StartFailure::None: break;
  }
  return exit_code::kNoWindow;
}

namespace {

// The presence check failed or found too old a runtime: one line, the dialog where someone can
// answer it, and the exit code of the cause. A host's window covers the screen (its dialog
// would wait unseen until the host gives up on the saver), and a run with a limit is a
// script's, with nobody to click.
int runtimeMissing(PresenceCheck& presenceCheck, const RunOptions& options) {
  const std::string reason = presenceCheck.reason();
  if (presenceCheck.displayUnreachable()) {
    const char* display = std::getenv("DISPLAY");
    halcyon::reportFailure("cannot open the X display" +
                           (display && *display ? " \"" + std::string(display) + "\""
                                                : std::string(" (DISPLAY is not set)")) +
                           (reason.empty() ? "" : ": " + reason));
    return exit_code::kNoDisplay;
  }
  halcyon::reportFailure("OpenGL 3.3 is not available on this display" + (reason.empty() ? "" : ": " + reason));
  if (!hostWindowTarget(options) && !options.frames && !options.seconds) presenceCheck.showMissingDialog();
  return exit_code::kNoOpenGL;
}

// A hang-up (the terminal or the session that started the saver went away) ends the run the
// way SIGTERM does: the window system's layer turns that one into an ordinary quit request.
void onHangUp(int) { kill(getpid(), SIGTERM); }

void endRunOnHangUp() {
  struct sigaction action {};
  action.sa_handler = onHangUp;
  sigemptyset(&action.sa_mask);
  sigaction(SIGHUP, &action, nullptr);
}

// Run options alone (--frames, --screenshot, ...) without a screensaver switch mean a run to
// look at, not the settings dialog: it runs in a window of the engine's default size.
bool asksForAWindowedRun(const RunOptions& o) {
  return !o.windowSize && !hostWindowTarget(o) &&
         (o.frames || o.seconds || !o.screenshot.empty() || !o.recordDir.empty());
}

}  // namespace

int runEntryPoint(int argc, char** argv, PresenceCheck& presenceCheck) {
  std::vector<std::string> arguments(argv, argv + argc);
  if (arguments.empty()) arguments.emplace_back("brassmoor");
  halcyon::setTraceProgramName("brassmoor");
  // What SDL would print on its own goes through the program's one sink.
  platform::routeSdlLog([](const std::string& text) { halcyon::reportFailure(text); });
  RunOptions options;
  std::string error;
  if (!extractRunOptions(arguments, options, error)) {
    halcyon::reportFailure(error);
    std::fputs(usageText().c_str(), stderr);
    return exit_code::kUsage;
  }
  if (options.help) {
    std::fputs(usageText().c_str(), stdout);
    return exit_code::kInformation;
  }
  if (options.version) {
    std::printf("brassmoor %s\n", BRASSMOOR_VERSION);
    return exit_code::kInformation;
  }
  halcyon::setTraceVerbose(options.verbose);
  if (options.startTime) halcyon::ClockSources::setLocalTime(*options.startTime);

  uint32_t version = 0;
  if (!presenceCheck.check(version) || version < 0x00090000) return runtimeMissing(presenceCheck, options);
  halcyon::logLine("\n>>Log started " + traceDateTime(halcyon::localTime()) + "\n");
  halcyon::logLine("DX version ok\n");

  const bool switchGiven = arguments.size() > 1;
  CommandLine command = parseCommandLine(composeCommandLine(arguments));
  // A window of a chosen size runs the saver itself; so does a host that names its window,
  // unless the host asked for the settings dialog with "/c".
  if (!switchGiven && asksForAWindowedRun(options)) options.windowSize = {640, 480};
  if (options.windowSize) command = CommandLine{ScreensaverMode::Test, 0};
  else if ((options.root || options.windowId) && !switchGiven)
    command.mode = ScreensaverMode::Full;
  halcyon::logLine("Running in mode: " + std::to_string(static_cast<int32_t>(command.mode)) + "\n");

  endRunOnHangUp();
  SaverApplication& app = obtainApplication();
  app.setRunOptions(options);
  // The system's screensaver-running flag has no counterpart here: X screensaver hosts keep
  // track of the savers they start.
  // The program's own generator: the libraries in the process (the sound client among them)
  // draw from the C library's one, so only this one makes --seed repeat a run.
  halcyon::programRandom().seed(options.seed ? *options.seed
                                             : static_cast<uint32_t>(halcyon::millisecondClock() % 32768));

  int exitCode = exit_code::kRunEnded;
  if (app.startSaver(nullptr, command.mode, command.window)) {
    if (command.mode != ScreensaverMode::Config) exitCode = runFrameLoop(app);
    // A start cut short by the lost display (its window closing with the connection) ends
    // like any quit; it is said as the loss it was.
    if (exitCode == exit_code::kRunEnded && platform::displayLostNow()) {
      sayDisplayLost();
      exitCode = exit_code::kDisplayLost;
    }
  } else if (platform::displayLostNow()) {
    // Whatever part of the start failed, it failed for the lost display.
    sayDisplayLost();
    exitCode = exit_code::kDisplayLost;
  } else {
    halcyon::reportFailure(app.startFailureText().empty() ? "the saver could not start" : app.startFailureText());
    exitCode = exitCodeFor(app.startFailure());
  }
  if (exitCode == exit_code::kDisplayLost) {
    // The run has ended in order (the sound is stopped, its files closed). What is left, the
    // device and the windows, lives on the lost connection, and letting it go would wait on
    // the window system; the process ends here instead.
    halcyon::logLine("\n<<Log closed");
    std::fflush(nullptr);
    _exit(exitCode);
  }
  deleteApplication();
  halcyon::logLine("\n<<Log closed");
  return exitCode;
}

}  // namespace brassmoor
