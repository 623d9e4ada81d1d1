#pragma once
// The buffered keyboard and mouse runtime that the input manager reads. It keeps the
// vocabulary of the Windows input runtime the engine was designed against: scan codes
// (DIK_*), buffered records with an offset, a data word, a millisecond time stamp and a
// sequence number, 16-byte mouse state records with absolute axes, cooperative levels,
// acquisition, "input lost", and one auto-reset notification event per device.
//
// Records are filled from SDL's event stream: creating the runtime installs an SDL event
// watch, so every keyboard, mouse and focus event that SDL queues reaches the devices in
// the order it happened, without the window layer having to forward anything. Tests (and
// a host without SDL events) feed events through feedSdlEvent() or the inject* calls.
//
// Single-threaded: SDL delivers to the watch from the thread that pumps events, which is
// the thread that runs the frame loop.
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

union SDL_Event;

namespace dinput {

using HRESULT = int32_t;
using DWORD = uint32_t;

constexpr HRESULT DI_OK = 0;
constexpr HRESULT DI_BUFFEROVERFLOW = 1;  // success; some records were dropped
constexpr HRESULT DI_NOEFFECT = 1;        // success; nothing to do (already so)
constexpr HRESULT DIERR_OTHERAPPHASPRIO = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT DIERR_NOTACQUIRED = static_cast<HRESULT>(0x8007000Cu);
constexpr HRESULT DIERR_NOTINITIALIZED = static_cast<HRESULT>(0x80070015u);
constexpr HRESULT DIERR_INPUTLOST = static_cast<HRESULT>(0x8007001Eu);
constexpr HRESULT DIERR_INVALIDPARAM = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DIERR_ACQUIRED = static_cast<HRESULT>(0x800700AAu);
constexpr HRESULT DIERR_NOTBUFFERED = static_cast<HRESULT>(0x80040207u);
constexpr HRESULT DIERR_OLDDIRECTINPUTVERSION = static_cast<HRESULT>(0x8007047Eu);

constexpr bool succeeded(HRESULT hr) { return hr >= 0; }

constexpr DWORD DIRECTINPUT_VERSION = 0x0800;

// Cooperative level bits.
constexpr DWORD DISCL_EXCLUSIVE = 0x01;
constexpr DWORD DISCL_NONEXCLUSIVE = 0x02;
constexpr DWORD DISCL_FOREGROUND = 0x04;
constexpr DWORD DISCL_BACKGROUND = 0x08;
constexpr DWORD DISCL_NOWINKEY = 0x10;

// Data format flags.
constexpr DWORD DIDF_ABSAXIS = 0x01;
constexpr DWORD DIDF_RELAXIS = 0x02;

// GetDeviceData flag: leave the records in the buffer.
constexpr DWORD DIGDD_PEEK = 0x01;

// Mouse record offsets (byte offsets into the 16-byte mouse state).
constexpr DWORD DIMOFS_X = 0;
constexpr DWORD DIMOFS_Y = 4;
constexpr DWORD DIMOFS_Z = 8;
constexpr DWORD DIMOFS_BUTTON0 = 12;
constexpr DWORD DIMOFS_BUTTON1 = 13;
constexpr DWORD DIMOFS_BUTTON2 = 14;
constexpr DWORD DIMOFS_BUTTON3 = 15;

// One notch of the wheel on the Z axis.
constexpr int32_t WHEEL_DELTA = 120;

struct DIDEVICEOBJECTDATA {
  DWORD dwOfs = 0;        // scan code, or mouse offset
  DWORD dwData = 0;       // key/button: bit 7 set while down; axis: the axis value
  DWORD dwTimeStamp = 0;  // milliseconds
  DWORD dwSequence = 0;   // records of one physical event share a number
  uintptr_t uAppData = 0;
};

struct DIMOUSESTATE {
  int32_t lX = 0;
  int32_t lY = 0;
  int32_t lZ = 0;
  uint8_t rgbButtons[4] = {0, 0, 0, 0};
};
static_assert(sizeof(DIMOUSESTATE) == 16);

enum class DeviceClass { Keyboard, Mouse };

struct DIDATAFORMAT {
  DeviceClass device;
  DWORD dwFlags;
};
extern const DIDATAFORMAT c_dfDIKeyboard;
extern const DIDATAFORMAT c_dfDIMouse;  // relative axes unless the flags are changed

// An auto-reset event: set by a device when input arrives, cleared by the wait that
// reports it.
class Event {
 public:
  void set() { signalled_ = true; }
  void reset() { signalled_ = false; }
  bool isSignalled() const { return signalled_; }

