#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/d3d9/memory_resources.h"
#include "platform/d3d9/recording.h"
#include "platform/d3dx/d3dx.h"
#include "platform/d3dx/image_decode.h"
#include "platform/d3dx/mip_chain.h"
#include "tests/support/recording_device.h"

namespace {

void put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A surface file: the header, then the given level data as it is.
std::vector<uint8_t> dds(UINT w, UINT h, UINT mips, const char* fourCc, uint32_t bits, const uint32_t masks[4],
                         const std::vector<uint8_t>& body) {
  std::vector<uint8_t> out(128, 0);
  std::memcpy(out.data(), "DDS ", 4);
  put32(out, 4, 124);
  put32(out, 8, 0x1007 | (mips > 1 ? 0x20000 : 0));
  put32(out, 12, h);
  put32(out, 16, w);
  put32(out, 28, mips);
  put32(out, 76, 32);
  if (fourCc) {
    put32(out, 80, 0x4);
    std::memcpy(out.data() + 84, fourCc, 4);
  } else {
    put32(out, 80, 0x40 | (masks[0] ? 0x1 : 0));
    put32(out, 88, bits);
    put32(out, 92, masks[1]);
    put32(out, 96, masks[2]);
    put32(out, 100, masks[3]);
    put32(out, 104, masks[0]);
  }
  put32(out, 108, 0x1000);
  out.resize(128 + body.size());
  std::copy(body.begin(), body.end(), out.begin() + 128);
  return out;
}

// One colour block: endpoints c0, c1 (5:6:5) and sixteen 2-bit indices, first texel lowest.
void colourBlock(std::vector<uint8_t>& out, uint16_t c0, uint16_t c1, uint32_t indices) {
  for (uint32_t v : {uint32_t{c0}, uint32_t{c1}}) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  }
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(indices >> (8 * i)));
}

// A recording device for the texture calls, released with the test.
struct RecordingRuntime {
  ~RecordingRuntime() {
    safeRelease(device);
    safeRelease(d3d);
  }
  RecordingDirect3D9* d3d = new RecordingDirect3D9();
  IDirect3DDevice9* device = testsupport::createRecordingDevice(*d3d, 16, 16);
};

constexpr uint16_t kRed565 = 0xF800, kBlue565 = 0x001F;

TEST(DdsDecode, CompressedBlocksDecodeTheirPalettesAndAlpha) {
  std::vector<uint8_t> body;
  // Four colours: red, blue, two thirds red, one third red, along the first row.
  colourBlock(body, kRed565, kBlue565, 0b11100100);
  DecodedImage image;
  ASSERT_TRUE(decodeImage(dds(4, 4, 1, "DXT1", 0, nullptr, body).data(), 128 + body.size(), image));
  EXPECT_EQ(image.fileFormat, D3DXIFF_DDS);
  ASSERT_EQ(image.width, 4u);
  EXPECT_EQ(image.pixels[0], 0xFFFF0000u);
  EXPECT_EQ(image.pixels[1], 0xFF0000FFu);
  EXPECT_EQ(image.pixels[2], 0xFFAA0055u);
  EXPECT_EQ(image.pixels[3], 0xFF5500AAu);
  EXPECT_FALSE(image.hasAlpha);

  // Endpoints in the other order: three colours and transparent black.
  body.clear();
  colourBlock(body, kBlue565, kRed565, 0b11100100);
  ASSERT_TRUE(decodeImage(dds(4, 4, 1, "DXT1", 0, nullptr, body).data(), 128 + body.size(), image));
  EXPECT_EQ(image.pixels[2], 0xFF7F007Fu);
  EXPECT_EQ(image.pixels[3], 0u);
  EXPECT_TRUE(image.hasAlpha);

  // Explicit alpha: texel i has alpha i (of 15); the colour block always has four colours.
  body.assign({0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE});
  colourBlock(body, kBlue565, kRed565, 0);
  ASSERT_TRUE(decodeImage(dds(4, 4, 1, "DXT3", 0, nullptr, body).data(), 128 + body.size(), image));
  EXPECT_EQ(image.pixels[0], 0x000000FFu);
  EXPECT_EQ(image.pixels[15], 0xFF0000FFu);

  // Interpolated alpha 255 .. 0 over eight steps; index 1 is the second endpoint, 2 the first step.
  body.assign({255, 0, 0b00010001, 0, 0, 0, 0, 0});
  colourBlock(body, kRed565, kBlue565, 0);
  ASSERT_TRUE(decodeImage(dds(4, 4, 1, "DXT5", 0, nullptr, body).data(), 128 + body.size(), image));
  EXPECT_EQ(image.pixels[0] >> 24, 0u) << "index 1";
  EXPECT_EQ(image.pixels[1] >> 24, 218u) << "index 2: (6 x 255 + 0) / 7";
  EXPECT_EQ(image.pixels[2] >> 24, 255u) << "index 0";
  EXPECT_TRUE(image.hasAlpha);
}

