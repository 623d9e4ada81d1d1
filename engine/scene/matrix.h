#pragma once
// The engine's 4x4 matrix: row vectors, translation in the fourth row, as the render device
// expects. Each matrix carries a shape tag so that the frequent products with identities and
// pure translations (most scene nodes) skip the full 64-multiply path.
#include <cstdint>

namespace halcyon {

struct Vec3 {
  float x = 0.0f, y = 0.0f, z = 0.0f;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float dot(Vec3 a, Vec3 b);
Vec3 cross(Vec3 a, Vec3 b);
float length(Vec3 a);
// Zero stays zero.
Vec3 normalize(Vec3 a);

// Unit quaternion (x, y, z, w); (0, 0, 0, 1) is no rotation.
struct Quaternion {
  float x = 0.0f, y = 0.0f, z = 0.0f, w = 1.0f;
};

float dot(const Quaternion& a, const Quaternion& b);
Quaternion normalize(const Quaternion& q);
// Hamilton product: applying the result rotates by a first, then b (row-vector order a × b).
Quaternion multiply(const Quaternion& a, const Quaternion& b);
Quaternion conjugate(const Quaternion& q);
// Turn about an axis (normalised here) by an angle in radians.
Quaternion rotationAxis(Vec3 axis, float angle);
// Along the shorter arc; t outside [0, 1] extrapolates.
Quaternion slerp(const Quaternion& a, Quaternion b, float t);
// Logarithm of a unit quaternion as the vector part (w = 0), and its inverse.
Quaternion log(const Quaternion& q);
Quaternion exp(const Quaternion& v);

class Matrix {
 public:
  // Shape tags. A tag promises the listed zeros and ones; 0 promises nothing.
  enum Shape : uint32_t {
    kGeneral = 0,
    kTranslation = 1,       // identity rotation/scale, any fourth row
    kScale = 2,             // diagonal 3x3, no translation
    kScaleTranslation = 3,  // diagonal 3x3 with translation
    kAffine = 4,            // fourth column (0, 0, 0, 1)
    kIdentity = 7,
  };

  // A cleared matrix: tag general, all elements zero.
  Matrix();
  // From 16 reals in row order; the tag is derived from the values.
  explicit Matrix(const float (&rows)[16]);

  static Matrix identity();
  static Matrix translation(float x, float y, float z);
  static Matrix scaling(float x, float y, float z);
  static Matrix rotationQuaternion(const Quaternion& q);

  float m[4][4];
  uint32_t shape = kGeneral;

  // Recomputes the tag from the values (exact comparisons). Call after writing elements.
  void classify();
  bool isIdentity() const { return shape == kIdentity; }

  // No element differs by more than e.
  bool equalWithin(const Matrix& other, float e) const;

  // Splits an affine matrix into scale × rotation × translation. Fails (leaving the outputs
  // untouched) for a projective matrix, a zero scale or a sheared basis, so that whatever
  // decomposes is reproduced by its parts.
  bool decompose(Vec3& scale, Quaternion& rotation, Vec3& translation) const;
  // False for a singular matrix.
  bool inverse(Matrix& out) const;

  Vec3 transformCoord(Vec3 v) const;   // point, divided by w when the matrix is projective
  Vec3 transformNormal(Vec3 v) const;  // direction, no translation
  Vec3 getTranslation() const { return {m[3][0], m[3][1], m[3][2]}; }
};

// Product a × b through the table of routines indexed by the two tags.
Matrix operator*(const Matrix& a, const Matrix& b);
void multiply(const Matrix& a, const Matrix& b, Matrix& out);

}  // namespace halcyon

namespace halcyon {

// Axis-aligned box; an empty box has min above max.
struct Box {
  Vec3 min{1.0f, 1.0f, 1.0f};
  Vec3 max{-1.0f, -1.0f, -1.0f};

  bool empty() const { return min.x > max.x || min.y > max.y || min.z > max.z; }
  void extend(Vec3 p);
  Vec3 centre() const { return (min + max) * 0.5f; }
  void corners(Vec3 (&out)[8]) const;
  // The box around the eight corners carried through the matrix.
  Box transformed(const Matrix& m) const;
};

}  // namespace halcyon
