#include <gtest/gtest.h>

#include "platform/d3d9/gl_shader_gen.h"

namespace {

struct BlackConstantCase {
  const char* what;
  DWORD op, arg0, arg1, arg2;
  DWORD constant;
  bool samples;  // whether the program still reads the stage's texture
};

TEST(FixedFunctionKey, AStageThatOnlyAddsOrMixesByABlackConstantReadsNoTexture) {
  const BlackConstantCase cases[] = {
      {"add the texture by a black constant", D3DTOP_MULTIPLYADD, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTA_CONSTANT, 0xFF000000u, false},
      {"the same with the arguments swapped", D3DTOP_MULTIPLYADD, D3DTA_CURRENT, D3DTA_CONSTANT, D3DTA_TEXTURE, 0x00000000u, false},
      {"add the texture by a grey constant", D3DTOP_MULTIPLYADD, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTA_CONSTANT, 0xFF404040u, true},
      {"a constant with only blue in it", D3DTOP_MULTIPLYADD, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTA_CONSTANT, 0x00000001u, true},
      {"a complemented black constant is white", D3DTOP_MULTIPLYADD, D3DTA_CURRENT, D3DTA_TEXTURE,
       D3DTA_CONSTANT | D3DTA_COMPLEMENT, 0u, true},
      {"mix towards the texture by a black constant", D3DTOP_LERP, D3DTA_CONSTANT, D3DTA_TEXTURE, D3DTA_CURRENT, 0u, false},
      {"mix towards the texture by a grey constant", D3DTOP_LERP, D3DTA_CONSTANT, D3DTA_TEXTURE, D3DTA_CURRENT, 0x00808080u, true},
      {"modulating by a black constant keeps its texture", D3DTOP_MODULATE, 0, D3DTA_TEXTURE, D3DTA_CONSTANT, 0u, true},
  };
  for (const BlackConstantCase& c : cases) {
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
    state.stageStates[1][D3DTSS_COLOROP] = D3DTOP_DISABLE;
    const bool bound[kMaxTextureStages] = {true};
    const FixedFunctionKey key = buildFixedFunctionKey(state, D3DFVF_XYZ | D3DFVF_TEX1, bound, nullptr, 0);
    EXPECT_EQ(key.stages[0].hasTexture != 0, c.samples);
    if (!c.samples) {
      // What is left passes on the argument the stage would have kept.
      EXPECT_EQ(key.stages[0].colorOp, D3DTOP_SELECTARG1);
      EXPECT_EQ(key.stages[0].colorArg1, D3DTA_CURRENT);
    }
  }
}

}  // namespace