 private:
  bool signalled_ = false;
};

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;

// Waits on several events without blocking (a zero time-out): returns WAIT_OBJECT_0 + i for
// the lowest-numbered signalled event, which is reset (the others keep their signal), or
// WAIT_TIMEOUT when none is signalled. Null entries never signal.
DWORD waitForAnyEvent(Event* const* events, DWORD count);

class DirectInput8;

class DirectInputDevice8 {
 public:
  ~DirectInputDevice8();
  DirectInputDevice8(const DirectInputDevice8&) = delete;
  DirectInputDevice8& operator=(const DirectInputDevice8&) = delete;

  DeviceClass deviceClass() const { return class_; }

  HRESULT SetDataFormat(const DIDATAFORMAT& format);
  // `window` only identifies the window whose focus a foreground device follows.
  HRESULT SetCooperativeLevel(uintptr_t window, DWORD flags);
  // Number of records the buffer holds (0 turns buffering off).
  HRESULT SetBufferSize(DWORD records);
  HRESULT SetEventNotification(Event* event);
  HRESULT Acquire();
  HRESULT Unacquire();
  // Keyboard: 256 bytes, bit 7 per scan code. Mouse: a DIMOUSESTATE (16 bytes).
  HRESULT GetDeviceState(DWORD size, void* data);
  // Copies up to *inOut records (removing them unless DIGDD_PEEK) and stores the number
  // copied in *inOut. `records` may be null to discard up to *inOut records.
  HRESULT GetDeviceData(DWORD recordSize, DIDEVICEOBJECTDATA* records, DWORD* inOut, DWORD flags);

  bool isAcquired() const { return acquired_; }
  DWORD bufferedCount() const { return static_cast<DWORD>(buffer_.size()); }

 private:
  friend class DirectInput8;
  DirectInputDevice8(DirectInput8& owner, DeviceClass cls);

  void addRecord(DWORD offset, DWORD data, DWORD time, DWORD sequence);
  void notify();
  void focusChanged(bool focused);
  void keyEvent(uint8_t scanCode, bool down, DWORD time, DWORD sequence);
  void mouseMotion(int32_t dx, int32_t dy, DWORD time, DWORD sequence);
  void mouseButton(int button, bool down, DWORD time, DWORD sequence);
  void mouseWheel(int32_t notches, DWORD time, DWORD sequence);

  DirectInput8* owner_;
  DeviceClass class_;
  bool formatSet_ = false;
  DWORD formatFlags_ = 0;
  DWORD cooperation_ = 0;
  bool acquired_ = false;
  bool lost_ = false;  // acquisition was taken away; the next read says so once
  DWORD bufferCapacity_ = 0;
  bool overflowed_ = false;
  std::deque<DIDEVICEOBJECTDATA> buffer_;
  Event* event_ = nullptr;
  std::array<uint8_t, 256> keys_{};
  DIMOUSESTATE mouse_;
  DIMOUSESTATE relBase_;  // axes at the last state read, for relative-axis formats
};

class DirectInput8 {
 public:
  ~DirectInput8();
  DirectInput8(const DirectInput8&) = delete;
  DirectInput8& operator=(const DirectInput8&) = delete;

  std::unique_ptr<DirectInputDevice8> CreateDevice(DeviceClass cls);

  // Hands one SDL event to every device of this runtime (the SDL watch calls this).
  void feedSdlEvent(const SDL_Event& event);

  // Direct feeds in device terms, for hosts without SDL events and for tests.
  void injectKey(uint8_t scanCode, bool down, DWORD timeMs);
  void injectMouseMotion(int32_t dx, int32_t dy, DWORD timeMs);
  void injectMouseButton(int button, bool down, DWORD timeMs);  // 0 left, 1 right, 2 middle
  void injectMouseWheel(int32_t notches, DWORD timeMs);
  void injectFocus(bool focused);
  // A record exactly as a driver would hand it over, offset and data unchecked.
  void injectRawRecord(DeviceClass cls, DWORD offset, DWORD data, DWORD timeMs);

  bool focused() const { return focused_; }

 private:
  friend std::unique_ptr<DirectInput8> DirectInput8Create(DWORD version, HRESULT* result);
  friend class DirectInputDevice8;
  DirectInput8();
  template <typename Fn>
  void forEachDevice(Fn fn);

  std::vector<DirectInputDevice8*> devices_;  // devices unregister themselves when destroyed
  bool focused_ = true;
  DWORD sequence_ = 0;
};

// Creates the runtime (version must be DIRECTINPUT_VERSION). Returns null with the reason
// in *result on failure.
std::unique_ptr<DirectInput8> DirectInput8Create(DWORD version, HRESULT* result = nullptr);

}  // namespace dinput
