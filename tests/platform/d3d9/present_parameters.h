#pragma once
// What a test of any device asks of it before drawing: present parameters for a windowed device,
// and the description of the back buffer it made. Needs no display.
#include <gtest/gtest.h>

#include "platform/d3d9/d3d9.h"

// A windowed device drawing into `window`: one width x height back buffer of `format` (0 x 0
// takes the window's size), depth and stencil, presented without waiting for the display.
inline D3DPRESENT_PARAMETERS windowedPresentParameters(HWND window, UINT width, UINT height,
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

// The device's back buffer as it describes itself. A back buffer the device does not give
// fails the test and describes as zeros.
inline D3DSURFACE_DESC backBufferDesc(IDirect3DDevice9* device) {
  D3DSURFACE_DESC desc{};
  IDirect3DSurface9* back = nullptr;
  EXPECT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
  if (!back) return desc;
  back->GetDesc(&desc);
  back->Release();
  return desc;
}