TEST(DdsDecode, UncompressedMasksAndStoredLevels) {
  const uint32_t argb[4] = {0xFF000000, 0x00FF0000, 0x0000FF00, 0x000000FF};
  std::vector<uint8_t> body;
  for (int i = 0; i < 4; ++i) body.insert(body.end(), {0x30, 0x20, 0x10, 0x80});  // 2x2
  body.insert(body.end(), {0x03, 0x02, 0x01, 0xFF});                              // 1x1
  DecodedImage image;
  ASSERT_TRUE(decodeImage(dds(2, 2, 2, nullptr, 32, argb, body).data(), 128 + body.size(), image));
  EXPECT_EQ(image.pixels[3], 0x80102030u);
  ASSERT_EQ(image.mips.size(), 1u);
  EXPECT_EQ(image.mips[0][0], 0xFF010203u);
  EXPECT_TRUE(image.hasAlpha);

  const uint32_t rgb565[4] = {0, 0xF800, 0x07E0, 0x001F};
  body.assign({0x00, 0xF8});  // red, 1x1
  ASSERT_TRUE(decodeImage(dds(1, 1, 1, nullptr, 16, rgb565, body).data(), 128 + body.size(), image));
  EXPECT_EQ(image.pixels[0], 0xFFFF0000u);
  EXPECT_FALSE(image.hasAlpha);

  // A texture made at the file's size takes the stored level as it is.
  RecordingRuntime runtime;
  IDirect3DDevice9* device = runtime.device;
  ASSERT_NE(device, nullptr);
  body.clear();
  for (int i = 0; i < 4; ++i) body.insert(body.end(), {0x30, 0x20, 0x10, 0x80});
  body.insert(body.end(), {0x03, 0x02, 0x01, 0xFF});
  const auto file = dds(2, 2, 2, nullptr, 32, argb, body);
  IDirect3DTexture9* t = nullptr;
  D3DXIMAGE_INFO info{};
  ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device, file.data(), static_cast<UINT>(file.size()), D3DX_DEFAULT,
                                                D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                                D3DX_DEFAULT, D3DX_DEFAULT, 0, &info, nullptr, &t),
            D3D_OK);
  EXPECT_EQ(info.MipLevels, 2u);
  EXPECT_EQ(info.ImageFileFormat, D3DXIFF_DDS);
  ASSERT_EQ(t->GetLevelCount(), 2u);
  EXPECT_EQ(static_cast<MemoryTexture*>(t)->texel(1, 0, 0), 0xFF010203u) << "not an average of the level above";
  t->Release();
}

TEST(DdsDecode, HeadersAreCheckedAgainstTheBytesThatFollow) {
  std::vector<uint8_t> body;
  colourBlock(body, kRed565, kBlue565, 0);
  DecodedImage image;
  const auto good = dds(4, 4, 1, "DXT1", 0, nullptr, body);
  ASSERT_TRUE(decodeImage(good.data(), good.size(), image));
  EXPECT_FALSE(decodeImage(good.data(), good.size() - 1, image)) << "a truncated block";

  auto forged = dds(4096, 4096, 1, "DXT1", 0, nullptr, body);
  EXPECT_FALSE(decodeImage(forged.data(), forged.size(), image)) << "a size the data does not cover";
  forged = dds(100000, 4, 1, "DXT1", 0, nullptr, body);
  EXPECT_FALSE(decodeImage(forged.data(), forged.size(), image)) << "a side beyond the image limit";
  forged = dds(4, 4, 40, "DXT1", 0, nullptr, body);
  EXPECT_FALSE(decodeImage(forged.data(), forged.size(), image)) << "levels that are not there";
  forged = dds(4, 4, 1, "DX10", 0, nullptr, body);
  EXPECT_FALSE(decodeImage(forged.data(), forged.size(), image)) << "an unknown block kind";
  const uint32_t none[4] = {0, 0, 0, 0};
  forged = dds(1, 1, 1, nullptr, 32, none, std::vector<uint8_t>(4, 0));
  EXPECT_FALSE(decodeImage(forged.data(), forged.size(), image)) << "no channel at all";
  forged = good;
  put32(forged, 4, 0);
  EXPECT_FALSE(decodeImage(forged.data(), forged.size(), image)) << "a header of the wrong size";
  EXPECT_TRUE(image.pixels.empty());
}

