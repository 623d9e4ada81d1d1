// The rest of the fixed-function pipeline on real pixels: texture-coordinate transforms and
// generation, alpha test, depth test, linear fog and transformed geometry.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "tests/platform/d3d9/gl_fixture.h"

namespace {

struct TexVertex {
  float x, y, z, rhw;
  D3DCOLOR c;
  float u, v;
};

class PipelinePixels : public GLDeviceFixture {
 protected:
  void SetUp() override {
    GLDeviceFixture::SetUp();
    if (HasFatalFailure()) return;
    device_->SetRenderState(D3DRS_ZENABLE, FALSE);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  }
  // A 4x1 texture of four colours, point-sampled.
  IDirect3DTexture9* stripes() {
    IDirect3DTexture9* t = nullptr;
    EXPECT_EQ(device_->CreateTexture(4, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    t->LockRect(0, &locked, nullptr, 0);
    const D3DCOLOR c[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    std::memcpy(locked.pBits, c, sizeof c);
    t->UnlockRect(0);
    return t;
  }
  void fullQuad(D3DCOLOR colour, float z = 0.5f, float u0 = 0, float u1 = 1) {
    const float s = static_cast<float>(kSize);
    const TexVertex quad[4] = {{0, 0, z, 1, colour, u0, 0},
                               {s, 0, z, 1, colour, u1, 0},
                               {0, s, z, 1, colour, u0, 1},
                               {s, s, z, 1, colour, u1, 1}};
    device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(TexVertex)), D3D_OK);
  }
};

TEST_F(PipelinePixels, TextureTransformShiftsCoordinates) {
  IDirect3DTexture9* t = stripes();
  device_->SetTexture(0, t);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  // Row 2 of the matrix translates two-component coordinates: u + 0.25 moves every stripe
  // one to the left.
  D3DMATRIX m = identityMatrix();
  m.m[2][0] = 0.25f;
  device_->SetTransform(D3DTS_TEXTURE0, &m);
  device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
  fullQuad(0xFFFFFFFF);
  EXPECT_EQ(pixel(8, 32) & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(pixel(40, 32) & 0xFFFFFF, 0xFFFFFFu);
  device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  fullQuad(0xFFFFFFFF);
  EXPECT_EQ(pixel(8, 32) & 0xFFFFFF, 0xFF0000u) << "without the flag the matrix is not applied";
  t->Release();
}

TEST_F(PipelinePixels, ALightAddedOrScaledByBlackLeavesTheOtherArgument) {
  // The stage adds constant x texture to the diffuse colour; between lightning flashes its
  // constant is black and its program reads no texture, which must not change the picture.
  IDirect3DTexture9* t = stripes();
  device_->SetTexture(0, t);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MULTIPLYADD);
  device_->SetTextureStageState(0, D3DTSS_COLORARG0, D3DTA_DIFFUSE);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_CONSTANT);
  const D3DCOLOR diffuse = 0xFF204060;
  for (D3DCOLOR constant : {0xFF000000u, 0xFF808080u, 0x00000000u}) {
    device_->SetTextureStageState(0, D3DTSS_CONSTANT, constant);
    fullQuad(diffuse);
    const int lit = static_cast<int>(constant & 0xFF);
    // The first stripe is red: the constant's share of it lands in the red channel only.
    const D3DCOLOR want = D3DCOLOR_XRGB(std::min(255, 0x20 + lit), 0x40, 0x60);
    EXPECT_LE(channelDistance(pixel(8, 32), want, false), 2) << std::hex << constant << " " << pixel(8, 32);
  }
  // A texture scaled by the texture factor is black while the factor is, and itself after.
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
  for (D3DCOLOR factor : {0xFF000000u, 0xFFFFFFFFu}) {
    device_->SetRenderState(D3DRS_TEXTUREFACTOR, factor);
    fullQuad(diffuse);
    EXPECT_EQ(pixel(8, 32) & 0xFFFFFF, factor & 0xFF0000) << std::hex << factor;
  }
  t->Release();
}

TEST_F(PipelinePixels, StageReadsTheCoordinateSetItNames) {
  IDirect3DTexture9* t = stripes();
  device_->SetTexture(1, t);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device_->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
  struct V {
    float x, y, z, rhw;
    float u0, v0, u1, v1;
  };
  const float s = static_cast<float>(kSize);
  const V quad[4] = {{0, 0, 0.5f, 1, 0, 0, 0.75f, 0},
                     {s, 0, 0.5f, 1, 0, 0, 0.75f, 0},
                     {0, s, 0.5f, 1, 0, 0, 0.75f, 1},
                     {s, s, 0.5f, 1, 0, 0, 0.75f, 1}};
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX2);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V)), D3D_OK);
  EXPECT_EQ(pixel(32, 32) & 0xFFFFFF, 0xFFFFFFu) << "stage 1 reads set 1 (u = 0.75)";
  // The scene's meshes name three sets and store two: the third is dropped, the others stay.
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX3);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V)), D3D_OK);
  EXPECT_EQ(pixel(32, 32) & 0xFFFFFF, 0xFFFFFFu);
  t->Release();
}

