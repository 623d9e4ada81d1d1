#include "tests/support/trace_capture.h"

#include <algorithm>

namespace testsupport {

TraceCapture::TraceCapture() {
  previous_ = halcyon::TraceTap::install([this](const char* sink, const std::string& caption, const std::string& text) {
    entries_.push_back({sink, caption, text});
  });
}

TraceCapture::~TraceCapture() { halcyon::TraceTap::install(previous_); }

std::vector<std::string> TraceCapture::texts() const {
  std::vector<std::string> out;
  for (const auto& e : entries_)
    if (e.sink != "failure") out.push_back(e.text);
  return out;
}

std::vector<std::string> TraceCapture::failures() const {
  std::vector<std::string> out;
  for (const auto& e : entries_)
    if (e.sink == "failure") out.push_back(e.text);
  return out;
}

bool TraceCapture::contains(const std::string& text) const {
  return std::any_of(entries_.begin(), entries_.end(), [&](const TraceEntry& e) { return e.text == text; });
}

}  // namespace testsupport
