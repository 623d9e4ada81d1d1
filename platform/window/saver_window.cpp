#include "platform/window/saver_window.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <thread>

namespace platform {
namespace {

int64_t nowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

struct ClassTable {
  std::map<std::string, uint16_t> atoms;
  uint16_t next = 0xC000;
};

ClassTable& classTable() {
  static ClassTable table;
  return table;
}

}  // namespace

uint16_t registerWindowClass(const WindowClass& windowClass) {
  ClassTable& table = classTable();
  if (windowClass.name.empty() || table.atoms.count(windowClass.name) != 0 || table.next == 0) return 0;
  const uint16_t atom = table.next++;
  table.atoms[windowClass.name] = atom;
  return atom;
}

bool unregisterWindowClass(const std::string& name) { return classTable().atoms.erase(name) != 0; }

SaverWindow::SaverWindow(WindowClass windowClass, uint32_t style) : class_(std::move(windowClass)), style_(style) {}

SaverWindow::~SaverWindow() = default;

void SaverWindow::enqueue(const WindowMessage& message) {
  WindowMessage m = message;
  if (m.time == 0) m.time = static_cast<uint32_t>(nowMs());
  queue_.push_back(m);
}

void SaverWindow::postMessage(uint32_t message, WPARAM wParam, LPARAM lParam) {
  enqueue(WindowMessage{message, wParam, lParam, 0});
}

void SaverWindow::postQuitMessage(int exitCode) {
  quitPosted_ = true;
  quitCode_ = exitCode;
}

void SaverWindow::setTimer(uintptr_t id, uint32_t milliseconds) {
  killTimer(id);
  timers_.push_back(Timer{id, milliseconds, nowMs() + milliseconds});
}

void SaverWindow::killTimer(uintptr_t id) {
  std::erase_if(timers_, [id](const Timer& t) { return t.id == id; });
}

int SaverWindow::millisecondsToNextTimer() const {
  if (timers_.empty()) return -1;
  int64_t soonest = timers_.front().due;
  for (const Timer& t : timers_) soonest = std::min(soonest, t.due);
  return static_cast<int>(std::clamp<int64_t>(soonest - nowMs(), 0, 1 << 30));
}

// Posted and input messages first; WM_QUIT once those are gone; then WM_PAINT; then the
// first due timer, as the system queue orders them.
bool SaverWindow::takeReady(WindowMessage& out) {
  if (!queue_.empty()) {
    out = queue_.front();
    queue_.pop_front();
    return true;
  }
  if (quitPosted_) {
    quitPosted_ = false;
    out = WindowMessage{WM_QUIT, static_cast<WPARAM>(quitCode_), 0, static_cast<uint32_t>(nowMs())};
    return true;
  }
  if (paintPending_ && !destroyed_) {
    paintPending_ = false;
    out = WindowMessage{WM_PAINT, 0, 0, static_cast<uint32_t>(nowMs())};
    return true;
  }
  const int64_t now = nowMs();
  for (Timer& t : timers_) {
    if (t.due <= now) {
      t.due = now + t.interval;
      out = WindowMessage{WM_TIMER, static_cast<WPARAM>(t.id), 0, static_cast<uint32_t>(now)};
      return true;
    }
  }
  return false;
}

bool SaverWindow::peekMessage(WindowMessage& out) {
  if (queue_.empty() && !destroyed_) pumpNative(0);
  return takeReady(out);
}

bool SaverWindow::getMessage(WindowMessage& out) {
  while (true) {
    if (queue_.empty() && !destroyed_) pumpNative(0);
    if (takeReady(out)) return out.message != WM_QUIT;
    if (destroyed_) {
      // Only timers can still fire; without them nothing can ever arrive, so the wait ends
      // as if the quit came.
      if (timers_.empty()) {
        out = WindowMessage{WM_QUIT, 0, 0, static_cast<uint32_t>(nowMs())};
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(millisecondsToNextTimer()));
      continue;
    }
    pumpNative(millisecondsToNextTimer());
  }
}

void SaverWindow::waitMessage(int timeoutMs) {
  if (!queue_.empty() || quitPosted_ || paintPending_) return;
  const int toTimer = millisecondsToNextTimer();
  const int wait = toTimer < 0 ? timeoutMs : (timeoutMs < 0 ? toTimer : std::min(toTimer, timeoutMs));
  if (destroyed_) {
    if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    return;
  }
  pumpNative(wait);
}

LRESULT SaverWindow::dispatchMessage(const WindowMessage& message) {
  return sendMessage(message.message, message.wParam, message.lParam);
}

LRESULT SaverWindow::sendMessage(uint32_t message, WPARAM wParam, LPARAM lParam) {
  if (!class_.procedure) return 0;
  return class_.procedure(*this, message, wParam, lParam);
}

void SaverWindow::destroy() {
  if (destroyed_) return;
  destroyed_ = true;
  sendMessage(WM_DESTROY, 0, 0);
  closeNative();
  paintPending_ = false;
}

}  // namespace platform
