#pragma once
// The engine-wide shadow of device state. Every Part of the engine sets render, sampler and
// texture-stage states, textures, transforms and the material through it, so that a value the
// device already holds never reaches the driver again. Each entry is a value and a valid bit;
// invalidating the cache (after every device creation and reset) clears the valid bits, so
// the next set of each entry goes through.
#include <array>
#include <cstdint>

#include "platform/d3d9/d3d9.h"

namespace halcyon {

class StateCache {
 public:
  static constexpr UINT kRenderStates = 1024;
  static constexpr UINT kSamplers = 8;
  static constexpr UINT kSamplerTypes = 16;
  static constexpr UINT kStages = 8;
  static constexpr UINT kStageTypes = 64;
  static constexpr UINT kTransforms = 512;

  // The device the setters forward to: the application's (Application::device(), the one
  // place the device is kept), or null while there is none. A cache used without an
  // application (tests, tools) is given a device of its own instead; null gives it back to the
  // application's. Not owned.
  void setDevice(IDirect3DDevice9* device) { ownDevice_ = device; }
  IDirect3DDevice9* device() const;

  // Setters: equal to a valid cached value -> true at once; no device -> false and the cache is
  // left alone; otherwise the value is cached, marked valid and handed to the device, whose
  // success is returned.
  bool setRenderState(D3DRENDERSTATETYPE state, DWORD value);
  bool setSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value);
  bool setTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value);
  bool setTexture(DWORD stage, IDirect3DBaseTexture9* texture);
  bool setTransform(D3DTRANSFORMSTATETYPE type, const D3DMATRIX* matrix);
  bool setMaterial(const D3DMATERIAL9* material);
  bool setWorld(const D3DMATRIX* matrix) { return setTransform(D3DTS_WORLD, matrix); }
  bool setView(const D3DMATRIX* matrix) { return setTransform(D3DTS_VIEW, matrix); }
  bool setProjection(const D3DMATRIX* matrix) { return setTransform(D3DTS_PROJECTION, matrix); }

  // Getters: the cached value; an entry not yet valid is asked of the device first and the
  // answer cached. False when the entry is not valid and the device cannot answer.
  bool getRenderState(D3DRENDERSTATETYPE state, DWORD* value);
  bool getSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value);
  bool getTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value);
  // The texture bound at `stage`, without an added reference.
  bool getTexture(DWORD stage, IDirect3DBaseTexture9** texture);
  bool getTransform(D3DTRANSFORMSTATETYPE type, D3DMATRIX* matrix);
  bool getMaterial(D3DMATERIAL9* material);

  // Forgets every cached value.
  void invalidate();

  // Sets that were answered from the cache and sets that reached the device.
  uint64_t hits() const { return hits_; }
  uint64_t issued() const { return issued_; }

 private:
  template <typename T>
  struct Entry {
    T value{};
    bool valid = false;
  };
  template <typename T, typename Send>
  bool set(Entry<T>& entry, const T& value, Send send);
  // The entry's value, asked of the device (by `fetch`, into the entry) the first time.
  template <typename T, typename Fetch>
  bool get(Entry<T>& entry, T* value, Fetch fetch);

  IDirect3DDevice9* ownDevice_ = nullptr;
  std::array<Entry<DWORD>, kRenderStates> render_{};
  std::array<std::array<Entry<DWORD>, kSamplerTypes>, kSamplers> sampler_{};
  std::array<std::array<Entry<DWORD>, kStageTypes>, kStages> stage_{};
  std::array<Entry<IDirect3DBaseTexture9*>, kStages> texture_{};
  std::array<Entry<D3DMATRIX>, kTransforms> transform_{};
  Entry<D3DMATERIAL9> material_{};
  uint64_t hits_ = 0, issued_ = 0;
};

// The process-wide cache.
StateCache& stateCache();

}  // namespace halcyon
