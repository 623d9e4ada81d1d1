#include "engine/device/state_cache.h"

#include <cstring>

#include "engine/device/application.h"

namespace halcyon {

namespace {

// Transforms and the material compare as raw bytes, so that a matrix holding -0.0 or a NaN
// pattern is still recognised as the value the device was given.
template <typename T>
bool sameBytes(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

}  // namespace

StateCache& stateCache() {
  static StateCache cache;
  return cache;
}

IDirect3DDevice9* StateCache::device() const {
  if (ownDevice_) return ownDevice_;
  const Application* application = getApplication();
  return application ? application->device() : nullptr;
}

template <typename T, typename Send>
bool StateCache::set(Entry<T>& entry, const T& value, Send send) {
  if (entry.valid && sameBytes(entry.value, value)) {
    ++hits_;
    return true;
  }
  if (!device()) return false;
  entry.value = value;
  entry.valid = true;
  ++issued_;
  return SUCCEEDED(send());
}

bool StateCache::setRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  if (state >= kRenderStates) return false;
  return set(render_[state], value, [&] { return device()->SetRenderState(state, value); });
}

bool StateCache::setSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
  if (sampler >= kSamplers || type >= kSamplerTypes) return false;
  return set(sampler_[sampler][type], value, [&] { return device()->SetSamplerState(sampler, type, value); });
}

bool StateCache::setTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
  if (stage >= kStages || type >= kStageTypes) return false;
  return set(stage_[stage][type], value, [&] { return device()->SetTextureStageState(stage, type, value); });
}

bool StateCache::setTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
  if (stage >= kStages) return false;
  return set(texture_[stage], texture, [&] { return device()->SetTexture(stage, texture); });
}

bool StateCache::setTransform(D3DTRANSFORMSTATETYPE type, const D3DMATRIX* matrix) {
  if (type >= kTransforms || !matrix) return false;
  return set(transform_[type], *matrix, [&] { return device()->SetTransform(type, matrix); });
}

bool StateCache::setMaterial(const D3DMATERIAL9* material) {
  if (!material) return false;
  return set(material_, *material, [&] { return device()->SetMaterial(material); });
}

template <typename T, typename Fetch>
bool StateCache::get(Entry<T>& entry, T* value, Fetch fetch) {
  if (!entry.valid) {
    if (!device() || FAILED(fetch(entry.value))) return false;
    entry.valid = true;
  }
  *value = entry.value;
  return true;
}

bool StateCache::getRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
  if (state >= kRenderStates || !value) return false;
  return get(render_[state], value, [&](DWORD& v) { return device()->GetRenderState(state, &v); });
}

bool StateCache::getSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
  if (sampler >= kSamplers || type >= kSamplerTypes || !value) return false;
  return get(sampler_[sampler][type], value, [&](DWORD& v) { return device()->GetSamplerState(sampler, type, &v); });
}

bool StateCache::getTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
  if (stage >= kStages || type >= kStageTypes || !value) return false;
  return get(stage_[stage][type], value, [&](DWORD& v) { return device()->GetTextureStageState(stage, type, &v); });
}

bool StateCache::getTexture(DWORD stage, IDirect3DBaseTexture9** texture) {
  if (stage >= kStages || !texture) return false;
  return get(texture_[stage], texture, [&](IDirect3DBaseTexture9*& v) {
    IDirect3DBaseTexture9* bound = nullptr;
    const HRESULT hr = device()->GetTexture(stage, &bound);
    if (FAILED(hr)) return hr;
    // The device's slot keeps the texture alive; the cache holds no reference of its own.
    if (bound) bound->Release();
    v = bound;
    return hr;
  });
}

bool StateCache::getTransform(D3DTRANSFORMSTATETYPE type, D3DMATRIX* matrix) {
  if (type >= kTransforms || !matrix) return false;
  return get(transform_[type], matrix, [&](D3DMATRIX& v) { return device()->GetTransform(type, &v); });
}

bool StateCache::getMaterial(D3DMATERIAL9* material) {
  if (!material) return false;
  return get(material_, material, [&](D3DMATERIAL9& v) { return device()->GetMaterial(&v); });
}

void StateCache::invalidate() {
  for (auto& e : render_) e.valid = false;
  for (auto& row : sampler_)
    for (auto& e : row) e.valid = false;
  for (auto& row : stage_)
    for (auto& e : row) e.valid = false;
  for (auto& e : texture_) e.valid = false;
  for (auto& e : transform_) e.valid = false;
  material_.valid = false;
}

}  // namespace halcyon
