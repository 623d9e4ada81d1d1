#include "clock/window_view.h"

#include <gtest/gtest.h>

#include "engine/scene/camera.h"

namespace {

using halcyon::Box;
using halcyon::Vec3;

Box box(Vec3 lo, Vec3 hi) {
  Box b;
  b.extend(lo);
  b.extend(hi);
  return b;
}

halcyon::Matrix viewProjection(Vec3 eye) {
  halcyon::Camera camera;
  camera.setProjection(1.5708f, 1.0f, 1.0f, 1000.0f);
  camera.setPose(eye, {0, 0, 1}, {0, 1, 0});
  return camera.view() * camera.projection();
}

TEST(WindowView, ScreenRectangleBoundsTheBoxWithAPixelToSpareInsideTheViewport) {
  const D3DVIEWPORT9 vp{0, 0, 200, 100, 0.0f, 1.0f};
  // A quarter-turn field of view: at distance 10 the picture spans x and y from -10 to 10.
  const std::optional<RECT> centre = brassmoor::screenRectOf(box({-5, -5, 10}, {5, 5, 10}), viewProjection({}), vp);
  ASSERT_TRUE(centre);
  EXPECT_EQ(centre->left, 49);
  EXPECT_EQ(centre->right, 151);
  EXPECT_EQ(centre->top, 24);
  EXPECT_EQ(centre->bottom, 76);
  // Rows run down the screen: a box above the eye lies in the upper half.
  const std::optional<RECT> above = brassmoor::screenRectOf(box({-1, 4, 10}, {1, 6, 10}), viewProjection({}), vp);
  ASSERT_TRUE(above);
  EXPECT_LT(above->bottom, 50);
  // Partly off the screen: cut at the viewport's edge; wholly off it: empty.
  const std::optional<RECT> edge = brassmoor::screenRectOf(box({5, -1, 10}, {50, 1, 10}), viewProjection({}), vp);
  ASSERT_TRUE(edge);
  EXPECT_EQ(edge->right, 200);
  const std::optional<RECT> off = brassmoor::screenRectOf(box({50, -1, 10}, {60, 1, 10}), viewProjection({}), vp);
  ASSERT_TRUE(off);
  EXPECT_EQ(off->right, off->left);
  // A corner level with or behind the eye says nothing about the rest.
  EXPECT_FALSE(brassmoor::screenRectOf(box({-5, -5, -1}, {5, 5, 10}), viewProjection({}), vp));
  EXPECT_FALSE(brassmoor::screenRectOf(box({-5, -5, 0}, {5, 5, 10}), viewProjection({}), vp));
}

TEST(WindowView, BeyondMeansWhollyAcrossThePanesThinnestExtentFromTheInside) {
  const Box pane = box({300, 80, -40}, {302, 180, 40});
  const Vec3 inside{0, 100, 0};
  EXPECT_TRUE(brassmoor::liesBeyond(box({350, 0, -200}, {350, 300, 200}), pane, inside));
  EXPECT_TRUE(brassmoor::liesBeyond(box({302, 0, -200}, {400, 300, 200}), pane, inside)) << "touching the pane";
  EXPECT_FALSE(brassmoor::liesBeyond(box({290, 0, -200}, {400, 300, 200}), pane, inside)) << "reaching into the room";
  EXPECT_FALSE(brassmoor::liesBeyond(box({-300, 0, -300}, {0, 0, 300}), pane, inside));
  // Seen from the other side, the room lies beyond.
  EXPECT_TRUE(brassmoor::liesBeyond(box({-300, 0, -300}, {0, 0, 300}), pane, {500, 100, 0}));
  EXPECT_FALSE(brassmoor::liesBeyond(box({350, 0, 0}, {360, 1, 1}), pane, {301, 100, 0})) << "inside the pane";
  EXPECT_FALSE(brassmoor::liesBeyond(Box{}, pane, inside));
}

}  // namespace
