#pragma once
// The loading screen the shell shows while the scene loads, and its 200 ms fade into the first
// frames. Only Clear, BeginScene, EndScene and Present of the device are used, with one
// textured quad per picture; state is the 2D overlay's (OverlayStates), set through the state
// cache.
//
// The shell calls showLoadingScreen once after mounting the media (with the loading picture
// and whichever corner images are large enough to be real), and fadeOutLoadingScreen once the
// scene has loaded; the picture textures stay the shell's.
#include "engine/core/clock.h"
#include "engine/device/application.h"
#include "engine/device/texture.h"

namespace halcyon {

struct LoadingPictures {
  IDirect3DTexture9* picture = nullptr;
  // Corner images in resource order: bottom-right, bottom-left, top-left, top-right. A null
  // entry is not drawn.
  IDirect3DTexture9* corners[4] = {nullptr, nullptr, nullptr, nullptr};
};

// Clears to black (depth 1.0) and, when the scene can begin, draws the picture over the whole
// back buffer at `opacity` (0..1, over black) and, when `withCorners`, each corner image as a
// 256 x 128 pixel quad in its corner; then ends the scene and presents.
bool drawLoadingFrame(IDirect3DDevice9* device, const LoadingPictures& pictures, float opacity, bool withCorners);

// The loading screen as first shown: the picture at full opacity with its corner images.
bool showLoadingScreen(IDirect3DDevice9* device, const LoadingPictures& pictures);

// Fades the picture out on the caller's frame clock: each pass takes the clock's next frame,
// and while fewer than `durationMs` have passed since the first, draws (when the device test
// passes) the picture at opacity 1 - t / durationMs. Returns the number of frames drawn.
int fadeOutLoadingScreen(Application& application, const LoadingPictures& pictures, FrameClock& frames,
                         int64_t durationMs = 200);

}  // namespace halcyon
