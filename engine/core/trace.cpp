#include "engine/core/trace.h"

#include <utility>

namespace halcyon {
namespace {
TraceTap::Observer& tapObserver() {
  static TraceTap::Observer observer;
  return observer;
}
}  // namespace

void logLine(std::string text) {
  if (auto& observer = tapObserver()) observer("line", std::string(), text);
}

void logError(std::string caption, std::string text) {
  if (auto& observer = tapObserver()) observer("error", caption, text);
}

TraceTap::Observer TraceTap::install(Observer observer) {
  return std::exchange(tapObserver(), std::move(observer));
}

}  // namespace halcyon
