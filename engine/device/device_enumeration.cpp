#include "engine/device/device_enumeration.h"

#include <algorithm>
#include <tuple>

namespace halcyon {

namespace {

const D3DFORMAT kAdapterFormats[] = {D3DFMT_X8R8G8B8, D3DFMT_X1R5G5B5, D3DFMT_R5G6B5, D3DFMT_A2R10G10B10};
const D3DFORMAT kBackBufferFormats[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_A2R10G10B10,
                                        D3DFMT_R5G6B5,   D3DFMT_A1R5G5B5, D3DFMT_X1R5G5B5};
const D3DFORMAT kDepthFormats[] = {D3DFMT_D16, D3DFMT_D15S1, D3DFMT_D24X8, D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D32};
const D3DDEVTYPE kDeviceTypes[] = {D3DDEVTYPE_HAL, D3DDEVTYPE_SW, D3DDEVTYPE_REF};

template <typename T>
bool contains(const std::vector<T>& list, T value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

}  // namespace

bool DeviceEnumeration::enumerate() {
  adapters_.clear();
  if (!direct3d_) return false;
  const UINT count = direct3d_->GetAdapterCount();
  for (UINT ordinal = 0; ordinal < count; ++ordinal) {
    AdapterInfo adapter;
    adapter.adapterOrdinal = ordinal;
    direct3d_->GetAdapterIdentifier(ordinal, 0, &adapter.identifier);
    std::vector<D3DFORMAT> adapterFormats;
    for (D3DFORMAT format : kAdapterFormats) {
      const UINT modes = direct3d_->GetAdapterModeCount(ordinal, format);
      for (UINT i = 0; i < modes; ++i) {
        D3DDISPLAYMODE mode{};
        if (FAILED(direct3d_->EnumAdapterModes(ordinal, format, i, &mode))) continue;
        adapter.displayModes.push_back(mode);
        if (!contains(adapterFormats, mode.Format)) adapterFormats.push_back(mode.Format);
      }
    }
    std::stable_sort(adapter.displayModes.begin(), adapter.displayModes.end(),
                     [](const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) {
                       return std::tie(a.Width, a.Height, a.Format, a.RefreshRate) <
                              std::tie(b.Width, b.Height, b.Format, b.RefreshRate);
                     });
    enumerateDevices(adapter, adapterFormats);
    if (!adapter.devices.empty()) adapters_.push_back(std::move(adapter));
  }
  return true;
}

void DeviceEnumeration::enumerateDevices(AdapterInfo& adapter, const std::vector<D3DFORMAT>& adapterFormats) {
  for (D3DDEVTYPE type : kDeviceTypes) {
    DeviceInfo device;
    device.adapterOrdinal = adapter.adapterOrdinal;
    device.deviceType = type;
    if (FAILED(direct3d_->GetDeviceCaps(adapter.adapterOrdinal, type, &device.caps))) continue;
    enumerateCombos(device, adapterFormats);
    if (!device.combos.empty()) adapter.devices.push_back(std::move(device));
  }
}

void DeviceEnumeration::enumerateCombos(DeviceInfo& device, const std::vector<D3DFORMAT>& adapterFormats) {
  const UINT ordinal = device.adapterOrdinal;
  const D3DDEVTYPE type = device.deviceType;
  for (D3DFORMAT adapterFormat : adapterFormats) {
    for (D3DFORMAT backBuffer : kBackBufferFormats) {
      for (BOOL windowed : {FALSE, TRUE}) {
        if (FAILED(direct3d_->CheckDeviceType(ordinal, type, adapterFormat, backBuffer, windowed))) continue;
        DeviceCombo combo;
        combo.adapterOrdinal = ordinal;
        combo.deviceType = type;
        combo.adapterFormat = adapterFormat;
        combo.backBufferFormat = backBuffer;
        combo.windowed = windowed ? 1 : 0;
        for (D3DFORMAT depth : kDepthFormats) {
          if (SUCCEEDED(direct3d_->CheckDeviceFormat(ordinal, type, adapterFormat, D3DUSAGE_DEPTHSTENCIL,
                                                     D3DRTYPE_SURFACE, depth)) &&
              SUCCEEDED(direct3d_->CheckDepthStencilMatch(ordinal, type, adapterFormat, backBuffer, depth)))
            combo.depthStencilFormats.push_back(depth);
        }
        if (combo.depthStencilFormats.empty()) continue;
        for (UINT ms = D3DMULTISAMPLE_NONE; ms <= D3DMULTISAMPLE_16_SAMPLES; ++ms) {
          DWORD quality = 0;
          if (SUCCEEDED(direct3d_->CheckDeviceMultiSampleType(ordinal, type, backBuffer, windowed,
                                                              static_cast<D3DMULTISAMPLE_TYPE>(ms), &quality)))
            combo.multisamples.push_back({static_cast<D3DMULTISAMPLE_TYPE>(ms), quality});
        }
        if (combo.multisamples.empty()) continue;
        for (D3DFORMAT depth : combo.depthStencilFormats)
          for (const auto& ms : combo.multisamples)
            if (FAILED(direct3d_->CheckDeviceMultiSampleType(ordinal, type, depth, windowed, ms.type, nullptr)))
              combo.conflicts.push_back({depth, ms.type});
        if (device.caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) {
          if (device.caps.DevCaps & D3DDEVCAPS_PUREDEVICE) combo.vertexProcessing.push_back(PURE_HARDWARE_VP);
          combo.vertexProcessing.push_back(HARDWARE_VP);
          combo.vertexProcessing.push_back(MIXED_VP);
        }
        combo.vertexProcessing.push_back(SOFTWARE_VP);
        for (DWORD interval : {D3DPRESENT_INTERVAL_IMMEDIATE, D3DPRESENT_INTERVAL_DEFAULT, D3DPRESENT_INTERVAL_ONE,
                               D3DPRESENT_INTERVAL_TWO, D3DPRESENT_INTERVAL_THREE, D3DPRESENT_INTERVAL_FOUR}) {
          if (interval == D3DPRESENT_INTERVAL_DEFAULT) {
            combo.presentIntervals.push_back(interval);
            continue;
          }
          if (windowed && (interval == D3DPRESENT_INTERVAL_TWO || interval == D3DPRESENT_INTERVAL_THREE ||
                           interval == D3DPRESENT_INTERVAL_FOUR))
            continue;
          if (device.caps.PresentationIntervals & interval) combo.presentIntervals.push_back(interval);
        }
        device.combos.push_back(std::move(combo));
      }
    }
  }
}

bool findBestSettings(const DeviceEnumeration& enumeration, DeviceSettings& s) {
  IDirect3D9* d3d = enumeration.direct3D();
  if (!d3d) return false;
  D3DDISPLAYMODE desktop{};
  if (FAILED(d3d->GetAdapterDisplayMode(0, &desktop))) return false;
  const bool matchBackBuffer = s.flags & DeviceSettings::MatchBackBufferFormat;
  const bool require = s.flags & DeviceSettings::RequireMatch;

  const AdapterInfo* bestAdapter = nullptr;
  const DeviceInfo* bestDevice = nullptr;
  const DeviceCombo* best = nullptr;
  // The first adapter with a preferred combo ends the search: a later adapter (another
  // monitor or X screen) has a desktop of its own, which the size below is not taken from.
  bool found = false;
  for (const AdapterInfo& adapter : enumeration.adapters()) {
    if (found) break;
    if ((s.flags & DeviceSettings::MatchAdapter) && adapter.adapterOrdinal != s.adapterOrdinal) continue;
    for (const DeviceInfo& device : adapter.devices) {
      if (device.deviceType != D3DDEVTYPE_HAL) continue;
      for (const DeviceCombo& combo : device.combos) {
        if (combo.windowed != (s.windowed ? 1 : 0)) continue;
        bool preferred = false;
        if (matchBackBuffer) {
          if (formatBitsPerPixel(combo.backBufferFormat) != formatBitsPerPixel(s.backBufferFormat)) continue;
          preferred = combo.backBufferFormat == s.backBufferFormat;
        }
        const bool sameFormat = combo.backBufferFormat == combo.adapterFormat;
        const bool desktopFormat = combo.adapterFormat == desktop.Format;
        if (desktopFormat && !matchBackBuffer && sameFormat) preferred = true;
        if (combo.windowed && !desktopFormat) continue;
        if (!best || sameFormat || preferred) {
          best = &combo;
          bestDevice = &device;
          bestAdapter = &adapter;
        }
        if (preferred) {
          found = true;
          break;
        }
      }
      if (found) break;
    }
  }
  if (!best) return false;

  s.adapterOrdinal = bestAdapter->adapterOrdinal;
  s.deviceType = bestDevice->deviceType;
  s.caps = bestDevice->caps;
  s.backBufferFormat = best->backBufferFormat;

  if (best->windowed) {
    s.width = desktop.Width;
    s.height = desktop.Height;
    s.refreshRate = desktop.RefreshRate;
    s.adapterFormat = desktop.Format;
  } else {
    // A full-screen mode stays on its own adapter's desktop.
    if (bestAdapter->adapterOrdinal != 0 && FAILED(d3d->GetAdapterDisplayMode(bestAdapter->adapterOrdinal, &desktop)))
      return false;
    const D3DDISPLAYMODE* chosen = nullptr;
    for (const D3DDISPLAYMODE& mode : bestAdapter->displayModes) {
      if (mode.Format != best->adapterFormat) continue;
      if ((s.flags & DeviceSettings::MatchSize) && (mode.Width != s.width || mode.Height != s.height)) continue;
      if ((s.flags & DeviceSettings::MatchRefreshRate) && mode.RefreshRate != s.refreshRate) continue;
      if (!(s.flags & DeviceSettings::MatchSize) &&
          (mode.Width != desktop.Width || mode.Height != desktop.Height || mode.RefreshRate != desktop.RefreshRate))
        continue;
      if (!chosen || mode.RefreshRate >= chosen->RefreshRate) chosen = &mode;
    }
    if (!chosen) return false;
    s.width = chosen->Width;
    s.height = chosen->Height;
    s.refreshRate = chosen->RefreshRate;
    s.adapterFormat = chosen->Format;
  }

  const std::vector<D3DFORMAT>& depths = best->depthStencilFormats;
  bool keptDepth = false;
  if (s.flags & DeviceSettings::MatchDepthStencil) {
    keptDepth = contains(depths, s.depthStencilFormat);
    if (!keptDepth && require) return false;
  }
  if (!keptDepth) {
    const uint32_t bits = formatBitsPerPixel(s.backBufferFormat);
    if (bits == 16 && contains(depths, D3DFMT_D16)) {
      s.depthStencilFormat = D3DFMT_D16;
    } else if (bits == 32 && contains(depths, D3DFMT_D32)) {
      s.depthStencilFormat = D3DFMT_D32;
    } else {
      // A combo lists only depth formats that match its back buffer, so when none has the back
      // buffer's width any of them will do.
      auto it = std::find_if(depths.begin(), depths.end(), [&](D3DFORMAT f) { return formatBitsPerPixel(f) == bits; });
      if (it == depths.end()) it = depths.begin();
      if (it == depths.end()) return false;
      s.depthStencilFormat = *it;
    }
  }

  if (s.flags & DeviceSettings::MatchMultisample) {
    auto it = std::find_if(best->multisamples.begin(), best->multisamples.end(),
                           [&](const DeviceCombo::Multisample& m) { return m.type == s.multisampleType; });
    if (it != best->multisamples.end()) {
      if (require) {
        if (s.multisampleQuality >= it->qualityLevels) return false;
      } else if (it->qualityLevels > 0 && s.multisampleQuality > it->qualityLevels - 1) {
        s.multisampleQuality = it->qualityLevels - 1;
      }
    }
    // A type the combo does not list stays as asked: device creation then fails and the
    // caller falls back to its request without multisampling.
  } else {
    s.multisampleType = D3DMULTISAMPLE_NONE;
    s.multisampleQuality = 0;
  }

  if (s.flags & DeviceSettings::MatchVertexProcessing) {
    if (!contains(best->vertexProcessing, s.vertexProcessing) && require) return false;
  } else {
    s.vertexProcessing = contains(best->vertexProcessing, static_cast<uint32_t>(HARDWARE_VP)) ? HARDWARE_VP
                                                                                              : SOFTWARE_VP;
  }

  const bool intervalListed = contains(best->presentIntervals, s.presentInterval);
  if ((s.flags & DeviceSettings::MatchPresentInterval) && !intervalListed && require) return false;
  if (!(s.flags & DeviceSettings::MatchPresentInterval) || !intervalListed)
    s.presentInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  return true;
}

D3DMULTISAMPLE_TYPE offeredMultisample(const DeviceEnumeration& enumeration, const DeviceSettings& s,
                                       D3DMULTISAMPLE_TYPE wanted) {
  D3DMULTISAMPLE_TYPE offered = D3DMULTISAMPLE_NONE;
  for (const AdapterInfo& adapter : enumeration.adapters()) {
    if (adapter.adapterOrdinal != s.adapterOrdinal) continue;
    for (const DeviceInfo& device : adapter.devices) {
      if (device.deviceType != s.deviceType) continue;
      for (const DeviceCombo& combo : device.combos) {
        if (combo.adapterFormat != s.adapterFormat || combo.backBufferFormat != s.backBufferFormat ||
            combo.windowed != (s.windowed ? 1 : 0))
          continue;
        for (const DeviceCombo::Multisample& m : combo.multisamples) {
          const bool conflicts = std::any_of(combo.conflicts.begin(), combo.conflicts.end(),
                                             [&](const DeviceCombo::Conflict& c) {
                                               return c.depthStencilFormat == s.depthStencilFormat && c.type == m.type;
                                             });
          if (!conflicts && m.type <= wanted && m.type > offered && m.type != D3DMULTISAMPLE_NONMASKABLE)
            offered = m.type;
        }
      }
    }
  }
  return offered;
}

}  // namespace halcyon
