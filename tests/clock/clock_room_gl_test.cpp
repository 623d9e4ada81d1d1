// The real room through the OpenGL device: three tours at fixed moments, a lightning flash and
// the pendulum's swing, read back from the presented pictures. The pictures are written as
// room-*.png next to the test for a person to look at.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "clock/clock_scene.h"
#include "engine/device/application.h"
#include "engine/device/texture.h"
#include "platform/d3d9/device_control.h"
#include "tests/platform/d3dx/image_writers.h"
#include "tests/support/fake_clock.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int kWidth = 512, kHeight = 384;

class SdlEngineWindow : public halcyon::EngineWindow {
 public:
  explicit SdlEngineWindow(SDL_Window* window) : window_(window) {}
  HWND DeviceWindow() override { return window_; }
  uint32_t Style() override { return 0; }
  void SetStyle(uint32_t) override {}
  halcyon::WindowRect Rect() override { return {0, 0, kWidth, kHeight}; }
  halcyon::WindowRect ClientRect() override { return Rect(); }
  void Place(const halcyon::WindowRect&) override {}
  void PostQuit() override {}
  halcyon::LRESULT DefaultProcedure(uint32_t, halcyon::WPARAM, halcyon::LPARAM) override { return 0; }

 private:
  SDL_Window* window_;
};

struct Picture {
  std::vector<D3DCOLOR> pixels;
  UINT width = 0, height = 0;
  double mean() const {
    double sum = 0;
    for (D3DCOLOR c : pixels) sum += ((c >> 16) & 255) + ((c >> 8) & 255) + (c & 255);
    return pixels.empty() ? 0 : sum / (3.0 * double(pixels.size()));
  }
  size_t differingFrom(const Picture& other) const {
    size_t n = 0;
    for (size_t i = 0; i < pixels.size() && i < other.pixels.size(); ++i) n += pixels[i] != other.pixels[i];
    return n;
  }
};

class ClockRoom : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    window_ = SDL_CreateWindow("clock room", 0, 0, kWidth, kHeight, SDL_WINDOW_OPENGL);
    ASSERT_NE(window_, nullptr) << SDL_GetError();
    engineWindow_ = std::make_unique<SdlEngineWindow>(window_);
    clock_.setLocalTime(10, 10, 30);
    std::srand(1);
    brassmoor::ClockSceneSetup setup;
    setup.mediaFolder = BRASSMOOR_MEDIA_DIR;
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

  // One frame with the tour held at `time`.
  Picture Frame(const std::string& tour, float time, const std::string& png = "") {
    EXPECT_TRUE(scene_->tours().startAt(tour, time));
    scene_->tours().restartTimer();
    scene_->frameMove();
    EXPECT_TRUE(scene_->composeFrame());
    Picture p;
    EXPECT_TRUE(deviceControl(scene_->Device())->presentedPixels(p.pixels, p.width, p.height));
    if (!png.empty()) {
      const std::vector<uint8_t> bytes = encodePng(p.pixels, p.width, p.height, false);
      std::FILE* f = std::fopen(png.c_str(), "wb");
      if (f) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
      }
    }
    return p;
  }

  testsupport::FakeClock clock_;
  SDL_Window* window_ = nullptr;
  std::unique_ptr<SdlEngineWindow> engineWindow_;
  std::unique_ptr<brassmoor::ClockScene> scene_;
};

TEST_F(ClockRoom, ThreeToursShowTheLitRoom) {
  const struct {
    const char* tour;
    float time;
  } views[] = {{"c1.cam", 150}, {"c4.cam", 300}, {"c7.cam", 450}};
  for (const auto& v : views) {
    const Picture p = Frame(v.tour, v.time, std::string("room-") + v.tour + ".png");
    ASSERT_EQ(p.width, UINT(kWidth));
    // Dim but not black, and not one flat colour.
    EXPECT_GT(p.mean(), 8.0) << v.tour;
    EXPECT_GT(p.differingFrom(Picture{std::vector<D3DCOLOR>(p.pixels.size(), p.pixels[0]), 0, 0}),
              p.pixels.size() / 4)
        << v.tour;
  }
}

TEST_F(ClockRoom, PendulumSwingsAndLightningBrightens) {
  // Before the first flash (due a second after the load).
  const Picture calm = Frame("c1.cam", 150, "room-calm.png");
  clock_.advance(400);
  const Picture later = Frame("c1.cam", 150);
  EXPECT_GT(later.differingFrom(calm), 0u) << "the scene's animations move between frames";

  clock_.advance(600);  // the first flash begins
  scene_->frameMove();
  ASSERT_TRUE(scene_->storm().flashActive());
  clock_.advance(scene_->storm().flashDuration() / 2);
  const Picture flash = Frame("c1.cam", 150, "room-flash.png");
  EXPECT_GT(scene_->storm().flashLevel(), 0.9f);
  EXPECT_GT(flash.mean(), later.mean() + 1.0);
}

}  // namespace
