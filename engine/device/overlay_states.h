#pragma once
// States for a flat 2D overlay (the text boxes) set through the state cache.
#include <vector>

#include "engine/device/state_cache.h"

namespace halcyon {

// Sets states through the cache; with Restore it puts every one it changed back when it goes,
// so the scene's passes find the device as they left it.
class OverlayStates {
 public:
  enum class OnExit { Restore, Keep };
  explicit OverlayStates(StateCache& cache, OnExit onExit = OnExit::Restore) : cache_(cache), onExit_(onExit) {}
  ~OverlayStates();
  OverlayStates(const OverlayStates&) = delete;
  OverlayStates& operator=(const OverlayStates&) = delete;

  // What every overlay draws with, whatever the scene left: no depth test or writes, no
  // lighting, fog, culling or alpha test, solid fill, blending by the source's alpha; stage 0
  // reads coordinate set 0 untransformed and stage 1 is off; sampler 0 clamps (a texel on the
  // texture's edge must not filter in the opposite edge) and filters linearly without mip levels.
  void setCommon();

  void render(D3DRENDERSTATETYPE state, DWORD value);
  void stage(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value);
  void sampler(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value);
  void texture(IDirect3DBaseTexture9* texture);

 private:
  enum class Kind { Render, Stage, Sampler };
  struct Saved {
    Kind kind;
    DWORD stage;
    DWORD id;
    DWORD value;
  };
  void save(Kind kind, DWORD stage, DWORD id, bool known, DWORD old, DWORD value);
  StateCache& cache_;
  OnExit onExit_;
  std::vector<Saved> saved_;
  bool textureSaved_ = false;
  IDirect3DBaseTexture9* texture_ = nullptr;
};

}  // namespace halcyon
