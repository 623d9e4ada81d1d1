#pragma once
// A camera: pose (position, forward direction, up vector), the view and projection matrices
// the device uses, and the six frustum planes that cull meshes.
#include "engine/scene/matrix.h"

namespace halcyon {

class Camera {
 public:
  // Left-handed perspective with a vertical field of view in radians.
  void setProjection(float fovY, float aspect, float nearZ, float farZ);
  void setProjectionMatrix(const Matrix& projection);
  // Looks from `position` along `direction`; a degenerate direction or up keeps the last view.
  void setPose(Vec3 position, Vec3 direction, Vec3 up);
  void setViewMatrix(const Matrix& view);

  const Matrix& view() const { return view_; }
  const Matrix& projection() const { return projection_; }
  Vec3 position() const { return position_; }
  Vec3 direction() const { return direction_; }
  Vec3 up() const { return up_; }

  // False only when every corner of the box lies outside one frustum plane. A camera that
  // has no projection yet sees everything.
  bool boxVisible(const Box& box) const;

 private:
  void updateFrustum();

  Vec3 position_{0.0f, 0.0f, 0.0f};
  Vec3 direction_{0.0f, 0.0f, 1.0f};
  Vec3 up_{0.0f, 1.0f, 0.0f};
  Matrix view_ = Matrix::identity();
  Matrix projection_ = Matrix::identity();
  bool hasProjection_ = false;
  float planes_[6][4] = {};
};

}  // namespace halcyon
