#pragma once
// A node's local transform kept as parts (base matrix, scale, rotation, translation) with its
// product cached: nodes are read far more often than they are moved.
#include "engine/scene/matrix.h"

namespace halcyon {

class Transform {
 public:
  Transform();

  // base × scale × rotation × translation, recomputed only after a part changed.
  const Matrix& GetMatrix() const;

  // Takes a whole matrix: its decomposition into parts when it has one (base identity),
  // otherwise the matrix itself as base with neutral parts.
  void SetFromMatrix(const Matrix& matrix);
  // Copies every part of another transform.
  void CopyFrom(const Transform& other);

  void SetBase(const Matrix& base);
  void SetTranslation(Vec3 t);
  void SetRotation(const Quaternion& q);
  void SetScale(Vec3 s);

  const Matrix& Base() const { return base_; }
  Vec3 Translation() const { return translation_; }
  const Quaternion& Rotation() const { return rotation_; }
  Vec3 Scale() const { return scale_; }

 private:
  Matrix base_;
  Vec3 translation_{0.0f, 0.0f, 0.0f};
  Quaternion rotation_{};
  Vec3 scale_{1.0f, 1.0f, 1.0f};
  mutable Matrix cache_;
  mutable bool dirty_ = true;
};

// scale × rotation × translation in one step.
Matrix ComposeSRT(Vec3 scale, const Quaternion& rotation, Vec3 translation);

}  // namespace halcyon
