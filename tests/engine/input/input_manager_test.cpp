#include "engine/input/input_manager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/input/key_table.h"
#include "platform/dinput/dik_codes.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_input_window.h"

namespace {

using halcyon::InputEvent;
using halcyon::InputManager;
using testing::ElementsAre;

class FakeWindow : public testsupport::FakeInputWindow {
 public:
  FakeWindow() : FakeInputWindow(42, 640, 480) {}
};

class Recorder : public halcyon::InputListener {
 public:
  void onInputEvent(const InputEvent& e) override { events.push_back(e); }
  std::vector<int> kinds() const {
    std::vector<int> k;
    for (const auto& e : events) k.push_back(e.kind);
    return k;
  }
  std::vector<InputEvent> events;
};

class InputManagerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(input.initialise(window, true, 6, 6));
    input.addListener(&recorder);
  }
  dinput::DirectInput8& di() { return *input.directInput(); }
  void pumpAll() {
    for (int i = 0; i < 8; ++i) input.pump();
  }

  testsupport::FakeClock clock;
  FakeWindow window;
  InputManager input;
  Recorder recorder;
};

TEST_F(InputManagerTest, LeftReleasesWithinTheIntervalMakeADoubleClick) {
  di().injectMouseButton(0, true, 1000);
  di().injectMouseButton(0, false, 1000);
  di().injectMouseButton(0, true, 1400);
  di().injectMouseButton(0, false, 1499);
  input.pump();
  EXPECT_THAT(recorder.kinds(), ElementsAre(0, 1, 0, 1, 2));
}

TEST_F(InputManagerTest, ReleasesAtTheIntervalStartANewPair) {
  di().injectMouseButton(0, false, 0);  // a release without a press is no change: ignored
  di().injectMouseButton(0, true, 900);
  di().injectMouseButton(0, false, 1000);
  di().injectMouseButton(0, true, 1450);
  di().injectMouseButton(0, false, 1500);  // 500 ms after the first: no double click
  di().injectMouseButton(0, true, 1700);
  di().injectMouseButton(0, false, 1800);  // 300 ms after the second: it was a new pair
  input.pump();
  EXPECT_THAT(recorder.kinds(), ElementsAre(0, 1, 0, 1, 0, 1, 2));
}

TEST_F(InputManagerTest, ReleaseRecordsAloneCountTowardADoubleClick) {
  using dinput::DeviceClass;
  di().injectRawRecord(DeviceClass::Mouse, dinput::DIMOFS_BUTTON0, 0, 5000);
  di().injectRawRecord(DeviceClass::Mouse, dinput::DIMOFS_BUTTON0, 0, 5499);
  input.pump();
  EXPECT_THAT(recorder.kinds(), ElementsAre(1, 1, 2));
  recorder.events.clear();
  di().injectRawRecord(DeviceClass::Mouse, dinput::DIMOFS_BUTTON0, 0, 8000);
  di().injectRawRecord(DeviceClass::Mouse, dinput::DIMOFS_BUTTON0, 0, 8500);
  di().injectRawRecord(DeviceClass::Mouse, dinput::DIMOFS_Z, 120, 8600);      // wheel: skipped
  di().injectRawRecord(DeviceClass::Mouse, dinput::DIMOFS_BUTTON2, 0, 8700);  // middle: skipped
  input.pump();
  EXPECT_THAT(recorder.kinds(), ElementsAre(1, 1));
}

TEST_F(InputManagerTest, RightButtonHasItsOwnCounterAndKinds) {
  di().injectMouseButton(0, true, 100);
  di().injectMouseButton(0, false, 110);
  di().injectMouseButton(1, true, 120);
  di().injectMouseButton(1, false, 130);
  di().injectMouseButton(1, true, 140);
  di().injectMouseButton(1, false, 150);
  input.pump();
  EXPECT_THAT(recorder.kinds(), ElementsAre(0, 1, 3, 4, 3, 4, 5));
}

TEST_F(InputManagerTest, DoubleClickIntervalCanBeChangedAndSurvivesTimeStampWrap) {
  input.setDoubleClickInterval(100);
  di().injectMouseButton(0, true, 0xFFFFFFF0u);
  di().injectMouseButton(0, false, 0xFFFFFFF0u);
  di().injectMouseButton(0, true, 0x10);
  di().injectMouseButton(0, false, 0x20);  // 48 ms later, across the wrap
  input.pump();
  EXPECT_THAT(recorder.kinds(), ElementsAre(0, 1, 0, 1, 2));
}

