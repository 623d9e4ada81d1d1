#pragma once
// How a mesh is drawn: eight texture stages with their colour and alpha operations, texture,
// coordinates, addressing and filters, then blending, depth, culling, opacity, lighting and
// the device material colours. Materials are plain values, copied whole.
#include <cstdint>

#include "platform/d3d9/d3d9types.h"

namespace halcyon {

class Texture;

// A colour or alpha operation chosen per draw from what the stage has (texture, alpha).
inline constexpr DWORD kAutomaticOp = 100;
inline constexpr int kMaxStages = 8;

struct TextureStage {
  DWORD colorOp = D3DTOP_DISABLE;
  DWORD alphaOp = D3DTOP_DISABLE;
  DWORD colorArg0 = D3DTA_DIFFUSE, colorArg1 = D3DTA_TEXTURE, colorArg2 = D3DTA_DIFFUSE;
  DWORD alphaArg0 = D3DTA_DIFFUSE, alphaArg1 = D3DTA_TEXTURE, alphaArg2 = D3DTA_DIFFUSE;
  Texture* texture = nullptr;  // held by the texture manager
  DWORD texCoordIndex = 0;
  DWORD addressU = D3DTADDRESS_WRAP, addressV = D3DTADDRESS_WRAP;
  DWORD minFilter = D3DTEXF_LINEAR, magFilter = D3DTEXF_LINEAR, mipFilter = D3DTEXF_LINEAR;
};

struct Material {
  // The engine's default material: stage 0 automatic, the rest disabled, opaque, lit.
  Material();

  TextureStage stages[kMaxStages];
  DWORD blendMode = 0;  // 0 source alpha over, 1 additive
  DWORD zFunc = D3DCMP_LESSEQUAL;
  DWORD zWrite = 1;
  DWORD cullMode = D3DCULL_CCW;
  float opacity = 1.0f;
  DWORD lit = 1;
  D3DMATERIAL9 d3dMaterial{};

  // Stage 0's alpha source: 0 none, 1 factor, 2 texture, 3 texture x factor, 4 diffuse,
  // 5 diffuse x factor, 6 diffuse x texture. Other values leave the stage as it is.
  void setAlphaUse(int mode);
  bool needsAlpha() const;
  bool usesTextureFactor() const;
};

const Material& defaultMaterial();

// Whether a texture carries alpha (none counts as without).
bool textureHasAlpha(const Texture* texture);

}  // namespace halcyon

namespace halcyon {
// Turns a material into device state through the state cache for a vertex format `fvf`.
// False when some state could not be set (no device).
bool applyMaterialStates(const Material& material, DWORD fvf);
}  // namespace halcyon
