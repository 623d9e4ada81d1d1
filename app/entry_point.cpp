#include "app/entry_point.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/frame_loop.h"
#include "app/run_options.h"
#include "app/saver_application.h"
#include "engine/core/clock.h"
#include "engine/core/trace.h"

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

int runEntryPoint(int argc, char** argv, PresenceCheck& presenceCheck) {
  std::vector<std::string> arguments(argv, argv + argc);
  if (arguments.empty()) arguments.emplace_back("brassmoor");
  RunOptions options;
  std::string error;
  if (!extractRunOptions(arguments, options, error)) {
    std::fprintf(stderr, "brassmoor: %s\n%s", error.c_str(), usageText().c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(usageText().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("brassmoor %s\n", BRASSMOOR_VERSION);
    return 0;
  }
  if (options.startTime) halcyon::ClockSources::setLocalTime(*options.startTime);

  uint32_t version = 0;
  if (!presenceCheck.check(version) || version < 0x00090000) {
    presenceCheck.showMissingDialog();
    return 1;
  }
  halcyon::logLine("\n>>Log started " + traceDateTime(halcyon::localTime()) + "\n");
  halcyon::logLine("DX version ok\n");

  CommandLine command = parseCommandLine(composeCommandLine(arguments));
  // A host that names its window, and a window of a chosen size, run the saver itself.
  if (options.windowSize) command = CommandLine{ScreensaverMode::Test, 0};
  else if ((options.root || options.windowId) && command.mode == ScreensaverMode::Config) command.mode = ScreensaverMode::Full;
  halcyon::logLine("Running in mode: " + std::to_string(static_cast<int32_t>(command.mode)) + "\n");

  SaverApplication& app = obtainApplication();
  app.setRunOptions(options);
  // The system's screensaver-running flag has no counterpart here: X screensaver hosts keep
  // track of the savers they start.
  std::srand(static_cast<unsigned>(halcyon::millisecondClock() % 32768));
  if (options.seed) std::srand(*options.seed);

  int exitCode = 0;
  if (app.startSaver(nullptr, command.mode, command.window)) {
    exitCode = command.mode == ScreensaverMode::Config ? 1 : runFrameLoop(app);
  }
  deleteApplication();
  halcyon::logLine("\n<<Log closed");
  return exitCode;
}

}  // namespace brassmoor
