#pragma once
// The program's one log sink. Shell and engine compose fixed progress messages at their
// failure points and hand them to logLine and logError; those are trace lines, written only
// when the run asked for them (--verbose, or BRASSMOOR_VERBOSE in the environment). A
// failure the user must learn of goes through reportFailure and is always written, as one
// line. Everything ends up in the same writer (stderr unless a test gives its own), so the
// order of what a run says is the order in which it happened. TraceTap lets tests see every
// composed text, written or not.
#include <functional>
#include <string>
#include <string_view>

namespace halcyon {

void logLine(std::string text);
void logError(std::string caption, std::string text);

// One line naming what went wrong, prefixed with the program's name: "name: text\n".
void reportFailure(std::string text);

// Trace lines reach the writer too while verbose is on.
void setTraceVerbose(bool on);
bool traceVerbose();
// The name failure lines begin with.
void setTraceProgramName(std::string name);

// Where the sink writes; an empty writer restores stderr. Returns the previous one.
using TraceWriter = std::function<void(std::string_view text)>;
TraceWriter setTraceWriter(TraceWriter writer);

// Test-only observer of composed trace texts. `sink` is "line", "error" or "failure".
struct TraceTap {
  using Observer = std::function<void(const char* sink, const std::string& caption, const std::string& text)>;
  // Installs an observer (an empty function removes it). Returns the previous one.
  static Observer install(Observer observer);
};

}  // namespace halcyon
