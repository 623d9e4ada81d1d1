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

Application* getApplication() { return g_application; }

void Application::setDirect3DLoader(Direct3DLoader next) {
  loader() = next ? std::move(next) : Direct3DLoader([] { return Direct3DCreate9(D3D_SDK_VERSION); });
}

// ---- DeviceObject ----

DeviceObject::~DeviceObject() { unregisterDeviceObject(); }

bool DeviceObject::registerDeviceObject() {
  Application* app = getApplication();
  if (!app) return false;
  app->addDeviceObject(this);
  return app->device() != nullptr;
}

void DeviceObject::unregisterDeviceObject() {
  if (Application* app = getApplication()) app->removeDeviceObject(this);
}

// ---- Application ----

Application::Application() {
  settings_.clear();
  fullScreenSettings_.clear();
  windowedSettings_.clear();
  g_application = this;
}

Application::~Application() {
  // The textures go before the device they were made on (a scene held beside this application
  // by its owner has let go of them by now).
  textureManager().clear();
  cleanup3DEnvironment();
  safeRelease(direct3d_);
  enumeration_.setDirect3D(nullptr);
  if (g_application == this) g_application = nullptr;
}

void Application::addDeviceObject(DeviceObject* object) {
  if (object && std::find(deviceObjects_.begin(), deviceObjects_.end(), object) == deviceObjects_.end())
    deviceObjects_.push_back(object);
}

void Application::removeDeviceObject(DeviceObject* object) {
  deviceObjects_.erase(std::remove(deviceObjects_.begin(), deviceObjects_.end(), object), deviceObjects_.end());
}

void Application::addMessageHandler(MessageHandler* handler) {
  if (handler && std::find(handlers_.begin(), handlers_.end(), handler) == handlers_.end())
    handlers_.push_back(handler);
}

void Application::removeMessageHandler(MessageHandler* handler) {
  handlers_.erase(std::remove(handlers_.begin(), handlers_.end(), handler), handlers_.end());
}

bool Application::restoreDeviceObjects() {
  bool all = true;
  // A restore may register or drop objects (frames of a texture), so walk a snapshot and skip
  // what has left the list meanwhile.
  const std::vector<DeviceObject*> snapshot = deviceObjects_;
  for (DeviceObject* object : snapshot) {
    if (std::find(deviceObjects_.begin(), deviceObjects_.end(), object) == deviceObjects_.end()) continue;
    if (!object->restore()) all = false;
  }
  return all;
}

bool Application::invalidateDeviceObjects() {
  const std::vector<DeviceObject*> snapshot = deviceObjects_;
  for (DeviceObject* object : snapshot) {
    if (std::find(deviceObjects_.begin(), deviceObjects_.end(), object) == deviceObjects_.end()) continue;
    object->invalidate();
  }
  return true;
}

void Application::storeSettings(const DeviceSettings& settings) {
  settings_ = settings;
  if (settings.windowed) windowedSettings_ = settings;
  else
    fullScreenSettings_ = settings;
}

bool Application::create(void* instance, EngineWindow* window) {
  instance_ = instance;
  window_ = window;
  direct3d_ = loader()();
  if (!direct3d_) return false;
  direct3d_->GetAdapterDisplayMode(0, &desktopMode_);
  enumeration_.setDirect3D(direct3d_);
  if (!enumeration_.enumerate() || !window_) {
    safeRelease(direct3d_);
    enumeration_.setDirect3D(nullptr);
    return false;
  }
  windowStyle_ = window_->style();
  windowRect_ = window_->rect();
  clientRect_ = window_->clientRect();

  windowed_ = false;
  DeviceSettings fullScreen = settings_;
  fullScreen.windowed = 0;
  const bool fullOk = findBestSettings(enumeration_, fullScreen);
  windowed_ = true;
  DeviceSettings windowedRequest = settings_;
  windowedRequest.windowed = 1;
  const bool windowedOk = fullOk && findBestSettings(enumeration_, windowedRequest);
  if (!fullOk || !windowedOk) {
    safeRelease(direct3d_);
    enumeration_.setDirect3D(nullptr);
    return false;
  }
  fullScreenSettings_ = fullScreen;
  windowedSettings_ = windowedRequest;
  return true;
}

bool Application::setMode(bool fullScreen) {
  cleanup3DEnvironment();
  settings_ = fullScreen ? fullScreenSettings_ : windowedSettings_;
  active_ = true;
  suspended_ = false;
  return initialize3DEnvironment();
}

