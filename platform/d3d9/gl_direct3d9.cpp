// The runtime object of the OpenGL device: adapters are SDL displays, their modes SDL's
// display modes, the one device type is HAL, and multisampling goes as far as the GL
// implementation's sample limit.
#include <SDL.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/d3d9/gl_device.h"
#include "platform/d3d9/gl_presence.h"

namespace {

D3DFORMAT formatOfMode(const SDL_DisplayMode& mode) {
  switch (SDL_BITSPERPIXEL(mode.format)) {
    case 15: return D3DFMT_X1R5G5B5;
    case 16: return D3DFMT_R5G6B5;
    case 30: return D3DFMT_A2R10G10B10;
    default: return D3DFMT_X8R8G8B8;
  }
}

UINT refreshOf(const SDL_DisplayMode& mode) {
  return mode.refresh_rate > 0 ? static_cast<UINT>(mode.refresh_rate) : 60u;
}

void setContextAttributes() {
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  // Frames that need neither the ramp nor multisampling are drawn in the window itself, which
  // then needs the depth and stencil of the back buffer; multisampling lives offscreen.
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 0);
  SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, 0);
}

class GLDirect3D9 : public IDirect3D9 {
 public:
  bool start() {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    started_ = true;
    const int displays = SDL_GetNumVideoDisplays();
    for (int d = 0; d < displays; ++d) {
      Adapter a;
      SDL_DisplayMode desktop{};
      if (SDL_GetDesktopDisplayMode(d, &desktop) != 0) continue;
      a.display = d;
      a.desktop = D3DDISPLAYMODE{static_cast<UINT>(desktop.w), static_cast<UINT>(desktop.h), refreshOf(desktop),
                                 formatOfMode(desktop)};
      const int count = SDL_GetNumDisplayModes(d);
      for (int i = 0; i < count; ++i) {
        SDL_DisplayMode m{};
        if (SDL_GetDisplayMode(d, i, &m) != 0) continue;
        const D3DDISPLAYMODE mode{static_cast<UINT>(m.w), static_cast<UINT>(m.h), refreshOf(m), formatOfMode(m)};
        const bool seen = std::any_of(a.modes.begin(), a.modes.end(), [&](const D3DDISPLAYMODE& o) {
          return o.Width == mode.Width && o.Height == mode.Height && o.RefreshRate == mode.RefreshRate &&
                 o.Format == mode.Format;
        });
        if (!seen) a.modes.push_back(mode);
      }
      // A display that lists no modes still offers its desktop mode.
      if (a.modes.empty()) a.modes.push_back(a.desktop);
      const char* name = SDL_GetDisplayName(d);
      std::strncpy(a.identifier.Description, name ? name : "Display", sizeof a.identifier.Description - 1);
      std::strncpy(a.identifier.Driver, "OpenGL 3.3", sizeof a.identifier.Driver - 1);
      std::snprintf(a.identifier.DeviceName, sizeof a.identifier.DeviceName, "DISPLAY%d", d + 1);
      adapters_.push_back(a);
    }
    return !adapters_.empty();
  }

  ULONG AddRef() override { return refs_.addRef(); }
  ULONG Release() override {
    const ULONG left = refs_.dropRef();
    if (left == 0) delete this;
    return left;
  }

  UINT GetAdapterCount() override { return static_cast<UINT>(adapters_.size()); }

  HRESULT GetAdapterIdentifier(UINT adapter, DWORD, D3DADAPTER_IDENTIFIER9* identifier) override {
    if (adapter >= adapters_.size() || !identifier) return D3DERR_INVALIDCALL;
    *identifier = adapters_[adapter].identifier;
    return D3D_OK;
  }

  UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) override {
    if (adapter >= adapters_.size()) return 0;
    const auto& modes = adapters_[adapter].modes;
    return static_cast<UINT>(std::count_if(modes.begin(), modes.end(),
                                           [&](const D3DDISPLAYMODE& m) { return m.Format == format; }));
  }

  HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT index, D3DDISPLAYMODE* out) override {
    if (adapter >= adapters_.size() || !out) return D3DERR_INVALIDCALL;
    UINT seen = 0;
    for (const auto& m : adapters_[adapter].modes) {
      if (m.Format != format) continue;
      if (seen++ == index) {
        *out = m;
        return D3D_OK;
      }
    }
    return D3DERR_INVALIDCALL;
  }

  HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override {
    if (adapter >= adapters_.size() || !mode) return D3DERR_INVALIDCALL;
    SDL_DisplayMode current{};
    if (SDL_GetCurrentDisplayMode(adapters_[adapter].display, &current) == 0) {
      *mode = D3DDISPLAYMODE{static_cast<UINT>(current.w), static_cast<UINT>(current.h), refreshOf(current),
                             formatOfMode(current)};
    } else {
      *mode = adapters_[adapter].desktop;
    }
    return D3D_OK;
  }

  HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, D3DFORMAT backBufferFormat,
                          BOOL windowed) override {
    if (adapter >= adapters_.size() || type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    const UINT adapterDepth = displayDepthBits(adapterFormat), backDepth = displayDepthBits(backBufferFormat);
    if (!adapterDepth || !backDepth || adapterFormat == D3DFMT_A1R5G5B5 || adapterFormat == D3DFMT_A8R8G8B8)
      return D3DERR_NOTAVAILABLE;
    if (!windowed && adapterDepth != backDepth) return D3DERR_NOTAVAILABLE;
    return D3D_OK;
  }

  HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT, DWORD usage, D3DRESOURCETYPE,
                            D3DFORMAT checkFormat) override {
    if (adapter >= adapters_.size() || type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    // The device always draws with 24 bits of depth and 8 of stencil, so that is the one
    // depth format it offers, and the one the settings and the log then name.
    if (usage & D3DUSAGE_DEPTHSTENCIL) return checkFormat == D3DFMT_D24S8 ? D3D_OK : D3DERR_NOTAVAILABLE;
    return bytesPerTexel(checkFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
  }

  HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT, BOOL, D3DMULTISAMPLE_TYPE multiSample,
                                     DWORD* qualityLevels) override {
    if (adapter >= adapters_.size() || type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    const int maxSamples = probe().maxSamples;
    DWORD levels = 0;
    if (multiSample == D3DMULTISAMPLE_NONE) {
      levels = 1;
    } else if (multiSample == D3DMULTISAMPLE_NONMASKABLE) {
      levels = maxSamples >= 2 ? 1 : 0;
    } else if (static_cast<int>(multiSample) <= maxSamples) {
      levels = 1;
    }
    if (!levels) return D3DERR_NOTAVAILABLE;
    if (qualityLevels) *qualityLevels = levels;
    return D3D_OK;
  }

  HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT, D3DFORMAT,
                                 D3DFORMAT depthStencilFormat) override {
    return CheckDeviceFormat(adapter, type, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                             depthStencilFormat);
  }

  HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override {
    if (adapter >= adapters_.size() || type != D3DDEVTYPE_HAL || !caps) return D3DERR_NOTAVAILABLE;
    const Probe& p = probe();
    if (!p.ok) return D3DERR_NOTAVAILABLE;
    D3DCAPS9 c{};
    c.DeviceType = D3DDEVTYPE_HAL;
    c.AdapterOrdinal = adapter;
    c.DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT | (p.softwareRasteriser ? 0u : D3DDEVCAPS_HWRASTERIZATION);
    c.PresentationIntervals = D3DPRESENT_INTERVAL_ONE | D3DPRESENT_INTERVAL_IMMEDIATE;
    c.MaxTextureWidth = c.MaxTextureHeight = static_cast<DWORD>(std::min(p.maxTextureSize, 8192));
    c.MaxTextureBlendStages = c.MaxSimultaneousTextures = kMaxTextureStages;
    c.MaxActiveLights = kMaxActiveLights;
    c.MaxPrimitiveCount = c.MaxVertexIndex = 0xFFFFFF;
    c.MaxStreams = 1;
    c.MaxStreamStride = 255;
    c.MaxAnisotropy = static_cast<DWORD>(std::max(1, p.maxAnisotropy));
    c.MaxPointSize = 64.0f;
    c.MasterAdapterOrdinal = adapter;
    c.NumberOfAdaptersInGroup = 1;
    *caps = c;
    return D3D_OK;
  }

  HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD, D3DPRESENT_PARAMETERS* params,
                       IDirect3DDevice9** device) override {
    if (!device || !params) return D3DERR_INVALIDCALL;
    *device = nullptr;
    if (adapter >= adapters_.size() || type != D3DDEVTYPE_HAL) return D3DERR_INVALIDCALL;
    auto* window = static_cast<SDL_Window*>(params->hDeviceWindow ? params->hDeviceWindow : focusWindow);
    if (!window) return D3DERR_INVALIDCALL;
    if (params->MultiSampleType != D3DMULTISAMPLE_NONE &&
        FAILED(CheckDeviceMultiSampleType(adapter, type, params->BackBufferFormat, params->Windowed,
                                          params->MultiSampleType, nullptr)))
      return D3DERR_NOTAVAILABLE;
    D3DCAPS9 caps{};
    if (FAILED(GetDeviceCaps(adapter, type, &caps))) return D3DERR_NOTAVAILABLE;
    setContextAttributes();
    auto context = std::make_shared<GLContextHolder>();
    context->window = window;
    context->context = SDL_GL_CreateContext(window);
    if (!context->context) return D3DERR_NOTAVAILABLE;
    platform::keepGraphicsDriverLoaded();
    if (epoxy_gl_version() < 33) return D3DERR_NOTAVAILABLE;
    D3DPRESENT_PARAMETERS used = *params;
    if (used.Windowed) {
      int w = 0, h = 0;
      SDL_GL_GetDrawableSize(window, &w, &h);
      if (used.BackBufferWidth == 0) used.BackBufferWidth = static_cast<UINT>(std::max(1, w));
      if (used.BackBufferHeight == 0) used.BackBufferHeight = static_cast<UINT>(std::max(1, h));
    }
    if (used.BackBufferWidth == 0 || used.BackBufferHeight == 0 || used.BackBufferWidth > 16384 ||
        used.BackBufferHeight > 16384)
      return D3DERR_INVALIDCALL;
    if (used.BackBufferFormat == D3DFMT_UNKNOWN) used.BackBufferFormat = adapters_[adapter].desktop.Format;
    auto* made = new GLDevice(this, used, caps, context);
    if (!made->valid()) {
      made->Release();
      return D3DERR_NOTAVAILABLE;
    }
    *params = used;
    *device = made;
    return D3D_OK;
  }

 private:
  struct Adapter {
    int display = 0;
    D3DADAPTER_IDENTIFIER9 identifier{};
    D3DDISPLAYMODE desktop{};
    std::vector<D3DDISPLAYMODE> modes;
  };
  struct Probe {
    bool done = false, ok = false;
    int maxSamples = 0, maxTextureSize = 0, maxAnisotropy = 1;
    bool softwareRasteriser = false;
  };

  ~GLDirect3D9() override {
    if (started_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

  // What the GL implementation can do, read once through a hidden window of its own.
  const Probe& probe() {
    if (probe_.done) return probe_;
    probe_.done = true;
    SDL_GLContext previous = SDL_GL_GetCurrentContext();
    SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
    setContextAttributes();
    SDL_Window* window = SDL_CreateWindow("probe", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window) return probe_;
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (context) {
      platform::keepGraphicsDriverLoaded();
      if (epoxy_gl_version() >= 33) {
        probe_.ok = true;
        glGetIntegerv(GL_MAX_SAMPLES, &probe_.maxSamples);
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &probe_.maxTextureSize);
        // The CPU rasterisers say so in their name; the caps tell the engine, which then
        // leaves out what costs them most.
        const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
        const std::string name = renderer ? renderer : "";
        probe_.softwareRasteriser = name.find("llvmpipe") != std::string::npos ||
                                    name.find("softpipe") != std::string::npos ||
                                    name.find("swrast") != std::string::npos;
        if (epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic")) {
          float anisotropy = 1.0f;
          glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &anisotropy);
          probe_.maxAnisotropy = static_cast<int>(anisotropy);
        }
      }
      SDL_GL_DeleteContext(context);
    }
    SDL_DestroyWindow(window);
    if (previous) SDL_GL_MakeCurrent(previousWindow, previous);
    return probe_;
  }

  RefCounted9 refs_;
  bool started_ = false;
  std::vector<Adapter> adapters_;
  Probe probe_;
};

}  // namespace

IDirect3D9* Direct3DCreate9(UINT sdkVersion) {
  if (sdkVersion != D3D_SDK_VERSION) return nullptr;
  auto* d3d = new GLDirect3D9();
  if (!d3d->start()) {
    d3d->Release();
    return nullptr;
  }
  return d3d;
}
