#include "engine/scene/transform.h"

namespace halcyon {

Matrix composeSRT(Vec3 scale, const Quaternion& rotation, Vec3 translation) {
  Matrix r = Matrix::rotationQuaternion(rotation);
  const float s[3] = {scale.x, scale.y, scale.z};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.m[i][j] *= s[i];
  r.m[3][0] = translation.x;
  r.m[3][1] = translation.y;
  r.m[3][2] = translation.z;
  r.classify();
  return r;
}

Transform::Transform() : base_(Matrix::identity()), cache_(Matrix::identity()) {}

const Matrix& Transform::getMatrix() const {
  if (dirty_) {
    const Matrix parts = composeSRT(scale_, rotation_, translation_);
    multiply(base_, parts, cache_);
    dirty_ = false;
  }
  return cache_;
}

void Transform::setFromMatrix(const Matrix& matrix) {
  Vec3 s, t;
  Quaternion q;
  if (matrix.decompose(s, q, t)) {
    base_ = Matrix::identity();
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

void Transform::copyFrom(const Transform& other) {
  base_ = other.base_;
  translation_ = other.translation_;
  rotation_ = other.rotation_;
  scale_ = other.scale_;
  dirty_ = true;
}

void Transform::setBase(const Matrix& base) {
  base_ = base;
  dirty_ = true;
}
void Transform::setTranslation(Vec3 t) {
  translation_ = t;
  dirty_ = true;
}
void Transform::setRotation(const Quaternion& q) {
  rotation_ = q;
  dirty_ = true;
}
void Transform::setScale(Vec3 s) {
  scale_ = s;
  dirty_ = true;
}

}  // namespace halcyon
