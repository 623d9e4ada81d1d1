#pragma once
// The fly camera: the controller that moves the free camera from the keyboard and mouse
// while no tour holds the view.
//
// Keys (scan codes, so they sit in the same place on every layout):
//   W / Up arrow      forward          S / Down arrow     back
//   A                 step left        D                  step right
//   Left / Right      turn             Page Up / Page Down  rise / sink
// The mouse looks around: horizontal cursor movement turns, vertical movement tilts.
//
// Movement speed is in scene units per millisecond (the scene's CamSpeed); turning speed 1.0
// turns one radian per second on the keys and kMouseRadiansPerPixel per pixel of cursor
// movement. Steps longer than kMaxStepMs count as kMaxStepMs, so that a stall (or the return
// from a tour) never throws the camera across the room.
#include <cstdint>

#include "engine/scene/matrix.h"

namespace halcyon {

class InputManager;

class FlyCamera {
 public:
  static constexpr int64_t kMaxStepMs = 100;
  static constexpr float kMouseRadiansPerPixel = 0.004f;
  // The view never tilts closer than this to straight up or down, where turning would spin
  // about the line of sight.
  static constexpr float kMaxPitchCos = 0.996f;

  FlyCamera() = default;

  void setup(InputManager* input, float moveSpeed, float turnSpeed, Vec3 position, Vec3 direction, Vec3 up);
  void setPose(Vec3 position, Vec3 direction, Vec3 up);

  // While suspended (a tour plays) update() only keeps the cursor current.
  void setSuspended(bool suspended);
  bool suspended() const { return suspended_; }

  // Moves the camera by the frame's step (milliseconds since the frame before) and the input
  // since the previous update.
  void update(int64_t stepMs);

  Vec3 position() const { return position_; }
  Vec3 direction() const { return direction_; }
  Vec3 up() const { return up_; }
  float moveSpeed() const { return moveSpeed_; }
  float turnSpeed() const { return turnSpeed_; }

 private:
  void turn(float yaw, float pitch);
  void resyncCursor();

  InputManager* input_ = nullptr;
  float moveSpeed_ = 1.0f;
  float turnSpeed_ = 1.0f;
  Vec3 position_{0, 0, 0};
  Vec3 direction_{0, 0, 1};
  Vec3 up_{0, 1, 0};
  Vec3 worldUp_{0, 1, 0};
  bool suspended_ = false;
  float lastCursorX_ = 0, lastCursorY_ = 0;
};

}  // namespace halcyon
