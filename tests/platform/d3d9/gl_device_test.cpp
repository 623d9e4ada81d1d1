// Behaviour of the OpenGL device beyond single pixels: program sharing, loss and reset,
// resizing, multisampling and refused draws.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/d3d9/device_control.h"
#include "platform/d3d9/gl_device.h"
#include "tests/platform/d3d9/gl_fixture.h"

namespace {

struct V {
  float x, y, z, rhw;
  D3DCOLOR c;
};

void drawTriangle(IDirect3DDevice9* device, D3DCOLOR colour) {
  const V tri[3] = {{0, 0, 0.5f, 1, colour}, {64, 0, 0.5f, 1, colour}, {0, 64, 0.5f, 1, colour}};
  device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(V));
}

TEST_F(GLDeviceFixture, EqualShapesOfStateShareOneProgram) {
  auto* gl = dynamic_cast<GLDevice*>(device_);
  ASSERT_NE(gl, nullptr);
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  for (DWORD i = 0; i < 4; ++i) {
    device_->SetRenderState(D3DRS_TEXTUREFACTOR, i);  // a value fed to the program, not its shape
    drawTriangle(device_, 0xFFFFFFFF);
  }
  EXPECT_EQ(gl->programCount(), 1u);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD);
  drawTriangle(device_, 0xFFFFFFFF);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  drawTriangle(device_, 0xFFFFFFFF);
  EXPECT_EQ(gl->programCount(), 2u);
  EXPECT_EQ(gl->programLookups(), 6u);
}

// A present after a frame that made programs lets the compiler go; programs made in later
// frames still build and draw.
TEST_F(GLDeviceFixture, ProgramsMadeAfterThePresentLetTheCompilerGoStillDraw) {
  auto* gl = dynamic_cast<GLDevice*>(device_);
  ASSERT_NE(gl, nullptr);
  device_->SetRenderState(D3DRS_ZENABLE, FALSE);
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  const DWORD alphaOps[] = {D3DTOP_SELECTARG1, D3DTOP_SELECTARG2, D3DTOP_MODULATE};
  for (size_t frame = 0; frame < std::size(alphaOps); ++frame) {
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, alphaOps[frame]);
    drawTriangle(device_, 0xFF204060);
    EXPECT_EQ(gl->programCount(), frame + 1);
    EXPECT_EQ(pixel(10, 10) & 0x00FFFFFF, 0x204060u) << "frame " << frame;
    ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  }
}

// A frame drawn covering nothing builds its programs, changes no pixel and shows nothing; its
// lit variants' warming keeps covering nothing, and draws after it draw again.
TEST_F(GLDeviceFixture, DrawsThatCoverNothingBuildTheirProgramsAndShowNothing) {
  auto* gl = dynamic_cast<GLDevice*>(device_);
  DeviceControl* control = deviceControl(device_);
  ASSERT_TRUE(gl && control);
  control->setPresentCapture(true);
  device_->SetRenderState(D3DRS_ZENABLE, FALSE);
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 0, 255), 1.0f, 0);
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

  ASSERT_TRUE(control->setDrawsCoverNothing(true));
  // A black texture factor: the program's lit variant is warmed at this draw.
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
  device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF000000u);
  drawTriangle(device_, D3DCOLOR_XRGB(255, 255, 255));
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  drawTriangle(device_, D3DCOLOR_XRGB(255, 0, 0));
  EXPECT_EQ(gl->programCount(), 3u) << "both programs and the lit variant are built";
  EXPECT_EQ(pixel(8, 8) & 0xFFFFFF, 0x0000FFu) << "no draw reached a pixel";
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  std::vector<D3DCOLOR> shown;
  UINT w = 0, h = 0;
  ASSERT_TRUE(control->presentedPixels(shown, w, h));
  EXPECT_EQ(shown[8 * w + 8] & 0xFFFFFF, 0x0000FFu) << "the last shown picture stays";

  // Once draws cover pixels again, the scene's own scissor holds for them.
  const RECT corner{0, 0, 16, 16};
  device_->SetScissorRect(&corner);
  device_->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
  drawTriangle(device_, D3DCOLOR_XRGB(255, 0, 0));
  ASSERT_TRUE(control->setDrawsCoverNothing(false));
  drawTriangle(device_, D3DCOLOR_XRGB(255, 0, 0));
  EXPECT_EQ(pixel(8, 8) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(pixel(20, 20) & 0xFFFFFF, 0x0000FFu) << "outside the scene's scissor";
  EXPECT_EQ(gl->programCount(), 3u) << "built once";
}