TEST_F(PipelinePixels, AlphaTestDiscardsBelowTheReference) {
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
  device_->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
  device_->SetRenderState(D3DRS_ALPHAREF, 1);
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1, 0);
  fullQuad(0x00FF0000);  // alpha 0: discarded
  EXPECT_EQ(pixel(32, 32) & 0xFFFFFF, 0u);
  fullQuad(0x01FF0000);  // alpha 1: kept
  EXPECT_EQ(pixel(32, 32) & 0xFFFFFF, 0xFF0000u);
}

TEST_F(PipelinePixels, DepthTestKeepsTheNearerSurface) {
  device_->SetRenderState(D3DRS_ZENABLE, TRUE);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1, 0);
  fullQuad(0xFF00FF00, 0.3f);
  fullQuad(0xFFFF0000, 0.6f);
  EXPECT_EQ(pixel(32, 32) & 0xFFFFFF, 0x00FF00u);
  device_->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  fullQuad(0xFF0000FF, 0.1f);
  fullQuad(0xFFFFFF00, 0.2f);
  EXPECT_EQ(pixel(32, 32) & 0xFFFFFF, 0xFFFF00u) << "the nearer quad wrote no depth";
  device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.0f, 0);
  fullQuad(0xFFFFFFFF, 0.05f);
  EXPECT_EQ(pixel(32, 32) & 0xFFFFFF, 0xFFFF00u) << "depth cleared to 0 hides everything";
}

TEST_F(PipelinePixels, LinearVertexFogAndTransformedGeometry) {
  // Transformed points: world moves them along z; fog goes linearly from 10 to 30.
  D3DMATRIX world = identityMatrix();
  world.m[3][2] = 20.0f;
  device_->SetTransform(D3DTS_WORLD, &world);
  D3DMATRIX projection = identityMatrix();
  projection.m[2][2] = 1.0f / 100.0f;  // z 0..100 into the depth range
  device_->SetTransform(D3DTS_PROJECTION, &projection);
  device_->SetRenderState(D3DRS_FOGENABLE, TRUE);
  device_->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
  device_->SetRenderState(D3DRS_FOGCOLOR, 0xFF0000FF);
  device_->SetRenderState(D3DRS_FOGSTART, floatToDword(10.0f));
  device_->SetRenderState(D3DRS_FOGEND, floatToDword(30.0f));
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  struct P {
    float x, y, z;
    D3DCOLOR c;
  };
  // Pixel (32, 16): x = 0, y = 0.5 in clip space.
  const P point = {0.0f, 0.5f, 0.0f, 0xFFFF0000};
  device_->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &point, sizeof(P)), D3D_OK);
  // Eye depth 20: fog factor (30 - 20) / (30 - 10) = 0.5, halfway between red and blue.
  EXPECT_LE(channelDistance(pixel(32, 16), 0xFF800080, false), 2);
}

TEST_F(PipelinePixels, SphereMapReadsAQuarterByTheNormalsTilt) {
  IDirect3DTexture9* t = quadrantTexture();
  ASSERT_NE(t, nullptr);
  device_->SetTexture(0, t);
  device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device_->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_SPHEREMAP);
  struct P {
    float x, y, z, nx, ny, nz;
  };
  // Normals tilted up-left and down-right of the view direction land in opposite quarters.
  const P points[2] = {{-0.5f, 0.5f, 0.5f, -0.3f, 0.3f, -0.9f}, {0.5f, -0.5f, 0.5f, 0.3f, -0.3f, -0.9f}};
  device_->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_POINTLIST, 2, points, sizeof(P)), D3D_OK);
  const D3DCOLOR upLeft = pixel(16, 16) & 0xFFFFFF, downRight = pixel(48, 48) & 0xFFFFFF;
  EXPECT_NE(upLeft, 0u);
  EXPECT_NE(downRight, 0u);
  EXPECT_NE(upLeft, downRight);
  t->Release();
}

}  // namespace
