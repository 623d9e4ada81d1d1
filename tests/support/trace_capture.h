#pragma once
// Collects the trace texts composed while it lives.
#include <string>
#include <vector>

#include "engine/core/trace.h"

namespace testsupport {

struct TraceEntry {
  std::string sink;  // "line", "error" or "failure"
  std::string caption;
  std::string text;
};

class TraceCapture {
 public:
  TraceCapture();
  ~TraceCapture();
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  const std::vector<TraceEntry>& entries() const { return entries_; }
  std::vector<std::string> texts() const;     // trace texts of both sinks, in order
  std::vector<std::string> failures() const;  // what reached the user as failures
  bool contains(const std::string& text) const;
  void clear() { entries_.clear(); }

 private:
  std::vector<TraceEntry> entries_;
  halcyon::TraceTap::Observer previous_;
};

}  // namespace testsupport
