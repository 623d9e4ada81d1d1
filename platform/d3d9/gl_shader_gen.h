#pragma once
// Generated shaders for the fixed-function pipeline. A FixedFunctionKey captures every piece
// of device state that changes the shape of the program (as opposed to the values fed in as
// uniforms); equal keys share one compiled program. A stage constant or texture factor that is
// black counts as shape: the stage it scales to nothing samples no texture.
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/d3d9/base_device.h"

struct StageKey {
  uint8_t colorOp, colorArg0, colorArg1, colorArg2;
  uint8_t alphaOp, alphaArg0, alphaArg1, alphaArg2;
  uint8_t resultArg, coordSet, coordMode, transformCount;
  uint8_t projected, hasTexture, pad0, pad1;
};

struct FixedFunctionKey {
  uint32_t fvf;
  uint8_t pretransformed, lighting, localViewer, normalizeNormals;
  uint8_t diffuseSource, ambientSource, specularSource,
      emissiveSource;                                 // 0 material, 1 vertex diffuse, 2 vertex specular
  uint8_t specularEnable, fog, fogFormula, rangeFog;  // fog: 0 off, 1 vertex, 2 table, 3 from specular alpha
  uint8_t alphaFunc, lightCount, pad0, pad1;          // alphaFunc 0: no alpha test
  uint8_t lightTypes[kMaxActiveLights];
  StageKey stages[kMaxTextureStages];  // up to the first disabled colour operation

  FixedFunctionKey() { std::memset(this, 0, sizeof *this); }
  bool operator==(const FixedFunctionKey& other) const { return std::memcmp(this, &other, sizeof *this) == 0; }
};

struct FixedFunctionKeyHash {
  size_t operator()(const FixedFunctionKey& key) const;
};

// Builds the key for the current state and the vertex format the draw reads. `enabledLights` lists up to eight enabled lights in
// index order; `textureBound[s]` says whether stage s has a texture.
FixedFunctionKey buildFixedFunctionKey(const DeviceState& state, DWORD fvf, const bool textureBound[kMaxTextureStages],
                                       const D3DLIGHTTYPE* enabledLights, unsigned lightCount);

struct GeneratedShaders {
  std::string vertex;
  std::string fragment;
};
GeneratedShaders generateFixedFunctionShaders(const FixedFunctionKey& key);

// Attribute locations the generated vertex shaders use.
enum : unsigned {
  kAttribPosition = 0,
  kAttribNormal = 1,
  kAttribDiffuse = 2,
  kAttribSpecular = 3,
  kAttribTexCoord0 = 4,  // sets 0..7 at 4..11
};
