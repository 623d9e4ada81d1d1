#include <gtest/gtest.h>

#include "platform/d3d9/recording.h"
#include "tests/platform/d3d9/present_parameters.h"

namespace {

D3DPRESENT_PARAMETERS windowedParams(UINT w = 320, UINT h = 240) {
  return windowedPresentParameters(nullptr, w, h, D3DFMT_X8R8G8B8);
}

class RecordingDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    d3d_ = new RecordingDirect3D9();
    D3DPRESENT_PARAMETERS p = windowedParams();
    IDirect3DDevice9* made = nullptr;
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &made), D3D_OK);
    device_ = static_cast<RecordingDevice*>(made);
  }
  void TearDown() override {
    safeRelease(device_);
    safeRelease(d3d_);
  }
  RecordingDirect3D9* d3d_ = nullptr;
  RecordingDevice* device_ = nullptr;
};

TEST_F(RecordingDeviceTest, FreshDeviceHasTheRuntimeDefaults) {
  DWORD v = 0;
  const std::pair<D3DRENDERSTATETYPE, DWORD> expected[] = {{D3DRS_ZENABLE, D3DZB_TRUE},
                                                           {D3DRS_CULLMODE, D3DCULL_CCW},
                                                           {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
                                                           {D3DRS_LIGHTING, TRUE},
                                                           {D3DRS_TEXTUREFACTOR, 0xFFFFFFFFu},
                                                           {D3DRS_SRCBLEND, D3DBLEND_ONE},
                                                           {D3DRS_DESTBLEND, D3DBLEND_ZERO},
                                                           {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
                                                           {D3DRS_COLORVERTEX, TRUE},
                                                           {D3DRS_FOGEND, floatToDword(1.0f)},
                                                           {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
                                                           {D3DRS_AMBIENT, 0}};
  for (auto [state, value] : expected) {
    ASSERT_EQ(device_->GetRenderState(state, &v), D3D_OK);
    EXPECT_EQ(v, value) << "render state " << state;
  }
  device_->GetTextureStageState(0, D3DTSS_COLOROP, &v);
  EXPECT_EQ(v, static_cast<DWORD>(D3DTOP_MODULATE));
  device_->GetTextureStageState(1, D3DTSS_COLOROP, &v);
  EXPECT_EQ(v, static_cast<DWORD>(D3DTOP_DISABLE));
  device_->GetTextureStageState(3, D3DTSS_TEXCOORDINDEX, &v);
  EXPECT_EQ(v, 3u);
  device_->GetSamplerState(2, D3DSAMP_MINFILTER, &v);
  EXPECT_EQ(v, static_cast<DWORD>(D3DTEXF_POINT));
  D3DVIEWPORT9 vp{};
  device_->GetViewport(&vp);
  EXPECT_EQ(vp.Width, 320u);
  EXPECT_EQ(vp.Height, 240u);
}

TEST_F(RecordingDeviceTest, RecordsEveryCallWithArguments) {
  device_->SetRenderState(D3DRS_ZENABLE, FALSE);
  device_->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
  DWORD v;
  device_->GetRenderState(D3DRS_ZENABLE, &v);
  ASSERT_EQ(device_->calls().size(), 3u);
  EXPECT_EQ(device_->calls()[0].name, "SetRenderState");
  EXPECT_EQ(device_->calls()[0].args, (std::vector<uint64_t>{D3DRS_ZENABLE, FALSE}));
  EXPECT_EQ(device_->calls()[1].args, (std::vector<uint64_t>{1, D3DTSS_COLOROP, D3DTOP_ADD}));
  EXPECT_EQ(device_->countRenderState(D3DRS_ZENABLE), 1u);
  EXPECT_EQ(device_->count("GetRenderState"), 1u);
}

TEST_F(RecordingDeviceTest, ScriptedFailuresAnswerTheGivenCodeForTheGivenCount) {
  device_->failCall("BeginScene", D3DERR_INVALIDCALL, 1);
  EXPECT_EQ(device_->BeginScene(), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->BeginScene(), D3D_OK);
  EXPECT_EQ(device_->BeginScene(), D3DERR_INVALIDCALL) << "a scene cannot begin twice";
  EXPECT_EQ(device_->EndScene(), D3D_OK);
  device_->failCall("SetRenderState", E_FAIL);
  EXPECT_EQ(device_->SetRenderState(D3DRS_ZENABLE, FALSE), E_FAIL);
  EXPECT_EQ(device_->SetRenderState(D3DRS_ZENABLE, FALSE), E_FAIL);
  DWORD v;
  device_->GetRenderState(D3DRS_ZENABLE, &v);
  EXPECT_EQ(v, static_cast<DWORD>(D3DZB_TRUE)) << "a failed call changes nothing";
}

TEST_F(RecordingDeviceTest, SimulatedLossGoesLostThenNotResetUntilReset) {
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  device_->simulateLoss(2);
  EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICELOST);
  D3DPRESENT_PARAMETERS p = windowedParams(400, 300);
  EXPECT_EQ(device_->Reset(&p), D3DERR_DEVICELOST) << "no reset while the device is still lost";
  EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICELOST);
  EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  ASSERT_EQ(device_->Reset(&p), D3D_OK);
  EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
  DWORD v;
  device_->GetRenderState(D3DRS_LIGHTING, &v);
  EXPECT_EQ(v, static_cast<DWORD>(TRUE)) << "Reset returns every state to its default";
  D3DVIEWPORT9 vp{};
  device_->GetViewport(&vp);
  EXPECT_EQ(vp.Width, 400u);
  const D3DSURFACE_DESC desc = backBufferDesc(device_);
  EXPECT_EQ(desc.Width, 400u);
  EXPECT_EQ(desc.Height, 300u);
}

TEST_F(RecordingDeviceTest, ScissorRectCoversTheBackBufferUntilSetAndAgainAfterReset) {
  RECT r{};
  ASSERT_EQ(device_->GetScissorRect(&r), D3D_OK);
  EXPECT_EQ(r.right, 320);
  EXPECT_EQ(r.bottom, 240);
  const RECT inverted{10, 10, 5, 20}, negative{-1, 0, 5, 5}, inner{10, 20, 30, 40};
  EXPECT_EQ(device_->SetScissorRect(nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetScissorRect(&inverted), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetScissorRect(&negative), D3DERR_INVALIDCALL);
  ASSERT_EQ(device_->SetScissorRect(&inner), D3D_OK);
  device_->GetScissorRect(&r);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.bottom, 40);
  D3DPRESENT_PARAMETERS p = windowedParams(400, 300);
  ASSERT_EQ(device_->Reset(&p), D3D_OK);
  device_->GetScissorRect(&r);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right, 400);
  EXPECT_EQ(r.bottom, 300);
}

