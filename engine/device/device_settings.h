#pragma once
// One complete device configuration, used both as a request (some fields set, with the flag
// bits saying which must be honoured) and as the answer findBestSettings fills in.
#include <string>

#include "platform/d3d9/d3d9.h"

namespace halcyon {

enum VertexProcessing : uint32_t {
  SOFTWARE_VP = 0,
  MIXED_VP = 1,
  HARDWARE_VP = 2,
  PURE_HARDWARE_VP = 3,
};

struct DeviceSettings {
  enum Flags : uint32_t {
    MatchSize = 0x001,
    MatchBackBufferFormat = 0x002,
    MatchDepthStencil = 0x004,
    MatchMultisample = 0x008,
    MatchVertexProcessing = 0x010,
    MatchPresentInterval = 0x020,
    MatchAdapter = 0x100,
    MatchRefreshRate = 0x400,
    RequireMatch = 0x800,
  };

  uint32_t flags = 0;
  uint8_t windowed = 0;
  uint32_t adapterOrdinal = 0;
  D3DDEVTYPE deviceType = D3DDEVTYPE_HAL;
  D3DCAPS9 caps{};
  D3DFORMAT backBufferFormat = D3DFMT_UNKNOWN;
  D3DFORMAT depthStencilFormat = D3DFMT_UNKNOWN;
  uint32_t width = 0, height = 0;
  uint32_t refreshRate = 0;
  D3DFORMAT adapterFormat = D3DFMT_UNKNOWN;
  D3DMULTISAMPLE_TYPE multisampleType = D3DMULTISAMPLE_NONE;
  uint32_t multisampleQuality = 0;
  uint32_t vertexProcessing = SOFTWARE_VP;
  uint32_t presentInterval = D3DPRESENT_INTERVAL_DEFAULT;

  // A cleared request asks for nothing; only the flags and the presentation kind are reset.
  void clear() {
    flags = 0;
    windowed = 0;
  }
};

// Name tables: each appends its word to `out`.
void appendDeviceTypeName(std::string& out, uint32_t deviceType);
void appendMultisampleName(std::string& out, uint32_t multisampleType);
void appendVertexProcessingName(std::string& out, uint32_t vertexProcessing);
void appendPresentIntervalName(std::string& out, uint32_t presentInterval);
// The format's identifier without its "D3DFMT_" prefix; "UNKNOWN" for 0, "Unknown format"
// for values without a name.
void appendFormatName(std::string& out, uint32_t format);

// The seven formats texture and font descriptors may name; anything else is D3DFMT_UNKNOWN.
D3DFORMAT formatFromText(const std::string& text);
uint32_t formatBitsPerPixel(D3DFORMAT format);
bool formatHasAlpha(D3DFORMAT format);

// The block the engine hands to the error trace each time it creates a device.
std::string describeDeviceSettings(const DeviceSettings& settings);

}  // namespace halcyon
