#pragma once
// A camera: pose (position, forward direction, up vector), the view and projection matrices
// the device uses, and the six frustum planes that cull meshes.
#include "engine/scene/matrix.h"

namespace halcyon {

class Camera {
 public:
  // Left-handed perspective with a vertical field of view in radians.
  void SetProjection(float fovY, float aspect, float nearZ, float farZ);
  void SetProjectionMatrix(const Matrix& projection);
  // Looks from `position` along `direction`; a degenerate direction or up keeps the last view.
  void SetPose(Vec3 position, Vec3 direction, Vec3 up);
  void SetViewMatrix(const Matrix& view);

  const Matrix& View() const { return view_; }
  const Matrix& Projection() const { return projection_; }
  Vec3 Position() const { return position_; }
  Vec3 Direction() const { return direction_; }
  Vec3 Up() const { return up_; }

  // False only when every corner of the box lies outside one frustum plane. A camera that
  // has no projection yet sees everything.
  bool BoxVisible(const Box& box) const;

 private:
  void UpdateFrustum();

  Vec3 position_{0.0f, 0.0f, 0.0f};
  Vec3 direction_{0.0f, 0.0f, 1.0f};
  Vec3 up_{0.0f, 1.0f, 0.0f};
  Matrix view_ = Matrix::Identity();
  Matrix projection_ = Matrix::Identity();
  bool hasProjection_ = false;
  float planes_[6][4] = {};
};

}  // namespace halcyon