TEST_F(RecordingDeviceTest, DrawSnapshotsStateAndVertices) {
  struct V {
    float x, y, z, rhw;
    D3DCOLOR c;
  };
  const V quad[4] = {{0, 0, 0.1f, 1, 0x11223344}, {10, 0, 0.1f, 1, 0}, {0, 10, 0.1f, 1, 0}, {10, 10, 0.1f, 1, 0}};
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0x80000000u);
  ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V)), D3D_OK);
  device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0);
  ASSERT_EQ(device_->draws().size(), 1u);
  const RecordedDraw& d = device_->draws()[0];
  EXPECT_EQ(d.renderStates[D3DRS_TEXTUREFACTOR], 0x80000000u);
  EXPECT_EQ(d.vertexCount(), 4u);
  EXPECT_EQ(d.diffuse(0), 0x11223344u);
  EXPECT_FLOAT_EQ(d.position(3).x, 10.0f);
}

TEST_F(RecordingDeviceTest, IndexedDrawRejectsIndicesBeyondTheVertexBuffer) {
  IDirect3DVertexBuffer9* vb = nullptr;
  IDirect3DIndexBuffer9* ib = nullptr;
  ASSERT_EQ(device_->CreateVertexBuffer(3 * 12, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
  ASSERT_EQ(device_->CreateIndexBuffer(3 * 2, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
  void* data = nullptr;
  ASSERT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
  const uint16_t indices[3] = {0, 1, 3};
  std::memcpy(data, indices, sizeof indices);
  ib->Unlock();
  device_->SetFVF(D3DFVF_XYZ);
  device_->SetStreamSource(0, vb, 0, 12);
  device_->SetIndices(ib);
  EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 1, 1), D3DERR_INVALIDCALL)
      << "reads past the index buffer";
  EXPECT_TRUE(device_->draws().empty());
  device_->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL)
      << "a 12-byte stride cannot hold position and normal";
  device_->SetFVF(D3DFVF_XYZ | D3DFVF_TEX2);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK) << "coordinate sets past the stride are dropped";
  device_->SetFVF(0);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL) << "no position at all";
  vb->Release();
  ib->Release();
}

