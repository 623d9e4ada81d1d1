#include "platform/d3d9/base_device.h"

#include <algorithm>

D3DLIGHT9 defaultLight() {
  D3DLIGHT9 light{};
  light.Type = D3DLIGHT_DIRECTIONAL;
  light.Diffuse = {1, 1, 1, 0};
  light.Direction = {0, 0, 1};
  return light;
}

D3DGAMMARAMP identityGammaRamp() {
  D3DGAMMARAMP ramp{};
  for (int i = 0; i < 256; ++i) ramp.red[i] = ramp.green[i] = ramp.blue[i] = static_cast<WORD>(i * 257);
  return ramp;
}

DeviceControl* deviceControl(IDirect3DDevice9* device) { return dynamic_cast<DeviceControl*>(device); }

BaseDevice::BaseDevice(IDirect3D9* direct3d, const D3DPRESENT_PARAMETERS& params, const D3DCAPS9& caps)
    : direct3d_(direct3d), params_(params), caps_(caps) {
  if (direct3d_) direct3d_->AddRef();
  resetState(params);
  state_.gamma = identityGammaRamp();
}

BaseDevice::~BaseDevice() {
  releaseBindings();
  if (direct3d_) direct3d_->Release();
}

ULONG BaseDevice::Release() {
  const ULONG left = refs_.dropRef();
  if (left == 0) delete this;
  return left;
}

void BaseDevice::releaseBindings() {
  for (auto& texture : state_.textures) safeRelease(texture);
  safeRelease(state_.stream);
  safeRelease(state_.indices);
}

D3DVIEWPORT9 BaseDevice::fullViewport() const {
  return D3DVIEWPORT9{0, 0, params_.BackBufferWidth, params_.BackBufferHeight, 0.0f, 1.0f};
}

D3DSURFACE_DESC BaseDevice::backBufferDescription() const {
  return D3DSURFACE_DESC{params_.BackBufferFormat, D3DRTYPE_SURFACE,        D3DUSAGE_RENDERTARGET,
                         D3DPOOL_DEFAULT,          params_.MultiSampleType, params_.MultiSampleQuality,
                         params_.BackBufferWidth,  params_.BackBufferHeight};
}

HRESULT BaseDevice::GetDeviceCaps(D3DCAPS9* caps) {
  note("GetDeviceCaps", {});
  if (const HRESULT hr = scripted("GetDeviceCaps"); hr != D3D_OK) return hr;
  if (!caps) return D3DERR_INVALIDCALL;
  *caps = caps_;
  return D3D_OK;
}

void BaseDevice::resetState(const D3DPRESENT_PARAMETERS& params) {
  params_ = params;
  releaseBindings();
  const D3DGAMMARAMP gamma = state_.gamma;
  state_ = DeviceState{};
  state_.gamma = gamma;
  for (UINT i = 0; i < kRenderStateCount; ++i)
    state_.renderStates[i] = defaultRenderState(i, params.EnableAutoDepthStencil != 0);
  for (UINT s = 0; s < kMaxTextureStages; ++s) {
    for (UINT t = 0; t < kTextureStageStateCount; ++t) state_.stageStates[s][t] = defaultTextureStageState(s, t);
    for (UINT t = 0; t < kSamplerStateCount; ++t) state_.samplerStates[s][t] = defaultSamplerState(t);
  }
  for (auto& m : state_.transforms) m = identityMatrix();
  state_.viewport = fullViewport();
  state_.scissor = RECT{0, 0, static_cast<LONG>(params_.BackBufferWidth), static_cast<LONG>(params_.BackBufferHeight)};
  inScene_ = false;
  loss_ = Loss::None;
}

HRESULT BaseDevice::resetAllowed() const { return loss_ == Loss::Lost ? D3DERR_DEVICELOST : D3D_OK; }

void BaseDevice::simulateLoss(int lostChecks) {
  loss_ = Loss::Lost;
  lostChecks_ = std::max(1, lostChecks);
}

HRESULT BaseDevice::TestCooperativeLevel() {
  note("TestCooperativeLevel", {});
  if (const HRESULT hr = scripted("TestCooperativeLevel"); hr != D3D_OK) return hr;
  if (loss_ == Loss::Lost) {
    if (--lostChecks_ <= 0) loss_ = Loss::NotReset;
    return D3DERR_DEVICELOST;
  }
  if (loss_ == Loss::NotReset) return D3DERR_DEVICENOTRESET;
  return D3D_OK;
}

HRESULT BaseDevice::GetDirect3D(IDirect3D9** direct3d) {
  if (!direct3d) return D3DERR_INVALIDCALL;
  *direct3d = direct3d_;
  if (direct3d_) direct3d_->AddRef();
  return D3D_OK;
}

void BaseDevice::SetGammaRamp(UINT swapChain, DWORD flags, const D3DGAMMARAMP* ramp) {
  note("SetGammaRamp", {swapChain, flags});
  if (!ramp || swapChain != 0) return;
  state_.gamma = *ramp;
  stateChanged(Changed::Gamma, 0);
}

