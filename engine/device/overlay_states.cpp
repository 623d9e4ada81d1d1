#include "engine/device/overlay_states.h"

namespace halcyon {

OverlayStates::~OverlayStates() {
  if (onExit_ == OnExit::Keep) return;
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    switch (it->kind) {
      case Kind::Render: cache_.setRenderState(static_cast<D3DRENDERSTATETYPE>(it->id), it->value); break;
      case Kind::Stage:
        cache_.setTextureStageState(it->stage, static_cast<D3DTEXTURESTAGESTATETYPE>(it->id), it->value);
        break;
      case Kind::Sampler: cache_.setSamplerState(it->stage, static_cast<D3DSAMPLERSTATETYPE>(it->id), it->value); break;
    }
  }
  if (textureSaved_) cache_.setTexture(0, texture_);
}

void OverlayStates::setCommon() {
  render(D3DRS_ZENABLE, FALSE);
  render(D3DRS_ZWRITEENABLE, FALSE);
  render(D3DRS_LIGHTING, FALSE);
  render(D3DRS_FOGENABLE, FALSE);
  render(D3DRS_CULLMODE, D3DCULL_NONE);
  render(D3DRS_FILLMODE, D3DFILL_SOLID);
  render(D3DRS_ALPHATESTENABLE, FALSE);
  render(D3DRS_ALPHABLENDENABLE, TRUE);
  render(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  render(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  stage(0, D3DTSS_TEXCOORDINDEX, 0);
  stage(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  stage(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  stage(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
  sampler(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
  sampler(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
  sampler(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
  sampler(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  sampler(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
}

void OverlayStates::save(Kind kind, DWORD stage, DWORD id, bool known, DWORD old, DWORD value) {
  if (onExit_ == OnExit::Restore && known && old != value) saved_.push_back({kind, stage, id, old});
}

void OverlayStates::render(D3DRENDERSTATETYPE state, DWORD value) {
  DWORD old = 0;
  const bool known = cache_.getRenderState(state, &old);
  save(Kind::Render, 0, state, known, old, value);
  cache_.setRenderState(state, value);
}

void OverlayStates::stage(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
  DWORD old = 0;
  const bool known = cache_.getTextureStageState(stage, type, &old);
  save(Kind::Stage, stage, type, known, old, value);
  cache_.setTextureStageState(stage, type, value);
}

void OverlayStates::sampler(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
  DWORD old = 0;
  const bool known = cache_.getSamplerState(sampler, type, &old);
  save(Kind::Sampler, sampler, type, known, old, value);
  cache_.setSamplerState(sampler, type, value);
}

void OverlayStates::texture(IDirect3DBaseTexture9* texture) {
  if (!textureSaved_ && onExit_ == OnExit::Restore) textureSaved_ = cache_.getTexture(0, &texture_);
  cache_.setTexture(0, texture);
}

}  // namespace halcyon
