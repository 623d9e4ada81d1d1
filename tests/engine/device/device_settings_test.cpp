#include <gtest/gtest.h>

#include "engine/device/device_enumeration.h"
#include "platform/d3d9/recording.h"

namespace {

using halcyon::DeviceEnumeration;
using halcyon::DeviceSettings;
using halcyon::findBestSettings;

class FindBest : public ::testing::Test {
 protected:
  void build(std::vector<ScriptedAdapter> adapters) {
    d3d_ = new RecordingDirect3D9(std::move(adapters));
    enumeration_.setDirect3D(d3d_);
    ASSERT_TRUE(enumeration_.enumerate());
  }
  void TearDown() override { safeRelease(d3d_); }
  static DeviceSettings fullScreen(uint32_t flags) {
    DeviceSettings s;
    s.clear();
    s.flags = flags;
    return s;
  }
  RecordingDirect3D9* d3d_ = nullptr;
  DeviceEnumeration enumeration_;
};

TEST_F(FindBest, DesktopModeIsTakenWithoutMatchSizeAndMissingItFails) {
  ScriptedAdapter a = ScriptedAdapter::standard();
  a.desktop = {1024, 768, 60, D3DFMT_X8R8G8B8};
  build({a});
  DeviceSettings s = fullScreen(0);
  ASSERT_TRUE(findBestSettings(enumeration_, s));
  EXPECT_EQ(s.width, 1024u);
  EXPECT_EQ(s.height, 768u);
  EXPECT_EQ(s.refreshRate, 60u);
  EXPECT_EQ(s.adapterFormat, D3DFMT_X8R8G8B8);
  EXPECT_EQ(s.backBufferFormat, D3DFMT_X8R8G8B8) << "the same-format combo on the desktop format is preferred";
  EXPECT_EQ(s.depthStencilFormat, D3DFMT_D32);
  EXPECT_EQ(s.vertexProcessing, halcyon::HARDWARE_VP);
  EXPECT_EQ(s.presentInterval, D3DPRESENT_INTERVAL_IMMEDIATE);
  EXPECT_EQ(s.multisampleType, D3DMULTISAMPLE_NONE);

  safeRelease(d3d_);
  a.desktop = {1280, 1024, 85, D3DFMT_X8R8G8B8};  // no such mode is listed
  build({a});
  s = fullScreen(0);
  EXPECT_FALSE(findBestSettings(enumeration_, s));
  s = fullScreen(DeviceSettings::MatchSize);
  s.width = 800;
  s.height = 600;
  EXPECT_TRUE(findBestSettings(enumeration_, s)) << "the shell's 800x600 fallback";
}

TEST_F(FindBest, ADeviceWithOneDepthFormatGetsItForEveryBackBuffer) {
  ScriptedAdapter a = ScriptedAdapter::standard();
  a.depthFormats = {D3DFMT_D24S8};
  build({a});
  DeviceSettings s = fullScreen(0);
  ASSERT_TRUE(findBestSettings(enumeration_, s));
  EXPECT_EQ(s.depthStencilFormat, D3DFMT_D24S8) << "no D32 is claimed that the device does not make";
  s = fullScreen(DeviceSettings::MatchSize | DeviceSettings::MatchBackBufferFormat);
  s.width = 800;
  s.height = 600;
  s.backBufferFormat = D3DFMT_R5G6B5;
  ASSERT_TRUE(findBestSettings(enumeration_, s)) << "a 16-bit mode without a 16-bit depth format";
  EXPECT_EQ(s.depthStencilFormat, D3DFMT_D24S8);
}

TEST_F(FindBest, OfferedMultisampleIsTheMostUpToTheWanted) {
  ScriptedAdapter a = ScriptedAdapter::standard();
  a.multisample = {{D3DMULTISAMPLE_NONE, 1},
                   {D3DMULTISAMPLE_2_SAMPLES, 1},
                   {D3DMULTISAMPLE_4_SAMPLES, 1},
                   {D3DMULTISAMPLE_8_SAMPLES, 1}};
  build({a});
  DeviceSettings s = fullScreen(0);
  ASSERT_TRUE(findBestSettings(enumeration_, s));
  EXPECT_EQ(offeredMultisample(enumeration_, s, D3DMULTISAMPLE_4_SAMPLES), D3DMULTISAMPLE_4_SAMPLES);
  EXPECT_EQ(offeredMultisample(enumeration_, s, D3DMULTISAMPLE_16_SAMPLES), D3DMULTISAMPLE_8_SAMPLES);
  EXPECT_EQ(offeredMultisample(enumeration_, s, D3DMULTISAMPLE_3_SAMPLES), D3DMULTISAMPLE_2_SAMPLES);
  EXPECT_EQ(offeredMultisample(enumeration_, s, D3DMULTISAMPLE_NONE), D3DMULTISAMPLE_NONE);
  s.backBufferFormat = D3DFMT_A1R5G5B5;
  EXPECT_EQ(offeredMultisample(enumeration_, s, D3DMULTISAMPLE_4_SAMPLES), D3DMULTISAMPLE_NONE)
      << "not a listed combination";
}

TEST_F(FindBest, HighestRefreshWinsAndTheLaterOfEqualRefresh) {
  ScriptedAdapter a = ScriptedAdapter::standard();
  a.modes = {{800, 600, 85, D3DFMT_X8R8G8B8},
             {800, 600, 60, D3DFMT_X8R8G8B8},
             {800, 600, 100, D3DFMT_X8R8G8B8},
             {800, 600, 72, D3DFMT_X8R8G8B8},
             {1024, 768, 60, D3DFMT_X8R8G8B8}};
  build({a});
  DeviceSettings s = fullScreen(DeviceSettings::MatchSize);
  s.width = 800;
  s.height = 600;
  ASSERT_TRUE(findBestSettings(enumeration_, s));
  EXPECT_EQ(s.refreshRate, 100u);
  s = fullScreen(DeviceSettings::MatchSize | DeviceSettings::MatchRefreshRate);
  s.width = 800;
  s.height = 600;
  s.refreshRate = 72;
  ASSERT_TRUE(findBestSettings(enumeration_, s));
  EXPECT_EQ(s.refreshRate, 72u);
  const auto& modes = enumeration_.adapters()[0].displayModes;
  ASSERT_EQ(modes.size(), 5u);
  EXPECT_EQ(modes[0].RefreshRate, 60u) << "modes are sorted by size, format, then refresh";
  EXPECT_EQ(modes[3].RefreshRate, 100u);
}

TEST_F(FindBest, UnsupportedMultisampleIsKeptAndSupportedQualityClamped) {
  ScriptedAdapter a = ScriptedAdapter::standard();
  a.multisample = {{D3DMULTISAMPLE_NONE, 1}, {D3DMULTISAMPLE_4_SAMPLES, 2}};
  build({a});
  DeviceSettings s = fullScreen(DeviceSettings::MatchMultisample);
  s.multisampleType = D3DMULTISAMPLE_2_SAMPLES;
  s.multisampleQuality = 0;
  ASSERT_TRUE(findBestSettings(enumeration_, s));
  EXPECT_EQ(s.multisampleType, D3DMULTISAMPLE_2_SAMPLES)
      << "kept, so that device creation fails and the caller falls back";
  s = fullScreen(DeviceSettings::MatchMultisample);
  s.multisampleType = D3DMULTISAMPLE_4_SAMPLES;
  s.multisampleQuality = 5;
  ASSERT_TRUE(findBestSettings(enumeration_, s));
  EXPECT_EQ(s.multisampleQuality, 1u);
  s = fullScreen(DeviceSettings::MatchMultisample | DeviceSettings::RequireMatch);
  s.multisampleType = D3DMULTISAMPLE_4_SAMPLES;
  s.multisampleQuality = 2;
  EXPECT_FALSE(findBestSettings(enumeration_, s));
}

TEST_F(FindBest, BackBufferDepthRequestsAndSixteenBitDepth) {
  ScriptedAdapter a = ScriptedAdapter::standard();
  a.desktop = {800, 600, 60, D3DFMT_X8R8G8B8};
  build({a});
  // The shell's fixed mode at 16 bits asks for X1R5G5B5; the 16-bit adapter format offers
  // R5G6B5 as well, and a same-depth combo is accepted.
  DeviceSettings s = fullScreen(DeviceSettings::MatchSize | DeviceSettings::MatchBackBufferFormat |
                                DeviceSettings::MatchMultisample);
  s.width = 640;
  s.height = 480;
  s.backBufferFormat = D3DFMT_X1R5G5B5;
  s.multisampleType = D3DMULTISAMPLE_2_SAMPLES;
  ASSERT_TRUE(findBestSettings(enumeration_, s));
  EXPECT_EQ(halcyon::formatBitsPerPixel(s.backBufferFormat), 16u);
  EXPECT_EQ(s.adapterFormat, D3DFMT_R5G6B5);
  EXPECT_EQ(s.depthStencilFormat, D3DFMT_D16);
}

TEST_F(FindBest, WindowedTakesTheDesktopAndSkipsOtherFormats) {
  ScriptedAdapter a = ScriptedAdapter::standard();
  a.desktop = {800, 600, 75, D3DFMT_R5G6B5};
  a.caps.PresentationIntervals = D3DPRESENT_INTERVAL_ONE | D3DPRESENT_INTERVAL_TWO;
  build({a});
  DeviceSettings s;
  s.clear();
  s.windowed = 1;
  s.flags = DeviceSettings::MatchPresentInterval;
  s.presentInterval = D3DPRESENT_INTERVAL_TWO;
  ASSERT_TRUE(findBestSettings(enumeration_, s));
  EXPECT_EQ(s.adapterFormat, D3DFMT_R5G6B5);
  EXPECT_EQ(s.backBufferFormat, D3DFMT_R5G6B5);
  EXPECT_EQ(s.width, 800u);
  EXPECT_EQ(s.presentInterval, D3DPRESENT_INTERVAL_IMMEDIATE) << "TWO is never offered windowed";
  s.flags |= DeviceSettings::RequireMatch;
  s.presentInterval = D3DPRESENT_INTERVAL_TWO;
  EXPECT_FALSE(findBestSettings(enumeration_, s));
}

TEST_F(FindBest, SoftwareOnlyDeviceAndAdapterMatching) {
  ScriptedAdapter plain = ScriptedAdapter::standard();
  plain.caps.DevCaps = 0;
  ScriptedAdapter second = ScriptedAdapter::standard();
  second.deviceTypes = {D3DDEVTYPE_REF};
  build({plain, second});
  ASSERT_EQ(enumeration_.adapters().size(), 2u);
  DeviceSettings s = fullScreen(DeviceSettings::MatchAdapter);
  s.adapterOrdinal = 1;
  EXPECT_FALSE(findBestSettings(enumeration_, s)) << "adapter 1 has no HAL device";
  s = fullScreen(0);
  ASSERT_TRUE(findBestSettings(enumeration_, s));
  EXPECT_EQ(s.vertexProcessing, halcyon::SOFTWARE_VP);
  const auto& combo = enumeration_.adapters()[0].devices[0].combos[0];
  EXPECT_EQ(combo.vertexProcessing, std::vector<uint32_t>{halcyon::SOFTWARE_VP});
}

TEST_F(FindBest, TwoScreensOfDifferentSizesEachKeepTheirOwnDesktop) {
  // Two X screens: the first 1280x720, the second 1024x768, each listing only its own mode.
  ScriptedAdapter first = ScriptedAdapter::standard();
  first.desktop = {1280, 720, 60, D3DFMT_X8R8G8B8};
  first.modes = {first.desktop};
  ScriptedAdapter second = ScriptedAdapter::standard();
  second.desktop = {1024, 768, 60, D3DFMT_X8R8G8B8};
  second.modes = {second.desktop};
  build({first, second});
  DeviceSettings s = fullScreen(0);
  ASSERT_TRUE(findBestSettings(enumeration_, s)) << "a later screen must not take the first one's place";
  EXPECT_EQ(s.adapterOrdinal, 0u);
  EXPECT_EQ(s.width, 1280u);
  EXPECT_EQ(s.height, 720u);
  s = fullScreen(0);
  s.windowed = 1;
  ASSERT_TRUE(findBestSettings(enumeration_, s));
  EXPECT_EQ(s.adapterOrdinal, 0u);

  s = fullScreen(DeviceSettings::MatchAdapter);
  s.adapterOrdinal = 1;
  ASSERT_TRUE(findBestSettings(enumeration_, s)) << "the second screen's own desktop mode";
  EXPECT_EQ(s.width, 1024u);
  EXPECT_EQ(s.height, 768u);
}

TEST(DeviceNames, TablesAndFormats) {
  std::string out;
  halcyon::appendDeviceTypeName(out, 3);
  halcyon::appendMultisampleName(out, 16);
  halcyon::appendMultisampleName(out, 17);
  halcyon::appendVertexProcessingName(out, 3);
  halcyon::appendPresentIntervalName(out, 0x80000000u);
  halcyon::appendPresentIntervalName(out, 3);
  EXPECT_EQ(out,
            "D3DDEVTYPE_SWD3DMULTISAMPLE_16_SAMPLESUnknown Multisample TypePURE_HARDWARE_VP"
            "D3DPRESENT_INTERVAL_IMMEDIATEUnknown PresentInterval");
  out.clear();
  halcyon::appendFormatName(out, 0);
  out += ",";
  halcyon::appendFormatName(out, D3DFMT_DXT3);
  out += ",";
  halcyon::appendFormatName(out, 999);
  EXPECT_EQ(out, "UNKNOWN,DXT3,Unknown format");
  EXPECT_EQ(halcyon::formatFromText("D3DFMT_A4R4G4B4"), D3DFMT_A4R4G4B4);
  EXPECT_EQ(halcyon::formatFromText("D3DFMT_DXT1"), D3DFMT_UNKNOWN);
  EXPECT_EQ(halcyon::formatFromText("d3dfmt_a8r8g8b8"), D3DFMT_UNKNOWN) << "matched exactly";
  EXPECT_EQ(halcyon::formatBitsPerPixel(D3DFMT_R8G8B8), 24u);
  EXPECT_EQ(halcyon::formatBitsPerPixel(D3DFMT_A32B32G32R32F), 128u);
  EXPECT_EQ(halcyon::formatBitsPerPixel(D3DFMT_DXT1), 0u);
  EXPECT_TRUE(halcyon::formatHasAlpha(D3DFMT_A8L8));
  EXPECT_FALSE(halcyon::formatHasAlpha(D3DFMT_A2R10G10B10));
  EXPECT_FALSE(halcyon::formatHasAlpha(D3DFMT_X8R8G8B8));
}

}  // namespace
