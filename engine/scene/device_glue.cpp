#include "engine/scene/device_glue.h"

#include <cstring>

#include "engine/device/state_cache.h"

namespace halcyon::scenedevice {

namespace {
D3DMATRIX ToD3D(const Matrix& m) {
  D3DMATRIX out;
  std::memcpy(out.m, m.m, sizeof out.m);
  return out;
}
}  // namespace

IDirect3DDevice9* Device() { return stateCache().device(); }

bool SetRenderState(D3DRENDERSTATETYPE state, DWORD value) { return stateCache().SetRenderState(state, value); }

DWORD GetRenderState(D3DRENDERSTATETYPE state) {
  DWORD value = 0;
  return stateCache().GetRenderState(state, &value) ? value : 0;
}

bool SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
  return stateCache().SetTextureStageState(stage, type, value);
}

bool SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
  return stateCache().SetSamplerState(sampler, type, value);
}

bool SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) { return stateCache().SetTexture(stage, texture); }

bool SetTransform(D3DTRANSFORMSTATETYPE state, const Matrix& matrix) {
  const D3DMATRIX m = ToD3D(matrix);
  return stateCache().SetTransform(state, &m);
}

bool SetMaterial(const D3DMATERIAL9& material) { return stateCache().SetMaterial(&material); }

// Textures come from the device layer's texture manager.
Texture* AcquireTexture(const std::string&, const SearchPaths&) { return nullptr; }
void ReleaseTexture(Texture*) {}
IDirect3DBaseTexture9* DeviceTexture(const Texture*) { return nullptr; }
bool HasAlpha(const Texture*) { return false; }
bool TextureTransform(const Texture*, Matrix&) { return false; }

}  // namespace halcyon::scenedevice
