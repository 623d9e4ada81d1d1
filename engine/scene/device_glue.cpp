#include "engine/scene/device_glue.h"

#include <cstring>

#include "engine/core/load_checkpoint.h"
#include "engine/device/state_cache.h"
#include "engine/device/texture.h"
#include "engine/fs/file_ref.h"

namespace halcyon::scenedevice {

namespace {
D3DMATRIX toD3D(const Matrix& m) {
  D3DMATRIX out;
  std::memcpy(out.m, m.m, sizeof out.m);
  return out;
}
}  // namespace

IDirect3DDevice9* device() { return stateCache().device(); }

bool setRenderState(D3DRENDERSTATETYPE state, DWORD value) { return stateCache().setRenderState(state, value); }

DWORD getRenderState(D3DRENDERSTATETYPE state) {
  DWORD value = 0;
  return stateCache().getRenderState(state, &value) ? value : 0;
}

bool setTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
  return stateCache().setTextureStageState(stage, type, value);
}

bool setSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
  return stateCache().setSamplerState(sampler, type, value);
}

DWORD getSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type) {
  DWORD value = 0;
  return stateCache().getSamplerState(sampler, type, &value) ? value : 0;
}

bool setTexture(DWORD stage, IDirect3DBaseTexture9* texture) { return stateCache().setTexture(stage, texture); }

bool setTransform(D3DTRANSFORMSTATETYPE state, const Matrix& matrix) {
  const D3DMATRIX m = toD3D(matrix);
  return stateCache().setTransform(state, &m);
}

bool setMaterial(const D3DMATERIAL9& material) { return stateCache().setMaterial(&material); }

Texture* acquireTexture(const std::string& fileName, const SearchPaths& paths, unsigned levels) {
  // The scene's textures are most of its load; a load abandoned for a quit leaves the rest
  // of its materials without a picture, as a file that cannot be read would.
  if (fileName.empty() || !loadGoesOn()) return nullptr;
  TextureRequest request;
  request.file = FileRef(fileName);
  request.file.sources = Disk | Archive;
  if (levels != 0) {
    request.flags |= TextureRequest::Levels;
    request.levels = levels;
  }
  return textureManager().get(request, &paths);
}

void releaseTexture(Texture* texture) {
  if (texture) texture->release();
}

IDirect3DBaseTexture9* deviceTexture(const Texture* texture) { return texture ? texture->d3dTexture() : nullptr; }

bool hasAlpha(const Texture* texture) { return texture && texture->hasAlpha(); }

bool textureTransform(const Texture* texture, Matrix& out) {
  if (!texture || texture->transformIsIdentity()) return false;
  Matrix m;
  std::memcpy(m.m, texture->transform().m, sizeof m.m);
  m.classify();
  out = m;
  return true;
}

}  // namespace halcyon::scenedevice
