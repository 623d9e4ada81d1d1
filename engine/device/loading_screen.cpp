#include "engine/device/loading_screen.h"

#include <algorithm>

#include "engine/device/overlay_states.h"
#include "engine/device/state_cache.h"

namespace halcyon {

namespace {

struct PictureVertex {
  float x, y, z, rhw;
  float u, v;
};

void drawQuad(IDirect3DDevice9* device, OverlayStates& overlay, IDirect3DTexture9* texture, float left, float top,
              float right, float bottom) {
  overlay.texture(texture);
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
    const DWORD alpha = static_cast<DWORD>(std::clamp(opacity, 0.0f, 1.0f) * 255.0f);
    // Kept, not put back, on exit: on a device just made the cache knows no earlier values to
    // put back, so the few states the room's first frame relies on are set at the end.
    OverlayStates overlay(stateCache(), OverlayStates::OnExit::Keep);
    overlay.setCommon();
    overlay.render(D3DRS_TEXTUREFACTOR, alpha << 24 | 0x00FFFFFF);
    overlay.stage(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    overlay.stage(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    overlay.stage(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    overlay.stage(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
    if (pictures.picture) drawQuad(device, overlay, pictures.picture, 0, 0, w, h);
    if (withCorners) {
      // The corner images are cut-outs: their own alpha lets the picture show around them.
      overlay.stage(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
      overlay.stage(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
      overlay.stage(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
      constexpr float cw = 256, ch = 128;
      const float places[4][2] = {{w - cw, h - ch}, {0, h - ch}, {0, 0}, {w - cw, 0}};
      for (int i = 0; i < 4; ++i)
        if (pictures.corners[i])
          drawQuad(device, overlay, pictures.corners[i], places[i][0], places[i][1], places[i][0] + cw,
                   places[i][1] + ch);
    }
    overlay.texture(nullptr);
    overlay.render(D3DRS_ALPHABLENDENABLE, FALSE);
    overlay.render(D3DRS_ZENABLE, TRUE);
    overlay.render(D3DRS_ZWRITEENABLE, TRUE);
    device->EndScene();
  }
  return SUCCEEDED(device->Present(nullptr, nullptr, nullptr, nullptr));
}

bool showLoadingScreen(IDirect3DDevice9* device, const LoadingPictures& pictures) {
  return drawLoadingFrame(device, pictures, 1.0f, true);
}

int fadeOutLoadingScreen(Application& application, const LoadingPictures& pictures, FrameClock& frames,
                         int64_t durationMs) {
  int drawn = 0;
  const int64_t start = frames.next().nowMs;
  for (int64_t t = 0; t < durationMs; t = frames.next().nowMs - start) {
    if (t < 0) break;  // the clock went backwards: nothing sensible left to fade
    if (!application.testDevice()) continue;
    drawLoadingFrame(application.device(), pictures, 1.0f - static_cast<float>(t) / static_cast<float>(durationMs),
                     false);
    ++drawn;
  }
  return drawn;
}

}  // namespace halcyon