TEST_F(InputManagerTest, KeyboardRecordsBecomeKeyEventsAndKeyStates) {
  di().injectKey(dinput::DIK_SEMICOLON, true, 10);
  input.pump();
  ASSERT_EQ(recorder.events.size(), 1u);
  EXPECT_EQ(recorder.events[0].kind, halcyon::kKeyDown);
  EXPECT_EQ(recorder.events[0].code, 0x27);
  EXPECT_TRUE(input.keyDown(dinput::DIK_SEMICOLON));
  di().injectKey(dinput::DIK_SEMICOLON, false, 20);
  input.pump();
  EXPECT_EQ(recorder.events[1].kind, halcyon::kKeyUp);
  EXPECT_FALSE(input.keyDown(dinput::DIK_SEMICOLON));
}

TEST_F(InputManagerTest, AnOffsetBeyondTheKeysEndsTheKeyboardBuffer) {
  di().injectKey(dinput::DIK_A, true, 10);
  di().injectRawRecord(dinput::DeviceClass::Keyboard, 256, 0x80, 11);
  di().injectKey(dinput::DIK_B, true, 12);
  input.pump();
  ASSERT_EQ(recorder.events.size(), 1u);
  EXPECT_EQ(recorder.events[0].code, dinput::DIK_A);
  EXPECT_FALSE(input.keyDown(dinput::DIK_B));
  // The records behind the bad one were read with it and are gone.
  input.pump();
  EXPECT_EQ(recorder.events.size(), 1u);
}

TEST_F(InputManagerTest, OnePumpHandlesOnlyTheKeyboardWhenBothAreSignalled) {
  di().injectMouseButton(1, true, 5);
  di().injectKey(dinput::DIK_Q, true, 6);
  input.pump();
  EXPECT_THAT(recorder.kinds(), ElementsAre(halcyon::kKeyDown));
  input.pump();
  EXPECT_THAT(recorder.kinds(), ElementsAre(halcyon::kKeyDown, halcyon::kRightButtonDown));
  input.pump();
  EXPECT_EQ(recorder.events.size(), 2u);
}

TEST_F(InputManagerTest, ABufferHoldsSixtyFourRecordsAndTheRestAreLost) {
  for (int i = 0; i < 40; ++i) {
    di().injectKey(dinput::DIK_A, true, i);
    di().injectKey(dinput::DIK_A, false, i);
  }
  input.pump();
  EXPECT_EQ(recorder.events.size(), 64u);
  input.pump();
  EXPECT_EQ(recorder.events.size(), 64u);
}

TEST_F(InputManagerTest, ListenersAreToldInRegistrationOrder) {
  std::vector<int> order;
  struct Tagged : halcyon::InputListener {
    Tagged(std::vector<int>& o, int t) : out(o), tag(t) {}
    void onInputEvent(const InputEvent&) override { out.push_back(tag); }
    std::vector<int>& out;
    int tag;
  } a(order, 1), b(order, 2);
  input.addListener(&a);
  input.addListener(&b);
  input.handleWindowMessage(halcyon::kWmChar, 'x', 0);
  EXPECT_THAT(order, ElementsAre(1, 2));
  EXPECT_EQ(recorder.events.back().kind, halcyon::kCharacter);
  EXPECT_EQ(recorder.events.back().code, 'x');
  input.removeListener(&a);
  input.handleWindowMessage(halcyon::kWmChar, 'y', 0);
  EXPECT_THAT(order, ElementsAre(1, 2, 2));
}

TEST_F(InputManagerTest, CursorMoveMessageCarriesPositionPreviousAndMovement) {
  input.handleWindowMessage(halcyon::kWmMouseMove, 0, (20 << 16) | 10);
  input.handleWindowMessage(halcyon::kWmMouseMove, 0, (static_cast<intptr_t>(0xFFFE) << 16) | 15);
  ASSERT_EQ(recorder.events.size(), 2u);
  const InputEvent& e = recorder.events[1];
  EXPECT_EQ(e.kind, halcyon::kCursorMoved);
  EXPECT_FLOAT_EQ(e.x, 15);
  EXPECT_FLOAT_EQ(e.y, -2);
  EXPECT_FLOAT_EQ(e.prevX, 10);
  EXPECT_FLOAT_EQ(e.prevY, 20);
  EXPECT_FLOAT_EQ(e.dx, 5);
  EXPECT_FLOAT_EQ(e.dy, -22);
  EXPECT_FLOAT_EQ(input.cursorX(), 15);
  EXPECT_FLOAT_EQ(input.previousCursorX(), 10);
}

