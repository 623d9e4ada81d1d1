#pragma once
// What every test drawing with the OpenGL device on the test display needs: a window of its
// own, a device drawing into it, and the back buffer read as pixels.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "tests/platform/d3d9/present_parameters.h"

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

// Opens a width x height window and a windowed device of the OpenGL runtime drawing into it,
// for a fixture's SetUp; a window, runtime or device that cannot be made fails the test.
// closeWindowedDevice lets go of all three, whichever were made.
inline void openWindowedDevice(const char* title, UINT width, UINT height, SDL_Window*& window, IDirect3D9*& d3d,
                               IDirect3DDevice9*& device) {
  window = openGLWindow(title, width, height);
  ASSERT_NE(window, nullptr) << SDL_GetError();
  d3d = Direct3DCreate9(D3D_SDK_VERSION);
  ASSERT_NE(d3d, nullptr);
  D3DPRESENT_PARAMETERS p = windowedPresentParameters(window, width, height);
  ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device), D3D_OK);
}
inline void closeWindowedDevice(SDL_Window*& window, IDirect3D9*& d3d, IDirect3DDevice9*& device) {
  safeRelease(device);
  safeRelease(d3d);
  closeGLWindow(window);
  window = nullptr;
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
      std::memcpy(&pixels[size_t(y) * width], static_cast<uint8_t*>(locked.pBits) + size_t(y) * locked.Pitch,
                  width * 4);
    surface->UnlockRect();
  }
  surface->Release();
  return pixels;
}
