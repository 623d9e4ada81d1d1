#include "engine/scene/controller.h"

#include <cmath>

#include "engine/core/clock.h"

namespace halcyon {

void AnimationController::Play(const Animation* animation) {
  animation_ = animation;
  float start = 0.0f, end = 0.0f;
  if (animation_ && animation_->GetTimeRange(start, end)) {
    rangeStart_ = start;
    rangeEnd_ = end;
  } else {
    rangeStart_ = rangeEnd_ = 0.0f;
  }
  Start();
}

void AnimationController::Start() {
  running_ = true;
  startMs_ = millisecondClock();
  offset_ = 0.0f;
}

void AnimationController::Stop() {
  heldTime_ = CurrentTime();
  running_ = false;
}

void AnimationController::Rebase(float time) {
  if (!running_) {
    heldTime_ = time;
    return;
  }
  startMs_ = millisecondClock();
  offset_ = time - rangeStart_;
}

void AnimationController::SetSpeed(float speed) {
  const float now = CurrentTime();
  speed_ = std::isfinite(speed) ? speed : 0.0f;
  Rebase(now);
}

void AnimationController::SetFlags(uint32_t flags) {
  const float now = CurrentTime();
  flags_ = flags;
  Rebase(now);
}

void AnimationController::SetPlayRange(float start, float end) {
  if (!(start <= end)) return;  // an inverted or undefined range would make every time invalid
  rangeStart_ = start;
  rangeEnd_ = end;
  if (!running_) heldTime_ = start;
  startMs_ = millisecondClock();
  offset_ = 0.0f;
}

bool Controller::GetMatrix(const float* explicitTime, Matrix& out) {
  return GetMatrixAt(explicitTime, millisecondClock(), out);
}

float AnimationController::CurrentTime() const { return CurrentTime(millisecondClock()); }

float AnimationController::CurrentTime(int64_t nowMs) const {
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

bool AnimationController::GetMatrixAt(const float* explicitTime, int64_t nowMs, Matrix& out) {
  if (!animation_) return false;
  return animation_->Evaluate(explicitTime ? *explicitTime : CurrentTime(nowMs), out);
}

bool TransformController::GetMatrixAt(const float*, int64_t, Matrix& out) {
  switch (part_) {
    case kWhole:
      out = transform_->GetMatrix();
      return true;
    case kBase:
      out = transform_->Base();
      return true;
    case kScale: {
      const Vec3 s = transform_->Scale();
      out = Matrix::Scaling(s.x, s.y, s.z);
      return true;
    }
    case kRotation:
      out = Matrix::RotationQuaternion(transform_->Rotation());
      return true;
    case kTranslation: {
      const Vec3 t = transform_->Translation();
      out = Matrix::Translation(t.x, t.y, t.z);
      return true;
    }
  }
  return false;
}

}  // namespace halcyon
