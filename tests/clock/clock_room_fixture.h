#pragma once
// The real room as the clock scene draws it through the OpenGL device, on a window of the
// test display, at ten past ten and thirty seconds; the presented pictures are read back.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/clock/clock_shell.h"
#include "engine/device/texture.h"
#include "platform/d3d9/device_control.h"
#include "tests/platform/d3dx/image_writers.h"
#include "tests/support/fake_clock.h"
#include "tests/support/sdl_engine_window.h"

namespace clocktest {

struct Picture {
  std::vector<D3DCOLOR> pixels;
  UINT width = 0, height = 0;
};

class ClockRoomFixture : public testing::Test {
 protected:
  // The scene on a window of `width` x `height`, loaded from `mediaFolder` with its tours.
  void open(const std::string& mediaFolder, int width, int height) {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    window_ = SDL_CreateWindow("clock room", 0, 0, width, height, SDL_WINDOW_OPENGL);
    ASSERT_NE(window_, nullptr) << SDL_GetError();
    engineWindow_ = std::make_unique<testsupport::SdlEngineWindow>(window_, width, height);
    clock_.setLocalTime(10, 10, 30);
    std::srand(1);
    brassmoor::ClockSceneSetup setup;
    setup.mediaFolder = mediaFolder;
    // The shell makes the device; the scene draws into it.
    scene_ = std::make_unique<ClockShell>(setup);
    ASSERT_TRUE(scene_->engine().create(nullptr, engineWindow_.get()));
    ASSERT_TRUE(scene_->engine().setMode(false));
    deviceControl(scene_->device())->setPresentCapture(true);
    scene_->readSceneProperties();
    scene_->startTours();
    ASSERT_TRUE(scene_->loadCustom());
    ASSERT_TRUE(scene_->sceneLoaded());
  }
  void TearDown() override {
    scene_.reset();
    halcyon::textureManager().clear();
    engineWindow_.reset();
    if (window_) SDL_DestroyWindow(window_);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

  // One frame at the tour's current time, as presented. Kept as the PNG `png` names in the
  // folder BRASSMOOR_FRAME_DIR names, for a person to look at; without that folder nothing is
  // written, so that a run leaves no pictures wherever it was started.
  Picture draw(const std::string& png = "") {
    scene_->tours().restartTimer(halcyon::millisecondClock());
    scene_->frameMove();
    EXPECT_TRUE(scene_->composeFrame());
    Picture p;
    EXPECT_TRUE(deviceControl(scene_->device())->presentedPixels(p.pixels, p.width, p.height));
    const char* dir = std::getenv("BRASSMOOR_FRAME_DIR");
    if (dir && !png.empty() && !p.pixels.empty()) {
      const std::vector<uint8_t> bytes = encodePng(p.pixels, p.width, p.height, false);
      if (std::FILE* f = std::fopen((std::string(dir) + "/" + png).c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
      }
    }
    return p;
  }

  testsupport::FakeClock clock_;
  SDL_Window* window_ = nullptr;
  std::unique_ptr<testsupport::SdlEngineWindow> engineWindow_;
  std::unique_ptr<ClockShell> scene_;
};

}  // namespace clocktest
