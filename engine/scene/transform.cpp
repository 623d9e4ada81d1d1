#include "engine/scene/transform.h"

namespace halcyon {

Matrix ComposeSRT(Vec3 scale, const Quaternion& rotation, Vec3 translation) {
  Matrix r = Matrix::RotationQuaternion(rotation);
  const float s[3] = {scale.x, scale.y, scale.z};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.m[i][j] *= s[i];
  r.m[3][0] = translation.x;
  r.m[3][1] = translation.y;
  r.m[3][2] = translation.z;
  r.Classify();
  return r;
}

Transform::Transform() : base_(Matrix::Identity()), cache_(Matrix::Identity()) {}

const Matrix& Transform::GetMatrix() const {
  if (dirty_) {
    const Matrix parts = ComposeSRT(scale_, rotation_, translation_);
    Multiply(base_, parts, cache_);
    dirty_ = false;
  }
  return cache_;
}

void Transform::SetFromMatrix(const Matrix& matrix) {
  Vec3 s, t;
  Quaternion q;
  if (matrix.Decompose(s, q, t)) {
    base_ = Matrix::Identity();
    scale_ = s;
    rotation_ = q;
    translation_ = t;
  } else {
    base_ = matrix;
    scale_ = {1.0f, 1.0f, 1.0f};
    rotation_ = Quaternion{};
    translation_ = {0.0f, 0.0f, 0.0f};
  }
  dirty_ = true;
}

void Transform::CopyFrom(const Transform& other) {
  base_ = other.base_;
  translation_ = other.translation_;
  rotation_ = other.rotation_;
  scale_ = other.scale_;
  dirty_ = true;
}

void Transform::SetBase(const Matrix& base) {
  base_ = base;
  dirty_ = true;
}
void Transform::SetTranslation(Vec3 t) {
  translation_ = t;
  dirty_ = true;
}
void Transform::SetRotation(const Quaternion& q) {
  rotation_ = q;
  dirty_ = true;
}
void Transform::SetScale(Vec3 s) {
  scale_ = s;
  dirty_ = true;
}

}  // namespace halcyon
