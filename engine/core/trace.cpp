#include "engine/core/trace.h"

#include <cstdio>
#include <utility>

namespace halcyon {
namespace {

struct Sink {
  TraceTap::Observer observer;
  TraceWriter writer;
  std::string programName = "halcyon";
  bool verbose = false;
};

// Built on first use and never destroyed: a message composed while the process winds
// down (a destructor running at exit) must still find its sink.
Sink& sink() {
  static Sink* s = new Sink;
  return *s;
}

void write(std::string_view text) {
  Sink& s = sink();
  if (s.writer) {
    s.writer(text);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

void logLine(std::string text) {
  Sink& s = sink();
  if (s.observer) s.observer("line", std::string(), text);
  if (s.verbose) write(text);
}

void logError(std::string caption, std::string text) {
  Sink& s = sink();
  if (s.observer) s.observer("error", caption, text);
  if (s.verbose) write(caption.empty() ? text : caption + ": " + text);
}

void reportFailure(std::string text) {
  Sink& s = sink();
  if (s.observer) s.observer("failure", std::string(), text);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  write(s.programName + ": " + text + "\n");
}

void setTraceVerbose(bool on) { sink().verbose = on; }
bool traceVerbose() { return sink().verbose; }
void setTraceProgramName(std::string name) { sink().programName = std::move(name); }

TraceWriter setTraceWriter(TraceWriter writer) { return std::exchange(sink().writer, std::move(writer)); }

TraceTap::Observer TraceTap::install(Observer observer) { return std::exchange(sink().observer, std::move(observer)); }

}  // namespace halcyon
