#include "clock/tours.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>

#include "tests/clock/clock_files.h"
#include "tests/support/fake_clock.h"

namespace {

using brassmoor::CameraPose;
using brassmoor::Tours;
using clocktest::ScriptedRandom;

class TourRun : public ::testing::Test {
 protected:
  testsupport::TempDir dir_;
  testsupport::FakeClock clock_;
  ScriptedRandom random_;
  Tours tours_{dir_.path().string(), nullptr, std::ref(random_)};
  CameraPose free_;
};

TEST_F(TourRun, TenToursPlayOncePerRoundInRandomOrder) {
  for (int i = 1; i <= 10; ++i) {
    const std::string name = "c" + std::to_string(i) + ".cam";
    clocktest::writeTour(dir_, name, 0, 100, float(i));
    tours_.addTour(name);
  }
  random_.draws = {7, 3, 9, 1, 0, 4, 2, 8, 5, 6, 3, 2};
  tours_.start();
  tours_.restartTimer(clock_.now());
  std::vector<std::string> order{tours_.current()};
  for (int n = 0; n < 11; ++n) {
    clock_.advance(10001);  // past the end of a 100-unit tour
    tours_.advance(free_, clock_.now());
    order.push_back(tours_.current());
    EXPECT_EQ(tours_.time(), 0.0f);
  }
  const std::set<std::string> firstRound(order.begin(), order.begin() + 10);
  EXPECT_EQ(firstRound.size(), 10u);
  // The eleventh starts a new round: all ten are back, one of them under way.
  EXPECT_EQ(tours_.remaining(), 9);
  EXPECT_EQ(tours_.played(), 1);
}

TEST_F(TourRun, OneTourRestartsAtItsFirstKey) {
  clocktest::writeTour(dir_, "only.cam", 20, 60);
  tours_.addTour("only.cam");
  tours_.start();
  tours_.restartTimer(clock_.now());
  tours_.advance(free_, clock_.now());
  EXPECT_EQ(tours_.time(), 0.0f);  // a frame of 0 ms leaves the time alone
  clock_.advance(3000);
  tours_.advance(free_, clock_.now());
  EXPECT_FLOAT_EQ(tours_.time(), 30.0f);
  clock_.advance(0);
  tours_.advance(free_, clock_.now());
  EXPECT_FLOAT_EQ(tours_.time(), 30.0f);
  // A long frame passes the end: the tour starts over at its first key, the excess dropped,
  // and the free camera keeps the tour's last pose.
  clock_.advance(60000);
  tours_.advance(free_, clock_.now());
  EXPECT_EQ(tours_.current(), "only.cam");
  EXPECT_FLOAT_EQ(tours_.time(), 20.0f);
  EXPECT_NEAR(free_.position.y, 100.0f, 1e-4f);
  EXPECT_TRUE(tours_.enabled());
}

TEST_F(TourRun, AViewLeavesTheTourWhereTheNextAdvanceTakesItUp) {
  clocktest::writeTour(dir_, "only.cam", 0, 100);  // x from 0 to 10
  tours_.addTour("only.cam");
  tours_.start();
  tours_.restartTimer(clock_.now());
  clock_.advance(3000);
  const CameraPose seen = tours_.view(free_);
  EXPECT_EQ(tours_.time(), 0.0f) << "the view moves nothing on";
  EXPECT_EQ(tours_.advance(free_, clock_.now()).position.x, seen.position.x) << "the frame shown next sees the same";
  EXPECT_FLOAT_EQ(tours_.time(), 30.0f) << "and takes the whole step";
  EXPECT_NEAR(tours_.view(free_).position.x, 3.0f, 1e-4f);

  tours_.setEnabled(false);
  free_.position = {-200, 100, 0};
  EXPECT_EQ(tours_.view(free_).position.x, -200.0f) << "no tour: the free camera's view";
}

TEST_F(TourRun, FadeAtBothEnds) {
  clocktest::writeTour(dir_, "t.cam", 0, 200);
  tours_.addTour("t.cam");
  tours_.start();
  tours_.setTime(5);
  ASSERT_TRUE(tours_.fade());
  EXPECT_FLOAT_EQ(*tours_.fade(), 0.5f);
  tours_.setTime(100);
  EXPECT_FALSE(tours_.fade());
  tours_.setTime(200 - 2.5f);
  ASSERT_TRUE(tours_.fade());
  EXPECT_FLOAT_EQ(*tours_.fade(), 0.75f);
}

TEST_F(TourRun, KeysSortByTimeAndTypeDecidesTheirTrack) {
  using namespace scenetest;
  const float s = std::sin(0.25f * 3.1415927f), c = std::cos(0.25f * 3.1415927f);  // half a right angle
  Rec root = with(structRec("_root", "_roottype"), clocktest::tourKey("a", "pos", 200, 0, 10, 0),
                  clocktest::tourKey("b", "pos", 0, 0, 0, 0), clocktest::tourKey("c", "rotation", 0, 0, s, 0, c),
                  clocktest::tourKey("d", "Pos", 100, 0, 0, 0, 1), clocktest::tourKey("e", "pos", 200, 0, 20, 0),
                  rawRec("short", std::vector<float>{1, 2}, "pos"));
  clocktest::writeRecord(dir_, "k.cam", *root);
  tours_.addTour("k.cam");
  tours_.start();
  const halcyon::Animation& node = tours_.node();
  ASSERT_EQ(node.position().keys().size(), 2u);
  EXPECT_EQ(node.position().keys()[0].time, 0.0f);
  EXPECT_EQ(node.position().keys()[1].value[1], 20.0f);  // same time: the later key wins
  EXPECT_EQ(node.rotation().keys().size(), 2u);          // "Pos" is not "pos"

  // A quarter turn about y looks along +x with y still up.
  const CameraPose pose = brassmoor::poseFromRotation({1, 2, 3}, halcyon::rotationAxis({0, 1, 0}, 1.5707964f));
  EXPECT_NEAR(std::fabs(pose.direction.x), 1.0f, 1e-5f);
  EXPECT_NEAR(pose.direction.z, 0.0f, 1e-5f);
  EXPECT_NEAR(pose.up.y, 1.0f, 1e-5f);
  EXPECT_EQ(pose.position.z, 3.0f);
}

TEST_F(TourRun, WithoutToursOrFilesTheFreeCameraHoldsTheView) {
  free_.position = {-200, 100, 0};
  tours_.start();  // an empty list
  EXPECT_EQ(tours_.advance(free_, clock_.now()).position.x, -200.0f);
  EXPECT_FALSE(tours_.fade());

  tours_.addTour("missing.cam");
  tours_.start();
  clock_.advance(1000);
  EXPECT_EQ(tours_.advance(free_, clock_.now()).position.x, -200.0f);
  EXPECT_FALSE(tours_.playing());

  // Garbage in place of a tour is read as no tour.
  static const char kBad[] = "UDF Binary 1.0\0\xff\xff\xff\x7f garbage";
  dir_.write("bad.cam", std::string(kBad, sizeof kBad - 1));
  tours_.loadTour("bad.cam");
  EXPECT_FALSE(tours_.playing());
}

}  // namespace
