// The input manager on a real window: the system cursor read through the application's
// engine window, and real SDL input reaching the buffered devices.
#include <SDL.h>
#include <gtest/gtest.h>

#include <memory>

#include "engine/device/application.h"
#include "engine/input/input_manager.h"
#include "platform/d3d9/recording.h"
#include "platform/dinput/dik_codes.h"
#include "tests/support/headless_engine_window.h"

namespace {

using namespace halcyon;

// The headless window's fixed 320 x 240 client area over a real window, whose style stays
// what the test display gave it.
class SdlEngineWindow : public testsupport::HeadlessEngineWindow {
 public:
  explicit SdlEngineWindow(SDL_Window* w) : HeadlessEngineWindow(320, 240), window_(w) {}
  HWND deviceWindow() override { return window_; }

 private:
  SDL_Window* window_;
};

struct Recorder : InputListener {
  void onInputEvent(const InputEvent& e) override { events.push_back(e); }
  std::vector<InputEvent> events;
};

class SystemCursorTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    window = SDL_CreateWindow("input", 100, 50, 320, 240, 0);
    ASSERT_NE(window, nullptr) << SDL_GetError();
    engineWindow = std::make_unique<SdlEngineWindow>(window);
    Application::setDirect3DLoader([] { return new RecordingDirect3D9(); });
    app = std::make_unique<Application>();
    ASSERT_TRUE(app->create(nullptr, engineWindow.get()));
    settle();
  }
  void TearDown() override {
    app.reset();
    Application::setDirect3DLoader(nullptr);
    engineWindow.reset();
    if (window) SDL_DestroyWindow(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
  void settle() {
    for (int i = 0; i < 20; ++i) {
      SDL_PumpEvents();
      SDL_Delay(5);
    }
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  }

  SDL_Window* window = nullptr;
  std::unique_ptr<SdlEngineWindow> engineWindow;
  std::unique_ptr<Application> app;
};

TEST_F(SystemCursorTest, SystemCursorModeReadsTheCursorOverTheWindow) {
  InputManager input;
  ASSERT_TRUE(input.initialise(*app, true, 6, 6));
  SDL_WarpMouseInWindow(window, 30, 40);
  settle();
  input.update(0);
  EXPECT_FLOAT_EQ(input.cursorX(), 30);
  EXPECT_FLOAT_EQ(input.cursorY(), 40);
  EXPECT_FALSE(input.leftButton());
}

TEST_F(SystemCursorTest, PushedSdlKeysArriveAsKeyEvents) {
  InputManager input;
  ASSERT_TRUE(input.initialise(*app, true, 6, 6));
  Recorder recorder;
  input.addListener(&recorder);
  SDL_Event e{};
  e.type = SDL_KEYDOWN;
  e.key.keysym.scancode = SDL_SCANCODE_SEMICOLON;
  ASSERT_EQ(SDL_PushEvent(&e), 1);
  e.type = SDL_KEYUP;
  ASSERT_EQ(SDL_PushEvent(&e), 1);
  input.pump();
  ASSERT_EQ(recorder.events.size(), 2u);
  EXPECT_EQ(recorder.events[0].kind, kKeyDown);
  EXPECT_EQ(recorder.events[0].code, dinput::DIK_SEMICOLON);
  EXPECT_EQ(recorder.events[1].kind, kKeyUp);
}

}  // namespace
