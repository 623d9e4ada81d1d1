#include "engine/scene/material.h"

#include <gtest/gtest.h>

#include "engine/device/state_cache.h"
#include "tests/engine/scene/recording_fixture.h"

namespace {

using halcyon::Material;

TEST(Material, AlphaUseModesSetStageZeroAsTheTableSays) {
  struct Row {
    int mode;
    DWORD op, arg1, arg2;
  } rows[] = {{1, D3DTOP_SELECTARG1, D3DTA_TFACTOR, 0},           {2, D3DTOP_SELECTARG1, D3DTA_TEXTURE, 0},
              {3, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_TFACTOR}, {4, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, 0},
              {5, D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_TFACTOR}, {6, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE}};
  for (const Row& r : rows) {
    Material m;
    m.setAlphaUse(r.mode);
    EXPECT_EQ(m.stages[0].alphaOp, r.op) << r.mode;
    EXPECT_EQ(m.stages[0].alphaArg1, r.arg1) << r.mode;
    if (r.arg2) {
      EXPECT_EQ(m.stages[0].alphaArg2, r.arg2) << r.mode;
    }
    EXPECT_TRUE(m.needsAlpha()) << r.mode;
    EXPECT_EQ(m.usesTextureFactor(), r.arg1 == D3DTA_TFACTOR || r.arg2 == D3DTA_TFACTOR) << r.mode;
  }
  Material none;
  none.setAlphaUse(0);
  EXPECT_EQ(none.stages[0].alphaOp, DWORD(D3DTOP_DISABLE));
  EXPECT_FALSE(none.needsAlpha());
}

TEST(Material, DefaultIsAutomaticOpaqueLitAndAlphaNeedsStopAtADisabledStage) {
  const Material& m = halcyon::defaultMaterial();
  EXPECT_EQ(m.stages[0].colorOp, halcyon::kAutomaticOp);
  EXPECT_EQ(m.stages[1].colorOp, DWORD(D3DTOP_DISABLE));
  EXPECT_EQ(m.stages[5].texCoordIndex, 5u);
  EXPECT_EQ(m.cullMode, DWORD(D3DCULL_CCW));
  EXPECT_EQ(m.d3dMaterial.Diffuse.a, 1.0f);
  EXPECT_EQ(m.d3dMaterial.Specular.r, 0.0f);
  EXPECT_FALSE(m.needsAlpha());  // automatic alpha without a texture goes on to the next stage
  Material later;
  later.stages[1].alphaOp = D3DTOP_SELECTARG1;  // stage 1 explicit after an automatic stage 0
  EXPECT_TRUE(later.needsAlpha());
  later.stages[0].alphaOp = D3DTOP_DISABLE;  // an explicit DISABLE ends the search
  EXPECT_FALSE(later.needsAlpha());

  // The factor counts only in stages before the first disabled colour operation.
  Material factor;
  factor.stages[2].alphaOp = D3DTOP_SELECTARG1;
  factor.stages[2].alphaArg1 = D3DTA_TFACTOR;
  EXPECT_FALSE(factor.usesTextureFactor());
  factor.stages[1].colorOp = D3DTOP_MODULATE;
  factor.stages[2].colorOp = D3DTOP_MODULATE;
  EXPECT_TRUE(factor.usesTextureFactor());
}

class ApplyMaterial : public scenetest::RecordingScene {
 protected:
  DWORD stageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type) {
    DWORD v = 0;
    device_->GetTextureStageState(stage, type, &v);
    return v;
  }
  DWORD renderState(D3DRENDERSTATETYPE s) {
    DWORD v = 0;
    device_->GetRenderState(s, &v);
    return v;
  }
};

TEST_F(ApplyMaterial, OpaqueLitMaterialWithoutTextureSetsTheBaseStates) {
  ASSERT_TRUE(halcyon::applyMaterialStates(halcyon::defaultMaterial(), 0x312));
  EXPECT_EQ(renderState(D3DRS_CULLMODE), DWORD(D3DCULL_CCW));
  EXPECT_EQ(renderState(D3DRS_ZFUNC), DWORD(D3DCMP_LESSEQUAL));
  EXPECT_EQ(renderState(D3DRS_ZWRITEENABLE), 1u);
  EXPECT_EQ(renderState(D3DRS_ALPHATESTENABLE), 0u);
  EXPECT_EQ(renderState(D3DRS_ALPHABLENDENABLE), 0u);
  EXPECT_EQ(renderState(D3DRS_LIGHTING), 1u);
  EXPECT_EQ(renderState(D3DRS_COLORVERTEX), 0u);
  EXPECT_EQ(stageState(0, D3DTSS_COLORARG1), D3DTA_DIFFUSE);
  EXPECT_EQ(stageState(0, D3DTSS_COLOROP), DWORD(D3DTOP_SELECTARG1));
  EXPECT_EQ(stageState(0, D3DTSS_ALPHAOP), DWORD(D3DTOP_DISABLE));  // opacity exactly 1: no alpha
  EXPECT_EQ(stageState(1, D3DTSS_COLOROP), DWORD(D3DTOP_DISABLE));
  EXPECT_EQ(device_->count("SetMaterial"), 1u);

  // Without normals the material cannot be lit.
  ASSERT_TRUE(halcyon::applyMaterialStates(halcyon::defaultMaterial(), D3DFVF_XYZ | D3DFVF_DIFFUSE));
  EXPECT_EQ(renderState(D3DRS_LIGHTING), 0u);
  EXPECT_EQ(renderState(D3DRS_COLORVERTEX), 1u);

  // The same material again reaches the device not at all.
  device_->clearCalls();
  ASSERT_TRUE(halcyon::applyMaterialStates(halcyon::defaultMaterial(), D3DFVF_XYZ | D3DFVF_DIFFUSE));
  EXPECT_EQ(device_->count("SetRenderState") + device_->count("SetTextureStageState"), 0u);
}

