#pragma once
// A real OpenGL device on a small window, for pixel tests under the test display.
#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/device_control.h"

class GLDeviceFixture : public ::testing::Test {
 protected:
  static constexpr UINT kSize = 64;

  void SetUp() override {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    window_ = SDL_CreateWindow("pixel test", 0, 0, kSize, kSize, SDL_WINDOW_OPENGL);
    ASSERT_NE(window_, nullptr) << SDL_GetError();
    d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d_, nullptr);
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferWidth = kSize;
    p.BackBufferHeight = kSize;
    p.BackBufferFormat = D3DFMT_A8R8G8B8;
    p.BackBufferCount = 1;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.hDeviceWindow = window_;
    p.Windowed = TRUE;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D24S8;
    p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    ASSERT_EQ(d3d_->CreateDevice(0, D3DDEVTYPE_HAL, window_, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device_), D3D_OK);
  }

  void TearDown() override {
    safeRelease(device_);
    safeRelease(d3d_);
    if (window_) SDL_DestroyWindow(window_);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

  // The back buffer as 0xAARRGGBB, rows top to bottom.
  std::vector<D3DCOLOR> backBuffer() {
    std::vector<D3DCOLOR> pixels(kSize * kSize);
    IDirect3DSurface9* surface = nullptr;
    EXPECT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface), D3D_OK);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (UINT y = 0; y < kSize; ++y)
      std::memcpy(&pixels[y * kSize], static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, kSize * 4);
    surface->UnlockRect();
    surface->Release();
    return pixels;
  }
  D3DCOLOR pixel(UINT x, UINT y) { return backBuffer()[y * kSize + x]; }

  IDirect3DTexture9* solidTexture(D3DCOLOR colour, D3DFORMAT format = D3DFMT_A8R8G8B8) {
    IDirect3DTexture9* t = nullptr;
    EXPECT_EQ(device_->CreateTexture(2, 2, 1, 0, format, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    t->LockRect(0, &locked, nullptr, 0);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 2; ++x) std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, &colour, 4);
    t->UnlockRect(0);
    return t;
  }

  SDL_Window* window_ = nullptr;
  IDirect3D9* d3d_ = nullptr;
  IDirect3DDevice9* device_ = nullptr;
};

inline int channelDistance(D3DCOLOR a, D3DCOLOR b, bool withAlpha = true) {
  int worst = 0;
  for (int shift = 0; shift < (withAlpha ? 32 : 24); shift += 8)
    worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
  return worst;
}
