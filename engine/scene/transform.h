#pragma once
// A node's local transform kept as parts (base matrix, scale, rotation, translation) with its
// product cached: nodes are read far more often than they are moved.
#include "engine/scene/matrix.h"

namespace halcyon {

class Transform {
 public:
  Transform();

  // base × scale × rotation × translation, recomputed only after a part changed.
  const Matrix& getMatrix() const;

  // Takes a whole matrix: its decomposition into parts when it has one (base identity),
  // otherwise the matrix itself as base with neutral parts.
  void setFromMatrix(const Matrix& matrix);
  // Copies every part of another transform.
  void copyFrom(const Transform& other);

  void setBase(const Matrix& base);
  void setTranslation(Vec3 t);
  void setRotation(const Quaternion& q);
  void setScale(Vec3 s);

  const Matrix& base() const { return base_; }
  Vec3 translation() const { return translation_; }
  const Quaternion& rotation() const { return rotation_; }
  Vec3 scale() const { return scale_; }

 private:
  Matrix base_;
  Vec3 translation_{0.0f, 0.0f, 0.0f};
  Quaternion rotation_{};
  Vec3 scale_{1.0f, 1.0f, 1.0f};
  mutable Matrix cache_;
  mutable bool dirty_ = true;
};

// scale × rotation × translation in one step.
Matrix composeSRT(Vec3 scale, const Quaternion& rotation, Vec3 translation);

}  // namespace halcyon