TEST_F(InputManagerTest, FocusMessagesAcquireAndReleaseTheDevices) {
  input.handleWindowMessage(halcyon::kWmKillFocus, 0, 0);
  EXPECT_FALSE(input.isActive());
  di().injectKey(dinput::DIK_A, true, 1);  // not acquired: nothing is buffered
  pumpAll();
  EXPECT_TRUE(recorder.events.empty());
  input.handleWindowMessage(halcyon::kWmSetFocus, 0, 0);
  EXPECT_TRUE(input.isActive());
  EXPECT_THAT(recorder.kinds(), ElementsAre(halcyon::kFocusRegained));
  di().injectKey(dinput::DIK_B, true, 2);
  input.pump();
  EXPECT_EQ(recorder.events.back().code, dinput::DIK_B);
}

TEST_F(InputManagerTest, LostInputIsReacquiredOnceAndOtherwiseLeftAlone) {
  di().injectKey(dinput::DIK_A, true, 1);
  di().injectFocus(false);  // the window lost focus behind the manager's back
  pumpAll();                // the reacquire fails while unfocused: the read just ends
  EXPECT_TRUE(recorder.events.empty());
  di().injectFocus(true);
  input.update(0);  // the loss was reported once already; the devices stay unacquired
  di().injectKey(dinput::DIK_C, true, 3);
  pumpAll();
  EXPECT_TRUE(recorder.events.empty());
  input.handleWindowMessage(halcyon::kWmSetFocus, 0, 0);  // regaining focus reacquires
  di().injectKey(dinput::DIK_C, true, 3);
  input.pump();
  EXPECT_THAT(recorder.kinds(), ElementsAre(halcyon::kFocusRegained, halcyon::kKeyDown));
  EXPECT_TRUE(input.keyDown(dinput::DIK_C));
}

TEST_F(InputManagerTest, InputLostWhileAwayIsReacquiredByTheNextRead) {
  di().injectFocus(false);
  di().injectFocus(true);
  di().injectKey(dinput::DIK_D, true, 1);  // unacquired: not seen
  input.pump();                            // lost, reacquired, read again: empty
  EXPECT_TRUE(recorder.events.empty());
  di().injectKey(dinput::DIK_E, true, 2);
  input.pump();
  EXPECT_THAT(recorder.kinds(), ElementsAre(halcyon::kKeyDown));
  EXPECT_EQ(recorder.events[0].code, dinput::DIK_E);
}

TEST_F(InputManagerTest, SetCursorShowsTheArrowInSystemCursorMode) {
  window.cursorShape.clear();
  input.handleWindowMessage(halcyon::kWmSetCursor, 0, 0);
  EXPECT_EQ(window.cursorShape, "arrow");
}

TEST_F(InputManagerTest, SystemCursorModeFollowsTheSystemCursorAndButtons) {
  window.cursorX = 100;
  window.cursorY = 900;  // beyond the client area: clamped
  input.update(0);
  EXPECT_FLOAT_EQ(input.cursorX(), 100);
  EXPECT_FLOAT_EQ(input.cursorY(), 479);
  window.asyncLeft = true;
  EXPECT_TRUE(input.leftButton());
}

TEST_F(InputManagerTest, MouseAxisRecordsCarryTheCursorAndItsMovement) {
  input.update(0);
  window.cursorX = 30;
  window.cursorY = 40;
  di().injectMouseMotion(3, 4, 10);
  input.pump();
  ASSERT_THAT(recorder.kinds(), ElementsAre(halcyon::kMouseAxesMoved, halcyon::kMouseAxesMoved));
  EXPECT_FLOAT_EQ(recorder.events[0].x, 30);
  EXPECT_FLOAT_EQ(recorder.events[0].dx, 30);
  EXPECT_FLOAT_EQ(recorder.events[1].dy, 40);
}

