#include <gtest/gtest.h>

#include <cmath>

#include "platform/d3d9/memory_resources.h"
#include "platform/d3d9/recording.h"
#include "platform/d3dx/d3dx.h"
#include "platform/d3dx/d3dx_math.h"
#include "platform/d3dx/image_decode.h"
#include "tests/platform/d3dx/image_writers.h"
#include "tests/support/recording_device.h"

namespace {

std::vector<D3DCOLOR> pattern(UINT w, UINT h, bool alpha) {
  std::vector<D3DCOLOR> p(w * h);
  for (UINT y = 0; y < h; ++y)
    for (UINT x = 0; x < w; ++x)
      p[y * w + x] = D3DCOLOR_ARGB(alpha ? (x * 40 + 30) & 0xFF : 0xFF, x * 30, y * 50, (x + y) * 20);
  return p;
}

TEST(ImageDecode, LosslessFormatsRoundTrip) {
  const auto pixels = pattern(5, 3, true);
  DecodedImage image;
  ASSERT_TRUE(decodeImage(encodePng(pixels, 5, 3, true).data(), encodePng(pixels, 5, 3, true).size(), image));
  EXPECT_EQ(image.fileFormat, D3DXIFF_PNG);
  EXPECT_TRUE(image.hasAlpha);
  EXPECT_EQ(image.pixels, pixels);

  const auto opaque = pattern(5, 3, false);
  const auto bmp = encodeBmp(opaque, 5, 3);
  ASSERT_TRUE(decodeImage(bmp.data(), bmp.size(), image));
  EXPECT_EQ(image.fileFormat, D3DXIFF_BMP);
  EXPECT_EQ(image.pixels, opaque) << "rows stored bottom-up come out top-down";

  const auto tga = encodeTga(pixels, 5, 3);
  ASSERT_TRUE(decodeImage(tga.data(), tga.size(), image));
  EXPECT_EQ(image.fileFormat, D3DXIFF_TGA);
  EXPECT_EQ(image.pixels, pixels);
}

TEST(ImageDecode, JpegDecodesCloseToItsSource) {
  std::vector<D3DCOLOR> flat(16 * 16, 0xFF4080C0);
  const auto jpeg = encodeJpeg(flat, 16, 16);
  DecodedImage image;
  ASSERT_TRUE(decodeImage(jpeg.data(), jpeg.size(), image));
  EXPECT_EQ(image.fileFormat, D3DXIFF_JPG);
  EXPECT_FALSE(image.hasAlpha);
  ASSERT_EQ(image.width, 16u);
  for (int shift = 0; shift < 24; shift += 8)
    EXPECT_NEAR(static_cast<int>((image.pixels[100] >> shift) & 0xFF), static_cast<int>((0xFF4080C0u >> shift) & 0xFF),
                3);
  EXPECT_EQ(image.pixels[100] >> 24, 0xFFu) << "opaque";
}

TEST(ImageDecode, DamagedFilesFailWithoutCrashing) {
  const auto pixels = pattern(24, 20, true);
  const std::vector<std::vector<uint8_t>> sources = {encodePng(pixels, 24, 20, true), encodeJpeg(pixels, 24, 20),
                                                     encodeBmp(pixels, 24, 20), encodeTga(pixels, 24, 20)};
  for (const auto& source : sources) {
    // Every truncation fails or yields a whole image; none reads past the data.
    for (size_t cut = 0; cut < source.size(); cut += std::max<size_t>(1, source.size() / 97)) {
      std::vector<uint8_t> part(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(cut));
      DecodedImage image;
      if (decodeImage(part.data(), part.size(), image)) {
        EXPECT_EQ(image.pixels.size(), size_t{image.width} * image.height);
      }
    }
    // Corrupted bytes in the body.
    for (size_t at = 2; at < source.size(); at += 7) {
      std::vector<uint8_t> bad = source;
      bad[at] ^= 0x5A;
      DecodedImage image;
      if (decodeImage(bad.data(), bad.size(), image)) {
        EXPECT_EQ(image.pixels.size(), size_t{image.width} * image.height);
      }
    }
  }
  std::vector<uint8_t> corruptJpeg = sources[1];
  corruptJpeg.resize(corruptJpeg.size() / 3);
  DecodedImage image;
  EXPECT_FALSE(decodeImage(corruptJpeg.data(), corruptJpeg.size(), image)) << "a JPEG cut short is refused";
  std::vector<uint8_t> corruptPng = sources[0];
  corruptPng[20] ^= 0xFF;  // inside the header chunk: its CRC no longer matches
  EXPECT_FALSE(decodeImage(corruptPng.data(), corruptPng.size(), image));
}

TEST(ImageDecode, ForgedSizesAreRefused) {
  auto bmp = encodeBmp(pattern(2, 2, false), 2, 2);
  // Width 100000 in the header.
  bmp[18] = 0xA0;
  bmp[19] = 0x86;
  bmp[20] = 0x01;
  bmp[21] = 0x00;
  DecodedImage image;
  EXPECT_FALSE(decodeImage(bmp.data(), bmp.size(), image));
  auto png = encodePng(pattern(2, 2, false), 2, 2, false);
  png[16] = 0x7F;  // width far beyond the limit (the chunk's CRC breaks too)
  EXPECT_FALSE(decodeImage(png.data(), png.size(), image));
}

class D3DXTextures : public ::testing::Test {
 protected:
  void SetUp() override {
    d3d_ = new RecordingDirect3D9();
    device_ = testsupport::createRecordingDevice(*d3d_);
  }
  void TearDown() override {
    safeRelease(device_);
    safeRelease(d3d_);
  }
  static D3DCOLOR texel(IDirect3DTexture9* t, UINT level, UINT x, UINT y) {
    return static_cast<MemoryTexture*>(t)->texel(level, x, y);
  }
  RecordingDirect3D9* d3d_ = nullptr;
  IDirect3DDevice9* device_ = nullptr;
};

TEST_F(D3DXTextures, DefaultsTakeTheImageSizeAndBuildBoxFilteredMips) {
  const std::vector<D3DCOLOR> pixels = {0xFF000000, 0xFF040404, 0xFF080808, 0xFF0C0C0C,
                                        0xFF102030, 0xFF000000, 0xFF000000, 0xFF000000};  // 4x2
  const auto png = encodePng(pixels, 4, 2, false);
  IDirect3DTexture9* t = nullptr;
  D3DXIMAGE_INFO info{};
  ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device_, png.data(), static_cast<UINT>(png.size()), D3DX_DEFAULT,
                                                D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                                D3DX_DEFAULT, D3DX_DEFAULT, 0, &info, nullptr, &t),
            D3D_OK);
  EXPECT_EQ(info.Width, 4u);
  EXPECT_EQ(info.ImageFileFormat, D3DXIFF_PNG);
  D3DSURFACE_DESC desc{};
  t->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Width, 4u);
  EXPECT_EQ(desc.Height, 2u);
  EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
  ASSERT_EQ(t->GetLevelCount(), 3u);
  EXPECT_EQ(texel(t, 1, 0, 0), D3DCOLOR_XRGB(0x05, 0x09, 0x0D)) << "per channel the rounded mean of the 2x2 block";
  EXPECT_EQ(texel(t, 2, 0, 0) >> 24, 0xFFu);
  t->Release();
}