void Application::buildPresentParameters() {
  presentParameters_ = D3DPRESENT_PARAMETERS{};
  presentParameters_.BackBufferCount = 1;
  presentParameters_.MultiSampleType = settings_.multisampleType;
  presentParameters_.MultiSampleQuality = settings_.multisampleQuality;
  presentParameters_.SwapEffect = D3DSWAPEFFECT_DISCARD;
  presentParameters_.hDeviceWindow = window_ ? window_->deviceWindow() : nullptr;
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

bool Application::initialize3DEnvironment() {
  logError("", describeDeviceSettings(settings_));
  if (!direct3d_ || !window_) return false;
  windowed_ = settings_.windowed != 0;
  window_->setStyle(windowStyle_);
  buildPresentParameters();
  DWORD behaviour = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
  switch (settings_.vertexProcessing) {
    case MIXED_VP: behaviour = D3DCREATE_MIXED_VERTEXPROCESSING; break;
    case HARDWARE_VP: behaviour = D3DCREATE_HARDWARE_VERTEXPROCESSING; break;
    case PURE_HARDWARE_VP: behaviour = D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE; break;
    default: break;
  }
  IDirect3DDevice9* device = nullptr;
  if (FAILED(direct3d_->CreateDevice(settings_.adapterOrdinal, settings_.deviceType, window_->deviceWindow(), behaviour,
                                     &presentParameters_, &device)) ||
      !device)
    return false;
  device_ = device;
  if (windowed_) window_->place(windowRect_);
  device_->GetDeviceCaps(&caps_);
  behaviourFlags_ = behaviour;
  // The device stands even when its objects could not be restored (deviceObjectsRestored says so).
  takeUpFreshDevice();
  return true;
}

bool Application::takeUpFreshDevice() {
  // A new or reset device holds none of the states the cache remembers.
  stateCache().invalidate();
  IDirect3DSurface9* back = nullptr;
  if (SUCCEEDED(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back)) && back) {
    back->GetDesc(&backBufferDesc_);
    back->Release();
  }
  if (restoreDeviceObjects()) {
    deviceObjectsRestored_ = true;
    return true;
  }
  invalidateDeviceObjects();
  return false;
}

bool Application::reset3DEnvironment() {
  if (!device_) return false;
  if (deviceObjectsRestored_) {
    deviceObjectsRestored_ = false;
    invalidateDeviceObjects();
  }
  if (FAILED(device_->Reset(&presentParameters_))) return false;
  return takeUpFreshDevice();
}

void Application::cleanup3DEnvironment() {
  if (!device_) return;
  if (deviceObjectsRestored_) {
    deviceObjectsRestored_ = false;
    invalidateDeviceObjects();
  }
  // The cache must not keep the dead device's values for the next one (it reaches the device
  // through this application, so it hands the dead one nothing once it is released).
  stateCache().invalidate();
  safeRelease(device_);
}

bool Application::testDevice() {
  if (!device_ || (window_ && window_->systemGone())) return false;
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
  return reset3DEnvironment();
}

bool Application::handlePossibleSizeChange() {
  if (!window_) return true;
  windowRect_ = window_->rect();
  const WindowRect client = window_->clientRect();
  if (client.width() == clientRect_.width() && client.height() == clientRect_.height()) {
    clientRect_ = client;
    return true;
  }
  clientRect_ = client;
  buildPresentParameters();
  if (device_ && !reset3DEnvironment()) return false;
  return true;
}

LRESULT Application::msgProc(HWND hwnd, uint32_t message, WPARAM wParam, LPARAM lParam) {
  for (MessageHandler* handler : std::vector<MessageHandler*>(handlers_))
    handler->handleMessage(hwnd, message, wParam, lParam);
  switch (message) {
    case msg::WM_SIZE:
      if (windowed_ && window_) windowStyle_ = window_->style();
      if (wParam == msg::SIZE_MINIMIZED) {
        suspended_ = true;
        minimized_ = true;
        maximized_ = false;
      } else if (wParam == msg::SIZE_MAXIMIZED) {
        if (minimized_) suspended_ = false;
        maximized_ = true;
        minimized_ = false;
        handlePossibleSizeChange();
      } else if (wParam == msg::SIZE_RESTORED) {
        if (maximized_) {
          maximized_ = false;
          handlePossibleSizeChange();
        } else if (minimized_) {
          suspended_ = false;
          minimized_ = false;
          handlePossibleSizeChange();
        }
      }
      break;
    case msg::WM_ACTIVATE: active_ = (wParam & 0xFFFF) != 0; break;
    case msg::WM_ENTERSIZEMOVE: suspended_ = true; break;
    case msg::WM_EXITSIZEMOVE:
      suspended_ = false;
      handlePossibleSizeChange();
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
      cleanup3DEnvironment();
      if (window_) window_->postQuit();
      return 0;
    case msg::WM_QUIT: cleanup3DEnvironment(); return 0;
    default: break;
  }
  return window_ ? window_->defaultProcedure(message, wParam, lParam) : 0;
}

}  // namespace halcyon
