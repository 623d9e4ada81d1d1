// The committed room as the clock scene draws it through the OpenGL device, at ten past ten
// and thirty seconds: the free camera's view and the middle of every tour. Each view must read
// as a dim room at night (neither black nor washed out), and the close views of the clock must
// show it lit. With BRASSMOOR_ROOM_VIEWS set to a folder, the views are also written there as
// 1024 x 768 PNGs (free.png, c1.png .. c10.png) for the contact sheet; BRASSMOOR_ROOM_MEDIA
// points the scene at another media folder (a regeneration in progress) instead of media/.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/clock/clock_room_fixture.h"

namespace {

const char* viewsFolder() {
  const char* dir = std::getenv("BRASSMOOR_ROOM_VIEWS");
  return dir && *dir ? dir : nullptr;
}

int width() { return viewsFolder() ? 1024 : 400; }
int height() { return viewsFolder() ? 768 : 300; }

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

class RoomViews : public clocktest::ClockRoomFixture {
 protected:
  void SetUp() override {
    const char* media = std::getenv("BRASSMOOR_ROOM_MEDIA");
    Open(media && *media ? media : BRASSMOOR_MEDIA_DIR, width(), height());
  }

  // Draws one frame and returns its exposure; writes it as `name`.png when asked to.
  Exposure Shoot(const std::string& name) {
    std::string png;
    if (const char* dir = viewsFolder()) {
      std::filesystem::create_directories(dir);
      png = std::string(dir) + "/" + name + ".png";
    }
    const clocktest::Picture p = Draw(png);
    EXPECT_EQ(p.width, UINT(width()));
    if (p.pixels.empty() || p.width == 0) return {};
    return measure(p.pixels, int(p.width), int(p.height));
  }

  // Middle of a tour, in tour units: half its last key time.
  float Middle(const std::string& tour) {
    scene_->tours().loadTour(tour);
    float start = 0, end = 0;
    EXPECT_TRUE(scene_->tours().node().GetTimeRange(start, end)) << tour;
    return (start + end) / 2;
  }

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
