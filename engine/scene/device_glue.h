#pragma once
// The scene graph's doorway to the render device: the current device, the engine-wide state
// cache and the texture objects, in the few shapes the scene needs them.
#include <string>

#include "engine/scene/matrix.h"
#include "platform/d3d9/d3d9.h"

namespace halcyon {

class Texture;
class SearchPaths;

namespace scenedevice {

// The current device, or null while there is none.
IDirect3DDevice9* device();

// State changes through the engine's state cache; false without a device.
bool setRenderState(D3DRENDERSTATETYPE state, DWORD value);
DWORD getRenderState(D3DRENDERSTATETYPE state);
bool setTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value);
bool setSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value);
DWORD getSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type);
bool setTexture(DWORD stage, IDirect3DBaseTexture9* texture);
bool setTransform(D3DTRANSFORMSTATETYPE state, const Matrix& matrix);
bool setMaterial(const D3DMATERIAL9& material);

// A texture named by a scene file, from the texture manager (found through `paths`), with a
// reference that the caller gives back; null when it cannot be had. `levels` 0 gives the
// whole chain of mip levels.
Texture* acquireTexture(const std::string& fileName, const SearchPaths& paths, unsigned levels = 0);
void releaseTexture(Texture* texture);

// Texture accessors: the device texture (null when not made), whether its format has alpha,
// and its own texture-coordinate transform (false when that is the identity).
IDirect3DBaseTexture9* deviceTexture(const Texture* texture);
bool hasAlpha(const Texture* texture);
bool textureTransform(const Texture* texture, Matrix& out);

}  // namespace scenedevice
}  // namespace halcyon
