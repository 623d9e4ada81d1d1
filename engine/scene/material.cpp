#include "engine/scene/material.h"

#include <algorithm>
#include <iterator>

#include "engine/scene/device_glue.h"

namespace halcyon {

namespace {

constexpr D3DCOLORVALUE kWhite{1.0f, 1.0f, 1.0f, 1.0f};

// Which of arguments 0, 1, 2 an operation reads.
struct ArgUse {
  bool arg0, arg1, arg2;
};

ArgUse argumentsOf(DWORD op) {
  switch (op) {
    case D3DTOP_DISABLE: return {false, false, false};
    case D3DTOP_SELECTARG1: return {false, true, false};
    case D3DTOP_SELECTARG2: return {false, false, true};
    case D3DTOP_MULTIPLYADD:
    case D3DTOP_LERP: return {true, true, true};
    default: return {false, true, true};
  }
}

bool reads(DWORD op, DWORD a0, DWORD a1, DWORD a2, DWORD source) {
  const ArgUse use = argumentsOf(op);
  return (use.arg0 && (a0 & D3DTA_SELECTMASK) == source) || (use.arg1 && (a1 & D3DTA_SELECTMASK) == source) ||
         (use.arg2 && (a2 & D3DTA_SELECTMASK) == source);
}

// A trilinear stage takes the anisotropy the frame asked for on its sampler, so surfaces seen
// at a glancing angle (the floor, the rug) stay sharp without each material asking for it.
DWORD minificationFilter(DWORD stage, const TextureStage& s) {
  if (s.minFilter != D3DTEXF_LINEAR || s.mipFilter != D3DTEXF_LINEAR) return s.minFilter;
  return scenedevice::getSamplerState(stage, D3DSAMP_MAXANISOTROPY) > 1 ? DWORD{D3DTEXF_ANISOTROPIC} : s.minFilter;
}

// Stage 0's alpha for each alpha use, by its number (see setAlphaUse); an argument the
// operation does not read is left as the stage had it.
struct AlphaUse {
  DWORD op, arg1, arg2;
};
constexpr DWORD kUnread = ~DWORD(0);
constexpr AlphaUse kAlphaUses[] = {
    {D3DTOP_DISABLE, kUnread, kUnread},               // none
    {D3DTOP_SELECTARG1, D3DTA_TFACTOR, kUnread},      // factor
    {D3DTOP_SELECTARG1, D3DTA_TEXTURE, kUnread},      // texture
    {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_TFACTOR},  // texture x factor
    {D3DTOP_SELECTARG1, D3DTA_DIFFUSE, kUnread},      // diffuse
    {D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_TFACTOR},  // diffuse x factor
    {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE},  // diffuse x texture
};

}  // namespace

Material::Material() {
  for (int i = 0; i < kMaxStages; ++i) stages[i].texCoordIndex = DWORD(i);
  stages[0].colorOp = kAutomaticOp;
  stages[0].alphaOp = kAutomaticOp;
  d3dMaterial.Diffuse = kWhite;
  d3dMaterial.Ambient = kWhite;
}

const Material& defaultMaterial() {
  static const Material material;
  return material;
}

bool textureHasAlpha(const Texture* texture) { return texture && scenedevice::hasAlpha(texture); }

void Material::setAlphaUse(int mode) {
  if (mode < 0 || mode >= int(std::size(kAlphaUses))) return;
  const AlphaUse& use = kAlphaUses[mode];
  TextureStage& s = stages[0];
  s.alphaOp = use.op;
  if (use.arg1 != kUnread) s.alphaArg1 = use.arg1;
  if (use.arg2 != kUnread) s.alphaArg2 = use.arg2;
}

namespace {

// A stage whose alpha is a plain copy of a texture without an alpha channel leaves the
// fragment opaque whatever came before it, and a later stage that copies the current alpha
// keeps what the stages before it made: a light map, a flash's light or a base picture
// combined that way is no reason to blend.
bool keepsAlphaOpaque(const TextureStage& s, bool first) {
  const DWORD arg = s.alphaOp == D3DTOP_SELECTARG1   ? s.alphaArg1
                    : s.alphaOp == D3DTOP_SELECTARG2 ? s.alphaArg2
                                                     : ~DWORD(0);
  if (arg == D3DTA_CURRENT) return !first;
  return arg == D3DTA_TEXTURE && s.texture && !textureHasAlpha(s.texture);
}

}  // namespace

bool Material::needsAlpha() const {
  for (int i = 0; i < kMaxStages; ++i) {
    const TextureStage& s = stages[i];
    if (s.alphaOp == kAutomaticOp) {
      if (textureHasAlpha(s.texture)) return true;
      continue;
    }
    if (s.alphaOp == D3DTOP_DISABLE) return false;
    if (keepsAlphaOpaque(s, i == 0)) continue;
    return true;
  }
  return false;
}

bool Material::usesTextureFactor() const {
  for (const TextureStage& s : stages) {
    if (s.colorOp == D3DTOP_DISABLE) break;
    if (s.alphaOp != kAutomaticOp && reads(s.alphaOp, s.alphaArg0, s.alphaArg1, s.alphaArg2, D3DTA_TFACTOR))
      return true;
  }
  return false;
}

bool applyMaterialStates(const Material& m, DWORD fvf) {
  using namespace scenedevice;
  bool ok = true;
  ok &= setRenderState(D3DRS_CULLMODE, m.cullMode);
  ok &= setRenderState(D3DRS_ZFUNC, m.zFunc);
  ok &= setRenderState(D3DRS_ZWRITEENABLE, m.zWrite);
  ok &= setMaterial(m.d3dMaterial);

  const bool needsAlpha = m.needsAlpha();
  if (needsAlpha) {
    ok &= setRenderState(D3DRS_ALPHAREF, 1);
    ok &= setRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    ok &= setRenderState(D3DRS_ALPHATESTENABLE, 1);
  } else {
    ok &= setRenderState(D3DRS_ALPHATESTENABLE, 0);
  }
  if (needsAlpha || m.blendMode != 0) {
    ok &= setRenderState(D3DRS_ALPHABLENDENABLE, 1);
    if (m.blendMode == 0) {
      ok &= setRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
      ok &= setRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    } else if (m.blendMode == 1) {
      ok &= setRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
      ok &= setRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    }
  } else {
    ok &= setRenderState(D3DRS_ALPHABLENDENABLE, 0);
  }
  if (m.usesTextureFactor()) {
    // Opacity outside 0..1 would spill into the colour bytes.
    const float opacity = std::clamp(m.opacity, 0.0f, 1.0f);
    const DWORD alpha = DWORD(opacity * 255.0f);
    ok &= setRenderState(D3DRS_TEXTUREFACTOR, (getRenderState(D3DRS_TEXTUREFACTOR) & 0x00FFFFFFu) | (alpha << 24));
  }
  const bool lighting = m.lit && (fvf & D3DFVF_NORMAL);
  ok &= setRenderState(D3DRS_LIGHTING, lighting ? 1 : 0);
  ok &= setRenderState(D3DRS_COLORVERTEX, lighting ? 0 : 1);

  bool factorUsed = false;
  for (DWORD i = 0; i < DWORD(kMaxStages); ++i) {
    const TextureStage& s = m.stages[i];
    if (s.colorOp == D3DTOP_DISABLE) {
      ok &= setTextureStageState(i, D3DTSS_COLOROP, D3DTOP_DISABLE);
      break;
    }
    const bool hasTexture = s.texture != nullptr;
    const bool autoColor = s.colorOp == kAutomaticOp;
    const bool autoAlpha = s.alphaOp == kAutomaticOp;
    const bool textureRead = hasTexture && (autoColor || autoAlpha ||
                                            reads(s.colorOp, s.colorArg0, s.colorArg1, s.colorArg2, D3DTA_TEXTURE) ||
                                            reads(s.alphaOp, s.alphaArg0, s.alphaArg1, s.alphaArg2, D3DTA_TEXTURE));
    if (textureRead) {
      ok &= setTextureStageState(i, D3DTSS_TEXCOORDINDEX, s.texCoordIndex);
      Matrix transform;
      if (textureTransform(s.texture, transform)) {
        ok &= setTextureStageState(i, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
        ok &= setTransform(D3DTRANSFORMSTATETYPE(D3DTS_TEXTURE0 + i), transform);
      } else {
        ok &= setTextureStageState(i, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
      }
      ok &= setTexture(i, deviceTexture(s.texture));
      ok &= setSamplerState(i, D3DSAMP_ADDRESSU, s.addressU);
      ok &= setSamplerState(i, D3DSAMP_ADDRESSV, s.addressV);
      ok &= setSamplerState(i, D3DSAMP_MINFILTER, minificationFilter(i, s));
      ok &= setSamplerState(i, D3DSAMP_MAGFILTER, s.magFilter);
      ok &= setSamplerState(i, D3DSAMP_MIPFILTER, s.mipFilter);
    } else {
      ok &= setTexture(i, nullptr);
    }

    if (autoColor) {
      if (i == 0) {
        ok &= setTextureStageState(i, D3DTSS_COLORARG1, hasTexture ? D3DTA_TEXTURE : D3DTA_DIFFUSE);
        if (hasTexture && (lighting || (fvf & D3DFVF_DIFFUSE))) {
          ok &= setTextureStageState(i, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
          ok &= setTextureStageState(i, D3DTSS_COLOROP, D3DTOP_MODULATE);
        } else {
          ok &= setTextureStageState(i, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        }
      } else {
        ok &= setTextureStageState(i, D3DTSS_COLORARG1, D3DTA_CURRENT);
        ok &= setTextureStageState(i, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
        ok &= setTextureStageState(i, D3DTSS_COLORARG2, hasTexture ? D3DTA_TEXTURE : D3DTA_DIFFUSE);
      }
    } else {
      const ArgUse use = argumentsOf(s.colorOp);
      ok &= setTextureStageState(i, D3DTSS_COLOROP, s.colorOp);
      if (use.arg0) ok &= setTextureStageState(i, D3DTSS_COLORARG0, s.colorArg0);
      if (use.arg1) ok &= setTextureStageState(i, D3DTSS_COLORARG1, s.colorArg1);
      if (use.arg2) ok &= setTextureStageState(i, D3DTSS_COLORARG2, s.colorArg2);
    }

    if (!autoAlpha) {
      const ArgUse use = argumentsOf(s.alphaOp);
      ok &= setTextureStageState(i, D3DTSS_ALPHAOP, s.alphaOp);
      const DWORD args[3] = {s.alphaArg0, s.alphaArg1, s.alphaArg2};
      const bool used[3] = {use.arg0, use.arg1, use.arg2};
      const D3DTEXTURESTAGESTATETYPE names[3] = {D3DTSS_ALPHAARG0, D3DTSS_ALPHAARG1, D3DTSS_ALPHAARG2};
      for (int a = 0; a < 3; ++a) {
        if (!used[a]) continue;
        ok &= setTextureStageState(i, names[a], args[a]);
        if ((args[a] & D3DTA_SELECTMASK) == D3DTA_TFACTOR) factorUsed = true;
      }
    } else {
      const bool textureAlpha = textureHasAlpha(s.texture);
      const bool factor = !factorUsed && m.opacity != 1.0f;
      if (!textureAlpha && !factor) {
        ok &= setTextureStageState(i, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
      } else if (textureAlpha && factor) {
        ok &= setTextureStageState(i, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        ok &= setTextureStageState(i, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        ok &= setTextureStageState(i, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
        factorUsed = true;
      } else {
        const DWORD source = textureAlpha ? D3DTA_TEXTURE : D3DTA_TFACTOR;
        if (i == 0) {
          ok &= setTextureStageState(i, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
          ok &= setTextureStageState(i, D3DTSS_ALPHAARG1, source);
        } else {
          ok &= setTextureStageState(i, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
          ok &= setTextureStageState(i, D3DTSS_ALPHAARG1, D3DTA_CURRENT);
          ok &= setTextureStageState(i, D3DTSS_ALPHAARG2, source);
        }
        if (factor) factorUsed = true;
      }
    }
  }
  return ok;
}

}  // namespace halcyon