TEST(MipChain, AreasAreAveragedFairlyAndByTheirAlpha) {
  EXPECT_EQ(fullMipCount(8, 2), 4u);
  EXPECT_EQ(fullMipCount(1, 1), 1u);
  // An odd row of three: the middle texel counts as much as the outer ones.
  UINT w = 0, h = 0;
  auto half = nextMipLevel({0xFF000000, 0xFF000000, 0xFF0000FF}, 3, 1, w, h, D3DX_FILTER_BOX);
  ASSERT_EQ(w, 1u);
  EXPECT_EQ(half[0], 0xFF000055u);
  // Transparent black beside opaque red gives half-transparent red, not dark red.
  half = nextMipLevel({0x00000000, 0xFFFF0000}, 2, 1, w, h, D3DX_FILTER_BOX);
  EXPECT_EQ(half[0], 0x80FF0000u);
  // The tent reaches into the neighbours: a lone bright column leaks into the texels beside it.
  std::vector<D3DCOLOR> column(8, 0xFF000000);
  column[3] = 0xFFFFFFFF;
  const auto box = nextMipLevel(column, 8, 1, w, h, D3DX_FILTER_BOX);
  const auto tent = nextMipLevel(column, 8, 1, w, h, D3DX_FILTER_TRIANGLE);
  ASSERT_EQ(w, 4u);
  EXPECT_EQ(box[1] & 0xFF, 128u);
  EXPECT_EQ(box[2] & 0xFF, 0u);
  EXPECT_EQ(tent[1] & 0xFF, 96u) << "3/8 of white";
  EXPECT_EQ(tent[2] & 0xFF, 32u) << "1/8 of white";
}

TEST(MipChain, HalvedOpaqueBlocksRoundTheirMeanToTheNearestAndOthersStayWeightedByAlpha) {
  // Three 2 x 2 blocks side by side: blue means 10.75, 10.25 and 0.5; the last block has one
  // transparent texel and goes the weighted way.
  const std::vector<D3DCOLOR> top = {0xFF00000A, 0xFF00000B, 0xFF00000A, 0xFF00000A, 0xFF000000, 0xFF000000,
                                     0x00000000, 0xFFFF0000, 0xFF00000B, 0xFF00000B, 0xFF00000A, 0xFF00000B,
                                     0xFF000001, 0xFF000001, 0xFFFF0000, 0xFFFF0000};
  UINT w = 0, h = 0;
  const auto half = nextMipLevel(top, 8, 2, w, h, D3DX_FILTER_BOX);
  ASSERT_EQ(w, 4u);
  ASSERT_EQ(h, 1u);
  EXPECT_EQ(half[0], 0xFF00000Bu);
  EXPECT_EQ(half[1], 0xFF00000Au);
  EXPECT_EQ(half[2], 0xFF000001u);
  EXPECT_EQ(half[3], 0xBFFF0000u) << "three quarters opaque, and red, not darkened";
}

TEST(MipChain, FilterTextureRemakesTheLevelsBelowFromTheTopOne) {
  RecordingRuntime runtime;
  IDirect3DDevice9* device = runtime.device;
  ASSERT_NE(device, nullptr);
  IDirect3DTexture9* t = nullptr;
  ASSERT_EQ(D3DXCreateTexture(device, 4, 4, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(t->LockRect(0, &locked, nullptr, 0), D3D_OK);
  for (int i = 0; i < 16; ++i) static_cast<uint32_t*>(locked.pBits)[i] = i % 2 ? 0xFFFFFFFF : 0xFF000000;
  t->UnlockRect(0);
  ASSERT_EQ(D3DXFilterTexture(t, nullptr, 0, D3DX_FILTER_BOX), D3D_OK);
  auto* levels = static_cast<MemoryTexture*>(t);
  EXPECT_EQ(levels->texel(1, 1, 1), 0xFF808080u);
  EXPECT_EQ(levels->texel(2, 0, 0), 0xFF808080u);
  EXPECT_EQ(D3DXFilterTexture(t, nullptr, 5, D3DX_FILTER_BOX), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXFilterTexture(nullptr, nullptr, 0, D3DX_FILTER_BOX), D3DERR_INVALIDCALL);
  t->Release();
}

}  // namespace