TEST_F(D3DXTextures, ColourKeyBecomesTransparentBlackAndSizesResample) {
  std::vector<D3DCOLOR> pixels(4 * 4, 0xFFFF00FF);
  pixels[5] = 0xFF102030;
  const auto bmp = encodeBmp(pixels, 4, 4);
  IDirect3DTexture9* t = nullptr;
  ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device_, bmp.data(), static_cast<UINT>(bmp.size()), 4, 4, 1, 0,
                                                D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_NONE, D3DX_FILTER_NONE,
                                                0xFFFF00FF, nullptr, nullptr, &t),
            D3D_OK);
  D3DSURFACE_DESC desc{};
  t->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8) << "a colour key needs an alpha channel";
  EXPECT_EQ(texel(t, 0, 0, 0), 0u);
  EXPECT_EQ(texel(t, 0, 1, 1), 0xFF102030u);
  t->Release();

  ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device_, bmp.data(), static_cast<UINT>(bmp.size()), 2, 2, 1, 0,
                                                D3DFMT_R5G6B5, D3DPOOL_MANAGED, D3DX_FILTER_POINT, D3DX_FILTER_NONE, 0,
                                                nullptr, nullptr, &t),
            D3D_OK);
  t->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Width, 2u);
  EXPECT_EQ(desc.Format, D3DFMT_R5G6B5);
  t->Release();
}

