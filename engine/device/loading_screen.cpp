#include "engine/device/loading_screen.h"

#include <algorithm>

#include "engine/core/clock.h"
#include "engine/device/state_cache.h"

namespace halcyon {

namespace {

struct PictureVertex {
  float x, y, z, rhw;
  float u, v;
};

void drawQuad(IDirect3DDevice9* device, IDirect3DTexture9* texture, float left, float top, float right, float bottom) {
  StateCache& cache = stateCache();
  cache.setTexture(0, texture);
  // Pixel centres lie on whole coordinates, so the quad's edges go half a pixel out for each
  // texel to land on its pixel.
  const PictureVertex quad[4] = {{left - 0.5f, top - 0.5f, 0.0f, 1.0f, 0.0f, 0.0f},
                                 {right - 0.5f, top - 0.5f, 0.0f, 1.0f, 1.0f, 0.0f},
                                 {left - 0.5f, bottom - 0.5f, 0.0f, 1.0f, 0.0f, 1.0f},
                                 {right - 0.5f, bottom - 0.5f, 0.0f, 1.0f, 1.0f, 1.0f}};
  device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(PictureVertex));
}

}  // namespace

bool drawLoadingFrame(IDirect3DDevice9* device, const LoadingPictures& pictures, float opacity, bool withCorners) {
  if (!device) return false;
  device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
  if (SUCCEEDED(device->BeginScene())) {
    D3DVIEWPORT9 viewport{};
    device->GetViewport(&viewport);
    const float w = static_cast<float>(viewport.Width), h = static_cast<float>(viewport.Height);
    StateCache& cache = stateCache();
    const DWORD alpha = static_cast<DWORD>(std::clamp(opacity, 0.0f, 1.0f) * 255.0f);
    cache.setRenderState(D3DRS_ZENABLE, FALSE);
    cache.setRenderState(D3DRS_ZWRITEENABLE, FALSE);
    cache.setRenderState(D3DRS_LIGHTING, FALSE);
    cache.setRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    cache.setRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    cache.setRenderState(D3DRS_FOGENABLE, FALSE);
    cache.setRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    cache.setRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    cache.setRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    cache.setRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    cache.setRenderState(D3DRS_TEXTUREFACTOR, alpha << 24 | 0x00FFFFFF);
    cache.setTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    cache.setTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    cache.setTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    cache.setTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
    cache.setTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    cache.setTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    cache.setTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    cache.setSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    cache.setSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    cache.setSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    cache.setSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    cache.setSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
    if (pictures.picture) drawQuad(device, pictures.picture, 0, 0, w, h);
    if (withCorners) {
      // The corner images are cut-outs: their own alpha lets the picture show around them.
      cache.setTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
      cache.setTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
      cache.setTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
      constexpr float cw = 256, ch = 128;
      const float places[4][2] = {{w - cw, h - ch}, {0, h - ch}, {0, 0}, {w - cw, 0}};
      for (int i = 0; i < 4; ++i)
        if (pictures.corners[i]) drawQuad(device, pictures.corners[i], places[i][0], places[i][1], places[i][0] + cw, places[i][1] + ch);
    }
    cache.setTexture(0, nullptr);
    cache.setRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    cache.setRenderState(D3DRS_ZENABLE, TRUE);
    cache.setRenderState(D3DRS_ZWRITEENABLE, TRUE);
    device->EndScene();
  }
  return SUCCEEDED(device->Present(nullptr, nullptr, nullptr, nullptr));
}

bool showLoadingScreen(IDirect3DDevice9* device, const LoadingPictures& pictures) {
  return drawLoadingFrame(device, pictures, 1.0f, true);
}

int fadeOutLoadingScreen(Application& application, const LoadingPictures& pictures, int64_t durationMs) {
  int frames = 0;
  const int64_t start = millisecondClock();
  for (int64_t t = 0; t < durationMs; t = millisecondClock() - start) {
    if (t < 0) break;  // the clock went backwards: nothing sensible left to fade
    if (!application.testDevice()) continue;
    drawLoadingFrame(application.device(), pictures, 1.0f - static_cast<float>(t) / static_cast<float>(durationMs), false);
    ++frames;
  }
  return frames;
}

}  // namespace halcyon
