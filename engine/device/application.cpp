#include "engine/device/application.h"

#include <algorithm>

#include "engine/core/trace.h"
#include "engine/device/state_cache.h"
#include "engine/device/texture.h"

namespace halcyon {

namespace {

Application* g_application = nullptr;

Application::Direct3DLoader& loader() {
  static Application::Direct3DLoader current = [] { return Direct3DCreate9(D3D_SDK_VERSION); };
  return current;
}

}  // namespace

Application* GetApplication() { return g_application; }

void Application::SetDirect3DLoader(Direct3DLoader next) {
  loader() = next ? std::move(next) : Direct3DLoader([] { return Direct3DCreate9(D3D_SDK_VERSION); });
}

// ---- DeviceObject ----

DeviceObject::~DeviceObject() { UnregisterDeviceObject(); }

bool DeviceObject::RegisterDeviceObject() {
  Application* app = GetApplication();
  if (!app) return false;
  app->AddDeviceObject(this);
  return app->Device() != nullptr;
}

void DeviceObject::UnregisterDeviceObject() {
  if (Application* app = GetApplication()) app->RemoveDeviceObject(this);
}

// ---- Application ----

Application::Application() {
  settings_.Clear();
  fullScreenSettings_.Clear();
  windowedSettings_.Clear();
  g_application = this;
}

Application::~Application() {
  // The textures go before the device they were made on (a scene held by the application
  // derived from this one has let go of them by now).
  textureManager().Clear();
  Cleanup3DEnvironment();
  safeRelease(direct3d_);
  enumeration_.SetDirect3D(nullptr);
  if (g_application == this) g_application = nullptr;
}

void Application::AddDeviceObject(DeviceObject* object) {
  if (object && std::find(deviceObjects_.begin(), deviceObjects_.end(), object) == deviceObjects_.end())
    deviceObjects_.push_back(object);
}

void Application::RemoveDeviceObject(DeviceObject* object) {
  deviceObjects_.erase(std::remove(deviceObjects_.begin(), deviceObjects_.end(), object), deviceObjects_.end());
}

void Application::AddMessageHandler(MessageHandler* handler) {
  if (handler && std::find(handlers_.begin(), handlers_.end(), handler) == handlers_.end()) handlers_.push_back(handler);
}

void Application::RemoveMessageHandler(MessageHandler* handler) {
  handlers_.erase(std::remove(handlers_.begin(), handlers_.end(), handler), handlers_.end());
}

bool Application::RestoreDeviceObjects() {
  bool all = true;
  // A restore may register or drop objects (frames of a texture), so walk a snapshot and skip
  // what has left the list meanwhile.
  const std::vector<DeviceObject*> snapshot = deviceObjects_;
  for (DeviceObject* object : snapshot) {
    if (std::find(deviceObjects_.begin(), deviceObjects_.end(), object) == deviceObjects_.end()) continue;
    if (!object->Restore()) all = false;
  }
  return all;
}

bool Application::InvalidateDeviceObjects() {
  const std::vector<DeviceObject*> snapshot = deviceObjects_;
  for (DeviceObject* object : snapshot) {
    if (std::find(deviceObjects_.begin(), deviceObjects_.end(), object) == deviceObjects_.end()) continue;
    object->Invalidate();
  }
  return true;
}

void Application::StoreSettings(const DeviceSettings& settings) {
  settings_ = settings;
  if (settings.windowed) windowedSettings_ = settings;
  else fullScreenSettings_ = settings;
}

bool Application::Create(void* instance, EngineWindow* window) {
  instance_ = instance;
  window_ = window;
  direct3d_ = loader()();
  if (!direct3d_) return false;
  direct3d_->GetAdapterDisplayMode(0, &desktopMode_);
  enumeration_.SetDirect3D(direct3d_);
  if (!enumeration_.Enumerate() || !window_) {
    safeRelease(direct3d_);
    enumeration_.SetDirect3D(nullptr);
    return false;
  }
  windowStyle_ = window_->Style();
  windowRect_ = window_->Rect();
  clientRect_ = window_->ClientRect();

  windowed_ = false;
  DeviceSettings fullScreen = settings_;
  fullScreen.windowed = 0;
  const bool fullOk = FindBestSettings(enumeration_, fullScreen);
  windowed_ = true;
  DeviceSettings windowedRequest = settings_;
  windowedRequest.windowed = 1;
  const bool windowedOk = fullOk && FindBestSettings(enumeration_, windowedRequest);
  if (!fullOk || !windowedOk) {
    safeRelease(direct3d_);
    enumeration_.SetDirect3D(nullptr);
    return false;
  }
  fullScreenSettings_ = fullScreen;
  windowedSettings_ = windowedRequest;
  return true;
}

bool Application::SetMode(bool fullScreen) {
  Cleanup3DEnvironment();
  settings_ = fullScreen ? fullScreenSettings_ : windowedSettings_;
  active_ = true;
  suspended_ = false;
  return Initialize3DEnvironment();
}

void Application::BuildPresentParameters() {
  presentParameters_ = D3DPRESENT_PARAMETERS{};
  presentParameters_.BackBufferCount = 1;
  presentParameters_.MultiSampleType = settings_.multisampleType;
  presentParameters_.MultiSampleQuality = settings_.multisampleQuality;
  presentParameters_.SwapEffect = D3DSWAPEFFECT_DISCARD;
  presentParameters_.hDeviceWindow = window_ ? window_->DeviceWindow() : nullptr;
  presentParameters_.Windowed = windowed_ ? TRUE : FALSE;
  presentParameters_.EnableAutoDepthStencil = TRUE;
  presentParameters_.AutoDepthStencilFormat = settings_.depthStencilFormat;
  presentParameters_.Flags = D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL;
  presentParameters_.PresentationInterval = settings_.presentInterval;
  presentParameters_.BackBufferFormat = settings_.backBufferFormat;
  if (windowed_) {
    presentParameters_.BackBufferWidth = static_cast<UINT>(std::max(0, clientRect_.width()));
    presentParameters_.BackBufferHeight = static_cast<UINT>(std::max(0, clientRect_.height()));
    presentParameters_.FullScreen_RefreshRateInHz = 0;
  } else {
    presentParameters_.BackBufferWidth = settings_.width;
    presentParameters_.BackBufferHeight = settings_.height;
    presentParameters_.FullScreen_RefreshRateInHz = settings_.refreshRate;
  }
}

bool Application::Initialize3DEnvironment() {
  logError("", DescribeDeviceSettings(settings_));
  if (!direct3d_ || !window_) return false;
  windowed_ = settings_.windowed != 0;
  window_->SetStyle(windowStyle_);
  BuildPresentParameters();
  DWORD behaviour = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
  switch (settings_.vertexProcessing) {
    case MIXED_VP: behaviour = D3DCREATE_MIXED_VERTEXPROCESSING; break;
    case HARDWARE_VP: behaviour = D3DCREATE_HARDWARE_VERTEXPROCESSING; break;
    case PURE_HARDWARE_VP: behaviour = D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE; break;
    default: break;
  }
  IDirect3DDevice9* device = nullptr;
  if (FAILED(direct3d_->CreateDevice(settings_.adapterOrdinal, settings_.deviceType, window_->DeviceWindow(), behaviour,
                                     &presentParameters_, &device)) ||
      !device)
    return false;
  device_ = device;
  if (windowed_) window_->Place(windowRect_);
  // A new device holds none of the states the cache remembers.
  stateCache().Invalidate();
  device_->GetDeviceCaps(&caps_);
  behaviourFlags_ = behaviour;
  IDirect3DSurface9* back = nullptr;
  if (SUCCEEDED(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back)) && back) {
    back->GetDesc(&backBufferDesc_);
    back->Release();
  }
  if (RestoreDeviceObjects()) {
    deviceObjectsRestored_ = true;
  } else {
    InvalidateDeviceObjects();
  }
  return true;
}

