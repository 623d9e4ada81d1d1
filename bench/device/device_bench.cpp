// Per-draw costs of the device layer: the state cache answering repeated material state, and
// the OpenGL device finding its program for a draw.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include "engine/device/state_cache.h"
#include "platform/d3d9/gl_device.h"
#include "platform/d3d9/recording.h"

namespace {

// The state a material sets before each draw: about twenty render and stage states, the
// world transform and the material, almost all unchanged from the previous draw.
void applyMaterial(halcyon::StateCache& cache, const D3DMATRIX& world, const D3DMATERIAL9& material, DWORD factor) {
  cache.setRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
  cache.setRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
  cache.setRenderState(D3DRS_ZWRITEENABLE, TRUE);
  cache.setMaterial(&material);
  cache.setRenderState(D3DRS_ALPHATESTENABLE, FALSE);
  cache.setRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  cache.setRenderState(D3DRS_TEXTUREFACTOR, factor);
  cache.setRenderState(D3DRS_LIGHTING, FALSE);
  cache.setRenderState(D3DRS_COLORVERTEX, TRUE);
  for (DWORD stage = 0; stage < 2; ++stage) {
    cache.setTextureStageState(stage, D3DTSS_TEXCOORDINDEX, stage);
    cache.setTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, 0);
    cache.setSamplerState(stage, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
    cache.setSamplerState(stage, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
    cache.setSamplerState(stage, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    cache.setTextureStageState(stage, D3DTSS_COLOROP, stage == 0 ? D3DTOP_MODULATE : D3DTOP_MODULATE2X);
    cache.setTextureStageState(stage, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    cache.setTextureStageState(stage, D3DTSS_COLORARG2, D3DTA_CURRENT);
  }
  cache.setTextureStageState(2, D3DTSS_COLOROP, D3DTOP_DISABLE);
  cache.setWorld(&world);
}

void BM_StateCacheMaterialApply(benchmark::State& state) {
  auto* d3d = new RecordingDirect3D9();
  D3DPRESENT_PARAMETERS p{};
  p.BackBufferWidth = p.BackBufferHeight = 64;
  p.Windowed = TRUE;
  IDirect3DDevice9* device = nullptr;
  d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0x40, &p, &device);
  halcyon::StateCache cache;
  cache.setDevice(device);
  D3DMATRIX world = identityMatrix();
  D3DMATERIAL9 material{};
  uint64_t draws = 0;
  for (auto _ : state) {
    world.m[3][0] = static_cast<float>(draws % 4);  // a few objects in turn
    applyMaterial(cache, world, material, 0xFF000000u);
    ++draws;
    if (draws % 4096 == 0) static_cast<RecordingDevice*>(device)->clearCalls();
  }
  state.counters["hits/draw"] = benchmark::Counter(static_cast<double>(cache.hits()) / static_cast<double>(draws));
  state.counters["sent/draw"] = benchmark::Counter(static_cast<double>(cache.issued()) / static_cast<double>(draws));
  device->Release();
  d3d->Release();
}
BENCHMARK(BM_StateCacheMaterialApply);

void BM_ProgramLookupPerDraw(benchmark::State& state) {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    state.SkipWithError("no display");
    return;
  }
  SDL_Window* window = SDL_CreateWindow("bench", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  D3DPRESENT_PARAMETERS p{};
  p.BackBufferWidth = p.BackBufferHeight = 64;
  p.BackBufferFormat = D3DFMT_X8R8G8B8;
  p.Windowed = TRUE;
  p.EnableAutoDepthStencil = TRUE;
  p.AutoDepthStencilFormat = D3DFMT_D24S8;
  p.hDeviceWindow = window;
  IDirect3DDevice9* device = nullptr;
  if (!d3d || FAILED(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, 0x40, &p, &device))) {
    state.SkipWithError("no OpenGL device");
    return;
  }
  struct V {
    float x, y, z, rhw;
    D3DCOLOR c;
  };
  const V tri[3] = {{0, 0, 0.5f, 1, 0xFFFFFFFF}, {4, 0, 0.5f, 1, 0xFFFFFFFF}, {0, 4, 0.5f, 1, 0xFFFFFFFF}};
  device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  const DWORD ops[3] = {D3DTOP_MODULATE, D3DTOP_ADD, D3DTOP_SELECTARG2};
  uint64_t draws = 0;
  for (auto _ : state) {
    // Three materials in turn: every draw changes the program's shape.
    device->SetTextureStageState(0, D3DTSS_COLOROP, ops[draws % 3]);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(V));
    ++draws;
  }
  auto* gl = dynamic_cast<GLDevice*>(device);
  state.counters["programs"] = benchmark::Counter(static_cast<double>(gl->programCount()));
  state.counters["lookups/draw"] = benchmark::Counter(static_cast<double>(gl->programLookups()) /
                                                      static_cast<double>(draws));
  device->Release();
  d3d->Release();
  SDL_DestroyWindow(window);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}
BENCHMARK(BM_ProgramLookupPerDraw);

}  // namespace
