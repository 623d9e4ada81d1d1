#include "platform/dinput/dinput.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

#include "platform/dinput/dik_codes.h"

namespace dinput {

const DIDATAFORMAT c_dfDIKeyboard{DeviceClass::Keyboard, DIDF_RELAXIS};
const DIDATAFORMAT c_dfDIMouse{DeviceClass::Mouse, DIDF_RELAXIS};

DWORD waitForAnyEvent(Event* const* events, DWORD count) {
  if (events == nullptr) return WAIT_TIMEOUT;
  for (DWORD i = 0; i < count; ++i) {
    if (events[i] != nullptr && events[i]->isSignalled()) {
      events[i]->reset();
      return WAIT_OBJECT_0 + i;
    }
  }
  return WAIT_TIMEOUT;
}

// ---------------------------------------------------------------------------------------
// Device

DirectInputDevice8::DirectInputDevice8(DirectInput8& owner, DeviceClass cls) : owner_(&owner), class_(cls) {
  owner_->devices_.push_back(this);
}

DirectInputDevice8::~DirectInputDevice8() {
  if (owner_ != nullptr) {
    auto& list = owner_->devices_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
}

HRESULT DirectInputDevice8::SetDataFormat(const DIDATAFORMAT& format) {
  if (acquired_) return DIERR_ACQUIRED;
  if (format.device != class_) return DIERR_INVALIDPARAM;
  formatSet_ = true;
  formatFlags_ = format.dwFlags;
  return DI_OK;
}

HRESULT DirectInputDevice8::SetCooperativeLevel(uintptr_t /*window*/, DWORD flags) {
  const DWORD exclusivity = flags & (DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE);
  const DWORD ground = flags & (DISCL_FOREGROUND | DISCL_BACKGROUND);
  if (exclusivity != DISCL_EXCLUSIVE && exclusivity != DISCL_NONEXCLUSIVE) return DIERR_INVALIDPARAM;
  if (ground != DISCL_FOREGROUND && ground != DISCL_BACKGROUND) return DIERR_INVALIDPARAM;
  if (acquired_) return DIERR_ACQUIRED;
  cooperation_ = flags;
  return DI_OK;
}

HRESULT DirectInputDevice8::SetBufferSize(DWORD records) {
  if (acquired_) return DIERR_ACQUIRED;
  bufferCapacity_ = records;
  buffer_.clear();
  overflowed_ = false;
  return DI_OK;
}

HRESULT DirectInputDevice8::SetEventNotification(Event* event) {
  if (acquired_) return DIERR_ACQUIRED;
  event_ = event;
  return DI_OK;
}

HRESULT DirectInputDevice8::Acquire() {
  if (!formatSet_) return DIERR_INVALIDPARAM;
  if (acquired_) return DI_NOEFFECT;
  if ((cooperation_ & DISCL_FOREGROUND) != 0 && !owner_->focused_) return DIERR_OTHERAPPHASPRIO;
  acquired_ = true;
  lost_ = false;
  // The state describes what happened since acquisition; keys held before it read as up.
  keys_.fill(0);
  std::memset(mouse_.rgbButtons, 0, sizeof mouse_.rgbButtons);
  buffer_.clear();
  overflowed_ = false;
  return DI_OK;
}

HRESULT DirectInputDevice8::Unacquire() {
  if (!acquired_) {
    lost_ = false;
    return DI_NOEFFECT;
  }
  acquired_ = false;
  lost_ = false;
  buffer_.clear();
  return DI_OK;
}

HRESULT DirectInputDevice8::GetDeviceState(DWORD size, void* data) {
  if (data == nullptr) return DIERR_INVALIDPARAM;
  if (!acquired_) {
    if (lost_) {
      lost_ = false;
      return DIERR_INPUTLOST;
    }
    return DIERR_NOTACQUIRED;
  }
  if (class_ == DeviceClass::Keyboard) {
    if (size != keys_.size()) return DIERR_INVALIDPARAM;
    std::memcpy(data, keys_.data(), keys_.size());
    return DI_OK;
  }
  if (size != sizeof(DIMOUSESTATE)) return DIERR_INVALIDPARAM;
  if ((formatFlags_ & DIDF_ABSAXIS) != 0) {
    std::memcpy(data, &mouse_, sizeof mouse_);
  } else {
    DIMOUSESTATE rel = mouse_;
    rel.lX = mouse_.lX - relBase_.lX;
    rel.lY = mouse_.lY - relBase_.lY;
    rel.lZ = mouse_.lZ - relBase_.lZ;
    relBase_ = mouse_;
    std::memcpy(data, &rel, sizeof rel);
  }
  return DI_OK;
}

HRESULT DirectInputDevice8::GetDeviceData(DWORD recordSize, DIDEVICEOBJECTDATA* records, DWORD* inOut, DWORD flags) {
  if (inOut == nullptr || recordSize != sizeof(DIDEVICEOBJECTDATA)) return DIERR_INVALIDPARAM;
  if (!acquired_) {
    *inOut = 0;
    if (lost_) {
      lost_ = false;
      return DIERR_INPUTLOST;
    }
    return DIERR_NOTACQUIRED;
  }
  if (bufferCapacity_ == 0) {
    *inOut = 0;
    return DIERR_NOTBUFFERED;
  }
  const DWORD n = std::min<DWORD>(*inOut, static_cast<DWORD>(buffer_.size()));
  if (records != nullptr) std::copy_n(buffer_.begin(), n, records);
  const HRESULT hr = overflowed_ ? DI_BUFFEROVERFLOW : DI_OK;
  if ((flags & DIGDD_PEEK) == 0) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + n);
    overflowed_ = false;
  }
  *inOut = n;
  return hr;
}

