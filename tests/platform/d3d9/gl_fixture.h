#pragma once
// A real OpenGL device on a small window, for pixel tests under the test display.
#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/device_control.h"
#include "tests/platform/d3d9/gl_window.h"

class GLDeviceFixture : public ::testing::Test {
 protected:
  static constexpr UINT kSize = 64;

  void SetUp() override { openWindowedDevice("pixel test", kSize, kSize, window_, d3d_, device_); }
  void TearDown() override { closeWindowedDevice(window_, d3d_, device_); }

  // The back buffer as 0xAARRGGBB, rows top to bottom.
  std::vector<D3DCOLOR> backBuffer() { return readBackBuffer(device_, kSize, kSize); }
  D3DCOLOR pixel(UINT x, UINT y) { return backBuffer()[y * kSize + x]; }

  IDirect3DTexture9* solidTexture(D3DCOLOR colour, D3DFORMAT format = D3DFMT_A8R8G8B8) {
    IDirect3DTexture9* t = nullptr;
    EXPECT_EQ(device_->CreateTexture(2, 2, 1, 0, format, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    t->LockRect(0, &locked, nullptr, 0);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 2; ++x)
        std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, &colour, 4);
    t->UnlockRect(0);
    return t;
  }

  // A 2 x 2 texture without alpha: red and green on its top row, blue and white below.
  IDirect3DTexture9* quadrantTexture() {
    IDirect3DTexture9* t = nullptr;
    EXPECT_EQ(device_->CreateTexture(2, 2, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    if (!t) return nullptr;
    D3DLOCKED_RECT locked{};
    t->LockRect(0, &locked, nullptr, 0);
    const D3DCOLOR top[2] = {0xFFFF0000, 0xFF00FF00}, bottom[2] = {0xFF0000FF, 0xFFFFFFFF};
    std::memcpy(locked.pBits, top, 8);
    std::memcpy(static_cast<uint8_t*>(locked.pBits) + locked.Pitch, bottom, 8);
    t->UnlockRect(0);
    return t;
  }

  SDL_Window* window_ = nullptr;
  IDirect3D9* d3d_ = nullptr;
  IDirect3DDevice9* device_ = nullptr;
};

// Draws the texture of stage 0 over the screen from (0, 0) to (width, height) pixels, its
// coordinates running 0 to 1 across, with the depth test off; the stages combine it as set.
inline HRESULT drawScreenQuad(IDirect3DDevice9* device, float width, float height) {
  struct V {
    float x, y, z, rhw, u, v;
  };
  const V quad[4] = {{0, 0, 0, 1, 0, 0}, {width, 0, 0, 1, 1, 0}, {0, height, 0, 1, 0, 1}, {width, height, 0, 1, 1, 1}};
  device->SetRenderState(D3DRS_ZENABLE, FALSE);
  device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
  return device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V));
}

inline int channelDistance(D3DCOLOR a, D3DCOLOR b, bool withAlpha = true) {
  int worst = 0;
  for (int shift = 0; shift < (withAlpha ? 32 : 24); shift += 8)
    worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
  return worst;
}
