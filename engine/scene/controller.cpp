#include "engine/scene/controller.h"

#include <cmath>

#include "engine/core/clock.h"

namespace halcyon {

void AnimationController::play(const Animation* animation) {
  animation_ = animation;
  float first = 0.0f, last = 0.0f;
  if (animation_ && animation_->getTimeRange(first, last)) {
    rangeStart_ = first;
    rangeEnd_ = last;
  } else {
    rangeStart_ = rangeEnd_ = 0.0f;
  }
  start();
}

void AnimationController::start() {
  running_ = true;
  startMs_ = millisecondClock();
  offset_ = 0.0f;
}

void AnimationController::stop() {
  heldTime_ = currentTime();
  running_ = false;
}

void AnimationController::rebase(float time) {
  if (!running_) {
    heldTime_ = time;
    return;
  }
  startMs_ = millisecondClock();
  offset_ = time - rangeStart_;
}

void AnimationController::setSpeed(float speed) {
  const float now = currentTime();
  speed_ = std::isfinite(speed) ? speed : 0.0f;
  rebase(now);
}

void AnimationController::setFlags(uint32_t flags) {
  const float now = currentTime();
  flags_ = flags;
  rebase(now);
}

void AnimationController::setPlayRange(float start, float end) {
  if (!(start <= end)) return;  // an inverted or undefined range would make every time invalid
  rangeStart_ = start;
  rangeEnd_ = end;
  if (!running_) heldTime_ = start;
  startMs_ = millisecondClock();
  offset_ = 0.0f;
}

bool Controller::getMatrix(const float* explicitTime, Matrix& out) {
  return getMatrixAt(explicitTime, millisecondClock(), out);
}

float AnimationController::currentTime() const { return currentTime(millisecondClock()); }

float AnimationController::currentTime(int64_t nowMs) const {
  if (!running_) return heldTime_;
  // Whole runs last days: keep the clock arithmetic in double and fold it into the range.
  const double played = double(offset_) + double(nowMs - startMs_) * double(speed_);
  const double length = double(rangeEnd_) - double(rangeStart_);
  if ((flags_ & kLoop) && length > 0.0) {
    double r = std::fmod(played, length);
    if (r < 0.0) r += length;
    return float(double(rangeStart_) + r);
  }
  if (played <= 0.0) return rangeStart_;
  if (played >= length) return rangeEnd_;
  return float(double(rangeStart_) + played);
}

bool AnimationController::getMatrixAt(const float* explicitTime, int64_t nowMs, Matrix& out) {
  if (!animation_) return false;
  return animation_->evaluate(explicitTime ? *explicitTime : currentTime(nowMs), out);
}

bool TransformController::getMatrixAt(const float*, int64_t, Matrix& out) {
  switch (part_) {
    case kWhole: out = transform_->getMatrix(); return true;
    case kBase: out = transform_->base(); return true;
    case kScale: {
      const Vec3 s = transform_->scale();
      out = Matrix::scaling(s.x, s.y, s.z);
      return true;
    }
    case kRotation: out = Matrix::rotationQuaternion(transform_->rotation()); return true;
    case kTranslation: {
      const Vec3 t = transform_->translation();
      out = Matrix::translation(t.x, t.y, t.z);
      return true;
    }
  }
  return false;
}

}  // namespace halcyon