bool Application::Reset3DEnvironment() {
  if (!device_) return false;
  if (deviceObjectsRestored_) {
    deviceObjectsRestored_ = false;
    InvalidateDeviceObjects();
  }
  if (FAILED(device_->Reset(&presentParameters_))) return false;
  stateCache().Invalidate();
  IDirect3DSurface9* back = nullptr;
  if (SUCCEEDED(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back)) && back) {
    back->GetDesc(&backBufferDesc_);
    back->Release();
  }
  if (RestoreDeviceObjects()) {
    deviceObjectsRestored_ = true;
    return true;
  }
  InvalidateDeviceObjects();
  return false;
}

void Application::Cleanup3DEnvironment() {
  if (!device_) return;
  if (deviceObjectsRestored_) {
    deviceObjectsRestored_ = false;
    InvalidateDeviceObjects();
  }
  // The cache must not keep the dead device's values for the next one (it reaches the device
  // through this application, so it hands the dead one nothing once it is released).
  stateCache().Invalidate();
  safeRelease(device_);
}

bool Application::TestDevice() {
  if (!device_ || (window_ && window_->SystemGone())) return false;
  const HRESULT hr = device_->TestCooperativeLevel();
  if (hr != D3DERR_DEVICENOTRESET) return true;
  if (windowed_) {
    D3DDISPLAYMODE mode{};
    if (SUCCEEDED(direct3d_->GetAdapterDisplayMode(settings_.adapterOrdinal, &mode))) {
      settings_.width = mode.Width;
      settings_.height = mode.Height;
      settings_.refreshRate = mode.RefreshRate;
      settings_.adapterFormat = mode.Format;
      presentParameters_.BackBufferFormat = mode.Format;
    }
  }
  return Reset3DEnvironment();
}

