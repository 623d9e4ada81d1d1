// The room drawn directly against the same view drawn at four times the size each way and
// averaged down: textures that are not filtered down to the size they are drawn at shimmer,
// and show as fine detail (moiré on the parquet, speckled numerals) that the averaged picture
// does not have. Set BRASSMOOR_FRAME_DIR to keep the pictures (quality-*.png) in that folder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "tests/clock/clock_room_fixture.h"

namespace {

using clocktest::Picture;

// Each texel the mean of a factor x factor block.
Picture reduce(const Picture& big, UINT factor) {
  Picture out;
  out.width = big.width / factor;
  out.height = big.height / factor;
  out.pixels.resize(static_cast<size_t>(out.width) * out.height);
  for (UINT y = 0; y < out.height; ++y)
    for (UINT x = 0; x < out.width; ++x) {
      UINT sum[3] = {0, 0, 0};
      for (UINT dy = 0; dy < factor; ++dy)
        for (UINT dx = 0; dx < factor; ++dx) {
          const D3DCOLOR c = big.pixels[static_cast<size_t>(y * factor + dy) * big.width + x * factor + dx];
          for (int k = 0; k < 3; ++k) sum[k] += (c >> (16 - 8 * k)) & 0xFF;
        }
      const UINT n = factor * factor;
      out.pixels[static_cast<size_t>(y) * out.width + x] = D3DCOLOR_XRGB((sum[0] + n / 2) / n, (sum[1] + n / 2) / n,
                                                                         (sum[2] + n / 2) / n);
    }
  return out;
}

// Mean size of the Laplacian of the brightness: how much changes from one pixel to the next.
double fineDetail(const Picture& p) {
  if (p.width < 3 || p.height < 3) return 0;
  std::vector<double> luma(p.pixels.size());
  for (size_t i = 0; i < p.pixels.size(); ++i) {
    const D3DCOLOR c = p.pixels[i];
    luma[i] = 0.299 * ((c >> 16) & 0xFF) + 0.587 * ((c >> 8) & 0xFF) + 0.114 * (c & 0xFF);
  }
  double sum = 0;
  for (UINT y = 1; y + 1 < p.height; ++y)
    for (UINT x = 1; x + 1 < p.width; ++x) {
      const size_t i = static_cast<size_t>(y) * p.width + x;
      sum += std::fabs(4 * luma[i] - luma[i - 1] - luma[i + 1] - luma[i - p.width] - luma[i + p.width]);
    }
  return sum / (static_cast<double>(p.width - 2) * (p.height - 2));
}

class PictureQuality : public clocktest::ClockRoomFixture {
 protected:
  struct View {
    const char* tour;
    float time;  // in the tours' tenths of a second
  };
  // Across the floor to the window, and low over the rug to the clock's dial.
  static constexpr View kViews[] = {{"c1.cam", 80}, {"c8.cam", 80}};

  std::vector<Picture> drawViews(int width, int height, const char* name) {
    std::vector<Picture> pictures;
    open(BRASSMOOR_MEDIA_DIR, width, height);
    if (HasFatalFailure()) return pictures;
    for (const View& v : kViews) {
      EXPECT_TRUE(scene_->tours().startAt(v.tour, v.time));
      pictures.push_back(draw(std::string("quality-") + name + "-" + v.tour + ".png"));
    }
    TearDown();
    window_ = nullptr;
    return pictures;
  }
};

TEST_F(PictureQuality, DirectFramesKeepTheFineDetailOfASupersampledOne) {
  constexpr UINT kFactor = 4;
  const std::vector<Picture> direct = drawViews(320, 180, "direct");
  const std::vector<Picture> big = drawViews(320 * kFactor, 180 * kFactor, "supersampled");
  ASSERT_EQ(direct.size(), std::size(kViews));
  ASSERT_EQ(big.size(), std::size(kViews));
  for (size_t i = 0; i < direct.size(); ++i) {
    ASSERT_EQ(big[i].width, direct[i].width * kFactor);
    const double ratio = fineDetail(direct[i]) / fineDetail(reduce(big[i], kFactor));
    std::printf("%s: fine detail %.3f of the supersampled picture's\n", kViews[i].tour, ratio);
    // Textures drawn without their smaller levels give some two thirds more; a picture blurred
    // beyond what the averaging does falls below.
    EXPECT_LT(ratio, 1.15) << kViews[i].tour << " shimmers";
    EXPECT_GT(ratio, 0.85) << kViews[i].tour << " is blurred";
  }
}

}  // namespace