TEST_F(GLDeviceFixture, VariantsForLitFactorsAreMadeWithTheFirstDrawAndLeaveNoPixels) {
  // A stage that adds the vertex colour scaled by the texture factor: while the factor is
  // black the program leaves the stage's product out, and the lit variant a flash would switch
  // to is made at that first draw, without drawing anything of its own.
  auto* gl = dynamic_cast<GLDevice*>(device_);
  ASSERT_NE(gl, nullptr);
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
  device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
  device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF000000u);
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 0, 255), 1.0f, 0);
  drawTriangle(device_, D3DCOLOR_XRGB(255, 255, 255));
  EXPECT_EQ(gl->programCount(), 2u) << "the program drawn and its lit variant";
  EXPECT_EQ(gl->programLookups(), 1u);
  EXPECT_LE(channelDistance(pixel(8, 8), D3DCOLOR_XRGB(0, 0, 0), false), 1) << std::hex << pixel(8, 8);
  EXPECT_LE(channelDistance(pixel(60, 60), D3DCOLOR_XRGB(0, 0, 255), false), 1) << "outside the triangle";

  device_->SetRenderState(D3DRS_TEXTUREFACTOR, D3DCOLOR_XRGB(128, 64, 255));
  drawTriangle(device_, D3DCOLOR_XRGB(255, 255, 255));
  EXPECT_EQ(gl->programCount(), 2u) << "the lit factor found its program made";
  EXPECT_LE(channelDistance(pixel(8, 8), D3DCOLOR_XRGB(128, 64, 255), false), 1) << std::hex << pixel(8, 8);
  EXPECT_LE(channelDistance(pixel(60, 60), D3DCOLOR_XRGB(0, 0, 255), false), 1);
}

TEST_F(GLDeviceFixture, ValuesChangedWhileAnotherProgramDrewReachTheFirstWhenItDrawsAgain) {
  // Programs keep the values they were last sent, and a program is sent only what changed since:
  // a factor and a world matrix changed while another program drew must still reach it.
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  struct P {
    float x, y, z;
  };
  const P leftHalf[6] = {{-1, -1, 0.5f}, {0, -1, 0.5f}, {-1, 1, 0.5f}, {0, -1, 0.5f}, {0, 1, 0.5f}, {-1, 1, 0.5f}};
  auto drawFactorQuad = [&] {
    device_->SetFVF(D3DFVF_XYZ);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, leftHalf, sizeof(P)), D3D_OK);
  };
  D3DMATRIX world{};
  world.m[0][0] = world.m[1][1] = world.m[2][2] = world.m[3][3] = 1;
  device_->SetTransform(D3DTS_WORLD, &world);
  device_->SetRenderState(D3DRS_TEXTUREFACTOR, D3DCOLOR_XRGB(255, 0, 0));
  drawFactorQuad();
  EXPECT_LE(channelDistance(pixel(16, 32), D3DCOLOR_XRGB(255, 0, 0), false), 1);

  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  drawTriangle(device_, D3DCOLOR_XRGB(0, 0, 255));
  device_->SetRenderState(D3DRS_TEXTUREFACTOR, D3DCOLOR_XRGB(0, 255, 0));
  world.m[3][0] = 1;  // one half of the screen to the right
  device_->SetTransform(D3DTS_WORLD, &world);
  drawTriangle(device_, D3DCOLOR_XRGB(0, 0, 255));

  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
  drawFactorQuad();
  EXPECT_LE(channelDistance(pixel(48, 32), D3DCOLOR_XRGB(0, 255, 0), false), 1) << std::hex << pixel(48, 32);
  EXPECT_LE(channelDistance(pixel(16, 32), 0, false), 1) << std::hex << pixel(16, 32);
}

