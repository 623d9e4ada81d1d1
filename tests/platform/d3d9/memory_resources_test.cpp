#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/d3d9/memory_resources.h"

namespace {

TEST(TexelCodec, RoundTripsEveryStoredFormat) {
  const D3DCOLOR colours[] = {0xFF000000u, 0xFFFFFFFFu, 0x80FF8000u, 0x00336699u, 0xFF102030u};
  struct Case {
    D3DFORMAT format;
    int tolerance;  // per channel, from the format's precision
    bool alpha;
  };
  const Case cases[] = {{D3DFMT_A8R8G8B8, 0, true}, {D3DFMT_X8R8G8B8, 0, false}, {D3DFMT_R5G6B5, 5, false},
                        {D3DFMT_A1R5G5B5, 5, true}, {D3DFMT_A4R4G4B4, 9, true},  {D3DFMT_R8G8B8, 0, false}};
  for (const Case& c : cases) {
    for (D3DCOLOR colour : colours) {
      uint8_t texel[4] = {};
      encodeTexel(c.format, colour, texel);
      const D3DCOLOR back = decodeTexel(c.format, texel);
      for (int shift = 0; shift < 24; shift += 8) {
        EXPECT_LE(std::abs(static_cast<int>((back >> shift) & 0xFF) - static_cast<int>((colour >> shift) & 0xFF)),
                  c.tolerance)
            << "format " << c.format << " colour " << std::hex << colour;
      }
      if (!c.alpha) {
        EXPECT_EQ(back >> 24, 0xFFu) << "formats without alpha read opaque";
      }
    }
  }
  uint8_t one[2];
  encodeTexel(D3DFMT_A1R5G5B5, 0x7FFFFFFFu, one);
  EXPECT_EQ(decodeTexel(D3DFMT_A1R5G5B5, one) >> 24, 0u) << "alpha below half becomes transparent";
}

TEST(MemoryTexture, BuildsTheMipChainAndLocksInsideLevels) {
  auto* t = new MemoryTexture(nullptr, 16, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
  ASSERT_TRUE(t->valid());
  EXPECT_EQ(t->GetLevelCount(), 5u);  // 16x4, 8x2, 4x1, 2x1, 1x1
  D3DSURFACE_DESC desc{};
  ASSERT_EQ(t->GetLevelDesc(4, &desc), D3D_OK);
  EXPECT_EQ(desc.Width, 1u);
  EXPECT_EQ(t->GetLevelDesc(5, &desc), D3DERR_INVALIDCALL);

  D3DLOCKED_RECT locked{};
  RECT outside{12, 0, 17, 4};
  EXPECT_EQ(t->LockRect(0, &locked, &outside, 0), D3DERR_INVALIDCALL);
  RECT inside{2, 1, 4, 3};
  ASSERT_EQ(t->LockRect(0, &locked, &inside, 0), D3D_OK);
  EXPECT_EQ(t->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL) << "a level locks once";
  EXPECT_EQ(locked.Pitch, 64);
  const uint32_t red = 0xFFFF0000u;
  std::memcpy(static_cast<uint8_t*>(locked.pBits) + locked.Pitch, &red, 4);
  ASSERT_EQ(t->UnlockRect(0), D3D_OK);
  EXPECT_EQ(t->texel(0, 2, 2), red);
  EXPECT_EQ(t->UnlockRect(0), D3DERR_INVALIDCALL);

  IDirect3DSurface9* surface = nullptr;
  ASSERT_EQ(t->GetSurfaceLevel(1, &surface), D3D_OK);
  t->Release();  // the surface keeps the texture alive
  surface->GetDesc(&desc);
  EXPECT_EQ(desc.Width, 8u);
  EXPECT_EQ(desc.Height, 2u);
  surface->Release();
}

// A texture whose levels live elsewhere, the way the GL device's do: it counts what it is
// asked to read back and lets go of every level once it is written.
class ElsewhereTexture : public MemoryTexture {
 public:
  ElsewhereTexture() : MemoryTexture(nullptr, 4, 2, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, LevelHome::Elsewhere) {}
  int readBacks = 0;
  D3DCOLOR stored = 0;

 protected:
  void levelChanged(UINT level) override {
    stored = texel(level, 1, 1);
    releaseLevelBytes(level);
  }
  void reloadLevel(UINT, std::vector<uint8_t>& bytes) override {
    ++readBacks;
    std::memcpy(bytes.data() + (1 * 4 + 1) * 4, &stored, 4);
  }
};

TEST(MemoryTexture, LevelsKeptElsewhereStartAsZerosWithoutAReadBack) {
  auto* t = new ElsewhereTexture;
  ASSERT_EQ(t->GetLevelCount(), 3u);
  for (UINT level = 0; level < 3; ++level) EXPECT_TRUE(t->levelBytes(level).empty()) << level;

  D3DLOCKED_RECT locked{};
  const RECT corner{1, 1, 2, 2};
  ASSERT_EQ(t->LockRect(0, &locked, &corner, 0), D3D_OK);
  EXPECT_EQ(t->readBacks, 0) << "nothing was ever written, so there is nothing to read back";
  const std::vector<uint8_t>& bytes = t->levelBytes(0);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0), 4 * 2 * 4) << "an unwritten level reads as zeros";
  const uint32_t green = 0xFF00FF00u;
  std::memcpy(locked.pBits, &green, 4);
  ASSERT_EQ(t->UnlockRect(0), D3D_OK);
  EXPECT_EQ(t->stored, green);
  EXPECT_TRUE(t->levelBytes(0).empty());

  ASSERT_EQ(t->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  EXPECT_EQ(t->readBacks, 1) << "a written level comes back from where it lives";
  EXPECT_EQ(t->texel(0, 1, 1), green);
  EXPECT_EQ(t->texel(0, 0, 0), 0u);
  t->UnlockRect(0);
  t->Release();
}

TEST(MemoryTexture, RefusesFormatsAndSizesItCannotStore) {
  auto* dxt = new MemoryTexture(nullptr, 16, 16, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED);
  EXPECT_FALSE(dxt->valid());
  dxt->Release();
  auto* huge = new MemoryTexture(nullptr, 1u << 20, 1u << 20, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
  EXPECT_FALSE(huge->valid());
  huge->Release();
}

TEST(MemoryBuffer, DiscardMarksTheWholeBufferAndRangesAreChecked) {
  MemoryBuffer buffer(64, D3DUSAGE_DYNAMIC, D3DPOOL_DEFAULT);
  void* data = nullptr;
  EXPECT_EQ(buffer.lock(60, 8, &data, 0), D3DERR_INVALIDCALL);
  ASSERT_EQ(buffer.lock(16, 8, &data, 0), D3D_OK);
  EXPECT_EQ(buffer.dirtyBegin(), 16u);
  EXPECT_EQ(buffer.dirtyEnd(), 24u);
  buffer.unlock();
  ASSERT_EQ(buffer.lock(16, 8, &data, D3DLOCK_DISCARD), D3D_OK);
  EXPECT_TRUE(buffer.discarded());
  EXPECT_EQ(buffer.dirtyBegin(), 0u);
  EXPECT_EQ(buffer.dirtyEnd(), 64u);
  EXPECT_EQ(buffer.unlock(), D3D_OK);
  EXPECT_EQ(buffer.unlock(), D3DERR_INVALIDCALL);
}

}  // namespace
