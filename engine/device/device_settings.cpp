#include "engine/device/device_settings.h"

namespace halcyon {

void appendDeviceTypeName(std::string& out, uint32_t type) {
  switch (type) {
    case D3DDEVTYPE_HAL: out += "D3DDEVTYPE_HAL"; break;
    case D3DDEVTYPE_REF: out += "D3DDEVTYPE_REF"; break;
    case D3DDEVTYPE_SW: out += "D3DDEVTYPE_SW"; break;
    default: out += "Unknown devType"; break;
  }
}

void appendMultisampleName(std::string& out, uint32_t type) {
  if (type == 0) out += "D3DMULTISAMPLE_NONE";
  else if (type == 1)
    out += "D3DMULTISAMPLE_NONMASKABLE";
  else if (type >= 2 && type <= 16)
    out += "D3DMULTISAMPLE_" + std::to_string(type) + "_SAMPLES";
  else
    out += "Unknown Multisample Type";
}

void appendVertexProcessingName(std::string& out, uint32_t vp) {
  static const char* const names[] = {"SOFTWARE_VP", "MIXED_VP", "HARDWARE_VP", "PURE_HARDWARE_VP"};
  out += vp < 4 ? names[vp] : "Unknown VertexProcessingType";
}

void appendPresentIntervalName(std::string& out, uint32_t interval) {
  switch (interval) {
    case D3DPRESENT_INTERVAL_DEFAULT: out += "D3DPRESENT_INTERVAL_DEFAULT"; break;
    case D3DPRESENT_INTERVAL_ONE: out += "D3DPRESENT_INTERVAL_ONE"; break;
    case D3DPRESENT_INTERVAL_TWO: out += "D3DPRESENT_INTERVAL_TWO"; break;
    case D3DPRESENT_INTERVAL_THREE: out += "D3DPRESENT_INTERVAL_THREE"; break;
    case D3DPRESENT_INTERVAL_FOUR: out += "D3DPRESENT_INTERVAL_FOUR"; break;
    case D3DPRESENT_INTERVAL_IMMEDIATE: out += "D3DPRESENT_INTERVAL_IMMEDIATE"; break;
    default: out += "Unknown PresentInterval"; break;
  }
}

namespace {

struct FormatInfo {
  D3DFORMAT format;
  const char* name;
  uint32_t bits;
  bool alpha;
};

const FormatInfo kFormats[] = {
    {D3DFMT_R8G8B8, "R8G8B8", 24, false},
    {D3DFMT_A8R8G8B8, "A8R8G8B8", 32, true},
    {D3DFMT_X8R8G8B8, "X8R8G8B8", 32, false},
    {D3DFMT_R5G6B5, "R5G6B5", 16, false},
    {D3DFMT_X1R5G5B5, "X1R5G5B5", 16, false},
    {D3DFMT_A1R5G5B5, "A1R5G5B5", 16, true},
    {D3DFMT_A4R4G4B4, "A4R4G4B4", 16, true},
    {D3DFMT_R3G3B2, "R3G3B2", 8, false},
    {D3DFMT_A8, "A8", 8, true},
    {D3DFMT_A8R3G3B2, "A8R3G3B2", 16, true},
    {D3DFMT_X4R4G4B4, "X4R4G4B4", 16, false},
    {D3DFMT_A2B10G10R10, "A2B10G10R10", 32, true},
    {D3DFMT_A8B8G8R8, "A8B8G8R8", 32, true},
    {D3DFMT_X8B8G8R8, "X8B8G8R8", 32, false},
    {D3DFMT_G16R16, "G16R16", 32, false},
    {D3DFMT_A2R10G10B10, "A2R10G10B10", 32, false},
    {D3DFMT_A16B16G16R16, "A16B16G16R16", 64, true},
    {D3DFMT_A8P8, "A8P8", 16, true},
    {D3DFMT_P8, "P8", 8, false},
    {D3DFMT_L8, "L8", 8, false},
    {D3DFMT_A8L8, "A8L8", 16, true},
    {D3DFMT_A4L4, "A4L4", 8, true},
    {D3DFMT_V8U8, "V8U8", 16, false},
    {D3DFMT_L6V5U5, "L6V5U5", 16, false},
    {D3DFMT_X8L8V8U8, "X8L8V8U8", 32, false},
    {D3DFMT_Q8W8V8U8, "Q8W8V8U8", 32, false},
    {D3DFMT_V16U16, "V16U16", 32, false},
    {D3DFMT_A2W10V10U10, "A2W10V10U10", 32, true},
    {D3DFMT_D16_LOCKABLE, "D16_LOCKABLE", 16, false},
    {D3DFMT_D32, "D32", 32, false},
    {D3DFMT_D15S1, "D15S1", 16, false},
    {D3DFMT_D24S8, "D24S8", 32, false},
    {D3DFMT_D24X8, "D24X8", 32, false},
    {D3DFMT_D24X4S4, "D24X4S4", 32, false},
    {D3DFMT_D16, "D16", 16, false},
    {D3DFMT_L16, "L16", 16, false},
    {D3DFMT_VERTEXDATA, "VERTEXDATA", 0, false},
    {D3DFMT_INDEX16, "INDEX16", 16, false},
    {D3DFMT_INDEX32, "INDEX32", 32, false},
    {D3DFMT_Q16W16V16U16, "Q16W16V16U16", 64, false},
    {D3DFMT_R16F, "R16F", 16, false},
    {D3DFMT_G16R16F, "G16R16F", 32, false},
    {D3DFMT_A16B16G16R16F, "A16B16G16R16F", 64, true},
    {D3DFMT_R32F, "R32F", 32, false},
    {D3DFMT_G32R32F, "G32R32F", 64, false},
    {D3DFMT_A32B32G32R32F, "A32B32G32R32F", 128, true},
    {D3DFMT_CxV8U8, "CxV8U8", 16, false},
    {D3DFMT_MULTI2_ARGB8, "MULTI2_ARGB8", 0, true},
    {D3DFMT_DXT1, "DXT1", 0, false},
    {D3DFMT_DXT2, "DXT2", 0, false},
    {D3DFMT_DXT3, "DXT3", 0, false},
    {D3DFMT_DXT4, "DXT4", 0, false},
    {D3DFMT_DXT5, "DXT5", 0, false},
    {D3DFMT_YUY2, "YUY2", 0, false},
    {D3DFMT_UYVY, "UYVY", 0, false},
};

const FormatInfo* findFormat(uint32_t format) {
  for (const FormatInfo& f : kFormats)
    if (f.format == format) return &f;
  return nullptr;
}

}  // namespace

void appendFormatName(std::string& out, uint32_t format) {
  if (format == D3DFMT_UNKNOWN) {
    out += "UNKNOWN";
    return;
  }
  const FormatInfo* f = findFormat(format);
  out += f ? f->name : "Unknown format";
}

D3DFORMAT formatFromText(const std::string& text) {
  static const std::pair<const char*, D3DFORMAT> known[] = {
      {"D3DFMT_R8G8B8", D3DFMT_R8G8B8},    {"D3DFMT_A8R8G8B8", D3DFMT_A8R8G8B8}, {"D3DFMT_X8R8G8B8", D3DFMT_X8R8G8B8},
      {"D3DFMT_R5G6B5", D3DFMT_R5G6B5},    {"D3DFMT_X1R5G5B5", D3DFMT_X1R5G5B5}, {"D3DFMT_A1R5G5B5", D3DFMT_A1R5G5B5},
      {"D3DFMT_A4R4G4B4", D3DFMT_A4R4G4B4}};
  for (const auto& [name, format] : known)
    if (text == name) return format;
  return D3DFMT_UNKNOWN;
}

uint32_t formatBitsPerPixel(D3DFORMAT format) {
  const FormatInfo* f = findFormat(format);
  return f ? f->bits : 0;
}

bool formatHasAlpha(D3DFORMAT format) {
  const FormatInfo* f = findFormat(format);
  return f && f->alpha;
}

std::string describeDeviceSettings(const DeviceSettings& s) {
  std::string out = "----------------------\n";
  out += s.windowed ? "Windowed " : "Fullscreen ";
  out += std::to_string(s.width) + "x" + std::to_string(s.height) + ", " + std::to_string(s.refreshRate) + "Hz, ";
  appendFormatName(out, s.adapterFormat);
  out += ", ";
  appendFormatName(out, s.backBufferFormat);
  out += ", ";
  appendFormatName(out, s.depthStencilFormat);
  out += ", ";
  appendDeviceTypeName(out, s.deviceType);
  out += "\nPresent Interval: ";
  appendPresentIntervalName(out, s.presentInterval);
  out += "\nVertex Proccessing: ";
  appendVertexProcessingName(out, s.vertexProcessing);
  out += "\nMultiSample: ";
  appendMultisampleName(out, s.multisampleType);
  out += " , Quality:" + std::to_string(s.multisampleQuality) + "\n";
  out += "----------------------\n";
  return out;
}

}  // namespace halcyon