TEST_F(RecordingDeviceTest, TextureSlotsHoldReferences) {
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
  EXPECT_EQ(device_->liveTextures(), 1);
  device_->SetTexture(0, texture);
  texture->Release();
  EXPECT_EQ(device_->liveTextures(), 1) << "the stage keeps the texture alive";
  device_->SetTexture(0, nullptr);
  EXPECT_EQ(device_->liveTextures(), 0);
}

TEST(RecordingDirect3D, AnswersEnumerationFromTheScript) {
  ScriptedAdapter a = ScriptedAdapter::standard();
  a.multisample = {{D3DMULTISAMPLE_NONE, 1}, {D3DMULTISAMPLE_4_SAMPLES, 3}};
  auto* d3d = new RecordingDirect3D9({a});
  EXPECT_EQ(d3d->GetAdapterCount(), 1u);
  EXPECT_EQ(d3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8), 6u);
  EXPECT_EQ(d3d->GetAdapterModeCount(0, D3DFMT_A2R10G10B10), 0u);
  D3DDISPLAYMODE m{};
  EXPECT_EQ(d3d->EnumAdapterModes(0, D3DFMT_R5G6B5, 5, &m), D3D_OK);
  EXPECT_EQ(m.Format, D3DFMT_R5G6B5);
  EXPECT_EQ(d3d->EnumAdapterModes(0, D3DFMT_R5G6B5, 6, &m), D3DERR_INVALIDCALL);
  EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, FALSE), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, TRUE), D3D_OK);
  EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, FALSE), D3DERR_NOTAVAILABLE);
  DWORD q = 0;
  EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, FALSE, D3DMULTISAMPLE_4_SAMPLES, &q),
            D3D_OK);
  EXPECT_EQ(q, 3u);

  D3DPRESENT_PARAMETERS p = windowedParams();
  p.MultiSampleType = D3DMULTISAMPLE_2_SAMPLES;
  IDirect3DDevice9* device = nullptr;
  EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0x40, &p, &device), D3DERR_NOTAVAILABLE)
      << "an unsupported multisample type fails creation";
  EXPECT_EQ(device, nullptr);
  p.MultiSampleType = D3DMULTISAMPLE_NONE;
  d3d->failCreateDevice(1);
  EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0x40, &p, &device), D3DERR_NOTAVAILABLE);
  ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0x40, &p, &device), D3D_OK);
  EXPECT_EQ(d3d->lastDevice(), device);
  EXPECT_EQ(d3d->lastBehaviourFlags(), 0x40u);
  device->Release();
  d3d->Release();
}

TEST(VertexFormats, SizesFollowTheFormatBits) {
  EXPECT_EQ(fvfVertexSize(D3DFVF_XYZ), 12u);
  EXPECT_EQ(fvfVertexSize(D3DFVF_XYZRHW | D3DFVF_DIFFUSE), 20u);
  EXPECT_EQ(fvfVertexSize(0x312), 12u + 12u + 3 * 8u) << "position, normal and three coordinate sets";
  EXPECT_EQ(fvfVertexSize(D3DFVF_XYZB2 | D3DFVF_NORMAL | D3DFVF_TEX1), 20u + 12u + 8u);
  EXPECT_EQ(fvfVertexSize(D3DFVF_XYZ | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE3(1)), 12u + 8u + 12u);
  EXPECT_EQ(verticesForPrimitives(D3DPT_TRIANGLESTRIP, 2), 4u);
  EXPECT_EQ(verticesForPrimitives(D3DPT_LINESTRIP, 0), 0u);
}

}  // namespace
