#include "engine/camera/fly_camera.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/input/input_manager.h"
#include "platform/dinput/dik_codes.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_input_window.h"

namespace {

using halcyon::Vec3;

// A windowed client area whose cursor stays where the test puts it.
class StillWindow : public testsupport::FakeInputWindow {
 public:
  StillWindow() : FakeInputWindow(1, 1024, 768) {
    windowed = true;
    cursorX = 500;
    cursorY = 400;
  }
};

class FlyCameraTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(input.initialise(window, true, 6, 6));
    input.update(0);
    camera.setup(&input, 0.1f, 1.0f, {-200, 100, 0}, {1, 0, 0}, {0, 1, 0});
  }
  void hold(uint8_t key) {
    input.directInput()->injectKey(key, true, 0);
    input.update(0);
  }
  void frame(int64_t ms) {
    clock.advance(ms);
    input.update(0);
    camera.update(ms);
  }

  testsupport::FakeClock clock;
  StillWindow window;
  halcyon::InputManager input;
  halcyon::FlyCamera camera;
};

void expectNear(Vec3 a, Vec3 b, float e = 1e-4f) {
  EXPECT_NEAR(a.x, b.x, e);
  EXPECT_NEAR(a.y, b.y, e);
  EXPECT_NEAR(a.z, b.z, e);
}

TEST_F(FlyCameraTest, KeysMoveAtTheMovementSpeedPerMillisecond) {
  frame(10);
  expectNear(camera.position(), {-200, 100, 0});
  hold(dinput::DIK_W);
  frame(50);
  expectNear(camera.position(), {-195, 100, 0});
  hold(dinput::DIK_D);  // forward and right together: one speed, not the sum
  frame(50);
  const float step = 5.0f / std::sqrt(2.0f);
  // Looking along +X with +Y up in a left-handed frame, right is -Z.
  expectNear(camera.position(), {-195 + step, 100, -step});
}

TEST_F(FlyCameraTest, ALongFrameCountsAsTheLongestStep) {
  hold(dinput::DIK_UP);
  frame(5000);
  expectNear(camera.position(), {-200 + 0.1f * halcyon::FlyCamera::kMaxStepMs, 100, 0});
}

TEST_F(FlyCameraTest, MouseLookTurnsAndTiltsWithoutTurningOver) {
  window.cursorX += 100;  // right
  frame(16);
  const Vec3 d = camera.direction();
  EXPECT_LT(d.z, 0.0f);  // swung toward the right (-Z)
  EXPECT_NEAR(std::atan2(-d.z, d.x), 100 * halcyon::FlyCamera::kMouseRadiansPerPixel, 1e-4f);
  for (int i = 0; i < 50; ++i) {
    window.cursorY += 60;  // keep pulling down
    frame(16);
    EXPECT_LE(std::fabs(camera.direction().y), halcyon::FlyCamera::kMaxPitchCos + 1e-5f);
    EXPECT_GT(camera.up().y, 0.0f);
  }
  EXPECT_LT(camera.direction().y, -0.9f);
  EXPECT_NEAR(halcyon::length(camera.up()), 1.0f, 1e-4f);
  EXPECT_NEAR(halcyon::dot(camera.up(), camera.direction()), 0.0f, 1e-4f);
}

TEST_F(FlyCameraTest, ArrowKeysTurnAtTheTurningSpeed) {
  hold(dinput::DIK_LEFT);
  frame(100);
  const Vec3 d = camera.direction();
  EXPECT_NEAR(std::atan2(d.z, d.x), 0.1f, 1e-4f);  // 1 rad/s for 100 ms, to the left (+Z)
}

TEST_F(FlyCameraTest, SuspendedItStandsStillAndResumesWithoutAJump) {
  camera.setSuspended(true);
  hold(dinput::DIK_W);
  window.cursorX += 300;
  frame(50);
  frame(2000);
  expectNear(camera.position(), {-200, 100, 0});
  expectNear(camera.direction(), {1, 0, 0});
  camera.setPose({0, 50, 0}, {0, 0, 1}, {0, 1, 0});  // a tour ended here
  camera.setSuspended(false);
  frame(20);
  expectNear(camera.position(), {0, 50, 2});
  expectNear(camera.direction(), {0, 0, 1});
}

TEST(FlyCameraPose, DegenerateVectorsStillGiveAnUprightFrame) {
  halcyon::FlyCamera camera;
  camera.setup(nullptr, 1.0f, 1.0f, {0, 0, 0}, {0, 0, 1}, {0, 0, 1});
  expectNear(camera.direction(), {0, 0, 1});
  EXPECT_NEAR(halcyon::dot(camera.up(), camera.direction()), 0.0f, 1e-5f);
  EXPECT_NEAR(halcyon::length(camera.up()), 1.0f, 1e-5f);
  camera.setPose({1, 2, 3}, {0, 0, 0}, {NAN, 0, 0});  // unusable: the old ones stay
  expectNear(camera.direction(), {0, 0, 1});
  camera.update(16);  // no input manager: nothing moves
  expectNear(camera.position(), {1, 2, 3});
}

}  // namespace
