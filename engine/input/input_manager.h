#pragma once
// The input manager: keyboard and mouse become input events for the listeners, in the order
// they were registered; a polled key-state array and a cursor position are kept beside.
//
// Buffered device records arrive through the platform's input runtime, each device with its
// own notification event; one pump handles at most one device's buffer, the keyboard's
// first. A few window messages (focus, cursor shape, cursor movement, characters) come from
// the application: initialising registers the manager as one of its message handlers (and
// handleWindowMessage may also be called directly).
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/clock.h"
#include "engine/device/application.h"
#include "engine/input/input_event.h"
#include "platform/dinput/dinput.h"

namespace halcyon {

// Window message numbers the manager answers (the Win32 values the window layer uses).
constexpr uint32_t kWmSetFocus = 0x0007;
constexpr uint32_t kWmKillFocus = 0x0008;
constexpr uint32_t kWmSetCursor = 0x0020;
constexpr uint32_t kWmChar = 0x0102;
constexpr uint32_t kWmMouseMove = 0x0200;

struct ClientRect {
  int32_t left = 0, top = 0, width = 0, height = 0;
};

// What the manager needs of the application window it serves.
class InputWindow {
 public:
  virtual ~InputWindow() = default;
  virtual uintptr_t handle() const = 0;
  virtual ClientRect clientRect() const = 0;
  virtual bool isWindowed() const = 0;
  // The system cursor in client coordinates; false when it cannot be read.
  virtual bool systemCursor(float& x, float& y) const = 0;
  // Sets the arrow as the cursor's shape; whether the cursor shows is the shell's to say.
  virtual void showArrowCursor() = 0;
  virtual void hideCursor() = 0;
  // The system's own view of a mouse button (0 left, 1 right), independent of the devices.
  virtual bool asyncButtonDown(int button) const = 0;
};

class InputManager : public MessageHandler {
 public:
  static constexpr uint32_t kBufferRecords = 64;

  InputManager() = default;
  ~InputManager() override;
  InputManager(const InputManager&) = delete;
  InputManager& operator=(const InputManager&) = delete;

  // Binds the devices to `window` (which must outlive the manager or its shutdown).
  bool initialise(InputWindow& window, bool systemCursorMode, uint32_t keyboardFlags, uint32_t mouseFlags);
  // Binds them to the application's engine window, with the system's cursor and buttons.
  bool initialise(Application& application, bool systemCursorMode, uint32_t keyboardFlags, uint32_t mouseFlags);
  void shutdown();

  void addListener(InputListener* listener);
  void removeListener(InputListener* listener);

  // Immediate polling of key states and cursor, at most once per `intervalMs`.
  void update(int64_t intervalMs);
  // Handles one pending device buffer: the keyboard's when signalled, else the mouse's.
  void pump();
  void handleWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
  // The application's message path; answers 0 and leaves the message to the others.
  LRESULT handleMessage(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam) override;

  bool keyDown(uint8_t scanCode) const { return (keyState_[scanCode] & 0x80) != 0; }
  bool leftButton() const { return buttonDown(0); }
  bool rightButton() const { return buttonDown(1); }
  float cursorX() const { return cursorX_; }
  float cursorY() const { return cursorY_; }
  float previousCursorX() const { return prevCursorX_; }
  float previousCursorY() const { return prevCursorY_; }
  // Non-positive or non-finite values are ignored: the exclusive cursor divides by it.
  void setSensitivity(float sensitivity);
  float sensitivity() const { return sensitivity_; }
  void setDoubleClickInterval(uint32_t ms) { doubleClickMs_ = ms; }
  bool isActive() const { return active_; }
  bool isInitialised() const { return keyboard_ != nullptr; }

  // The runtime behind the devices (hosts and tests feed it); null before initialise.
  dinput::DirectInput8* directInput() { return directInput_.get(); }

 private:
  bool buttonDown(int button) const;
  void dispatch(const InputEvent& event);
  void pollCursor();
  void pollKeyboard();
  bool readMouseState();
  void drainKeyboard();
  void drainMouse();
  void buttonRecord(const dinput::DIDEVICEOBJECTDATA& record, int button);
  InputEvent positioned(int32_t kind) const;

  InputWindow* window_ = nullptr;
  std::unique_ptr<InputWindow> ownWindow_;  // made for the application form of initialise
  Application* application_ = nullptr;      // the one this manager is registered with
  std::unique_ptr<dinput::DirectInput8> directInput_;
  std::unique_ptr<dinput::DirectInputDevice8> keyboard_;
  std::unique_ptr<dinput::DirectInputDevice8> mouse_;
  dinput::Event keyboardEvent_;
  dinput::Event mouseEvent_;
  std::array<uint8_t, 256> keyState_{};
  dinput::DIMOUSESTATE mouseState_{};
  std::array<dinput::DIDEVICEOBJECTDATA, 2 * kBufferRecords> buffered_{};
  float cursorX_ = 0, cursorY_ = 0;
  float prevCursorX_ = 0, prevCursorY_ = 0;
  int32_t prevAbsX_ = 0, prevAbsY_ = 0;
  float sensitivity_ = 1.0f;
  ClientRect client_;
  bool systemCursorMode_ = false;
  bool active_ = true;
  uint8_t leftClicks_ = 0, rightClicks_ = 0;
  uint32_t leftClickTime_ = 0, rightClickTime_ = 0;
  uint32_t doubleClickMs_ = 500;
  IntervalTimer pollTimer_;
  std::vector<InputListener*> listeners_;
};

}  // namespace halcyon
