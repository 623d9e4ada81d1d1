// The committed room as the clock scene draws it through the OpenGL device, at ten past ten
// and thirty seconds: the free camera's view and the middle of every tour. Each view must read
// as a dim room at night (neither black nor washed out), and the close views of the clock must
// show it lit. With BRASSMOOR_ROOM_VIEWS set to a folder, the views are also written there as
// 1024 x 768 PNGs (free.png, c1.png .. c10.png) for the contact sheet, with a lightning flash
// seen from three places (flash-<view>-<n>.png); BRASSMOOR_ROOM_MEDIA points the scene at
// another media folder (a regeneration in progress) instead of media/.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/d3d9/device_control.h"
#include "tests/clock/clock_room_fixture.h"

namespace {

const char* viewsFolder() {
  const char* dir = std::getenv("BRASSMOOR_ROOM_VIEWS");
  return dir && *dir ? dir : nullptr;
}

void writePng(const std::string& path, const clocktest::Picture& p) {
  const std::vector<uint8_t> bytes = encodePng(p.pixels, p.width, p.height, false);
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

int width() { return viewsFolder() ? 1024 : 400; }
int height() { return viewsFolder() ? 768 : 300; }

// Light and colour of one picture, in 0..255 luma.
struct Exposure {
  double mean = 0;
  double black = 0;   // share of pixels darker than 4
  double white = 0;   // share of pixels with a channel at 254 or more
  double centre = 0;  // mean of the middle ninth, where the tours put their subject
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
    open(media && *media ? media : BRASSMOOR_MEDIA_DIR, width(), height());
  }

  // Draws one frame and returns its exposure; writes it as `name`.png when asked to.
  Exposure shoot(const std::string& name) {
    std::string png;
    if (const char* dir = viewsFolder()) {
      std::filesystem::create_directories(dir);
      png = std::string(dir) + "/" + name + ".png";
    }
    const clocktest::Picture p = draw(png);
    EXPECT_EQ(p.width, UINT(width()));
    if (p.pixels.empty() || p.width == 0) return {};
    return measure(p.pixels, int(p.width), int(p.height));
  }

  // Mean luma of a rectangle given in fractions of the picture.
  static double regionMean(const clocktest::Picture& p, double x0, double y0, double x1, double y1) {
    double sum = 0;
    size_t n = 0;
    for (UINT y = UINT(y0 * p.height); y < UINT(y1 * p.height); ++y)
      for (UINT x = UINT(x0 * p.width); x < UINT(x1 * p.width); ++x) {
        const D3DCOLOR c = p.pixels[size_t(y) * p.width + x];
        sum += 0.299 * ((c >> 16) & 255) + 0.587 * ((c >> 8) & 255) + 0.114 * (c & 255);
        ++n;
      }
    return n ? sum / double(n) : 0;
  }

  // One frame in which the storm has run its course but the picture keeps the base gamma
  // ramp: what the flash's light does to the room itself, without the brightening of the
  // whole screen. Written as `name`.png when there is a folder for the pictures.
  clocktest::Picture drawWithoutRamp(const std::string& name) {
    scene_->tours().restartTimer(halcyon::millisecondClock());
    scene_->frameMove();
    scene_->device()->SetGammaRamp(0, D3DSGR_CALIBRATE, &scene_->storm().baseRamp());
    EXPECT_TRUE(scene_->composeFrame());
    clocktest::Picture p;
    EXPECT_TRUE(deviceControl(scene_->device())->presentedPixels(p.pixels, p.width, p.height));
    if (const char* dir = viewsFolder(); dir && !p.pixels.empty()) {
      std::filesystem::create_directories(dir);
      writePng(std::string(dir) + "/" + name + ".png", p);
    }
    return p;
  }

  // Middle of a tour, in tour units: half its last key time.
  float middleTime(const std::string& tour) {
    scene_->tours().loadTour(tour);
    float start = 0, end = 0;
    EXPECT_TRUE(scene_->tours().node().getTimeRange(start, end)) << tour;
    return (start + end) / 2;
  }
};

TEST_F(RoomViews, FreeCameraAndEveryTourShowADimLitRoom) {
  scene_->tours().setEnabled(false);
  const Exposure free = shoot("free");
  EXPECT_GT(free.mean, 10.0);
  EXPECT_LT(free.mean, 110.0);
  EXPECT_LT(free.white, 0.02);
  // the clock stands in the middle of the free view, in the lamp's light
  EXPECT_GT(free.centre, 8.0);

  for (int n = 1; n <= 10; ++n) {
    const std::string tour = "c" + std::to_string(n) + ".cam";
    const float middle = middleTime(tour);
    ASSERT_TRUE(scene_->tours().startAt(tour, middle)) << tour;
    const Exposure e = shoot("c" + std::to_string(n));
    // dim, never black, never washed out: a room at night
    EXPECT_GT(e.mean, 10.0) << tour;
    EXPECT_LT(e.mean, 120.0) << tour;
    EXPECT_LT(e.black, 0.35) << tour;
    EXPECT_LT(e.white, 0.03) << tour;
    EXPECT_GT(e.centre, 6.0) << tour;
  }
}

TEST_F(RoomViews, AFlashLightsTheRoomFromTheWindowSide) {
  // The free camera looks along the room with the window in the right-hand wall: its floor
  // and sill at the lower right, the far corner at the left.
  scene_->tours().setEnabled(false);
  const clocktest::Picture calm = drawWithoutRamp("flashlight-free-calm");
  clock_.advance(1000);  // the first flash begins a second after the load
  scene_->frameMove();
  ASSERT_TRUE(scene_->storm().flashActive());
  clock_.advance(scene_->storm().flashDuration() / 2);
  const clocktest::Picture lit = drawWithoutRamp("flashlight-free-lit");
  ASSERT_GT(scene_->storm().flashLevel(), 0.99f);
  ASSERT_EQ(lit.pixels.size(), calm.pixels.size());
  const double windowSide = regionMean(lit, 0.62, 0.6, 1.0, 1.0) - regionMean(calm, 0.62, 0.6, 1.0, 1.0);
  const double farSide = regionMean(lit, 0.0, 0.3, 0.3, 0.7) - regionMean(calm, 0.0, 0.3, 0.3, 0.7);
  EXPECT_GT(windowSide, 8.0) << "the flash's light reaches the floor by the window";
  EXPECT_GT(windowSide, 2.0 * farSide) << "and falls off away from it";
}

// With a folder for the pictures: one flash, frame by frame as shown (gamma ramp included),
// from the window, from across the room and from the door.
TEST_F(RoomViews, FlashSequenceForThePictureFolder) {
  const char* dir = viewsFolder();
  if (!dir) GTEST_SKIP() << "BRASSMOOR_ROOM_VIEWS names no folder";
  const struct {
    const char* name;
    const char* tour;
  } views[] = {{"c5", "c5.cam"}, {"c9", "c9.cam"}, {"free", nullptr}};
  bool first = true;
  for (const auto& v : views) {
    if (v.tour) {
      ASSERT_TRUE(scene_->tours().startAt(v.tour, middleTime(v.tour)));
    } else {
      scene_->tours().setEnabled(false);
    }
    // each view waits for the next flash, then takes six frames across it
    if (first) clock_.advance(1000);
    first = false;
    for (int wait = 0; wait < 400 && !scene_->storm().flashActive(); ++wait) {
      clock_.advance(50);
      scene_->frameMove();
    }
    ASSERT_TRUE(scene_->storm().flashActive());
    const int step = int(scene_->storm().flashDuration()) / 6;
    for (int k = 0; k < 7; ++k) {
      shoot("flash-" + std::string(v.name) + "-" + std::to_string(k));
      clock_.advance(step);
    }
    while (scene_->storm().flashActive()) {
      clock_.advance(50);
      scene_->frameMove();
    }
  }
}

}  // namespace
