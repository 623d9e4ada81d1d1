#pragma once
// The two trace sinks. Shell and engine compose fixed progress and failure messages at their
// failure points and hand them here; both sinks accept the text and discard it. No setting,
// switch or environment value turns output on. Tests may observe the composed texts through
// TraceTap (test support only), which is the single seam.
#include <functional>
#include <string>

namespace halcyon {

void logLine(std::string text);
void logError(std::string caption, std::string text);

// Test-only observer of composed trace texts. `sink` is "line" or "error".
struct TraceTap {
  using Observer = std::function<void(const char* sink, const std::string& caption, const std::string& text)>;
  // Installs an observer (an empty function removes it). Returns the previous one.
  static Observer install(Observer observer);
};

}  // namespace halcyon
