#include "engine/input/input_manager.h"

#include <algorithm>
#include <cmath>

#include "engine/input/application_window.h"

namespace halcyon {

using namespace dinput;

InputManager::~InputManager() { shutdown(); }

bool InputManager::initialise(InputWindow& window, bool systemCursorMode, uint32_t keyboardFlags, uint32_t mouseFlags) {
  // Devices of an earlier initialisation go; the runtime itself is kept.
  if (keyboard_) keyboard_->Unacquire();
  if (mouse_) mouse_->Unacquire();
  keyboard_.reset();
  mouse_.reset();
  keyboardEvent_.reset();
  mouseEvent_.reset();
  if (application_ != nullptr) application_->removeMessageHandler(this);
  application_ = getApplication();
  if (application_ != nullptr) application_->addMessageHandler(this);

  window_ = &window;
  window.showArrowCursor();
  client_ = window.clientRect();
  systemCursorMode_ = systemCursorMode;

  if (!directInput_) {
    directInput_ = DirectInput8Create(DIRECTINPUT_VERSION);
    if (!directInput_) return false;
  }

  auto fail = [this] {
    keyboard_.reset();
    mouse_.reset();
    return false;
  };

  keyboard_ = directInput_->CreateDevice(DeviceClass::Keyboard);
  if (!keyboard_ || !succeeded(keyboard_->SetDataFormat(c_dfDIKeyboard)) ||
      !succeeded(keyboard_->SetCooperativeLevel(window.handle(), keyboardFlags)) ||
      !succeeded(keyboard_->SetBufferSize(kBufferRecords)) ||
      !succeeded(keyboard_->SetEventNotification(&keyboardEvent_))) {
    return fail();
  }

  mouse_ = directInput_->CreateDevice(DeviceClass::Mouse);
  DIDATAFORMAT mouseFormat = c_dfDIMouse;
  mouseFormat.dwFlags = DIDF_ABSAXIS;
  if (!mouse_ || !succeeded(mouse_->SetDataFormat(mouseFormat)) ||
      !succeeded(mouse_->SetCooperativeLevel(window.handle(), mouseFlags)) ||
      !succeeded(mouse_->SetBufferSize(kBufferRecords)) || !succeeded(mouse_->SetEventNotification(&mouseEvent_))) {
    return fail();
  }

  if (!succeeded(keyboard_->Acquire()) || !succeeded(mouse_->Acquire())) return fail();

  // The absolute axes start wherever the device stands; the cursor must not jump to them.
  if (readMouseState()) {
    prevAbsX_ = mouseState_.lX;
    prevAbsY_ = mouseState_.lY;
  }
  return true;
}

bool InputManager::initialise(Application& application, bool systemCursorMode, uint32_t keyboardFlags,
                              uint32_t mouseFlags) {
  auto window = std::make_unique<ApplicationInputWindow>(application);
  const bool ok = initialise(*window, systemCursorMode, keyboardFlags, mouseFlags);
  ownWindow_ = std::move(window);  // after: the earlier one may still be in use until now
  return ok;
}

void InputManager::shutdown() {
  if (keyboard_) keyboard_->Unacquire();
  if (mouse_) mouse_->Unacquire();
  keyboard_.reset();
  mouse_.reset();
  directInput_.reset();
  window_ = nullptr;
  // Only while the application that was registered with still exists.
  if (application_ != nullptr && application_ == getApplication()) application_->removeMessageHandler(this);
  application_ = nullptr;
}

LRESULT InputManager::handleMessage(HWND, uint32_t message, WPARAM wParam, LPARAM lParam) {
  handleWindowMessage(message, static_cast<uintptr_t>(wParam), static_cast<intptr_t>(lParam));
  return 0;
}

void InputManager::addListener(InputListener* listener) {
  if (listener != nullptr) listeners_.push_back(listener);
}

void InputManager::removeListener(InputListener* listener) {
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void InputManager::setSensitivity(float sensitivity) {
  if (std::isfinite(sensitivity) && sensitivity > 0.0f) sensitivity_ = sensitivity;
}

bool InputManager::buttonDown(int button) const {
  if (window_ != nullptr && (systemCursorMode_ || window_->isWindowed())) return window_->asyncButtonDown(button);
  return (mouseState_.rgbButtons[button] & 0x80) != 0;
}

void InputManager::dispatch(const InputEvent& event) {
  // A listener may add or remove listeners while it is told; the others of this round are
  // still told.
  const std::vector<InputListener*> round = listeners_;
  for (InputListener* l : round) l->onInputEvent(event);
}

InputEvent InputManager::positioned(int32_t kind) const {
  InputEvent e;
  e.kind = kind;
  e.x = cursorX_;
  e.y = cursorY_;
  return e;
}

void InputManager::update(int64_t intervalMs) {
  if (!keyboard_ || !pollTimer_.restartIfElapsed(intervalMs)) return;
  pollCursor();
  pollKeyboard();
}

bool InputManager::readMouseState() {
  if (!mouse_) return false;
  DIMOUSESTATE state;
  HRESULT hr = mouse_->GetDeviceState(sizeof state, &state);
  if (hr == DIERR_INPUTLOST) {
    if (!succeeded(mouse_->Acquire())) return false;
    hr = mouse_->GetDeviceState(sizeof state, &state);
  }
  if (!succeeded(hr)) return false;
  mouseState_ = state;
  return true;
}

void InputManager::pollCursor() {
  prevCursorX_ = cursorX_;
  prevCursorY_ = cursorY_;
  const bool fromSystem = systemCursorMode_ || (window_ != nullptr && window_->isWindowed());
  if (fromSystem && window_ != nullptr) {
    float x = 0, y = 0;
    if (window_->systemCursor(x, y)) {
      cursorX_ = x;
      cursorY_ = y;
    }
  }
  // The state is read before the axes are compared with the last poll's, so that the
  // exclusive cursor follows this poll's movement rather than standing still.
  const bool haveState = readMouseState();
  if (!fromSystem && haveState) {
    cursorX_ += static_cast<float>(mouseState_.lX - prevAbsX_) / sensitivity_;
    cursorY_ += static_cast<float>(mouseState_.lY - prevAbsY_) / sensitivity_;
  }
  cursorX_ = std::clamp(cursorX_, 0.0f, static_cast<float>(std::max(client_.width - 1, 0)));
  cursorY_ = std::clamp(cursorY_, 0.0f, static_cast<float>(std::max(client_.height - 1, 0)));
  if (haveState) {
    prevAbsX_ = mouseState_.lX;
    prevAbsY_ = mouseState_.lY;
  }
}

void InputManager::pollKeyboard() {
  std::array<uint8_t, 256> state;
  HRESULT hr = keyboard_->GetDeviceState(static_cast<DWORD>(state.size()), state.data());
  if (hr == DIERR_INPUTLOST) {
    if (!succeeded(keyboard_->Acquire())) return;
    hr = keyboard_->GetDeviceState(static_cast<DWORD>(state.size()), state.data());
  }
  if (succeeded(hr)) keyState_ = state;
}

void InputManager::pump() {
  if (!keyboard_ || !mouse_) return;
  Event* events[2] = {&keyboardEvent_, &mouseEvent_};
  const DWORD which = waitForAnyEvent(events, 2);
  if (which == WAIT_OBJECT_0) {
    drainKeyboard();
  } else if (which == WAIT_OBJECT_0 + 1) {
    drainMouse();
  }
}

namespace {

// Reads up to `capacity` records, reacquiring once when the input was lost. Returns the
// number read; 0 when the read failed.
DWORD readRecords(DirectInputDevice8& device, DIDEVICEOBJECTDATA* records, DWORD capacity) {
  DWORD n = capacity;
  HRESULT hr = device.GetDeviceData(sizeof(DIDEVICEOBJECTDATA), records, &n, 0);
  if (hr == DIERR_INPUTLOST) {
    if (!succeeded(device.Acquire())) return 0;
    n = capacity;
    hr = device.GetDeviceData(sizeof(DIDEVICEOBJECTDATA), records, &n, 0);
  }
  return succeeded(hr) ? n : 0;
}

}  // namespace

void InputManager::drainKeyboard() {
  DIDEVICEOBJECTDATA* records = buffered_.data();
  const DWORD n = readRecords(*keyboard_, records, kBufferRecords);
  for (DWORD i = 0; i < n; ++i) {
    const DIDEVICEOBJECTDATA& r = records[i];
    // An offset beyond the key-state array is no key: the rest of the buffer is not trusted.
    if (r.dwOfs >= keyState_.size()) break;
    const bool down = (r.dwData & 0x80) != 0;
    keyState_[r.dwOfs] = down ? 0x80 : 0x00;
    InputEvent e;
    e.kind = down ? kKeyDown : kKeyUp;
    e.code = static_cast<int32_t>(r.dwOfs);
    dispatch(e);
  }
}

void InputManager::drainMouse() {
  DIDEVICEOBJECTDATA* records = buffered_.data() + kBufferRecords;
  const DWORD n = readRecords(*mouse_, records, kBufferRecords);
  pollCursor();
  for (DWORD i = 0; i < n; ++i) {
    const DIDEVICEOBJECTDATA& r = records[i];
    switch (r.dwOfs) {
      case DIMOFS_X:
      case DIMOFS_Y: {
        InputEvent e = positioned(kMouseAxesMoved);
        e.prevX = prevCursorX_;
        e.prevY = prevCursorY_;
        e.dx = cursorX_ - prevCursorX_;
        e.dy = cursorY_ - prevCursorY_;
        dispatch(e);
        break;
      }
      case DIMOFS_BUTTON0: buttonRecord(r, 0); break;
      case DIMOFS_BUTTON1: buttonRecord(r, 1); break;
      default: break;  // wheel and further buttons
    }
  }
}

void InputManager::buttonRecord(const DIDEVICEOBJECTDATA& record, int button) {
  const bool left = button == 0;
  if ((record.dwData & 0x80) != 0) {
    dispatch(positioned(left ? kLeftButtonDown : kRightButtonDown));
    return;
  }
  uint8_t& clicks = left ? leftClicks_ : rightClicks_;
  uint32_t& firstTime = left ? leftClickTime_ : rightClickTime_;
  bool doubleClick = false;
  ++clicks;
  if (clicks == 1) {
    firstTime = record.dwTimeStamp;
  } else if (clicks == 2) {
    // Unsigned difference: a time stamp that wrapped round still measures forward.
    if (record.dwTimeStamp - firstTime < doubleClickMs_) {
      doubleClick = true;
      clicks = 0;
    } else {
      firstTime = record.dwTimeStamp;
      clicks = 1;
    }
  }
  dispatch(positioned(left ? kLeftButtonUp : kRightButtonUp));
  if (doubleClick) dispatch(positioned(left ? kLeftDoubleClick : kRightDoubleClick));
}

void InputManager::handleWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case kWmSetCursor:
      if (window_ == nullptr) return;
      if (systemCursorMode_ || window_->isWindowed()) {
        window_->showArrowCursor();
      } else {
        window_->hideCursor();
      }
      return;
    case kWmSetFocus: {
      if (keyboard_) keyboard_->Acquire();
      if (mouse_) mouse_->Acquire();
      active_ = true;
      InputEvent e;
      e.kind = kFocusRegained;
      dispatch(e);
      return;
    }
    case kWmKillFocus:
      active_ = false;
      if (keyboard_) keyboard_->Unacquire();
      if (mouse_) mouse_->Unacquire();
      return;
    case kWmChar: {
      InputEvent e;
      e.kind = kCharacter;
      e.code = static_cast<int32_t>(wParam);
      dispatch(e);
      return;
    }
    case kWmMouseMove: {
      // Client coordinates are signed 16-bit values (negative left of or above the client
      // area while the mouse is captured).
      const auto bits = static_cast<uint32_t>(lParam);
      const float x = static_cast<int16_t>(bits & 0xFFFF);
      const float y = static_cast<int16_t>((bits >> 16) & 0xFFFF);
      InputEvent e;
      e.kind = kCursorMoved;
      e.x = x;
      e.y = y;
      e.prevX = cursorX_;
      e.prevY = cursorY_;
      e.dx = x - cursorX_;
      e.dy = y - cursorY_;
      dispatch(e);
      prevCursorX_ = cursorX_;
      prevCursorY_ = cursorY_;
      cursorX_ = x;
      cursorY_ = y;
      return;
    }
    default: return;
  }
}

}  // namespace halcyon