bool Application::HandlePossibleSizeChange() {
  if (!window_) return true;
  windowRect_ = window_->Rect();
  const WindowRect client = window_->ClientRect();
  if (client.width() == clientRect_.width() && client.height() == clientRect_.height()) {
    clientRect_ = client;
    return true;
  }
  clientRect_ = client;
  BuildPresentParameters();
  if (device_ && !Reset3DEnvironment()) return false;
  return true;
}

LRESULT Application::MsgProc(HWND hwnd, uint32_t message, WPARAM wParam, LPARAM lParam) {
  for (MessageHandler* handler : std::vector<MessageHandler*>(handlers_)) handler->HandleMessage(hwnd, message, wParam, lParam);
  switch (message) {
    case msg::WM_SIZE:
      if (windowed_ && window_) windowStyle_ = window_->Style();
      if (wParam == msg::SIZE_MINIMIZED) {
        suspended_ = true;
        minimized_ = true;
        maximized_ = false;
      } else if (wParam == msg::SIZE_MAXIMIZED) {
        if (minimized_) suspended_ = false;
        maximized_ = true;
        minimized_ = false;
        HandlePossibleSizeChange();
      } else if (wParam == msg::SIZE_RESTORED) {
        if (maximized_) {
          maximized_ = false;
          HandlePossibleSizeChange();
        } else if (minimized_) {
          suspended_ = false;
          minimized_ = false;
          HandlePossibleSizeChange();
        }
      }
      break;
    case msg::WM_ACTIVATE: active_ = (wParam & 0xFFFF) != 0; break;
    case msg::WM_ENTERSIZEMOVE: suspended_ = true; break;
    case msg::WM_EXITSIZEMOVE:
      suspended_ = false;
      HandlePossibleSizeChange();
      break;
    case msg::WM_NCHITTEST:
      if (!windowed_) return msg::HTCLIENT;
      break;
    case msg::WM_SYSCOMMAND:
      if (!windowed_) {
        const WPARAM command = wParam & 0xFFF0;
        if (command == msg::SC_SIZE || command == msg::SC_MOVE || command == msg::SC_MAXIMIZE ||
            command == msg::SC_KEYMENU || command == msg::SC_MONITORPOWER)
          return 1;
      }
      break;
    case msg::WM_POWERBROADCAST:
      if (wParam == msg::PBT_APMQUERYSUSPEND || wParam == msg::PBT_APMRESUMESUSPEND) return TRUE;
      break;
    case msg::WM_CLOSE:
      Cleanup3DEnvironment();
      if (window_) window_->PostQuit();
      return 0;
    case msg::WM_QUIT:
      Cleanup3DEnvironment();
      return 0;
    default: break;
  }
  return window_ ? window_->DefaultProcedure(message, wParam, lParam) : 0;
}

}  // namespace halcyon
