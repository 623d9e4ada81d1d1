#pragma once
// Every adapter, display mode, device type and usable format combination of the runtime, and
// findBestSettings, which completes a DeviceSettings request into a configuration the
// enumeration offers. The engine and the shell both choose their modes with this one
// function.
#include <vector>

#include "engine/device/device_settings.h"
#include "platform/d3d9/d3d9.h"

namespace halcyon {

struct DeviceCombo {
  uint32_t adapterOrdinal = 0;
  D3DDEVTYPE deviceType = D3DDEVTYPE_HAL;
  D3DFORMAT adapterFormat = D3DFMT_UNKNOWN;
  D3DFORMAT backBufferFormat = D3DFMT_UNKNOWN;
  uint8_t windowed = 0;
  std::vector<D3DFORMAT> depthStencilFormats;
  struct Multisample {
    D3DMULTISAMPLE_TYPE type;
    DWORD qualityLevels;
  };
  std::vector<Multisample> multisamples;
  struct Conflict {
    D3DFORMAT depthStencilFormat;
    D3DMULTISAMPLE_TYPE type;
  };
  std::vector<Conflict> conflicts;
  std::vector<uint32_t> vertexProcessing;
  std::vector<uint32_t> presentIntervals;
};

struct DeviceInfo {
  uint32_t adapterOrdinal = 0;
  D3DDEVTYPE deviceType = D3DDEVTYPE_HAL;
  D3DCAPS9 caps{};
  std::vector<DeviceCombo> combos;
};

struct AdapterInfo {
  uint32_t adapterOrdinal = 0;
  D3DADAPTER_IDENTIFIER9 identifier{};
  // Sorted by width, height, format, refresh rate.
  std::vector<D3DDISPLAYMODE> displayModes;
  std::vector<DeviceInfo> devices;
};

class DeviceEnumeration {
 public:
  // The runtime object is not owned.
  void setDirect3D(IDirect3D9* direct3d) { direct3d_ = direct3d; }
  IDirect3D9* direct3D() const { return direct3d_; }

  // False when there is no runtime object. Replaces what an earlier call found.
  bool enumerate();
  const std::vector<AdapterInfo>& adapters() const { return adapters_; }

 private:
  void enumerateDevices(AdapterInfo& adapter, const std::vector<D3DFORMAT>& adapterFormats);
  void enumerateCombos(DeviceInfo& device, const std::vector<D3DFORMAT>& adapterFormats);
  IDirect3D9* direct3d_ = nullptr;
  std::vector<AdapterInfo> adapters_;
};

// Completes `settings` in place; false when no offered configuration satisfies the request.
bool findBestSettings(const DeviceEnumeration& enumeration, DeviceSettings& settings);

// The most samples, at most `wanted`, that the combination `settings` describe offers with
// their depth format; D3DMULTISAMPLE_NONE when it offers none or is not enumerated.
D3DMULTISAMPLE_TYPE offeredMultisample(const DeviceEnumeration& enumeration, const DeviceSettings& settings,
                                       D3DMULTISAMPLE_TYPE wanted);

}  // namespace halcyon
