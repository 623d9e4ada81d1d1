#include "engine/scene/device_glue.h"

#include <cstring>

#include "engine/device/state_cache.h"
#include "engine/device/texture.h"
#include "engine/fs/file_ref.h"

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

DWORD GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type) {
  DWORD value = 0;
  return stateCache().GetSamplerState(sampler, type, &value) ? value : 0;
}

bool SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) { return stateCache().SetTexture(stage, texture); }

bool SetTransform(D3DTRANSFORMSTATETYPE state, const Matrix& matrix) {
  const D3DMATRIX m = ToD3D(matrix);
  return stateCache().SetTransform(state, &m);
}

bool SetMaterial(const D3DMATERIAL9& material) { return stateCache().SetMaterial(&material); }

Texture* AcquireTexture(const std::string& fileName, const SearchPaths& paths) {
  if (fileName.empty()) return nullptr;
  TextureRequest request;
  request.file = FileRef(fileName);
  request.file.sources = Disk | Archive;
  return textureManager().Get(request, &paths);
}

void ReleaseTexture(Texture* texture) {
  if (texture) texture->Release();
}

IDirect3DBaseTexture9* DeviceTexture(const Texture* texture) { return texture ? texture->D3DTexture() : nullptr; }

bool HasAlpha(const Texture* texture) { return texture && texture->HasAlpha(); }

bool TextureTransform(const Texture* texture, Matrix& out) {
  if (!texture || texture->TransformIsIdentity()) return false;
  Matrix m;
  std::memcpy(m.m, texture->Transform().m, sizeof m.m);
  m.Classify();
  out = m;
  return true;
}

}  // namespace halcyon::scenedevice