TEST_F(GLDeviceFixture, TexturesKeepNoCopyInMemoryYetLockBackWhatWasWritten) {
  for (D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_R5G6B5}) {
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(device_->CreateTexture(8, 4, 2, 0, format, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    auto* gl = dynamic_cast<GLTexture*>(t);
    ASSERT_NE(gl, nullptr);
    const UINT bpp = format == D3DFMT_R5G6B5 ? 2 : 4;
    std::vector<uint8_t> written(8 * 4 * bpp);
    for (size_t i = 0; i < written.size(); ++i) written[i] = static_cast<uint8_t>(i * 37 + 11);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(t->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < 4; ++y)
      std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, &written[y * 8 * bpp], 8 * bpp);
    ASSERT_EQ(t->UnlockRect(0), D3D_OK);
    EXPECT_TRUE(gl->levelBytes(0).empty()) << "GL holds the level";
    EXPECT_TRUE(gl->levelBytes(1).empty()) << "and the level nobody wrote";

    // A lock of part of the level sees what was written everywhere, and writing that part
    // leaves the rest as it was.
    const RECT part{2, 1, 4, 3};
    ASSERT_EQ(t->LockRect(0, &locked, &part, 0), D3D_OK);
    EXPECT_EQ(std::memcmp(locked.pBits, &written[(1 * 8 + 2) * bpp], 2 * bpp), 0) << format;
    std::memset(locked.pBits, 0, 2 * bpp);
    ASSERT_EQ(t->UnlockRect(0), D3D_OK);
    std::fill_n(written.begin() + (1 * 8 + 2) * bpp, 2 * bpp, 0);
    ASSERT_EQ(t->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (UINT y = 0; y < 4; ++y)
      EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, &written[y * 8 * bpp], 8 * bpp), 0)
          << "row " << y << " format " << format;
    t->UnlockRect(0);
    ASSERT_EQ(t->LockRect(1, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(static_cast<uint8_t*>(locked.pBits)[0], 0) << "a level never written starts at zero";
    t->UnlockRect(1);
    t->Release();
  }
}

// Storage is made without texels, so a level nobody wrote could show whatever memory held
// before; the first draw with the texture gives such levels the zeros a lock of them reads.
TEST_F(GLDeviceFixture, LevelsNobodyWroteAreZerosOnceTheTextureIsDrawn) {
  const auto fillLevel = [](IDirect3DTexture9* t, UINT level, uint8_t value) {
    D3DSURFACE_DESC desc{};
    t->GetLevelDesc(level, &desc);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(t->LockRect(level, &locked, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < desc.Height; ++y)
      std::memset(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, value, desc.Width * 4);
    t->UnlockRect(level);
  };
  for (int round = 0; round < 3; ++round) {
    // Memory the driver may hand out again: every level of an earlier texture of that size.
    IDirect3DTexture9* earlier = nullptr;
    ASSERT_EQ(device_->CreateTexture(64, 64, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &earlier, nullptr), D3D_OK);
    for (UINT level = 0; level < earlier->GetLevelCount(); ++level) fillLevel(earlier, level, 0xAB);
    earlier->Release();

    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(device_->CreateTexture(64, 64, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    fillLevel(t, 0, 0xFF);
    device_->SetTexture(0, t);
    ASSERT_EQ(drawScreenQuad(device_, 32, 32), D3D_OK);
    device_->SetTexture(0, nullptr);
    glBindTexture(GL_TEXTURE_2D, dynamic_cast<GLTexture*>(t)->glName());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    for (UINT level = 1; level < t->GetLevelCount(); ++level) {
      const UINT size = 64u >> level;
      std::vector<uint8_t> texels(size * size * 4, 0x5A);
      glGetTexImage(GL_TEXTURE_2D, static_cast<GLint>(level), GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
      EXPECT_EQ(std::count(texels.begin(), texels.end(), 0), static_cast<std::ptrdiff_t>(texels.size()))
          << "level " << level << " round " << round;
    }
    std::vector<uint8_t> top(64 * 64 * 4, 0);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_BYTE, top.data());
    EXPECT_EQ(std::count(top.begin(), top.end(), 0xFF), static_cast<std::ptrdiff_t>(top.size()))
        << "the written level stays";
    t->Release();
  }
}

TEST_F(GLDeviceFixture, LossThenResetKeepsTexturesAndDrawsAgain) {
  IDirect3DTexture9* texture = solidTexture(0xFF336699);
  DeviceControl* control = deviceControl(device_);
  control->simulateLoss(1);
  EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICELOST);
  EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
  EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  D3DPRESENT_PARAMETERS p = windowedPresentParameters(window_, 32, 48);
  ASSERT_EQ(device_->Reset(&p), D3D_OK);
  EXPECT_EQ(device_->TestCooperativeLevel(), D3D_OK);
  const D3DSURFACE_DESC desc = backBufferDesc(device_);
  EXPECT_EQ(desc.Width, 32u);
  EXPECT_EQ(desc.Height, 48u);

  device_->SetTexture(0, texture);
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
  ASSERT_EQ(drawScreenQuad(device_, 32, 48), D3D_OK);
  const D3DCOLOR c = readBackBuffer(device_, 32, 48)[40 * 32 + 30];
  EXPECT_EQ(c, 0xFF336699u) << "the texture made before the loss still draws";
  texture->Release();
}

// GL holds a static vertex buffer's bytes; a lock reads them back, and the buffer still draws
// after the device was lost and reset.
TEST_F(GLDeviceFixture, StaticVertexBuffersKeepNoCopyYetLockBackAndDrawAfterAReset) {
  const DWORD fvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
  IDirect3DVertexBuffer9* vb = nullptr;
  ASSERT_EQ(device_->CreateVertexBuffer(4 * sizeof(V), D3DUSAGE_WRITEONLY, fvf, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
  V quad[4] = {{0, 0, 0.5f, 1, 0xFF336699},
               {32, 0, 0.5f, 1, 0xFF336699},
               {0, 48, 0.5f, 1, 0xFF336699},
               {32, 48, 0.5f, 1, 0xFF336699}};
  void* data = nullptr;
  ASSERT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
  std::memcpy(data, quad, sizeof quad);
  ASSERT_EQ(vb->Unlock(), D3D_OK);
  auto* gl = dynamic_cast<GLVertexBuffer*>(vb);
  ASSERT_NE(gl, nullptr);
  EXPECT_TRUE(gl->bytes().empty()) << "GL holds the bytes";
  D3DVERTEXBUFFER_DESC desc{};
  ASSERT_EQ(vb->GetDesc(&desc), D3D_OK);
  EXPECT_EQ(desc.Size, sizeof quad) << "the buffer keeps its size without its bytes";

  // Rewriting one vertex leaves the others as they were.
  ASSERT_EQ(vb->Lock(sizeof(V), sizeof(V), &data, 0), D3D_OK);
  EXPECT_EQ(std::memcmp(data, &quad[1], sizeof(V)), 0) << "a partial lock sees what was written";
  quad[1].x = 64;
  std::memcpy(data, &quad[1], sizeof(V));
  ASSERT_EQ(vb->Unlock(), D3D_OK);
  ASSERT_EQ(vb->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
  EXPECT_EQ(std::memcmp(data, quad, sizeof quad), 0);
  ASSERT_EQ(vb->Unlock(), D3D_OK);
  EXPECT_TRUE(gl->bytes().empty()) << "and lets go of them again after a read";

  deviceControl(device_)->simulateLoss(1);
  EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICELOST);
  EXPECT_EQ(device_->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
  D3DPRESENT_PARAMETERS p = windowedPresentParameters(window_, kSize, kSize);
  ASSERT_EQ(device_->Reset(&p), D3D_OK);
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
  device_->SetRenderState(D3DRS_ZENABLE, FALSE);
  device_->SetFVF(fvf);
  device_->SetStreamSource(0, vb, 0, sizeof(V));
  ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  EXPECT_EQ(pixel(40, 10), 0xFF336699u) << "the rewritten vertex draws after the reset";
  EXPECT_NE(pixel(60, 60), 0xFF336699u) << "outside the quad";
  vb->Release();

  // A dynamic buffer, rewritten often, keeps its copy.
  IDirect3DVertexBuffer9* dynamic = nullptr;
  ASSERT_EQ(device_->CreateVertexBuffer(sizeof quad, D3DUSAGE_DYNAMIC, fvf, D3DPOOL_DEFAULT, &dynamic, nullptr),
            D3D_OK);
  ASSERT_EQ(dynamic->Lock(0, 0, &data, D3DLOCK_DISCARD), D3D_OK);
  std::memcpy(data, quad, sizeof quad);
  ASSERT_EQ(dynamic->Unlock(), D3D_OK);
  EXPECT_EQ(std::memcmp(dynamic_cast<GLVertexBuffer*>(dynamic)->bytes().data(), quad, sizeof quad), 0);
  dynamic->Release();
}

TEST_F(GLDeviceFixture, DrawsOutsideTheirBuffersAreRefused) {
  IDirect3DVertexBuffer9* vb = nullptr;
  IDirect3DIndexBuffer9* ib = nullptr;
  ASSERT_EQ(device_->CreateVertexBuffer(3 * sizeof(V), 0, D3DFVF_XYZRHW | D3DFVF_DIFFUSE, D3DPOOL_MANAGED, &vb,
                                        nullptr),
            D3D_OK);
  ASSERT_EQ(device_->CreateIndexBuffer(6, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
  void* data = nullptr;
  ib->Lock(0, 0, &data, 0);
  const uint16_t indices[3] = {0, 1, 7};
  std::memcpy(data, indices, sizeof indices);
  ib->Unlock();
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  device_->SetStreamSource(0, vb, 0, sizeof(V));
  device_->SetIndices(ib);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 1, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 2, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
  vb->Release();
  ib->Release();
}

TEST_F(GLDeviceFixture, TwoDevicesEachDrawInTheirOwnContext) {
  SDL_Window* other = openGLWindow("second", 16, 16);
  ASSERT_NE(other, nullptr);
  D3DPRESENT_PARAMETERS p = windowedPresentParameters(other, 16, 16, D3DFMT_X8R8G8B8);
  IDirect3DDevice9* second = nullptr;
  ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, other, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &second), D3D_OK);
  IDirect3DTexture9* mine = solidTexture(0xFF00FF00);  // made while the second context is current
  second->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0);
  device_->SetTexture(0, mine);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  drawScreenQuad(device_, 64, 64);
  second->Release();  // its context goes while this device's textures live on
  EXPECT_EQ(pixel(10, 10), 0xFF00FF00u);
  mine->Release();
  closeGLWindow(other);
}

TEST(GLDirect3D, EnumeratesDisplaysAndRefusesUnknownVersions) {
  EXPECT_EQ(Direct3DCreate9(30), nullptr);
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  ASSERT_NE(d3d, nullptr);
  ASSERT_GE(d3d->GetAdapterCount(), 1u);
  D3DDISPLAYMODE desktop{};
  ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &desktop), D3D_OK);
  EXPECT_GT(desktop.Width, 0u);
  EXPECT_GE(d3d->GetAdapterModeCount(0, desktop.Format), 1u);
  D3DCAPS9 caps{};
  ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
  EXPECT_TRUE(caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT);
  EXPECT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_REF, &caps), D3DERR_NOTAVAILABLE);
  DWORD quality = 0;
  EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, FALSE, D3DMULTISAMPLE_NONE, &quality),
            D3D_OK);
  EXPECT_EQ(quality, 1u);
  EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, FALSE, D3DMULTISAMPLE_16_SAMPLES,
                                            &quality) == D3D_OK ||
                d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, FALSE, D3DMULTISAMPLE_2_SAMPLES,
                                                &quality) == D3D_OK,
            true);
  EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, FALSE), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, FALSE), D3D_OK);
  d3d->Release();
}

TEST(GLDirect3D, MultisampledDeviceResolvesIntoTheBackBuffer) {
  SDL_Window* window = openGLWindow("ms", 32, 32);
  ASSERT_NE(window, nullptr) << SDL_GetError();
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  ASSERT_NE(d3d, nullptr);
  D3DPRESENT_PARAMETERS p = windowedPresentParameters(window, 0, 0, D3DFMT_X8R8G8B8);
  p.AutoDepthStencilFormat = D3DFMT_D16;
  p.MultiSampleType = D3DMULTISAMPLE_4_SAMPLES;
  IDirect3DDevice9* device = nullptr;
  ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device), D3D_OK);
  EXPECT_EQ(p.BackBufferWidth, 32u) << "a windowed device takes the window's size";
  device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF204080, 1.0f, 0);
  const D3DCOLOR c = readBackBuffer(device, 32, 32)[0];
  EXPECT_EQ(c, 0xFF204080u);
  closeWindowedDevice(window, d3d, device);
}

}  // namespace
