#include <gtest/gtest.h>

#include "engine/core/clock.h"
#include "engine/device/loading_screen.h"
#include "engine/device/state_cache.h"
#include "platform/d3d9/recording.h"
#include "tests/support/recording_application.h"

namespace {

using namespace halcyon;

class LoadingScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(runtime_.start());
    app_ = &runtime_.app();
    device_ = runtime_.device();
    device_->CreateTexture(4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &picture_, nullptr);
    device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &logo_, nullptr);
    pictures_.picture = picture_;
    pictures_.corners[0] = logo_;
    device_->clearCalls();
  }
  void TearDown() override {
    safeRelease(picture_);
    safeRelease(logo_);
    runtime_.stop();
    ClockSources::setMillisecondSource(nullptr);
  }
  testsupport::RecordingApplication runtime_{640, 480};
  RecordingDevice* device_ = nullptr;
  Application* app_ = nullptr;
  IDirect3DTexture9 *picture_ = nullptr, *logo_ = nullptr;
  LoadingPictures pictures_;
  FrameClock frames_;
};

TEST_F(LoadingScreenTest, FirstFrameShowsPictureAndCornersThenPresents) {
  ASSERT_TRUE(showLoadingScreen(device_, pictures_));
  const auto names = device_->callNames();
  ASSERT_GE(names.size(), 4u);
  EXPECT_EQ(names.front(), "Clear");
  EXPECT_EQ(names.back(), "Present");
  EXPECT_EQ(device_->calls().front().args[1], static_cast<uint64_t>(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER));
  ASSERT_EQ(device_->draws().size(), 2u) << "the picture and the one real corner image";
  const RecordedDraw& full = device_->draws()[0];
  EXPECT_EQ(full.textures[0], picture_);
  EXPECT_FLOAT_EQ(full.position(3).x, 639.5f);
  EXPECT_EQ(full.renderStates[D3DRS_TEXTUREFACTOR] >> 24, 255u);
  EXPECT_EQ(full.renderStates[D3DRS_ZENABLE], static_cast<DWORD>(FALSE));
  const RecordedDraw& corner = device_->draws()[1];
  EXPECT_EQ(corner.textures[0], logo_);
  EXPECT_FLOAT_EQ(corner.position(0).x, 640.0f - 256.0f - 0.5f) << "bottom-right corner";
  EXPECT_FLOAT_EQ(corner.position(0).y, 480.0f - 128.0f - 0.5f);
}

TEST_F(LoadingScreenTest, FadeLowersOpacityOverTwoHundredMilliseconds) {
  int64_t now = 5000;
  ClockSources::setMillisecondSource([&now] {
    const int64_t t = now;
    now += 25;  // each reading is a little later, as a real frame would be
    return t;
  });
  const int frames = fadeOutLoadingScreen(*app_, pictures_, frames_);
  ASSERT_EQ(frames, static_cast<int>(device_->draws().size()));
  ASSERT_GE(frames, 3);
  DWORD previous = 256;
  for (const RecordedDraw& d : device_->draws()) {
    const DWORD alpha = d.renderStates[D3DRS_TEXTUREFACTOR] >> 24;
    EXPECT_LT(alpha, previous) << "every frame darker than the one before";
    previous = alpha;
    EXPECT_EQ(d.textures[0], picture_) << "the fade shows the picture alone";
  }
  EXPECT_GT(device_->draws().back().renderStates[D3DRS_TEXTUREFACTOR] >> 24, 0u);
}

TEST_F(LoadingScreenTest, WithoutADeviceNothingIsDrawnAndAFailedSceneStillPresents) {
  int64_t now = 0;
  ClockSources::setMillisecondSource([&now] { return now += 10; });
  // While merely lost the device test passes and frames go on (their presents fail quietly).
  device_->simulateLoss(1000);
  const int lostFrames = fadeOutLoadingScreen(*app_, pictures_, frames_);
  EXPECT_GT(lostFrames, 0);
  EXPECT_FALSE(drawLoadingFrame(device_, pictures_, 0.5f, false)) << "a lost device refuses the present";

  device_->clearCalls();
  device_->failCall("BeginScene", D3DERR_INVALIDCALL, 1);
  drawLoadingFrame(device_, pictures_, 1.0f, true);
  EXPECT_TRUE(device_->draws().empty());
  EXPECT_EQ(device_->count("Clear"), 1u);
  EXPECT_EQ(device_->count("Present"), 1u);

  app_->cleanup3DEnvironment();
  EXPECT_EQ(fadeOutLoadingScreen(*app_, pictures_, frames_), 0) << "no device: the fade only waits out its time";
}

TEST_F(LoadingScreenTest, OnceTheWindowSystemIsGoneNothingIsDrawnOrPresented) {
  int64_t now = 0;
  ClockSources::setMillisecondSource([&now] { return now += 10; });
  runtime_.window().windowSystemGone = true;
  EXPECT_FALSE(app_->testDevice());
  EXPECT_EQ(fadeOutLoadingScreen(*app_, pictures_, frames_), 0);
  EXPECT_EQ(device_->count("Present"), 0u);
  EXPECT_TRUE(device_->draws().empty());
}

}  // namespace
