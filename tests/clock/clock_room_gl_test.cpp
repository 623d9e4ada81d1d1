// The real room through the OpenGL device: three tours at fixed moments, a lightning flash and
// the pendulum's swing, read back from the presented pictures. Set BRASSMOOR_FRAME_DIR to keep
// them (room-*.png) in that folder for a person to look at.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/clock/clock_room_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

using clocktest::Picture;

double mean(const Picture& p) {
  double sum = 0;
  for (D3DCOLOR c : p.pixels) sum += ((c >> 16) & 255) + ((c >> 8) & 255) + (c & 255);
  return p.pixels.empty() ? 0 : sum / (3.0 * double(p.pixels.size()));
}

size_t differing(const Picture& a, const Picture& b) {
  size_t n = 0;
  for (size_t i = 0; i < a.pixels.size() && i < b.pixels.size(); ++i) n += a.pixels[i] != b.pixels[i];
  return n;
}

class ClockRoom : public clocktest::ClockRoomFixture {
 protected:
  void SetUp() override { open(BRASSMOOR_MEDIA_DIR, 512, 384); }

  // One frame with the tour held at `time`.
  Picture frame(const std::string& tour, float time, const std::string& png = "") {
    EXPECT_TRUE(scene_->tours().startAt(tour, time));
    return draw(png);
  }
};

TEST_F(ClockRoom, ThreeToursShowTheLitRoom) {
  const struct {
    const char* tour;
    float time;
  } views[] = {{"c1.cam", 150}, {"c4.cam", 300}, {"c7.cam", 450}};
  for (const auto& v : views) {
    const Picture p = frame(v.tour, v.time, std::string("room-") + v.tour + ".png");
    ASSERT_EQ(p.width, 512u);
    // Dim but not black, and not one flat colour.
    EXPECT_GT(mean(p), 8.0) << v.tour;
    EXPECT_GT(differing(p, Picture{std::vector<D3DCOLOR>(p.pixels.size(), p.pixels[0]), 0, 0}), p.pixels.size() / 4)
        << v.tour;
  }
}

TEST_F(ClockRoom, PendulumSwingsAndLightningBrightens) {
  // Before the first flash (due a second after the load).
  const Picture calm = frame("c1.cam", 150, "room-calm.png");
  clock_.advance(400);
  const Picture later = frame("c1.cam", 150);
  EXPECT_GT(differing(later, calm), 0u) << "the scene's animations move between frames";

  clock_.advance(600);  // the first flash begins
  scene_->frameMove();
  ASSERT_TRUE(scene_->storm().flashActive());
  clock_.advance(scene_->storm().flashDuration() / 2);
  const Picture flash = frame("c1.cam", 150, "room-flash.png");
  EXPECT_GT(scene_->storm().flashLevel(), 0.9f);
  EXPECT_GT(mean(flash), mean(later) + 1.0);
}

}  // namespace
