#include "engine/camera/fly_camera.h"

#include <algorithm>
#include <cmath>

#include "engine/input/input_manager.h"
#include "platform/dinput/dik_codes.h"

namespace halcyon {
namespace {

// Rotation of v about the unit axis k by angle a (left-handed: a positive turn about +Y
// swings +Z toward +X).
Vec3 rotate(Vec3 v, Vec3 k, float a) {
  const float c = std::cos(a), s = std::sin(a);
  return v * c + cross(k, v) * s + k * (dot(k, v) * (1.0f - c));
}

bool usable(Vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && length(v) > 1e-6f; }

}  // namespace

void FlyCamera::setup(InputManager* input, float moveSpeed, float turnSpeed, Vec3 position, Vec3 direction, Vec3 up) {
  input_ = input;
  moveSpeed_ = std::isfinite(moveSpeed) ? moveSpeed : 0.0f;
  turnSpeed_ = std::isfinite(turnSpeed) ? turnSpeed : 0.0f;
  setPose(position, direction, up);
}

void FlyCamera::setPose(Vec3 position, Vec3 direction, Vec3 up) {
  position_ = position;
  if (usable(direction)) direction_ = normalize(direction);
  if (usable(up)) worldUp_ = normalize(up);
  // An up vector along the line of sight gives no frame; the nearest usable one is taken.
  Vec3 right = cross(worldUp_, direction_);
  if (!usable(right)) {
    worldUp_ = std::fabs(direction_.y) < 0.9f ? Vec3{0, 1, 0} : Vec3{0, 0, 1};
    right = cross(worldUp_, direction_);
  }
  up_ = normalize(cross(direction_, normalize(right)));
  resyncCursor();
}

void FlyCamera::setSuspended(bool suspended) {
  if (suspended_ && !suspended) resyncCursor();
  suspended_ = suspended;
}

void FlyCamera::resyncCursor() {
  if (input_ == nullptr) return;
  lastCursorX_ = input_->cursorX();
  lastCursorY_ = input_->cursorY();
}

void FlyCamera::turn(float yaw, float pitch) {
  if (yaw != 0.0f) direction_ = normalize(rotate(direction_, worldUp_, yaw));
  Vec3 right = normalize(cross(worldUp_, direction_));
  if (pitch != 0.0f) {
    const Vec3 tilted = normalize(rotate(direction_, right, pitch));
    if (std::fabs(dot(tilted, worldUp_)) <= kMaxPitchCos) direction_ = tilted;
  }
  up_ = normalize(cross(direction_, right));
}

void FlyCamera::update(int64_t stepMs) {
  if (input_ == nullptr) return;
  const float mouseX = input_->cursorX(), mouseY = input_->cursorY();
  const float mdx = mouseX - lastCursorX_, mdy = mouseY - lastCursorY_;
  lastCursorX_ = mouseX;
  lastCursorY_ = mouseY;
  if (suspended_ || !input_->isActive()) return;

  const float ms = static_cast<float>(std::clamp<int64_t>(stepMs, 0, kMaxStepMs));
  auto down = [this](uint8_t a, uint8_t b) { return input_->keyDown(a) || (b != 0 && input_->keyDown(b)); };

  float yaw = (mdx * kMouseRadiansPerPixel) * turnSpeed_;
  float pitch = (mdy * kMouseRadiansPerPixel) * turnSpeed_;
  const float keyTurn = turnSpeed_ * ms / 1000.0f;
  if (down(dinput::DIK_RIGHT, 0)) yaw += keyTurn;
  if (down(dinput::DIK_LEFT, 0)) yaw -= keyTurn;
  turn(yaw, pitch);

  const Vec3 right = normalize(cross(worldUp_, direction_));
  Vec3 move{0, 0, 0};
  if (down(dinput::DIK_W, dinput::DIK_UP)) move = move + direction_;
  if (down(dinput::DIK_S, dinput::DIK_DOWN)) move = move - direction_;
  if (down(dinput::DIK_D, 0)) move = move + right;
  if (down(dinput::DIK_A, 0)) move = move - right;
  if (down(dinput::DIK_PRIOR, 0)) move = move + worldUp_;
  if (down(dinput::DIK_NEXT, 0)) move = move - worldUp_;
  if (length(move) > 0.0f) position_ = position_ + normalize(move) * (moveSpeed_ * ms);
}

}  // namespace halcyon