void DirectInputDevice8::addRecord(DWORD offset, DWORD data, DWORD time, DWORD sequence) {
  if (bufferCapacity_ != 0) {
    // A full buffer keeps its oldest records: what is lost is what came last, and the next
    // read reports the overflow.
    if (buffer_.size() >= bufferCapacity_) {
      overflowed_ = true;
    } else {
      DIDEVICEOBJECTDATA r;
      r.dwOfs = offset;
      r.dwData = data;
      r.dwTimeStamp = time;
      r.dwSequence = sequence;
      buffer_.push_back(r);
    }
  }
  notify();
}

void DirectInputDevice8::notify() {
  if (event_ != nullptr) event_->set();
}

void DirectInputDevice8::focusChanged(bool focused) {
  if (focused || !acquired_ || (cooperation_ & DISCL_FOREGROUND) == 0) return;
  acquired_ = false;
  lost_ = true;
  keys_.fill(0);
  std::memset(mouse_.rgbButtons, 0, sizeof mouse_.rgbButtons);
  buffer_.clear();
  notify();
}

void DirectInputDevice8::keyEvent(uint8_t scanCode, bool down, DWORD time, DWORD sequence) {
  if (class_ != DeviceClass::Keyboard || !acquired_ || scanCode == 0) return;
  const uint8_t value = down ? 0x80 : 0x00;
  if (keys_[scanCode] == value) return;  // no change, no record (key repeat, stray release)
  keys_[scanCode] = value;
  addRecord(scanCode, value, time, sequence);
}

void DirectInputDevice8::mouseMotion(int32_t dx, int32_t dy, DWORD time, DWORD sequence) {
  if (class_ != DeviceClass::Mouse || !acquired_) return;
  const bool absolute = (formatFlags_ & DIDF_ABSAXIS) != 0;
  if (dx != 0) {
    mouse_.lX += dx;
    addRecord(DIMOFS_X, static_cast<DWORD>(absolute ? mouse_.lX : dx), time, sequence);
  }
  if (dy != 0) {
    mouse_.lY += dy;
    addRecord(DIMOFS_Y, static_cast<DWORD>(absolute ? mouse_.lY : dy), time, sequence);
  }
}

void DirectInputDevice8::mouseButton(int button, bool down, DWORD time, DWORD sequence) {
  if (class_ != DeviceClass::Mouse || !acquired_ || button < 0 || button > 3) return;
  const uint8_t value = down ? 0x80 : 0x00;
  if (mouse_.rgbButtons[button] == value) return;
  mouse_.rgbButtons[button] = value;
  addRecord(DIMOFS_BUTTON0 + static_cast<DWORD>(button), value, time, sequence);
}

void DirectInputDevice8::mouseWheel(int32_t notches, DWORD time, DWORD sequence) {
  if (class_ != DeviceClass::Mouse || !acquired_ || notches == 0) return;
  const int32_t dz = notches * WHEEL_DELTA;
  mouse_.lZ += dz;
  const bool absolute = (formatFlags_ & DIDF_ABSAXIS) != 0;
  addRecord(DIMOFS_Z, static_cast<DWORD>(absolute ? mouse_.lZ : dz), time, sequence);
}