void BaseDevice::GetGammaRamp(UINT swapChain, D3DGAMMARAMP* ramp) {
  note("GetGammaRamp", {swapChain});
  if (ramp) *ramp = state_.gamma;
}

HRESULT BaseDevice::BeginScene() {
  note("BeginScene", {});
  if (const HRESULT hr = scripted("BeginScene"); hr != D3D_OK) return hr;
  if (inScene_) return D3DERR_INVALIDCALL;
  inScene_ = true;
  return D3D_OK;
}

HRESULT BaseDevice::EndScene() {
  note("EndScene", {});
  if (const HRESULT hr = scripted("EndScene"); hr != D3D_OK) return hr;
  if (!inScene_) return D3DERR_INVALIDCALL;
  inScene_ = false;
  return D3D_OK;
}

HRESULT BaseDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
  note("SetTransform", {state});
  if (const HRESULT hr = scripted("SetTransform"); hr != D3D_OK) return hr;
  if (!matrix || state >= kTransformCount) return D3DERR_INVALIDCALL;
  state_.transforms[state] = *matrix;
  stateChanged(Changed::Transform, state);
  return D3D_OK;
}

HRESULT BaseDevice::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
  note("GetTransform", {state});
  if (const HRESULT hr = scripted("GetTransform"); hr != D3D_OK) return hr;
  if (!matrix || state >= kTransformCount) return D3DERR_INVALIDCALL;
  *matrix = state_.transforms[state];
  return D3D_OK;
}

HRESULT BaseDevice::SetViewport(const D3DVIEWPORT9* viewport) {
  note("SetViewport", {});
  if (const HRESULT hr = scripted("SetViewport"); hr != D3D_OK) return hr;
  if (!viewport || viewport->Width == 0 || viewport->Height == 0 ||
      static_cast<uint64_t>(viewport->X) + viewport->Width > params_.BackBufferWidth ||
      static_cast<uint64_t>(viewport->Y) + viewport->Height > params_.BackBufferHeight)
    return D3DERR_INVALIDCALL;
  state_.viewport = *viewport;
  stateChanged(Changed::Viewport, 0);
  return D3D_OK;
}

HRESULT BaseDevice::GetViewport(D3DVIEWPORT9* viewport) {
  note("GetViewport", {});
  if (!viewport) return D3DERR_INVALIDCALL;
  *viewport = state_.viewport;
  return D3D_OK;
}

HRESULT BaseDevice::SetScissorRect(const RECT* rect) {
  note("SetScissorRect", {});
  if (const HRESULT hr = scripted("SetScissorRect"); hr != D3D_OK) return hr;
  if (!rect || rect->left < 0 || rect->top < 0 || rect->right < rect->left || rect->bottom < rect->top)
    return D3DERR_INVALIDCALL;
  state_.scissor = *rect;
  stateChanged(Changed::Scissor, 0);
  return D3D_OK;
}

HRESULT BaseDevice::GetScissorRect(RECT* rect) {
  note("GetScissorRect", {});
  if (!rect) return D3DERR_INVALIDCALL;
  *rect = state_.scissor;
  return D3D_OK;
}

HRESULT BaseDevice::SetMaterial(const D3DMATERIAL9* material) {
  note("SetMaterial", {});
  if (const HRESULT hr = scripted("SetMaterial"); hr != D3D_OK) return hr;
  if (!material) return D3DERR_INVALIDCALL;
  state_.material = *material;
  stateChanged(Changed::Material, 0);
  return D3D_OK;
}

HRESULT BaseDevice::GetMaterial(D3DMATERIAL9* material) {
  note("GetMaterial", {});
  if (const HRESULT hr = scripted("GetMaterial"); hr != D3D_OK) return hr;
  if (!material) return D3DERR_INVALIDCALL;
  *material = state_.material;
  return D3D_OK;
}

HRESULT BaseDevice::SetLight(DWORD index, const D3DLIGHT9* light) {
  note("SetLight", {index});
  if (const HRESULT hr = scripted("SetLight"); hr != D3D_OK) return hr;
  if (!light || light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL) return D3DERR_INVALIDCALL;
  state_.lights[index] = *light;
  stateChanged(Changed::Light, index);
  return D3D_OK;
}

HRESULT BaseDevice::GetLight(DWORD index, D3DLIGHT9* light) {
  note("GetLight", {index});
  auto it = state_.lights.find(index);
  if (!light || it == state_.lights.end()) return D3DERR_INVALIDCALL;
  *light = it->second;
  return D3D_OK;
}

HRESULT BaseDevice::LightEnable(DWORD index, BOOL enable) {
  note("LightEnable", {index, static_cast<uint64_t>(enable)});
  if (const HRESULT hr = scripted("LightEnable"); hr != D3D_OK) return hr;
  // Enabling a light that was never set makes it the default light, as the runtime does.
  if (!state_.lights.count(index)) state_.lights[index] = defaultLight();
  state_.lightEnabled[index] = enable != 0;
  stateChanged(Changed::Light, index);
  return D3D_OK;
}