TEST_F(ApplyMaterial, AdditiveBlendOnOpaqueAndFactorAlphaKeepsTheFactorColour) {
  Material additive;
  additive.blendMode = 1;
  ASSERT_TRUE(halcyon::applyMaterialStates(additive, 0x312));
  EXPECT_EQ(renderState(D3DRS_ALPHABLENDENABLE), 1u);
  EXPECT_EQ(renderState(D3DRS_SRCBLEND), DWORD(D3DBLEND_SRCALPHA));
  EXPECT_EQ(renderState(D3DRS_DESTBLEND), DWORD(D3DBLEND_ONE));
  EXPECT_EQ(renderState(D3DRS_ALPHATESTENABLE), 0u);

  halcyon::stateCache().setRenderState(D3DRS_TEXTUREFACTOR, 0x00404040);
  Material glass;
  glass.opacity = 0.5f;
  glass.setAlphaUse(1);
  ASSERT_TRUE(halcyon::applyMaterialStates(glass, 0x312));
  EXPECT_EQ(renderState(D3DRS_TEXTUREFACTOR), 0x7F404040u);
  EXPECT_EQ(renderState(D3DRS_ALPHATESTENABLE), 1u);
  EXPECT_EQ(renderState(D3DRS_ALPHAREF), 1u);
  EXPECT_EQ(renderState(D3DRS_ALPHAFUNC), DWORD(D3DCMP_GREATEREQUAL));
  EXPECT_EQ(renderState(D3DRS_SRCBLEND), DWORD(D3DBLEND_SRCALPHA));
  EXPECT_EQ(renderState(D3DRS_DESTBLEND), DWORD(D3DBLEND_INVSRCALPHA));
  EXPECT_EQ(stageState(0, D3DTSS_ALPHAOP), DWORD(D3DTOP_SELECTARG1));
  EXPECT_EQ(stageState(0, D3DTSS_ALPHAARG1), D3DTA_TFACTOR);

  // An opacity above 1 must not spill into the colour bytes.
  glass.opacity = 3.0f;
  ASSERT_TRUE(halcyon::applyMaterialStates(glass, 0x312));
  EXPECT_EQ(renderState(D3DRS_TEXTUREFACTOR), 0xFF404040u);
}

TEST_F(ApplyMaterial, AutomaticStagesAfterTheFirstModulateTwiceAndAutomaticAlphaTakesTheFactorOnce) {
  Material m;
  m.opacity = 0.25f;
  m.stages[1].colorOp = halcyon::kAutomaticOp;
  m.stages[1].alphaOp = halcyon::kAutomaticOp;
  ASSERT_TRUE(halcyon::applyMaterialStates(m, 0x312));
  EXPECT_EQ(stageState(1, D3DTSS_COLOROP), DWORD(D3DTOP_MODULATE2X));
  EXPECT_EQ(stageState(1, D3DTSS_COLORARG1), D3DTA_CURRENT);
  EXPECT_EQ(stageState(1, D3DTSS_COLORARG2), D3DTA_DIFFUSE);
  // Stage 0 takes the factor; stage 1 finds it used and has no texture alpha: no alpha there.
  EXPECT_EQ(stageState(0, D3DTSS_ALPHAOP), DWORD(D3DTOP_SELECTARG1));
  EXPECT_EQ(stageState(0, D3DTSS_ALPHAARG1), D3DTA_TFACTOR);
  EXPECT_EQ(stageState(1, D3DTSS_ALPHAOP), DWORD(D3DTOP_DISABLE));
  EXPECT_EQ(stageState(2, D3DTSS_COLOROP), DWORD(D3DTOP_DISABLE));
}

TEST_F(ApplyMaterial, TrilinearStagesTakeTheAnisotropyTheFrameOffers) {
  halcyon::TextureRequest blank;
  blank.flags = halcyon::TextureRequest::Size;
  blank.width = blank.height = 8;
  halcyon::Texture* texture = halcyon::textureManager().get(blank);
  ASSERT_NE(texture, nullptr);
  Material m;
  m.stages[0].texture = texture;
  m.stages[1] = m.stages[0];
  m.stages[1].colorOp = halcyon::kAutomaticOp;
  m.stages[1].mipFilter = D3DTEXF_POINT;
  const auto minFilter = [&](DWORD stage) {
    DWORD v = 0;
    device_->GetSamplerState(stage, D3DSAMP_MINFILTER, &v);
    return v;
  };
  ASSERT_TRUE(halcyon::applyMaterialStates(m, 0x312));
  EXPECT_EQ(minFilter(0), DWORD(D3DTEXF_LINEAR)) << "nothing offered";
  for (DWORD stage : {0u, 1u}) halcyon::stateCache().setSamplerState(stage, D3DSAMP_MAXANISOTROPY, 8);
  ASSERT_TRUE(halcyon::applyMaterialStates(m, 0x312));
  EXPECT_EQ(minFilter(0), DWORD(D3DTEXF_ANISOTROPIC));
  EXPECT_EQ(minFilter(1), DWORD(D3DTEXF_LINEAR)) << "a stage that picks one level keeps its own filter";
  texture->release();
}

TEST(ApplyMaterialWithoutDevice, ReportsFailure) {
  halcyon::stateCache().setDevice(nullptr);
  halcyon::stateCache().invalidate();
  EXPECT_FALSE(halcyon::applyMaterialStates(halcyon::defaultMaterial(), 0x312));
}

}  // namespace