// ---------------------------------------------------------------------------------------
// Runtime

namespace {

int sdlWatch(void* userdata, SDL_Event* event) {
  if (event != nullptr) static_cast<DirectInput8*>(userdata)->feedSdlEvent(*event);
  return 0;
}

int buttonIndex(Uint8 sdlButton) {
  switch (sdlButton) {
    case SDL_BUTTON_LEFT: return 0;
    case SDL_BUTTON_RIGHT: return 1;
    case SDL_BUTTON_MIDDLE: return 2;
    case SDL_BUTTON_X1: return 3;
    default: return -1;
  }
}

}  // namespace

DirectInput8::DirectInput8() { SDL_AddEventWatch(&sdlWatch, this); }

DirectInput8::~DirectInput8() {
  SDL_DelEventWatch(&sdlWatch, this);
  for (DirectInputDevice8* d : devices_) d->owner_ = nullptr;
}

std::unique_ptr<DirectInputDevice8> DirectInput8::CreateDevice(DeviceClass cls) {
  return std::unique_ptr<DirectInputDevice8>(new DirectInputDevice8(*this, cls));
}

template <typename Fn>
void DirectInput8::forEachDevice(Fn fn) {
  // A listener of the device cannot run in between, so the list is stable here.
  for (DirectInputDevice8* d : devices_) fn(*d);
}

void DirectInput8::feedSdlEvent(const SDL_Event& e) {
  const DWORD time = e.common.timestamp;
  switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      if (e.key.repeat != 0) return;
      const uint8_t dik = dikFromSdlScancode(e.key.keysym.scancode);
      if (dik != 0) injectKey(dik, e.type == SDL_KEYDOWN, time);
      return;
    }
    case SDL_MOUSEMOTION: injectMouseMotion(e.motion.xrel, e.motion.yrel, time); return;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      const int b = buttonIndex(e.button.button);
      if (b >= 0) injectMouseButton(b, e.type == SDL_MOUSEBUTTONDOWN, time);
      return;
    }
    case SDL_MOUSEWHEEL: {
      int32_t y = e.wheel.y;
      if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) y = -y;
      injectMouseWheel(y, time);
      return;
    }
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) injectFocus(true);
      if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) injectFocus(false);
      return;
    default: return;
  }
}

void DirectInput8::injectKey(uint8_t scanCode, bool down, DWORD timeMs) {
  const DWORD seq = ++sequence_;
  forEachDevice([&](DirectInputDevice8& d) { d.keyEvent(scanCode, down, timeMs, seq); });
}

void DirectInput8::injectMouseMotion(int32_t dx, int32_t dy, DWORD timeMs) {
  const DWORD seq = ++sequence_;
  forEachDevice([&](DirectInputDevice8& d) { d.mouseMotion(dx, dy, timeMs, seq); });
}

void DirectInput8::injectMouseButton(int button, bool down, DWORD timeMs) {
  const DWORD seq = ++sequence_;
  forEachDevice([&](DirectInputDevice8& d) { d.mouseButton(button, down, timeMs, seq); });
}

void DirectInput8::injectMouseWheel(int32_t notches, DWORD timeMs) {
  const DWORD seq = ++sequence_;
  forEachDevice([&](DirectInputDevice8& d) { d.mouseWheel(notches, timeMs, seq); });
}

void DirectInput8::injectFocus(bool focused) {
  focused_ = focused;
  forEachDevice([&](DirectInputDevice8& d) { d.focusChanged(focused); });
}

void DirectInput8::injectRawRecord(DeviceClass cls, DWORD offset, DWORD data, DWORD timeMs) {
  const DWORD seq = ++sequence_;
  forEachDevice([&](DirectInputDevice8& d) {
    if (d.class_ == cls && d.acquired_) d.addRecord(offset, data, timeMs, seq);
  });
}

std::unique_ptr<DirectInput8> DirectInput8Create(DWORD version, HRESULT* result) {
  if (version != DIRECTINPUT_VERSION) {
    if (result != nullptr) *result = DIERR_OLDDIRECTINPUTVERSION;
    return nullptr;
  }
  if (result != nullptr) *result = DI_OK;
  return std::unique_ptr<DirectInput8>(new DirectInput8());
}

}  // namespace dinput
