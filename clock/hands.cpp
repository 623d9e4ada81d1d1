#include "clock/hands.h"

#include "engine/scene/matrix.h"

namespace brassmoor {

namespace {
constexpr float kPi = 3.1415927f;
const float kTwoPi = 2.0f * kPi;
const float kHalfPi = kPi / 2.0f;
}  // namespace

HandAngles handAngles(const halcyon::SystemTime& time) {
  const float s = float(time.milliseconds) / 1000.0f;
  const float m = (float(time.second) + s) / 60.0f;
  const float h = (float(time.minute) + m) / 60.0f;
  const float d = (float(time.hour % 12) + h) / 12.0f;
  HandAngles out;
  out.hour = d * kTwoPi;
  out.minute = h * kTwoPi - kHalfPi;
  return out;
}

halcyon::AnimationKey handKey(float angle) {
  const halcyon::Quaternion q = halcyon::rotationAxis({0.0f, 1.0f, 0.0f}, angle);
  halcyon::AnimationKey key;
  key.value[0] = q.x;
  key.value[1] = q.y;
  key.value[2] = q.z;
  key.value[3] = q.w;
  return key;
}

void setHands(const halcyon::SystemTime& time, halcyon::Track& hourTrack, halcyon::Track& minuteTrack) {
  const HandAngles a = handAngles(time);
  hourTrack.clear();
  minuteTrack.clear();
  hourTrack.addKey(handKey(a.hour));
  minuteTrack.addKey(handKey(a.minute));
}

}  // namespace brassmoor
