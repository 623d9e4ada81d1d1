// The shipped pictures as the program shows them: the loading picture and the corner logo
// decoded by the image loader and drawn as the loading screen by the OpenGL device, checked by
// its pixels; and the preview and dialog pictures at the sizes their places need. Set
// BRASSMOOR_FRAME_DIR to keep the loading screen as a picture (PPM) in that folder.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/device/loading_screen.h"
#include "engine/device/state_cache.h"
#include "platform/d3d9/device_control.h"
#include "platform/d3dx/d3dx.h"
#include "tests/platform/d3d9/gl_window.h"

namespace {

constexpr UINT kWidth = 1024, kHeight = 768;
const std::string kPictures = std::string(BRASSMOOR_SOURCE_DIR) + "/resources/pictures/";

std::string readPicture(const std::string& name) {
  std::ifstream in(kPictures + name, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int red(D3DCOLOR c) { return (c >> 16) & 0xFF; }
int green(D3DCOLOR c) { return (c >> 8) & 0xFF; }
int blue(D3DCOLOR c) { return c & 0xFF; }

class LoadingPictureGlTest : public testing::Test {
 protected:
  void SetUp() override {
    openWindowedDevice("loading", kWidth, kHeight, window, d3d, device);
    if (HasFatalFailure()) return;
    // The cache is the process's: what it holds are the states of the previous test's device,
    // while this one starts from its defaults.
    halcyon::stateCache().setDevice(device);
    halcyon::stateCache().invalidate();
  }
  void TearDown() override {
    halcyon::stateCache().setDevice(nullptr);
    for (IDirect3DTexture9* t : textures) safeRelease(t);
    closeWindowedDevice(window, d3d, device);
  }

  IDirect3DTexture9* load(const std::string& name, D3DXIMAGE_INFO* info = nullptr) {
    const std::string bytes = readPicture(name);
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(D3DXCreateTextureFromFileInMemoryEx(device, bytes.data(), static_cast<UINT>(bytes.size()), D3DX_DEFAULT,
                                                   D3DX_DEFAULT, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                                   D3DX_FILTER_LINEAR, D3DX_FILTER_NONE, 0, info, nullptr, &texture)))
      return nullptr;
    textures.push_back(texture);
    return texture;
  }

  // What the last Present showed.
  std::vector<D3DCOLOR> presented() {
    std::vector<D3DCOLOR> pixels;
    UINT w = 0, h = 0;
    DeviceControl* control = deviceControl(device);
    EXPECT_NE(control, nullptr);
    if (!control || !control->presentedPixels(pixels, w, h) || w != kWidth || h != kHeight) return {};
    return pixels;
  }

  SDL_Window* window = nullptr;
  IDirect3D9* d3d = nullptr;
  IDirect3DDevice9* device = nullptr;
  std::vector<IDirect3DTexture9*> textures;
};

TEST_F(LoadingPictureGlTest, LoadingScreenShowsTheRoomWithTheLogoInItsCorner) {
  D3DXIMAGE_INFO pictureInfo{}, logoInfo{};
  halcyon::LoadingPictures pictures;
  pictures.picture = load("loading_186.jpg", &pictureInfo);
  pictures.corners[0] = load("logo_187.png", &logoInfo);
  ASSERT_NE(pictures.picture, nullptr);
  ASSERT_NE(pictures.corners[0], nullptr);
  EXPECT_EQ(pictureInfo.Width, 1024u);
  EXPECT_EQ(pictureInfo.Height, 768u);
  EXPECT_EQ(logoInfo.Width, 256u);
  EXPECT_EQ(logoInfo.Height, 128u);
  // Only a logo larger than 1024 bytes is drawn, and only placeholders of at most that size
  // are skipped.
  EXPECT_GT(readPicture("logo_187.png").size(), 1024u);
  for (const char* corner : {"corner_188.bmp", "corner_189.bmp", "corner_190.bmp"})
    EXPECT_LE(readPicture(corner).size(), 1024u) << corner;

  ASSERT_NE(deviceControl(device), nullptr);
  deviceControl(device)->setPresentCapture(true);
  ASSERT_TRUE(halcyon::showLoadingScreen(device, pictures));
  const std::vector<D3DCOLOR> frame = presented();
  ASSERT_EQ(frame.size(), static_cast<std::size_t>(kWidth) * kHeight);

  // A dim room: dark overall, but not black, with the warm lamp and the lit dial brighter.
  double sum = 0;
  int bright = 0;
  for (D3DCOLOR c : frame) {
    sum += (red(c) + green(c) + blue(c)) / 3.0;
    if (red(c) > 200 && green(c) > 170) ++bright;
  }
  const double mean = sum / static_cast<double>(frame.size());
  EXPECT_GT(mean, 12.0);
  EXPECT_LT(mean, 90.0);
  EXPECT_GT(bright, 500);
  // The logo's gold lettering shows in the bottom-right 256 x 128 corner, and its transparent
  // surroundings let the room through rather than painting a box.
  int gold = 0;
  for (UINT y = kHeight - 128; y < kHeight; ++y)
    for (UINT x = kWidth - 256; x < kWidth; ++x) {
      const D3DCOLOR c = frame[y * kWidth + x];
      if (red(c) > 170 && green(c) > 120 && blue(c) < green(c)) ++gold;
    }
  EXPECT_GT(gold, 800);
  if (const char* dir = std::getenv("BRASSMOOR_FRAME_DIR")) {
    std::ofstream out(std::string(dir) + "/loading_screen.ppm", std::ios::binary);
    out << "P6\n" << kWidth << " " << kHeight << "\n255\n";
    for (D3DCOLOR c : frame) {
      const char rgb[3] = {static_cast<char>(red(c)), static_cast<char>(green(c)), static_cast<char>(blue(c))};
      out.write(rgb, 3);
    }
  }
}

// The corner images blend by their own alpha as well as the opacity, so the logo's clear
// surroundings are not painted as a black box.
TEST_F(LoadingPictureGlTest, LogoLetsTheRoomShowAroundItsLettering) {
  halcyon::LoadingPictures pictures;
  pictures.picture = load("loading_186.jpg");
  pictures.corners[0] = load("logo_187.png");
  ASSERT_TRUE(pictures.picture && pictures.corners[0]);
  deviceControl(device)->setPresentCapture(true);
  ASSERT_TRUE(halcyon::drawLoadingFrame(device, pictures, 1.0f, true));
  const std::vector<D3DCOLOR> withLogo = presented();
  ASSERT_TRUE(halcyon::drawLoadingFrame(device, pictures, 1.0f, false));
  const std::vector<D3DCOLOR> bare = presented();
  ASSERT_EQ(bare.size(), withLogo.size());
  ASSERT_FALSE(bare.empty());
  // The logo's top left corner is clear: the room shows there exactly as without the logo.
  int differing = 0;
  for (UINT y = kHeight - 128; y < kHeight - 118; ++y)
    for (UINT x = kWidth - 256; x < kWidth - 236; ++x) {
      const D3DCOLOR a = withLogo[y * kWidth + x], b = bare[y * kWidth + x];
      if (std::abs(red(a) - red(b)) + std::abs(green(a) - green(b)) + std::abs(blue(a) - blue(b)) > 6) ++differing;
    }
  EXPECT_EQ(differing, 0) << "the logo covers the room with a box";
}

TEST_F(LoadingPictureGlTest, PreviewAndDialogPicturesHaveTheSizesOfTheirPlaces) {
  D3DXIMAGE_INFO preview{}, dialog{};
  ASSERT_NE(load("preview_173.bmp", &preview), nullptr);
  ASSERT_NE(load("dialog_155.bmp", &dialog), nullptr);
  EXPECT_EQ(preview.Width, 152u);
  EXPECT_EQ(preview.Height, 112u);
  EXPECT_EQ(dialog.Width, 258u);
  EXPECT_EQ(dialog.Height, 185u);
}

}  // namespace
