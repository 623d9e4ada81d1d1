#include <gtest/gtest.h>

#include "platform/d3d9/gl_shader_gen.h"

namespace {

struct BlackArgumentCase {
  const char* what;
  DWORD op, arg0, arg1, arg2;
  DWORD constant, textureFactor;
  DWORD kept;  // the argument left to pass on, 0 when the program still reads the texture
};

TEST(FixedFunctionKey, AStageScaledAddedOrMixedByBlackReadsNoTexture) {
  const DWORD grey = 0xFF404040u;
  const BlackArgumentCase cases[] = {
      {"add the texture by a black constant", D3DTOP_MULTIPLYADD, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTA_CONSTANT,
       0xFF000000u, grey, D3DTA_CURRENT},
      {"the same with the arguments swapped", D3DTOP_MULTIPLYADD, D3DTA_CURRENT, D3DTA_CONSTANT, D3DTA_TEXTURE, 0u,
       grey, D3DTA_CURRENT},
      {"add the texture by a grey constant", D3DTOP_MULTIPLYADD, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTA_CONSTANT, grey, 0u,
       0},
      {"a constant with only blue in it", D3DTOP_MULTIPLYADD, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTA_CONSTANT, 0x00000001u,
       0u, 0},
      {"a complemented black constant is white", D3DTOP_MULTIPLYADD, D3DTA_CURRENT, D3DTA_TEXTURE,
       D3DTA_CONSTANT | D3DTA_COMPLEMENT, 0u, 0u, 0},
      {"mix towards the texture by a black constant", D3DTOP_LERP, D3DTA_CONSTANT, D3DTA_TEXTURE, D3DTA_CURRENT, 0u,
       grey, D3DTA_CURRENT},
      {"mix towards the texture by a grey constant", D3DTOP_LERP, D3DTA_CONSTANT, D3DTA_TEXTURE, D3DTA_CURRENT, grey,
       0u, 0},
      {"the texture times a black factor", D3DTOP_MODULATE, 0, D3DTA_TEXTURE, D3DTA_TFACTOR, grey, 0xFF000000u,
       D3DTA_TFACTOR},
      {"a black constant times the texture, doubled", D3DTOP_MODULATE2X, 0, D3DTA_CONSTANT, D3DTA_TEXTURE, 0u, grey,
       D3DTA_CONSTANT},
      {"the texture times a grey factor", D3DTOP_MODULATE, 0, D3DTA_TEXTURE, D3DTA_TFACTOR, 0u, grey, 0},
      {"subtracting black still reads the texture", D3DTOP_SUBTRACT, 0, D3DTA_TEXTURE, D3DTA_TFACTOR, 0u, 0u, 0},
  };
  for (const BlackArgumentCase& c : cases) {
    SCOPED_TRACE(c.what);
    DeviceState state;
    auto& stage = state.stageStates[0];
    stage[D3DTSS_COLOROP] = c.op;
    stage[D3DTSS_COLORARG0] = c.arg0;
    stage[D3DTSS_COLORARG1] = c.arg1;
    stage[D3DTSS_COLORARG2] = c.arg2;
    stage[D3DTSS_ALPHAOP] = D3DTOP_SELECTARG1;
    stage[D3DTSS_ALPHAARG1] = D3DTA_CURRENT;
    stage[D3DTSS_CONSTANT] = c.constant;
    state.renderStates[D3DRS_TEXTUREFACTOR] = c.textureFactor;
    state.stageStates[1][D3DTSS_COLOROP] = D3DTOP_DISABLE;
    const bool bound[kMaxTextureStages] = {true};
    const FixedFunctionKey key = buildFixedFunctionKey(state, D3DFVF_XYZ | D3DFVF_TEX1, bound, nullptr, 0);
    EXPECT_EQ(key.stages[0].hasTexture == 0, c.kept != 0);
    if (c.kept) {
      EXPECT_EQ(key.stages[0].colorOp, D3DTOP_SELECTARG1);
      EXPECT_EQ(key.stages[0].colorArg1, c.kept);
    }
  }
}

}  // namespace
