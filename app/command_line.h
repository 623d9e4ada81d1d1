#pragma once
// The screensaver host's command line: which mode to run and which window it names.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brassmoor {

// Written to the trace in decimal, so the numbers are fixed.
enum class ScreensaverMode : int32_t { Full = 0, Preview = 1, Test = 2, Config = 3, Password = 4 };

struct CommandLine {
  ScreensaverMode mode = ScreensaverMode::Config;
  int64_t window = 0;  // host window number ("/p", "/c", "/a"); 0 when none is given
  bool operator==(const CommandLine&) const = default;
};

// Reads the whole command line as the system hands it over, program name first.
CommandLine parseCommandLine(std::string_view line);

// The command line of a process started with `arguments` (program name first): the program
// name in double quotes when it holds a blank, the rest joined by single blanks.
std::string composeCommandLine(const std::vector<std::string>& arguments);

}  // namespace brassmoor
