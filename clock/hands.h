#pragma once
// The clock's hands follow the local time continuously: the hour hand creeps with every
// minute, second and millisecond, the minute hand with every second and millisecond. Each
// hand is turned about its own Y axis through a rotation track holding a single key, so the
// node shows that turn whatever its animation time is.
#include "engine/core/clock.h"
#include "engine/scene/animation.h"

namespace brassmoor {

struct HandAngles {
  float hour = 0.0f;    // radians, 0 at twelve o'clock
  float minute = 0.0f;  // radians, with the minute model's quarter-turn offset
};

// Every step in single precision, as the dial has always been computed: 24-hour time folds
// onto the twelve-hour dial, and the minute hand's angle carries a fixed -pi/2 because its
// model lies a quarter turn from the hour hand's in the scene.
HandAngles handAngles(const halcyon::SystemTime& time);

// A hand key: time 0, a turn of `angle` about (0, 1, 0), every other field zero.
halcyon::AnimationKey handKey(float angle);

// Replaces the single key of each track with the turn for `time`.
void setHands(const halcyon::SystemTime& time, halcyon::Track& hourTrack, halcyon::Track& minuteTrack);

}  // namespace brassmoor
