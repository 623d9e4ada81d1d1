#include "platform/window/saver_window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/window/sdl_events.h"
#include "tests/platform/window/fake_window.h"

namespace {

using namespace platform;
using testsupport::FakeWindow;

TEST(SaverWindow, QueueOrderPostedThenQuitThenPaintThenTimer) {
  std::vector<uint32_t> seen;
  WindowClass cls{"queue-test", 0, [&](SaverWindow&, uint32_t m, WPARAM, LPARAM) -> LRESULT {
                    seen.push_back(m);
                    return 7;
                  }};
  FakeWindow w(cls, 0, {0, 0, 10, 10});
  w.setTimer(1, 0);
  w.invalidate();
  w.postQuitMessage(3);
  w.postMessage(WM_USER, 1, 2);
  w.postMessage(WM_KEYDOWN, VK_F3);
  WindowMessage m;
  std::vector<uint32_t> order;
  while (order.size() < 5 && w.peekMessage(m)) {
    order.push_back(m.message);
    if (m.message == WM_QUIT) {
      EXPECT_EQ(m.wParam, 3u);
    }
  }
  EXPECT_EQ(order, (std::vector<uint32_t>{WM_USER, WM_KEYDOWN, WM_QUIT, WM_PAINT, WM_TIMER}));
  EXPECT_EQ(w.dispatchMessage(m), 7);
  EXPECT_EQ(seen, std::vector<uint32_t>{WM_TIMER});
}

TEST(SaverWindow, TimersFireAfterTheirIntervalAndStopWhenKilled) {
  FakeWindow w({"timer-test", 0, {}}, 0, {});
  w.setTimer(1, 60);
  WindowMessage m;
  EXPECT_FALSE(w.peekMessage(m));
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(w.getMessage(m));
  EXPECT_EQ(m.message, WM_TIMER);
  EXPECT_EQ(m.wParam, 1u);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  w.killTimer(1);
  std::this_thread::sleep_for(std::chrono::milliseconds(80));
  EXPECT_FALSE(w.peekMessage(m));
}

TEST(SaverWindow, DestroySendsOneDestroyAndLaterWaitsEndAsQuit) {
  int destroys = 0;
  WindowClass cls{"destroy-test", 0, [&](SaverWindow&, uint32_t m, WPARAM, LPARAM) -> LRESULT {
                    if (m == WM_DESTROY) ++destroys;
                    return 0;
                  }};
  FakeWindow w(cls, 0, {});
  w.invalidate();
  w.destroy();
  w.destroy();
  EXPECT_EQ(destroys, 1);
  EXPECT_TRUE(w.nativeClosed);
  WindowMessage m;
  EXPECT_FALSE(w.peekMessage(m)) << "no paint for a destroyed window";
  EXPECT_FALSE(w.getMessage(m));
  EXPECT_EQ(m.message, WM_QUIT);
}

TEST(SaverWindow, ClassNamesRegisterOnce) {
  const uint16_t atom = registerWindowClass({"class-test", 0, {}});
  EXPECT_GE(atom, 0xC000);
  EXPECT_EQ(registerWindowClass({"class-test", 0, {}}), 0);
  EXPECT_EQ(registerWindowClass({"", 0, {}}), 0);
  EXPECT_TRUE(unregisterWindowClass("class-test"));
  EXPECT_NE(registerWindowClass({"class-test", 0, {}}), 0);
}

TEST(DisplayName, TheScreenItAsksFor) {
  // A host starts one saver per X screen with DISPLAY naming that screen; the second one
  // must be told apart so that it draws there.
  EXPECT_EQ(x11ScreenOfDisplayName(":0"), 0);
  EXPECT_EQ(x11ScreenOfDisplayName(":12.1"), 1);
  EXPECT_EQ(x11ScreenOfDisplayName("host.example:3.0"), 0);
  EXPECT_EQ(x11ScreenOfDisplayName("unix:0.2"), 2);
  EXPECT_EQ(x11ScreenOfDisplayName("[::1]:5.1"), 1);
  EXPECT_EQ(x11ScreenOfDisplayName("/tmp/launch-x/org.xquartz:0"), 0);
  for (const char* bad : {"", "0", ":", ":a", ":0.", ":0.x", ":0.1.2", "host:", ":99999999999"})
    EXPECT_EQ(x11ScreenOfDisplayName(bad), -1) << bad;
}

}  // namespace
