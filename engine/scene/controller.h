#pragma once
// The controllers of a node's table. Each may contribute one matrix to the node's local
// matrix; the table multiplies them in increasing id order. Animation controllers play an
// animation on the millisecond clock (at the time a frame hands them, or by reading the clock
// themselves); transform controllers hand on the node's own transform.
#include <cstdint>

#include "engine/scene/animation.h"
#include "engine/scene/transform.h"

namespace halcyon {

// Ids reserved in every node's table for its own transform: 100 yields the whole transform;
// 96 to 99 yield its parts (base, scale, rotation, translation) when the node is driven part
// by part, which multiply to the same matrix.
inline constexpr int kTransformControllerId = 100;
inline constexpr int kBaseControllerId = 96;
inline constexpr int kScaleControllerId = 97;
inline constexpr int kRotationControllerId = 98;
inline constexpr int kTranslationControllerId = 99;

class Controller {
 public:
  virtual ~Controller() = default;
  // The matrix at the controller's own time with the millisecond clock at `nowMs`, or at
  // `*explicitTime` when given; false when the controller contributes nothing.
  virtual bool getMatrixAt(const float* explicitTime, int64_t nowMs, Matrix& out) = 0;
  // The same with the clock read now.
  bool getMatrix(const float* explicitTime, Matrix& out);

  // Settings applied by id (or to every controller) from the node; controllers that have no
  // use for one ignore it.
  virtual void setSpeed(float /*speed*/) {}
  virtual void setFlags(uint32_t /*flags*/) {}
  virtual void setPlayRange(float /*start*/, float /*end*/) {}
  virtual void start() {}
  virtual void stop() {}
};

class AnimationController : public Controller {
 public:
  // Flag setting: play the range over and over instead of stopping at its end.
  static constexpr uint32_t kLoop = 8;

  // Starts `animation` (not owned; may be null) from the beginning of its own time range.
  void play(const Animation* animation);
  const Animation* getAnimation() const { return animation_; }

  bool getMatrixAt(const float* explicitTime, int64_t nowMs, Matrix& out) override;
  // Track time units per millisecond; 1 plays millisecond keys in real time.
  void setSpeed(float speed) override;
  void setFlags(uint32_t flags) override;
  void setPlayRange(float start, float end) override;
  // Runs from the start of the play range from now on.
  void start() override;
  // Holds the current time.
  void stop() override;

  // The track time with the millisecond clock at `nowMs`, or read now.
  float currentTime(int64_t nowMs) const;
  float currentTime() const;
  float speed() const { return speed_; }
  uint32_t flags() const { return flags_; }
  bool running() const { return running_; }
  float rangeStart() const { return rangeStart_; }
  float rangeEnd() const { return rangeEnd_; }

 private:
  // Re-bases the clock so that the current time stays where it is.
  void rebase(float time);

  const Animation* animation_ = nullptr;
  float speed_ = 1.0f;
  uint32_t flags_ = 0;
  float rangeStart_ = 0.0f, rangeEnd_ = 0.0f;
  bool running_ = false;
  int64_t startMs_ = 0;
  float offset_ = 0.0f;  // track time already played (past the range start) at startMs_
  float heldTime_ = 0.0f;
};

// Yields a transform's whole matrix (id 100) or one of its parts (ids 96 to 99).
class TransformController : public Controller {
 public:
  enum Part { kWhole, kBase, kScale, kRotation, kTranslation };
  TransformController(const Transform* transform, Part part) : transform_(transform), part_(part) {}
  bool getMatrixAt(const float* explicitTime, int64_t nowMs, Matrix& out) override;

 private:
  const Transform* transform_;
  Part part_;
};

}  // namespace halcyon
