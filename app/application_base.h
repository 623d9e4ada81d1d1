#pragma once
// The engine application the shell builds on, as far as the shell needs it: the window, the
// state bits, message handlers, the engine's window handling, and the device calls the
// start-up and the frame loop make (Create, SetMode, TestDevice, restore and invalidate).
//
// Until the render device exists this base owns no device: SetMode only puts the window in
// the requested presentation, and a frame is the window cleared to black. The render device
// replaces this class with the engine's Application, which keeps these names and meanings.
#include <array>
#include <cstdint>
#include <vector>

#include "platform/window/saver_window.h"
#include "platform/window/win32_messages.h"

namespace brassmoor {

using platform::LPARAM;
using platform::LRESULT;
using platform::WPARAM;

// Sees every message that reaches the engine's window handling, before it is handled.
class MessageHandler {
 public:
  virtual LRESULT HandleMessage(platform::SaverWindow& window, uint32_t message, WPARAM wParam, LPARAM lParam) = 0;
  virtual ~MessageHandler() = default;
};

class ApplicationBase {
 public:
  ApplicationBase() = default;
  ApplicationBase(const ApplicationBase&) = delete;
  ApplicationBase& operator=(const ApplicationBase&) = delete;

  // The engine's window handling: handlers first, then size, activation and close.
  virtual LRESULT MsgProc(platform::SaverWindow& window, uint32_t message, WPARAM wParam, LPARAM lParam);
  virtual ~ApplicationBase();
  virtual bool RestoreDeviceObjects();
  virtual void InvalidateDeviceObjects();

  bool Create(void* instance, platform::SaverWindow* window);
  // Full-screen on the desktop's mode, or windowed at the window's size.
  bool SetMode(bool fullScreen);
  // True when a frame may be drawn.
  bool TestDevice();
  void Cleanup3DEnvironment();

  void AddMessageHandler(MessageHandler* handler);
  void RemoveMessageHandler(MessageHandler* handler);

  // The device's gamma ramp (the same table for red, green and blue).
  void SetGammaRamp(const std::array<uint16_t, 256>& ramp) { gammaRamp_ = ramp; }
  const std::array<uint16_t, 256>& gammaRamp() const { return gammaRamp_; }

  // Shows the frame drawn since the last one (cleared to black while no device draws).
  bool PresentFrame();
  // Reads back the frame last presented.
  bool CaptureFrame(platform::Image& image);

  void* instance = nullptr;
  platform::SaverWindow* window = nullptr;
  bool windowed = true;
  bool active = false;
  bool suspended = true;
  bool quitRequested = false;
  bool minimized = false;
  bool maximized = false;

 private:
  bool deviceReady_ = false;
  std::vector<MessageHandler*> handlers_;
  std::array<uint16_t, 256> gammaRamp_{};
};

}  // namespace brassmoor
