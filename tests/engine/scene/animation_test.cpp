#include "engine/scene/animation.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/scene/controller.h"
#include "tests/support/fake_clock.h"

namespace {

using halcyon::AnimationKey;
using halcyon::Quaternion;
using halcyon::Track;
using halcyon::Vec3;

constexpr float kPi = 3.14159265f;

AnimationKey key(float time, float x, float tension = 0, float continuity = 0, float bias = 0) {
  AnimationKey k;
  k.time = time;
  k.value[0] = x;
  k.tension = tension;
  k.continuity = continuity;
  k.bias = bias;
  return k;
}

AnimationKey turnKey(float time, float degrees) {
  const Quaternion q = halcyon::rotationAxis({0, 1, 0}, degrees * kPi / 180.0f);
  AnimationKey k;
  k.time = time;
  k.value[0] = q.x;
  k.value[1] = q.y;
  k.value[2] = q.z;
  k.value[3] = q.w;
  return k;
}

float X(const Track& t, float time) {
  Vec3 v;
  EXPECT_TRUE(t.evaluate(time, v));
  return v.x;
}

// The turn about +Y that a rotation track yields, in degrees.
float turnDegrees(const Track& t, float time) {
  Quaternion q;
  EXPECT_TRUE(t.evaluate(time, q));
  EXPECT_NEAR(q.x, 0.0f, 1e-5f);
  EXPECT_NEAR(q.z, 0.0f, 1e-5f);
  if (q.w < 0) q = {-q.x, -q.y, -q.z, -q.w};
  return 2.0f * std::atan2(q.y, q.w) * 180.0f / kPi;
}

// Hand-worked Hermite values: with s = 0.5 the basis is (1/2, 1/8, 1/2, -1/8), with s = 0.25
// it is (0.84375, 0.140625, 0.15625, -0.046875).
TEST(TrackCubic, HermiteWithKochanekBartelsTangentsMatchesHandWorkedValues) {
  Track t;
  t.addKey(key(0, 0));
  t.addKey(key(10, 10));
  t.addKey(key(20, 30));
  // Start tangent: open end, the chord 10. End tangent at key 1: (10 + 20) / 2 = 15.
  EXPECT_NEAR(X(t, 5), 10 * 0.125f + 10 * 0.5f - 15 * 0.125f, 1e-5f);               // 4.375
  EXPECT_NEAR(X(t, 2.5f), 10 * 0.140625f + 10 * 0.15625f - 15 * 0.046875f, 1e-5f);  // 2.265625
  // Second segment: start tangent 15, open end with the chord 20: 10/2 + 15/8 + 30/2 - 20/8.
  EXPECT_NEAR(X(t, 15), 5 + 1.875f + 15 - 2.5f, 1e-5f);

  Track tension;
  tension.addKey(key(0, 0));
  tension.addKey(key(10, 10, 0.5f));
  tension.addKey(key(20, 30));
  EXPECT_NEAR(X(tension, 5), 1.25f + 5 - 7.5f * 0.125f, 1e-5f);  // tangent 15 x (1 - 0.5)

  Track bias;
  bias.addKey(key(0, 0));
  bias.addKey(key(10, 10, 0, 0, 0.5f));
  bias.addKey(key(20, 30));
  // g1 = 10 x 1.5 = 15, g2 = 20 x 0.5 = 10: tangent 12.5.
  EXPECT_NEAR(X(bias, 5), 1.25f + 5 - 12.5f * 0.125f, 1e-5f);

  Track continuity;
  continuity.addKey(key(0, 0));
  continuity.addKey(key(10, 10, 0, 0.5f));
  continuity.addKey(key(20, 30));
  // Incoming at key 1: k = 0.5, 10 + 10 x 0.25 = 12.5. Outgoing: k = 1.5, 10 + 10 x 0.75 = 17.5.
  EXPECT_NEAR(X(continuity, 5), 1.25f + 5 - 12.5f * 0.125f, 1e-5f);
  EXPECT_NEAR(X(continuity, 15), 5 + 17.5f * 0.125f + 15 - 2.5f, 1e-5f);
}

TEST(TrackCubic, TwoKeysRunStraightAndLinearFlagIgnoresTangents) {
  Track t;
  t.addKey(key(0, 2));
  t.addKey(key(8, 10));
  EXPECT_NEAR(X(t, 2), 4.0f, 1e-5f);
  Track lin;
  lin.setFlags(Track::kLinear);
  lin.addKey(key(0, 0));
  lin.addKey(key(10, 10));
  lin.addKey(key(20, 30));
  EXPECT_NEAR(X(lin, 5), 5.0f, 1e-6f);
  EXPECT_NEAR(X(lin, 12.5f), 15.0f, 1e-5f);
}

TEST(TrackTimes, OutsideKeysHoldEndsUnlessWrappedAndSingleOrEqualKeysHold) {
  Track t;
  t.setFlags(Track::kLinear);
  t.addKey(key(0, 0));
  t.addKey(key(100, 100));
  EXPECT_FLOAT_EQ(X(t, -25), 0.0f);
  EXPECT_FLOAT_EQ(X(t, 250), 100.0f);
  EXPECT_FLOAT_EQ(X(t, 100), 100.0f);

  t.setFlags(Track::kLinear | Track::kWrap);
  EXPECT_NEAR(X(t, 250), 50.0f, 1e-4f);
  EXPECT_NEAR(X(t, 1030), 30.0f, 1e-3f);
  EXPECT_NEAR(X(t, -25), 75.0f, 1e-4f);  // folded forwards into the range, not held at the start

  Track one;
  one.setFlags(Track::kWrap);  // a zero-length range must not divide by zero
  one.addKey(key(40, 7));
  for (float time : {-1e6f, 0.0f, 40.0f, 41.0f, 1e9f}) EXPECT_FLOAT_EQ(X(one, time), 7.0f);

  Track same;
  same.addKey(key(5, 1));
  same.addKey(key(5, 2));
  EXPECT_EQ(same.keys().size(), 1u);
  EXPECT_FLOAT_EQ(X(same, 5), 2.0f);

  Track empty;
  Vec3 v;
  EXPECT_FALSE(empty.evaluate(0, v));
  float s, e;
  EXPECT_FALSE(empty.getTimeRange(s, e));
}

TEST(TrackTimes, CyclicTrackTakesNeighboursAcrossTheEnds) {
  Track open, cyclic;
  cyclic.setFlags(Track::kCyclic);
  for (Track* t : {&open, &cyclic}) {
    t->addKey(key(0, 0));
    t->addKey(key(10, 10));
    t->addKey(key(20, 0));
  }
  // Key 1's tangent is (10 - 10) / 2 = 0 in both; key 0's is the chord 10 when open, and
  // from the key before the last across the end, (-10 + 10) / 2 = 0, when cyclic.
  EXPECT_NEAR(X(open, 5), 10 * 0.125f + 10 * 0.5f, 1e-5f);
  EXPECT_NEAR(X(cyclic, 5), 10 * 0.5f, 1e-5f);
  // Symmetric at the far end.
  EXPECT_NEAR(X(cyclic, 15), X(cyclic, 5), 1e-5f);
}

TEST(Ease, SixTenthsEachBehaveLikeHalvesAndZeroIsIdentity) {
  for (float s = 0.0f; s <= 1.0f; s += 0.05f) {
    EXPECT_NEAR(halcyon::ease(s, 0.6f, 0.6f), halcyon::ease(s, 0.5f, 0.5f), 1e-6f) << s;
    EXPECT_FLOAT_EQ(halcyon::ease(s, 0, 0), s);
  }
  EXPECT_NEAR(halcyon::ease(0.25f, 0.5f, 0.5f), 0.125f, 1e-6f);
  EXPECT_NEAR(halcyon::ease(0.75f, 0.5f, 0.5f), 0.875f, 1e-6f);
  EXPECT_NEAR(halcyon::ease(0.5f, 0.2f, 0.2f), 0.5f, 1e-6f);
  EXPECT_NEAR(halcyon::ease(0.1f, 0.2f, 0.2f), 0.01f * 0.625f / 0.2f, 1e-6f);

  Track eased;
  eased.setEase(0.5f, 0.5f);
  eased.addKey(key(0, 0));
  eased.addKey(key(100, 100));
  EXPECT_NEAR(X(eased, 25), 12.5f, 1e-4f);
}

TEST(TrackRotation, TwoKeysAreASlerpAndThreeKeysFollowTheHermiteOfTheAngle) {
  Track t(Track::kRotation);
  t.addKey(turnKey(0, 0));
  t.addKey(turnKey(100, 90));
  // slerp from 0 to 90 degrees at a quarter: 22.5 degrees, q = (0, sin 11.25°, 0, cos 11.25°).
  Quaternion q;
  ASSERT_TRUE(t.evaluate(25, q));
  EXPECT_NEAR(q.y, 0.19509032f, 1e-5f);
  EXPECT_NEAR(q.w, 0.98078528f, 1e-5f);
  EXPECT_NEAR(turnDegrees(t, 60), 54.0f, 1e-3f);
  t.setFlags(Track::kLinear);
  EXPECT_NEAR(turnDegrees(t, 60), 54.0f, 1e-3f);

  // About one axis the spherical curve is the Hermite of the angle: 0, 90, 120 degrees;
  // tangents 90 (open end) and (90 + 30) / 2 = 60, so at the middle 90/8 + 45 - 60/8.
  Track three(Track::kRotation);
  three.addKey(turnKey(0, 0));
  three.addKey(turnKey(10, 90));
  three.addKey(turnKey(20, 120));
  EXPECT_NEAR(turnDegrees(three, 5), 48.75f, 1e-3f);
  EXPECT_NEAR(turnDegrees(three, 10), 90.0f, 1e-4f);

  // Keys stored on opposite hemispheres still take the short way.
  Track flipped(Track::kRotation);
  flipped.addKey(turnKey(0, 0));
  AnimationKey k = turnKey(10, 40);
  for (float& v : k.value) v = -v;
  flipped.addKey(k);
  EXPECT_NEAR(turnDegrees(flipped, 5), 20.0f, 1e-3f);
}

TEST(Animation, ComposesScaleRotationTranslationAndUnitesTimeRanges) {
  halcyon::Animation a;
  halcyon::Matrix m;
  EXPECT_FALSE(a.evaluate(0, m));
  AnimationKey s = key(10, 2);
  s.value[1] = s.value[2] = 2;
  a.scale().addKey(s);
  a.rotation().addKey(turnKey(-5, 90));
  AnimationKey p = key(30, 1);
  p.value[1] = 2;
  p.value[2] = 3;
  a.position().addKey(p);
  ASSERT_TRUE(a.evaluate(0, m));
  const Vec3 v = m.transformCoord({1, 0, 0});  // (2,0,0) -> (0,0,-2) -> (1,2,1)
  EXPECT_NEAR(v.x, 1.0f, 1e-5f);
  EXPECT_NEAR(v.y, 2.0f, 1e-5f);
  EXPECT_NEAR(v.z, 1.0f, 1e-5f);
  float start, end;
  ASSERT_TRUE(a.getTimeRange(start, end));
  EXPECT_EQ(start, -5.0f);
  EXPECT_EQ(end, 30.0f);
}

TEST(AnimationKey, ThirtyTwoByteLayoutRoundTrips) {
  AnimationKey k = key(1.5f, 2, 0.1f, 0.2f, 0.3f);
  k.value[3] = 9;
  uint8_t bytes[32];
  k.toBytes(bytes);
  EXPECT_EQ(bytes[0], 0x00);
  EXPECT_EQ(bytes[3], 0x3f);  // 1.5f little-endian: 00 00 c0 3f
  const AnimationKey r = AnimationKey::fromBytes(bytes);
  EXPECT_EQ(r.time, 1.5f);
  EXPECT_EQ(r.value[3], 9.0f);
  EXPECT_EQ(r.continuity, 0.2f);
  EXPECT_EQ(r.tension, 0.1f);
  EXPECT_EQ(r.bias, 0.3f);
}

TEST(AnimationController, PlaysOnTheMillisecondClockWithSpeedLoopAndRange) {
  testsupport::FakeClock clock(10'000);
  halcyon::Animation a;
  a.position().setFlags(Track::kLinear);
  a.position().addKey(key(0, 0));
  a.position().addKey(key(100, 100));
  halcyon::AnimationController c;
  c.play(&a);
  clock.advance(150);
  EXPECT_FLOAT_EQ(c.currentTime(), 100.0f);  // not looping: stops at the end
  c.setFlags(halcyon::AnimationController::kLoop);
  c.start();
  clock.advance(150);
  EXPECT_FLOAT_EQ(c.currentTime(), 50.0f);
  halcyon::Matrix m;
  ASSERT_TRUE(c.getMatrix(nullptr, m));
  EXPECT_NEAR(m.m[3][0], 50.0f, 1e-4f);
  const float explicitTime = 20.0f;
  ASSERT_TRUE(c.getMatrix(&explicitTime, m));
  EXPECT_NEAR(m.m[3][0], 20.0f, 1e-4f);

  c.setSpeed(0.5f);  // the current time stays, then runs at half speed
  clock.advance(40);
  EXPECT_FLOAT_EQ(c.currentTime(), 70.0f);
  c.setPlayRange(20, 60);
  clock.advance(100);
  EXPECT_FLOAT_EQ(c.currentTime(), 30.0f);
  c.setPlayRange(60, 20);  // inverted: refused
  EXPECT_FLOAT_EQ(c.rangeStart(), 20.0f);
  c.stop();
  clock.advance(1000);
  EXPECT_FLOAT_EQ(c.currentTime(), 30.0f);

  // Days of looping keep millisecond precision.
  c.setSpeed(1.0f);
  c.start();
  clock.advance(int64_t(86'400'000) * 3 + 15);
  EXPECT_FLOAT_EQ(c.currentTime(), 35.0f);
}

}  // namespace