HRESULT BaseDevice::GetLightEnable(DWORD index, BOOL* enable) {
  note("GetLightEnable", {index});
  if (!enable || !state_.lights.count(index)) return D3DERR_INVALIDCALL;
  auto it = state_.lightEnabled.find(index);
  *enable = it != state_.lightEnabled.end() && it->second ? TRUE : FALSE;
  return D3D_OK;
}

HRESULT BaseDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  note("SetRenderState", {state, value});
  if (const HRESULT hr = scripted("SetRenderState"); hr != D3D_OK) return hr;
  if (state >= kRenderStateCount) return D3DERR_INVALIDCALL;
  state_.renderStates[state] = value;
  stateChanged(Changed::RenderState, state);
  return D3D_OK;
}

HRESULT BaseDevice::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
  note("GetRenderState", {state});
  if (const HRESULT hr = scripted("GetRenderState"); hr != D3D_OK) return hr;
  if (!value || state >= kRenderStateCount) return D3DERR_INVALIDCALL;
  *value = state_.renderStates[state];
  return D3D_OK;
}

HRESULT BaseDevice::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
  note("SetTexture", {stage, reinterpret_cast<uintptr_t>(texture)});
  if (const HRESULT hr = scripted("SetTexture"); hr != D3D_OK) return hr;
  if (stage >= kMaxTextureStages) return D3DERR_INVALIDCALL;
  if (texture) texture->AddRef();
  safeRelease(state_.textures[stage]);
  state_.textures[stage] = texture;
  stateChanged(Changed::Texture, stage);
  return D3D_OK;
}

HRESULT BaseDevice::GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) {
  note("GetTexture", {stage});
  if (const HRESULT hr = scripted("GetTexture"); hr != D3D_OK) return hr;
  if (!texture || stage >= kMaxTextureStages) return D3DERR_INVALIDCALL;
  *texture = state_.textures[stage];
  if (*texture) (*texture)->AddRef();
  return D3D_OK;
}

HRESULT BaseDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
  note("SetTextureStageState", {stage, type, value});
  if (const HRESULT hr = scripted("SetTextureStageState"); hr != D3D_OK) return hr;
  if (stage >= kMaxTextureStages || type >= kTextureStageStateCount) return D3DERR_INVALIDCALL;
  state_.stageStates[stage][type] = value;
  stateChanged(Changed::StageState, stage);
  return D3D_OK;
}

HRESULT BaseDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
  note("GetTextureStageState", {stage, type});
  if (const HRESULT hr = scripted("GetTextureStageState"); hr != D3D_OK) return hr;
  if (!value || stage >= kMaxTextureStages || type >= kTextureStageStateCount) return D3DERR_INVALIDCALL;
  *value = state_.stageStates[stage][type];
  return D3D_OK;
}

HRESULT BaseDevice::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
  note("SetSamplerState", {sampler, type, value});
  if (const HRESULT hr = scripted("SetSamplerState"); hr != D3D_OK) return hr;
  if (sampler >= kMaxTextureStages || type >= kSamplerStateCount) return D3DERR_INVALIDCALL;
  state_.samplerStates[sampler][type] = value;
  stateChanged(Changed::SamplerState, sampler);
  return D3D_OK;
}

HRESULT BaseDevice::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
  note("GetSamplerState", {sampler, type});
  if (const HRESULT hr = scripted("GetSamplerState"); hr != D3D_OK) return hr;
  if (!value || sampler >= kMaxTextureStages || type >= kSamplerStateCount) return D3DERR_INVALIDCALL;
  *value = state_.samplerStates[sampler][type];
  return D3D_OK;
}

HRESULT BaseDevice::SetFVF(DWORD fvf) {
  note("SetFVF", {fvf});
  if (const HRESULT hr = scripted("SetFVF"); hr != D3D_OK) return hr;
  state_.fvf = fvf;
  stateChanged(Changed::Vertices, 0);
  return D3D_OK;
}

HRESULT BaseDevice::GetFVF(DWORD* fvf) {
  note("GetFVF", {});
  if (!fvf) return D3DERR_INVALIDCALL;
  *fvf = state_.fvf;
  return D3D_OK;
}

HRESULT BaseDevice::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) {
  note("SetStreamSource", {stream, reinterpret_cast<uintptr_t>(buffer), offset, stride});
  if (const HRESULT hr = scripted("SetStreamSource"); hr != D3D_OK) return hr;
  if (stream != 0) return D3DERR_INVALIDCALL;
  if (buffer) buffer->AddRef();
  safeRelease(state_.stream);
  state_.stream = buffer;
  state_.streamOffset = offset;
  state_.streamStride = stride;
  stateChanged(Changed::Vertices, 0);
  return D3D_OK;
}

HRESULT BaseDevice::SetIndices(IDirect3DIndexBuffer9* buffer) {
  note("SetIndices", {reinterpret_cast<uintptr_t>(buffer)});
  if (const HRESULT hr = scripted("SetIndices"); hr != D3D_OK) return hr;
  if (buffer) buffer->AddRef();
  safeRelease(state_.indices);
  state_.indices = buffer;
  stateChanged(Changed::Vertices, 0);
  return D3D_OK;
}
