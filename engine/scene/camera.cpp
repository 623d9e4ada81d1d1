#include "engine/scene/camera.h"

#include <cmath>

namespace halcyon {

void Camera::setProjection(float fovY, float aspect, float nearZ, float farZ) {
  if (!(aspect > 0.0f) || !(farZ > nearZ) || !(fovY > 0.0f) || !(fovY < 3.14159f)) return;
  const float yScale = 1.0f / std::tan(fovY * 0.5f);
  Matrix p;
  p.m[0][0] = yScale / aspect;
  p.m[1][1] = yScale;
  p.m[2][2] = farZ / (farZ - nearZ);
  p.m[2][3] = 1.0f;
  p.m[3][2] = -nearZ * farZ / (farZ - nearZ);
  p.shape = Matrix::kGeneral;
  setProjectionMatrix(p);
}

void Camera::setProjectionMatrix(const Matrix& projection) {
  projection_ = projection;
  hasProjection_ = true;
  updateFrustum();
}

void Camera::setPose(Vec3 position, Vec3 direction, Vec3 up) {
  const Vec3 z = normalize(direction);
  const Vec3 x = normalize(cross(up, z));
  if (length(z) == 0.0f || length(x) == 0.0f) return;
  const Vec3 y = cross(z, x);
  position_ = position;
  direction_ = z;
  up_ = y;
  Matrix v = Matrix::identity();
  v.m[0][0] = x.x, v.m[0][1] = y.x, v.m[0][2] = z.x;
  v.m[1][0] = x.y, v.m[1][1] = y.y, v.m[1][2] = z.y;
  v.m[2][0] = x.z, v.m[2][1] = y.z, v.m[2][2] = z.z;
  v.m[3][0] = -dot(x, position);
  v.m[3][1] = -dot(y, position);
  v.m[3][2] = -dot(z, position);
  v.classify();
  view_ = v;
  updateFrustum();
}

void Camera::setViewMatrix(const Matrix& view) {
  view_ = view;
  Matrix inv;
  if (view.inverse(inv)) {
    position_ = inv.getTranslation();
    direction_ = normalize(Vec3{inv.m[2][0], inv.m[2][1], inv.m[2][2]});
    up_ = normalize(Vec3{inv.m[1][0], inv.m[1][1], inv.m[1][2]});
  }
  updateFrustum();
}

void Camera::updateFrustum() {
  const Matrix vp = view_ * projection_;
  // Clip space of the device: -w <= x, y <= w and 0 <= z <= w.
  auto column = [&](int j, float(&c)[4]) {
    for (int i = 0; i < 4; ++i) c[i] = vp.m[i][j];
  };
  float c0[4], c1[4], c2[4], c3[4];
  column(0, c0);
  column(1, c1);
  column(2, c2);
  column(3, c3);
  for (int i = 0; i < 4; ++i) {
    planes_[0][i] = c3[i] + c0[i];
    planes_[1][i] = c3[i] - c0[i];
    planes_[2][i] = c3[i] + c1[i];
    planes_[3][i] = c3[i] - c1[i];
    planes_[4][i] = c2[i];
    planes_[5][i] = c3[i] - c2[i];
  }
}

bool Camera::boxVisible(const Box& box) const {
  if (!hasProjection_ || box.empty()) return true;
  // Every corner lies outside a plane exactly when the corner farthest along its normal does.
  for (const auto& p : planes_) {
    const float x = p[0] >= 0.0f ? box.max.x : box.min.x;
    const float y = p[1] >= 0.0f ? box.max.y : box.min.y;
    const float z = p[2] >= 0.0f ? box.max.z : box.min.z;
    if (p[0] * x + p[1] * y + p[2] * z + p[3] < 0.0f) return false;
  }
  return true;
}

}  // namespace halcyon
