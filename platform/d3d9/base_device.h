#pragma once
// The part of a device that both implementations share: the state it holds (render, stage
// and sampler states, transforms, material, lights, bound resources, gamma ramp), scene
// bracketing, reference counting and the simulated loss. The state starts at the values a
// fresh device has and returns to them on every successful Reset.
#include <array>
#include <map>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/device_control.h"

struct DeviceState {
  std::array<DWORD, kRenderStateCount> renderStates{};
  std::array<std::array<DWORD, kTextureStageStateCount>, kMaxTextureStages> stageStates{};
  std::array<std::array<DWORD, kSamplerStateCount>, kMaxTextureStages> samplerStates{};
  std::array<IDirect3DBaseTexture9*, kMaxTextureStages> textures{};
  std::array<D3DMATRIX, kTransformCount> transforms{};
  D3DMATERIAL9 material{};
  std::map<DWORD, D3DLIGHT9> lights;
  std::map<DWORD, bool> lightEnabled;
  D3DVIEWPORT9 viewport{};
  // Where draws may write while D3DRS_SCISSORTESTENABLE is on, in pixels of the back buffer.
  RECT scissor{};
  DWORD fvf = 0;
  IDirect3DVertexBuffer9* stream = nullptr;
  UINT streamOffset = 0, streamStride = 0;
  IDirect3DIndexBuffer9* indices = nullptr;
  D3DGAMMARAMP gamma{};
};

// A light as a device starts it when SetLight names an index it has not seen: a white
// directional light along +Z.
D3DLIGHT9 defaultLight();
// The identity ramp (value i * 257).
D3DGAMMARAMP identityGammaRamp();

class BaseDevice : public IDirect3DDevice9, public DeviceControl {
 public:
  ULONG AddRef() override { return refs_.addRef(); }
  ULONG Release() override;

  HRESULT TestCooperativeLevel() override;
  HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
  HRESULT GetDirect3D(IDirect3D9** direct3d) override;
  void SetGammaRamp(UINT swapChain, DWORD flags, const D3DGAMMARAMP* ramp) override;
  void GetGammaRamp(UINT swapChain, D3DGAMMARAMP* ramp) override;
  HRESULT BeginScene() override;
  HRESULT EndScene() override;

  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
  HRESULT SetViewport(const D3DVIEWPORT9* viewport) override;
  HRESULT GetViewport(D3DVIEWPORT9* viewport) override;
  HRESULT SetScissorRect(const RECT* rect) override;
  HRESULT GetScissorRect(RECT* rect) override;
  HRESULT SetMaterial(const D3DMATERIAL9* material) override;
  HRESULT GetMaterial(D3DMATERIAL9* material) override;
  HRESULT SetLight(DWORD index, const D3DLIGHT9* light) override;
  HRESULT GetLight(DWORD index, D3DLIGHT9* light) override;
  HRESULT LightEnable(DWORD index, BOOL enable) override;
  HRESULT GetLightEnable(DWORD index, BOOL* enable) override;
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
  HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override;
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
  HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
  HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
  HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;
  HRESULT SetFVF(DWORD fvf) override;
  HRESULT GetFVF(DWORD* fvf) override;
  HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) override;
  HRESULT SetIndices(IDirect3DIndexBuffer9* buffer) override;

  void simulateLoss(int lostChecks) override;

  const DeviceState& state() const { return state_; }
  const D3DPRESENT_PARAMETERS& presentParameters() const { return params_; }
  bool inScene() const { return inScene_; }

 protected:
  BaseDevice(IDirect3D9* direct3d, const D3DPRESENT_PARAMETERS& params, const D3DCAPS9& caps);
  ~BaseDevice() override;

  enum class Loss { None, Lost, NotReset };
  Loss loss() const { return loss_; }
  // Checks a Reset against the loss state: D3DERR_DEVICELOST while lost, else D3D_OK.
  HRESULT resetAllowed() const;
  // Puts every state back to a fresh device's and records the new parameters; ends the loss.
  void resetState(const D3DPRESENT_PARAMETERS& params);
  // Viewport covering the whole back buffer.
  D3DVIEWPORT9 fullViewport() const;
  // The back buffer as GetBackBuffer describes it: a render target of the present parameters.
  D3DSURFACE_DESC backBufferDescription() const;
  // The vertex format as a draw with vertices `stride` bytes apart can read it: texture
  // coordinate sets that lie beyond the stride are dropped (the engine's meshes name a third
  // set they never store), and 0 when not even the position, normal and colours fit.
  DWORD drawableFvf(UINT stride) const {
    DWORD fvf = state_.fvf;
    if (stride == 0 || (fvf & D3DFVF_POSITION_MASK) == 0) return 0;
    UINT sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    while (fvfVertexSize(fvf) > stride && sets > 0) {
      --sets;
      fvf = (fvf & ~D3DFVF_TEXCOUNT_MASK) | (sets << D3DFVF_TEXCOUNT_SHIFT);
    }
    return fvfVertexSize(fvf) <= stride ? fvf : 0;
  }
  bool strideFits(UINT stride) const { return drawableFvf(stride) != 0; }

  // Hooks for the implementations: a state of the given kind changed (index is the state
  // type, stage or light number).
  enum class Changed {
    RenderState,
    StageState,
    SamplerState,
    Texture,
    Transform,
    Material,
    Light,
    Viewport,
    Scissor,
    Vertices,
    Gamma
  };
  virtual void stateChanged(Changed, UINT) {}
  // Every call with its arguments, for the recording device.
  virtual void note(const char*, std::initializer_list<uint64_t>) {}
  // A call the recording device was told to fail answers this code (D3D_OK otherwise).
  virtual HRESULT scripted(const char*) { return D3D_OK; }

  IDirect3D9* direct3d_;
  D3DPRESENT_PARAMETERS params_;
  D3DCAPS9 caps_;
  DeviceState state_;

 private:
  void releaseBindings();
  RefCounted9 refs_;
  bool inScene_ = false;
  Loss loss_ = Loss::None;
  int lostChecks_ = 0;
};
