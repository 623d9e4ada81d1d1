#pragma once
// Keyframe animation: tracks of scale, rotation and position keys evaluated with
// Kochanek-Bartels curves (or linearly), and the animation that composes the three tracks
// into a node's matrix.
#include <cstdint>
#include <vector>

#include "engine/scene/matrix.h"

namespace halcyon {

// One key as stored in scene files: eight little-endian reals (32 bytes).
struct AnimationKey {
  static constexpr int kBytes = 32;
  float time = 0.0f;
  float value[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // x, y, z (position, scale) or quaternion x, y, z, w
  float continuity = 0.0f;
  float tension = 0.0f;
  float bias = 0.0f;

  // Reads the stored layout; `bytes` must hold kBytes.
  static AnimationKey fromBytes(const uint8_t* bytes);
  void toBytes(uint8_t* bytes) const;
};

// Smooths the start and end of a segment: s in [0, 1] with ease-in e and ease-out f.
float ease(float s, float e, float f);

class Track {
 public:
  enum Kind : uint8_t { kVector, kRotation };
  enum Flag : uint32_t {
    kCyclic = 1,  // the curve runs on across the ends (first and last key are one moment)
    kWrap = 2,    // times outside the keys are folded into [first, last]
    kLinear = 4,  // straight lines (slerp for rotation) instead of the cubic curve
  };

  explicit Track(Kind kind = kVector) : kind_(kind) {}

  // Keeps time order; a key at the time of an existing key replaces it.
  void addKey(const AnimationKey& key);
  void clear();
  bool empty() const { return keys_.empty(); }
  const std::vector<AnimationKey>& keys() const { return keys_; }
  Kind getKind() const { return kind_; }

  uint32_t flags() const { return flags_; }
  void setFlags(uint32_t flags);
  // Ease amounts of every segment (0, 0 by default: the timing of the keys as they are).
  void setEase(float easeIn, float easeOut);

  // False for an empty track. A vector track yields x, y, z; a rotation track a unit quaternion.
  bool evaluate(float time, Vec3& out) const;
  bool evaluate(float time, Quaternion& out) const;
  bool getTimeRange(float& start, float& end) const;

 private:
  struct Segment {
    bool built = false;
    float start = 0.0f, end = 0.0f;
    float p0[3] = {}, p1[3] = {}, t0[3] = {}, t1[3] = {};
    Quaternion q0, c0, c1, q1;
  };

  // Index of the key to use when the time falls on or outside a key, else -1 and the segment
  // index in `segment`.
  int locate(float& time, int& segment) const;
  const Segment& getSegment(int index) const;
  void buildVector(int index, Segment& seg) const;
  void buildRotation(int index, Segment& seg) const;
  float segmentParameter(const Segment& seg, float time) const;
  // Neighbour keys across the ends of a cyclic track; null at an open end.
  const AnimationKey* before(int index) const;
  const AnimationKey* after(int index) const;

  Kind kind_;
  uint32_t flags_ = 0;
  float easeIn_ = 0.0f, easeOut_ = 0.0f;
  std::vector<AnimationKey> keys_;
  mutable std::vector<Segment> segments_;  // cache keyed by the segment's first key
};

class Animation {
 public:
  Animation() : scale_(Track::kVector), rotation_(Track::kRotation), position_(Track::kVector) {}

  Track& scale() { return scale_; }
  Track& rotation() { return rotation_; }
  Track& position() { return position_; }
  const Track& scale() const { return scale_; }
  const Track& rotation() const { return rotation_; }
  const Track& position() const { return position_; }

  // scale × rotation × translation of the tracks that hold keys; false when none does.
  bool evaluate(float time, Matrix& out) const;
  // The union of the tracks' key times; false when every track is empty.
  bool getTimeRange(float& start, float& end) const;

 private:
  Track scale_, rotation_, position_;
};

// Widens [start, end] to take in the time range of `part` (a track, an animation or a node),
// if it has one; `any` says whether the range held anything yet and becomes true once it does.
template <typename Part>
void widenTimeRange(const Part& part, float& start, float& end, bool& any) {
  float s, e;
  if (!part.getTimeRange(s, e)) return;
  if (!any || s < start) start = s;
  if (!any || e > end) end = e;
  any = true;
}

}  // namespace halcyon
