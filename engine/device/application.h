#pragma once
// The engine's application object: it loads the render runtime, enumerates it, keeps the
// full-screen and windowed settings, creates the device for the engine window and keeps it
// alive across loss, resizing and mode switches. It is not derived from: whoever holds it (the
// shell) takes part through its two extension points, DeviceObject (restored in the order of
// registration after every creation and reset of the device, invalidated before a reset or
// release) and MessageHandler (told every window message before the application reads it).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/device/device_enumeration.h"
#include "engine/device/device_settings.h"
#include "platform/d3d9/d3d9.h"

namespace halcyon {

using WPARAM = uint64_t;
using LPARAM = int64_t;
using LRESULT = int64_t;

struct WindowRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  int32_t width() const { return right - left; }
  int32_t height() const { return bottom - top; }
};

// What the engine needs of its window. The shell adapts its saver window to this.
class EngineWindow {
 public:
  virtual ~EngineWindow() = default;
  // The handle the render device draws into (for the OpenGL device, the SDL_Window*).
  virtual HWND deviceWindow() = 0;
  virtual uint32_t style() = 0;
  virtual void setStyle(uint32_t style) = 0;
  virtual WindowRect rect() = 0;
  virtual WindowRect clientRect() = 0;
  // Moves the window to `rect` (outer rectangle), not top-most, and shows it.
  virtual void place(const WindowRect& rect) = 0;
  virtual void postQuit() = 0;
  // What the system does with a message nobody handled.
  virtual LRESULT defaultProcedure(uint32_t message, WPARAM wParam, LPARAM lParam) = 0;
  // True once the window system under the window is gone (its server ended): from then on
  // nothing may be drawn or presented, since every request to it would go nowhere.
  virtual bool systemGone() { return false; }
};

class DeviceObject {
 public:
  virtual bool restore() { return true; }
  virtual bool invalidate() { return true; }
  virtual ~DeviceObject();

  // Adds this object to the application's list; answers whether a device exists now (false,
  // and nothing added, without an application).
  bool registerDeviceObject();
  void unregisterDeviceObject();
};

class MessageHandler {
 public:
  virtual LRESULT handleMessage(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam) = 0;
  virtual ~MessageHandler() = default;
};

class Application final {
 public:
  Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;
  ~Application();

  // The engine's part of a window procedure: the message handlers first, then the size, focus
  // and power messages the device follows; the rest goes to the window's default procedure.
  LRESULT msgProc(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam);
  // Restores every registered object in order; true only if all did (all are called).
  bool restoreDeviceObjects();
  bool invalidateDeviceObjects();

  // `instance` is kept for the shell; `window` is the engine window (the port has no window
  // of its own to make, so a null window fails).
  bool create(void* instance, EngineWindow* window);
  bool setMode(bool fullScreen);
  // Whether a frame may be drawn now; resets a device that needs it. False without a device
  // or once the window system under the window is gone.
  bool testDevice();
  bool handlePossibleSizeChange();
  bool initialize3DEnvironment();
  bool reset3DEnvironment();
  void cleanup3DEnvironment();
  void buildPresentParameters();

  // Objects are kept in the order they were added; one added again keeps its place.
  void addDeviceObject(DeviceObject* object);
  void removeDeviceObject(DeviceObject* object);
  void addMessageHandler(MessageHandler* handler);
  void removeMessageHandler(MessageHandler* handler);

  DeviceSettings fullScreenSettings() const { return fullScreenSettings_; }
  DeviceSettings windowedSettings() const { return windowedSettings_; }
  // Stores a completed record as the current settings and as the stored settings of its kind.
  void storeSettings(const DeviceSettings& settings);
  const DeviceSettings& currentSettings() const { return settings_; }
  const DeviceEnumeration& enumeration() const { return enumeration_; }

  IDirect3D9* direct3D() const { return direct3d_; }
  IDirect3DDevice9* device() const { return device_; }
  EngineWindow* window() const { return window_; }
  const D3DPRESENT_PARAMETERS& presentParameters() const { return presentParameters_; }
  const D3DSURFACE_DESC& backBufferDesc() const { return backBufferDesc_; }
  const D3DDISPLAYMODE& desktopMode() const { return desktopMode_; }
  DWORD behaviourFlags() const { return behaviourFlags_; }
  const D3DCAPS9& caps() const { return caps_; }
  void* instance() const { return instance_; }

  bool windowed() const { return windowed_; }
  bool active() const { return active_; }
  bool suspended() const { return suspended_; }
  bool minimized() const { return minimized_; }
  bool maximized() const { return maximized_; }
  bool deviceObjectsRestored() const { return deviceObjectsRestored_; }

  std::string title = "Halcyon";
  static constexpr int kDefaultWidth = 640, kDefaultHeight = 480;

  // How the render runtime is loaded; tests hand in the recording runtime. The default makes
  // the OpenGL runtime.
  using Direct3DLoader = std::function<IDirect3D9*()>;
  static void setDirect3DLoader(Direct3DLoader loader);

 private:
  // After the device was made or reset: the state cache forgets, the back buffer is described
  // anew and the device objects are restored. True when they all were.
  bool takeUpFreshDevice();

  bool active_ = false;
  void* instance_ = nullptr;
  EngineWindow* window_ = nullptr;
  IDirect3D9* direct3d_ = nullptr;
  IDirect3DDevice9* device_ = nullptr;
  D3DPRESENT_PARAMETERS presentParameters_{};
  DeviceSettings settings_, fullScreenSettings_, windowedSettings_;
  DeviceEnumeration enumeration_;
  uint32_t windowStyle_ = 0;
  WindowRect windowRect_, clientRect_;
  D3DDISPLAYMODE desktopMode_{};
  D3DSURFACE_DESC backBufferDesc_{};
  D3DCAPS9 caps_{};
  DWORD behaviourFlags_ = 0;
  bool windowed_ = true;
  bool suspended_ = true;
  bool minimized_ = false;
  bool maximized_ = false;
  bool deviceObjectsRestored_ = false;
  std::vector<DeviceObject*> deviceObjects_;
  std::vector<MessageHandler*> handlers_;
};

// The one application of the process (null before one is made and after it is destroyed).
// Its device() is the one place the device is kept; the state cache asks it.
Application* getApplication();

// Window messages and their numbers, as the engine reads them.
namespace msg {
constexpr uint32_t WM_SIZE = 0x0005, WM_ACTIVATE = 0x0006, WM_CLOSE = 0x0010, WM_QUIT = 0x0012, WM_NCHITTEST = 0x0084,
                   WM_SYSCOMMAND = 0x0112, WM_POWERBROADCAST = 0x0218, WM_ENTERSIZEMOVE = 0x0231,
                   WM_EXITSIZEMOVE = 0x0232;
constexpr WPARAM SIZE_RESTORED = 0, SIZE_MINIMIZED = 1, SIZE_MAXIMIZED = 2;
constexpr WPARAM SC_SIZE = 0xF000, SC_MOVE = 0xF010, SC_MAXIMIZE = 0xF030, SC_KEYMENU = 0xF100,
                 SC_MONITORPOWER = 0xF170;
constexpr WPARAM PBT_APMQUERYSUSPEND = 0x0000, PBT_APMRESUMESUSPEND = 0x0007;
constexpr LRESULT HTCLIENT = 1;
constexpr uint32_t WS_OVERLAPPEDWINDOW = 0x00CF0000, WS_VISIBLE = 0x10000000;
}  // namespace msg

}  // namespace halcyon