TEST(InputManagerExclusive, CursorFollowsTheAxesScaledAndNeverLeavesTheClientArea) {
  testsupport::FakeClock clock;
  FakeWindow window;
  InputManager input;
  ASSERT_TRUE(input.initialise(window, false, 6, 6));
  window.cursorShape.clear();
  input.handleWindowMessage(halcyon::kWmSetCursor, 0, 0);
  EXPECT_EQ(window.cursorShape, "none");

  input.directInput()->injectMouseMotion(50, 20, 1);
  input.update(0);
  EXPECT_FLOAT_EQ(input.cursorX(), 50);
  EXPECT_FLOAT_EQ(input.cursorY(), 20);

  input.setSensitivity(2.0f);
  input.setSensitivity(0.0f);  // ignored
  input.directInput()->injectMouseMotion(10, -4, 2);
  input.update(0);
  EXPECT_FLOAT_EQ(input.cursorX(), 55);
  EXPECT_FLOAT_EQ(input.cursorY(), 18);

  for (int i = 0; i < 20; ++i) {
    input.directInput()->injectMouseMotion(i % 2 ? 5000 : -7000, i % 3 ? 9000 : -9000, 3);
    input.update(0);
    EXPECT_GE(input.cursorX(), 0);
    EXPECT_LE(input.cursorX(), 639);
    EXPECT_GE(input.cursorY(), 0);
    EXPECT_LE(input.cursorY(), 479);
  }

  input.directInput()->injectMouseButton(0, true, 4);
  input.update(0);
  EXPECT_TRUE(input.leftButton());
}

TEST(InputManagerPolling, PollingIsRateLimitedByTheInterval) {
  testsupport::FakeClock clock;
  FakeWindow window;
  InputManager input;
  ASSERT_TRUE(input.initialise(window, true, 6, 6));
  window.cursorX = 5;
  clock.advance(100);
  input.update(100);
  EXPECT_FLOAT_EQ(input.cursorX(), 5);
  window.cursorX = 9;
  clock.advance(50);
  input.update(100);
  EXPECT_FLOAT_EQ(input.cursorX(), 5);
  clock.advance(50);
  input.update(100);
  EXPECT_FLOAT_EQ(input.cursorX(), 9);
}

TEST(InputManagerSetup, BadCooperationFlagsFailInitialisation) {
  FakeWindow window;
  InputManager input;
  EXPECT_FALSE(input.initialise(window, true, 0, 6));
  EXPECT_FALSE(input.isInitialised());
  input.pump();  // harmless without devices
  input.update(0);
  EXPECT_TRUE(input.initialise(window, true, 6, 6));
}

TEST(InputManagerApplication, WindowMessagesReachTheManagerThroughTheApplication) {
  halcyon::Application app;
  FakeWindow window;
  Recorder recorder;
  {
    InputManager input;
    ASSERT_TRUE(input.initialise(window, true, 6, 6));
    ASSERT_TRUE(input.initialise(window, true, 6, 6));  // registered once, not twice
    input.addListener(&recorder);
    app.msgProc(nullptr, halcyon::kWmChar, 'k', 0);
    app.msgProc(nullptr, halcyon::kWmKillFocus, 0, 0);
    EXPECT_FALSE(input.isActive());
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0].code, 'k');
    input.shutdown();
    app.msgProc(nullptr, halcyon::kWmChar, 'l', 0);
    EXPECT_EQ(recorder.events.size(), 1u);
  }
  app.msgProc(nullptr, halcyon::kWmChar, 'm', 0);  // a destroyed manager is no longer asked
}

TEST(KeyTable, CharactersOfTheScanCodes) {
  EXPECT_EQ(halcyon::characterOf(53), ';');  // not "/", which that key types on a US layout
  EXPECT_EQ(halcyon::characterOf(11), '0');
  EXPECT_EQ(halcyon::characterOf(39), 255);  // the key beside "l" types nothing here
  EXPECT_TRUE(halcyon::isPrintable(53));
  EXPECT_TRUE(halcyon::isPrintable(57));
  EXPECT_FALSE(halcyon::isPrintable(1));   // Escape: 252
  EXPECT_FALSE(halcyon::isPrintable(28));  // Enter: 254
  EXPECT_FALSE(halcyon::isPrintable(0));
}

}  // namespace
