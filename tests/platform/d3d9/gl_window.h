#pragma once
// What every test drawing with the OpenGL device on the test display needs: a window of its
// own, present parameters for a device in it, and the back buffer read as pixels.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/d3d9/d3d9.h"

// Starts the video subsystem and opens an OpenGL window of width x height at the display's
// corner; nullptr when either fails (SDL_GetError says why). closeGLWindow undoes both.
inline SDL_Window* openGLWindow(const char* title, UINT width, UINT height) {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return nullptr;
  return SDL_CreateWindow(title, 0, 0, int(width), int(height), SDL_WINDOW_OPENGL);
}
inline void closeGLWindow(SDL_Window* window) {
  if (window) SDL_DestroyWindow(window);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

// A windowed device drawing into `window`: one width x height back buffer of `format`, depth
// and stencil, presented without waiting for the display.
inline D3DPRESENT_PARAMETERS windowedPresentParameters(SDL_Window* window, UINT width, UINT height,
                                                       D3DFORMAT format = D3DFMT_A8R8G8B8) {
  D3DPRESENT_PARAMETERS p{};
  p.BackBufferWidth = width;
  p.BackBufferHeight = height;
  p.BackBufferFormat = format;
  p.BackBufferCount = 1;
  p.SwapEffect = D3DSWAPEFFECT_DISCARD;
  p.hDeviceWindow = window;
  p.Windowed = TRUE;
  p.EnableAutoDepthStencil = TRUE;
  p.AutoDepthStencilFormat = D3DFMT_D24S8;
  p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  return p;
}

// The device's width x height back buffer as 0xAARRGGBB, rows top to bottom. A back buffer
// that cannot be read fails the test and reads as zeros.
inline std::vector<D3DCOLOR> readBackBuffer(IDirect3DDevice9* device, UINT width, UINT height) {
  std::vector<D3DCOLOR> pixels(size_t(width) * height);
  IDirect3DSurface9* surface = nullptr;
  EXPECT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface), D3D_OK);
  if (!surface) return pixels;
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  if (locked.pBits) {
    for (UINT y = 0; y < height; ++y)
      std::memcpy(&pixels[size_t(y) * width], static_cast<uint8_t*>(locked.pBits) + size_t(y) * locked.Pitch, width * 4);
    surface->UnlockRect();
  }
  surface->Release();
  return pixels;
}
