// The committed room as the clock scene draws it through the OpenGL device, at ten past ten
// and thirty seconds: the free camera's view and the middle of every tour. Each view must read
// as a dim room at night (neither black nor washed out), and the close views of the clock must
// show it lit. With BRASSMOOR_ROOM_VIEWS set to a folder, the views are also written there as
// 1024 x 768 PNGs (free.png, c1.png .. c10.png) for the contact sheet; BRASSMOOR_ROOM_MEDIA
// points the scene at another media folder (a regeneration in progress) instead of media/.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "clock/clock_scene.h"
#include "engine/device/application.h"
#include "engine/device/texture.h"
#include "platform/d3d9/device_control.h"
#include "tests/platform/d3dx/image_writers.h"
#include "tests/support/fake_clock.h"

namespace {

const char* viewsFolder() {
  const char* dir = std::getenv("BRASSMOOR_ROOM_VIEWS");
  return dir && *dir ? dir : nullptr;
}

int width() { return viewsFolder() ? 1024 : 400; }
int height() { return viewsFolder() ? 768 : 300; }

class SdlEngineWindow : public halcyon::EngineWindow {
 public:
  explicit SdlEngineWindow(SDL_Window* window) : window_(window) {}
  HWND DeviceWindow() override { return window_; }
  uint32_t Style() override { return 0; }
  void SetStyle(uint32_t) override {}
  halcyon::WindowRect Rect() override { return {0, 0, width(), height()}; }
  halcyon::WindowRect ClientRect() override { return Rect(); }
  void Place(const halcyon::WindowRect&) override {}
  void PostQuit() override {}
  halcyon::LRESULT DefaultProcedure(uint32_t, halcyon::WPARAM, halcyon::LPARAM) override { return 0; }

 private:
  SDL_Window* window_;
};

// Light and colour of one picture, in 0..255 luma.
struct Exposure {
  double mean = 0;
  double black = 0;    // share of pixels darker than 4
  double white = 0;    // share of pixels with a channel at 254 or more
  double centre = 0;   // mean of the middle ninth, where the tours put their subject
};

Exposure measure(const std::vector<D3DCOLOR>& px, int w, int h) {
  Exposure e;
  double centreSum = 0;
  size_t centreCount = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const D3DCOLOR c = px[size_t(y) * size_t(w) + size_t(x)];
      const int r = (c >> 16) & 255, g = (c >> 8) & 255, b = c & 255;
      const double luma = 0.299 * r + 0.587 * g + 0.114 * b;
      e.mean += luma;
      e.black += luma < 4;
      e.white += r >= 254 || g >= 254 || b >= 254;
      if (x >= w / 3 && x < 2 * w / 3 && y >= h / 3 && y < 2 * h / 3) {
        centreSum += luma;
        ++centreCount;
      }
    }
  }
  const double n = double(px.size());
  e.mean /= n;
  e.black /= n;
  e.white /= n;
  e.centre = centreCount ? centreSum / double(centreCount) : 0;
  return e;
}

class RoomViews : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    window_ = SDL_CreateWindow("room views", 0, 0, width(), height(), SDL_WINDOW_OPENGL);
    ASSERT_NE(window_, nullptr) << SDL_GetError();
    engineWindow_ = std::make_unique<SdlEngineWindow>(window_);
    clock_.setLocalTime(10, 10, 30);
    std::srand(1);
    brassmoor::ClockSceneSetup setup;
    const char* media = std::getenv("BRASSMOOR_ROOM_MEDIA");
    setup.mediaFolder = media && *media ? media : BRASSMOOR_MEDIA_DIR;
    // The scene is the application: it makes the device.
    scene_ = std::make_unique<brassmoor::ClockScene>(setup);
    ASSERT_TRUE(scene_->Create(nullptr, engineWindow_.get()));
    ASSERT_TRUE(scene_->SetMode(false));
    deviceControl(scene_->Device())->setPresentCapture(true);
    scene_->readSceneProperties();
    scene_->startTours();
    ASSERT_TRUE(scene_->LoadCustom());
    ASSERT_TRUE(scene_->sceneLoaded());
  }
  void TearDown() override {
    scene_.reset();
    halcyon::textureManager().Clear();
    engineWindow_.reset();
    if (window_) SDL_DestroyWindow(window_);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

  // Draws one frame and returns its exposure; writes it as `name`.png when asked to.
  Exposure Shoot(const std::string& name) {
    scene_->tours().restartTimer();
    scene_->frameMove();
    EXPECT_TRUE(scene_->composeFrame());
    std::vector<D3DCOLOR> px;
    UINT w = 0, h = 0;
    EXPECT_TRUE(deviceControl(scene_->Device())->presentedPixels(px, w, h));
    EXPECT_EQ(w, UINT(width()));
    if (px.empty() || w == 0) return {};
    if (const char* dir = viewsFolder()) {
      std::filesystem::create_directories(dir);
      const std::vector<uint8_t> bytes = encodePng(px, w, h, false);
      const std::string path = std::string(dir) + "/" + name + ".png";
      if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
      }
    }
    return measure(px, int(w), int(h));
  }

  // Middle of a tour, in tour units: half its last key time.
  float Middle(const std::string& tour) {
    scene_->tours().loadTour(tour);
    float start = 0, end = 0;
    EXPECT_TRUE(scene_->tours().node().GetTimeRange(start, end)) << tour;
    return (start + end) / 2;
  }

  testsupport::FakeClock clock_;
  SDL_Window* window_ = nullptr;
  std::unique_ptr<SdlEngineWindow> engineWindow_;
  std::unique_ptr<brassmoor::ClockScene> scene_;
};

TEST_F(RoomViews, FreeCameraAndEveryTourShowADimLitRoom) {
  scene_->tours().setEnabled(false);
  const Exposure free = Shoot("free");
  EXPECT_GT(free.mean, 10.0);
  EXPECT_LT(free.mean, 110.0);
  EXPECT_LT(free.white, 0.02);
  // the clock stands in the middle of the free view, in the lamp's light
  EXPECT_GT(free.centre, 8.0);

  for (int n = 1; n <= 10; ++n) {
    const std::string tour = "c" + std::to_string(n) + ".cam";
    const float middle = Middle(tour);
    ASSERT_TRUE(scene_->tours().startAt(tour, middle)) << tour;
    const Exposure e = Shoot("c" + std::to_string(n));
    // dim, never black, never washed out: a room at night
    EXPECT_GT(e.mean, 10.0) << tour;
    EXPECT_LT(e.mean, 120.0) << tour;
    EXPECT_LT(e.black, 0.35) << tour;
    EXPECT_LT(e.white, 0.03) << tour;
    EXPECT_GT(e.centre, 6.0) << tour;
  }
}

}  // namespace