TEST_F(D3DXTextures, BadDataGivesNoTexture) {
  const uint8_t junk[64] = {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3};
  IDirect3DTexture9* t = reinterpret_cast<IDirect3DTexture9*>(0x1);
  EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(device_, junk, sizeof junk, D3DX_DEFAULT, D3DX_DEFAULT, 1, 0,
                                                D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                                                nullptr, &t),
            D3DXERR_INVALIDDATA);
  EXPECT_EQ(t, nullptr);
  EXPECT_EQ(D3DXCreateTextureFromFileExA(device_, "/nonexistent/image.png", D3DX_DEFAULT, D3DX_DEFAULT, 1, 0,
                                         D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                                         nullptr, &t),
            D3DERR_NOTFOUND);
  EXPECT_EQ(static_cast<RecordingDevice*>(device_)->liveTextures(), 0);
}

TEST_F(D3DXTextures, LoadsAnImageIntoARectangleOfASurface) {
  IDirect3DTexture9* t = nullptr;
  ASSERT_EQ(D3DXCreateTexture(device_, 8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
  IDirect3DSurface9* surface = nullptr;
  t->GetSurfaceLevel(0, &surface);
  std::vector<D3DCOLOR> pixels(4 * 4, 0xFF00FF00);
  pixels[0] = 0xFFFF0000;
  const auto png = encodePng(pixels, 4, 4, false);
  const RECT source{0, 0, 2, 2}, dest{4, 2, 6, 4};
  ASSERT_EQ(D3DXLoadSurfaceFromFileInMemory(surface, nullptr, &dest, png.data(), static_cast<UINT>(png.size()), &source,
                                            D3DX_FILTER_NONE, 0, nullptr),
            D3D_OK);
  EXPECT_EQ(texel(t, 0, 4, 2), 0xFFFF0000u);
  EXPECT_EQ(texel(t, 0, 5, 3), 0xFF00FF00u);
  EXPECT_EQ(texel(t, 0, 3, 2), 0u) << "outside the rectangle nothing changes";
  EXPECT_EQ(texel(t, 0, 6, 2), 0u);
  const RECT outside{6, 6, 10, 10};
  EXPECT_EQ(D3DXLoadSurfaceFromFileInMemory(surface, nullptr, &outside, png.data(), static_cast<UINT>(png.size()),
                                            nullptr, D3DX_FILTER_NONE, 0, nullptr),
            D3DERR_INVALIDCALL);
  surface->Release();
  t->Release();
}

TEST(D3DXMath, InverseSlerpAndAxisRotation) {
  D3DXMATRIX s, tr, m, inv, product;
  D3DXMatrixScaling(&s, 2, 4, 0.5f);
  D3DXMatrixTranslation(&tr, 3, -1, 7);
  D3DXMatrixMultiply(&m, &s, &tr);
  ASSERT_NE(D3DXMatrixInverse(&inv, nullptr, &m), nullptr);
  D3DXMatrixMultiply(&product, &m, &inv);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(product.m[i][j], i == j ? 1.0f : 0.0f, 1e-5f);
  D3DXMATRIX singular{};
  float det = 1;
  EXPECT_EQ(D3DXMatrixInverse(&inv, &det, &singular), nullptr);
  EXPECT_EQ(det, 0.0f);

  const D3DXVECTOR3 y{0, 1, 0};
  D3DXQUATERNION a, b, half;
  D3DXQuaternionRotationAxis(&a, &y, 0.0f);
  D3DXQuaternionRotationAxis(&b, &y, 1.0f);
  D3DXQuaternionSlerp(&half, &a, &b, 0.5f);
  EXPECT_NEAR(half.y, std::sin(0.25f), 1e-5f);
  EXPECT_NEAR(half.w, std::cos(0.25f), 1e-5f);
  D3DXQUATERNION negB{-b.x, -b.y, -b.z, -b.w};
  D3DXQuaternionSlerp(&half, &a, &negB, 0.5f);
  EXPECT_NEAR(std::fabs(half.w), std::cos(0.25f), 1e-5f) << "the shorter arc is taken";
}

}  // namespace
