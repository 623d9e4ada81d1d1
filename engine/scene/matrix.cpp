#include "engine/scene/matrix.h"

#include <array>
#include <cmath>
#include <cstring>

#include "platform/d3dx/matrix_cofactors.h"

namespace halcyon {

float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float length(Vec3 a) { return std::sqrt(dot(a, a)); }
Vec3 normalize(Vec3 a) {
  const float len = length(a);
  return len > 0.0f ? a * (1.0f / len) : a;
}

float dot(const Quaternion& a, const Quaternion& b) { return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w; }

Quaternion normalize(const Quaternion& q) {
  const float len = std::sqrt(dot(q, q));
  if (len <= 0.0f) return Quaternion{};
  const float k = 1.0f / len;
  return {q.x * k, q.y * k, q.z * k, q.w * k};
}

Quaternion multiply(const Quaternion& a, const Quaternion& b) {
  // Row-vector order: the rotation of a is applied first, so the Hamilton product is b·a.
  return {b.w * a.x + b.x * a.w + b.y * a.z - b.z * a.y, b.w * a.y - b.x * a.z + b.y * a.w + b.z * a.x,
          b.w * a.z + b.x * a.y - b.y * a.x + b.z * a.w, b.w * a.w - b.x * a.x - b.y * a.y - b.z * a.z};
}

Quaternion conjugate(const Quaternion& q) { return {-q.x, -q.y, -q.z, q.w}; }

Quaternion rotationAxis(Vec3 axis, float angle) {
  const Vec3 n = normalize(axis);
  const float s = std::sin(angle * 0.5f);
  return {n.x * s, n.y * s, n.z * s, std::cos(angle * 0.5f)};
}

Quaternion slerp(const Quaternion& a, Quaternion b, float t) {
  float cosine = dot(a, b);
  if (cosine < 0.0f) {
    b = {-b.x, -b.y, -b.z, -b.w};
    cosine = -cosine;
  }
  float ka = 1.0f - t;
  float kb = t;
  if (cosine < 0.9999f) {
    const float theta = std::acos(cosine);
    const float sine = std::sin(theta);
    ka = std::sin((1.0f - t) * theta) / sine;
    kb = std::sin(t * theta) / sine;
  }
  return normalize(Quaternion{a.x * ka + b.x * kb, a.y * ka + b.y * kb, a.z * ka + b.z * kb, a.w * ka + b.w * kb});
}

Quaternion log(const Quaternion& q) {
  const float v = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z);
  if (v < 1e-9f) return {q.x, q.y, q.z, 0.0f};
  const float k = std::atan2(v, q.w) / v;
  return {q.x * k, q.y * k, q.z * k, 0.0f};
}

Quaternion exp(const Quaternion& v) {
  const float theta = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (theta < 1e-9f) return normalize(Quaternion{v.x, v.y, v.z, 1.0f});
  const float k = std::sin(theta) / theta;
  return {v.x * k, v.y * k, v.z * k, std::cos(theta)};
}

// ---------------------------------------------------------------------------------------------

Matrix::Matrix() { std::memset(m, 0, sizeof m); }

Matrix::Matrix(const float (&rows)[16]) {
  std::memcpy(m, rows, sizeof m);
  classify();
}

Matrix Matrix::identity() {
  Matrix r;
  r.m[0][0] = r.m[1][1] = r.m[2][2] = r.m[3][3] = 1.0f;
  r.shape = kIdentity;
  return r;
}

Matrix Matrix::translation(float x, float y, float z) {
  Matrix r = identity();
  r.m[3][0] = x;
  r.m[3][1] = y;
  r.m[3][2] = z;
  r.classify();
  return r;
}

Matrix Matrix::scaling(float x, float y, float z) {
  Matrix r = identity();
  r.m[0][0] = x;
  r.m[1][1] = y;
  r.m[2][2] = z;
  r.classify();
  return r;
}

Matrix Matrix::rotationQuaternion(const Quaternion& q) {
  Matrix r = identity();
  const float xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z;
  const float xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z;
  const float wx = q.w * q.x, wy = q.w * q.y, wz = q.w * q.z;
  r.m[0][0] = 1.0f - 2.0f * (yy + zz);
  r.m[0][1] = 2.0f * (xy + wz);
  r.m[0][2] = 2.0f * (xz - wy);
  r.m[1][0] = 2.0f * (xy - wz);
  r.m[1][1] = 1.0f - 2.0f * (xx + zz);
  r.m[1][2] = 2.0f * (yz + wx);
  r.m[2][0] = 2.0f * (xz + wy);
  r.m[2][1] = 2.0f * (yz - wx);
  r.m[2][2] = 1.0f - 2.0f * (xx + yy);
  r.classify();
  return r;
}

void Matrix::classify() {
  if (m[0][3] != 0.0f || m[1][3] != 0.0f || m[2][3] != 0.0f || m[3][3] != 1.0f) {
    shape = kGeneral;
    return;
  }
  const bool offDiagonalZero = m[0][1] == 0.0f && m[0][2] == 0.0f && m[1][0] == 0.0f && m[1][2] == 0.0f &&
                               m[2][0] == 0.0f && m[2][1] == 0.0f;
  if (!offDiagonalZero) {
    shape = kAffine;
    return;
  }
  const bool unitDiagonal = m[0][0] == 1.0f && m[1][1] == 1.0f && m[2][2] == 1.0f;
  const bool noTranslation = m[3][0] == 0.0f && m[3][1] == 0.0f && m[3][2] == 0.0f;
  if (unitDiagonal) {
    shape = noTranslation ? kIdentity : kTranslation;
  } else {
    shape = noTranslation ? kScale : kScaleTranslation;
  }
}

bool Matrix::equalWithin(const Matrix& other, float e) const {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      if (std::fabs(m[r][c] - other.m[r][c]) > e) return false;
  return true;
}

Vec3 Matrix::transformCoord(Vec3 v) const {
  if (shape == kIdentity) return v;
  if (shape == kTranslation) return {v.x + m[3][0], v.y + m[3][1], v.z + m[3][2]};
  const float x = v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0] + m[3][0];
  const float y = v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1] + m[3][1];
  const float z = v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2] + m[3][2];
  if (shape != kGeneral) return {x, y, z};
  const float w = v.x * m[0][3] + v.y * m[1][3] + v.z * m[2][3] + m[3][3];
  if (w == 0.0f) return {x, y, z};
  return {x / w, y / w, z / w};
}

Vec3 Matrix::transformNormal(Vec3 v) const {
  return {v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0], v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1],
          v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2]};
}

bool Matrix::decompose(Vec3& scale, Quaternion& rotation, Vec3& translation) const {
  if (std::fabs(m[0][3]) > 1e-6f || std::fabs(m[1][3]) > 1e-6f || std::fabs(m[2][3]) > 1e-6f ||
      std::fabs(m[3][3] - 1.0f) > 1e-6f)
    return false;
  Vec3 rows[3] = {{m[0][0], m[0][1], m[0][2]}, {m[1][0], m[1][1], m[1][2]}, {m[2][0], m[2][1], m[2][2]}};
  Vec3 s{length(rows[0]), length(rows[1]), length(rows[2])};
  if (!(s.x > 1e-12f) || !(s.y > 1e-12f) || !(s.z > 1e-12f)) return false;
  rows[0] = rows[0] * (1.0f / s.x);
  rows[1] = rows[1] * (1.0f / s.y);
  rows[2] = rows[2] * (1.0f / s.z);
  // A mirrored basis keeps a proper rotation by carrying the reflection in the x scale.
  if (dot(cross(rows[0], rows[1]), rows[2]) < 0.0f) {
    s.x = -s.x;
    rows[0] = rows[0] * -1.0f;
  }
  constexpr float kSkew = 1e-3f;
  if (std::fabs(dot(rows[0], rows[1])) > kSkew || std::fabs(dot(rows[0], rows[2])) > kSkew ||
      std::fabs(dot(rows[1], rows[2])) > kSkew)
    return false;

  const float r00 = rows[0].x, r01 = rows[0].y, r02 = rows[0].z;
  const float r10 = rows[1].x, r11 = rows[1].y, r12 = rows[1].z;
  const float r20 = rows[2].x, r21 = rows[2].y, r22 = rows[2].z;
  Quaternion q;
  const float trace = r00 + r11 + r22;
  if (trace > 0.0f) {
    const float k = std::sqrt(trace + 1.0f) * 2.0f;
    q = {(r12 - r21) / k, (r20 - r02) / k, (r01 - r10) / k, 0.25f * k};
  } else if (r00 > r11 && r00 > r22) {
    const float k = std::sqrt(1.0f + r00 - r11 - r22) * 2.0f;
    q = {0.25f * k, (r01 + r10) / k, (r02 + r20) / k, (r12 - r21) / k};
  } else if (r11 > r22) {
    const float k = std::sqrt(1.0f + r11 - r00 - r22) * 2.0f;
    q = {(r01 + r10) / k, 0.25f * k, (r12 + r21) / k, (r20 - r02) / k};
  } else {
    const float k = std::sqrt(1.0f + r22 - r00 - r11) * 2.0f;
    q = {(r02 + r20) / k, (r12 + r21) / k, 0.25f * k, (r01 - r10) / k};
  }
  scale = s;
  rotation = normalize(q);
  translation = getTranslation();
  return true;
}

bool Matrix::inverse(Matrix& out) const {
  if (shape == kIdentity) {
    out = *this;
    return true;
  }
  if (shape == kTranslation) {
    out = translation(-m[3][0], -m[3][1], -m[3][2]);
    return true;
  }
  if (shape != kGeneral) {
    // Affine: invert the 3x3 part by cofactors, then carry the translation through it.
    const float c00 = m[1][1] * m[2][2] - m[1][2] * m[2][1];
    const float c01 = m[1][2] * m[2][0] - m[1][0] * m[2][2];
    const float c02 = m[1][0] * m[2][1] - m[1][1] * m[2][0];
    const float det = m[0][0] * c00 + m[0][1] * c01 + m[0][2] * c02;
    if (det == 0.0f || !std::isfinite(det)) return false;
    const float k = 1.0f / det;
    Matrix r = identity();
    r.m[0][0] = c00 * k;
    r.m[1][0] = c01 * k;
    r.m[2][0] = c02 * k;
    r.m[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * k;
    r.m[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * k;
    r.m[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * k;
    r.m[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * k;
    r.m[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * k;
    r.m[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * k;
    const Vec3 t = getTranslation();
    for (int c = 0; c < 3; ++c) r.m[3][c] = -(t.x * r.m[0][c] + t.y * r.m[1][c] + t.z * r.m[2][c]);
    r.classify();
    out = r;
    return true;
  }
  // General 4x4 by cofactors.
  float inv[16];
  const float det = adjugateAndDeterminant(&m[0][0], inv);
  if (det == 0.0f || !std::isfinite(det)) return false;
  const float k = 1.0f / det;
  Matrix r;
  for (int i = 0; i < 16; ++i) (&r.m[0][0])[i] = inv[i] * k;
  r.classify();
  out = r;
  return true;
}

// --- products ----------------------------------------------------------------------------------

namespace {

using Product = void (*)(const Matrix&, const Matrix&, Matrix&);

void copyLeft(const Matrix& a, const Matrix&, Matrix& out) { out = a; }
void copyRight(const Matrix&, const Matrix& b, Matrix& out) { out = b; }

void translateTranslate(const Matrix& a, const Matrix& b, Matrix& out) {
  out = Matrix::identity();
  out.m[3][0] = a.m[3][0] + b.m[3][0];
  out.m[3][1] = a.m[3][1] + b.m[3][1];
  out.m[3][2] = a.m[3][2] + b.m[3][2];
  out.shape = Matrix::kTranslation;
}

void diagonalDiagonal(const Matrix& a, const Matrix& b, Matrix& out) {
  // Both are diagonal 3x3 with a translation row (tags 1, 2 or 3).
  Matrix r = Matrix::identity();
  for (int i = 0; i < 3; ++i) {
    r.m[i][i] = a.m[i][i] * b.m[i][i];
    r.m[3][i] = a.m[3][i] * b.m[i][i] + b.m[3][i];
  }
  const uint32_t diagonal = (a.shape | b.shape) & Matrix::kScale;
  const uint32_t translation = (a.shape | b.shape) & Matrix::kTranslation;
  r.shape = diagonal | translation;
  if (r.shape == 0) r.shape = Matrix::kIdentity;
  out = r;
}

void affineAffine(const Matrix& a, const Matrix& b, Matrix& out) {
  Matrix r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 3; ++j)
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + (i == 3 ? b.m[3][j] : 0.0f);
    r.m[i][3] = i == 3 ? 1.0f : 0.0f;
  }
  r.shape = Matrix::kAffine;
  out = r;
}

void general(const Matrix& a, const Matrix& b, Matrix& out) {
  Matrix r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
  r.shape = Matrix::kGeneral;
  out = r;
}

using Table = std::array<std::array<Product, 8>, 8>;

Table makeTable() {
  Table t{};
  for (uint32_t a = 0; a < 8; ++a) {
    for (uint32_t b = 0; b < 8; ++b) {
      const bool affineA = a >= Matrix::kTranslation && a <= Matrix::kAffine;
      const bool affineB = b >= Matrix::kTranslation && b <= Matrix::kAffine;
      Product p = general;
      if (affineA && affineB) p = (a == Matrix::kAffine || b == Matrix::kAffine) ? affineAffine : diagonalDiagonal;
      if (a == Matrix::kTranslation && b == Matrix::kTranslation) p = translateTranslate;
      if (b == Matrix::kIdentity) p = copyLeft;
      if (a == Matrix::kIdentity) p = copyRight;
      t[a][b] = p;
    }
  }
  return t;
}

const Table kProducts = makeTable();

}  // namespace

void multiply(const Matrix& a, const Matrix& b, Matrix& out) { kProducts[a.shape & 7][b.shape & 7](a, b, out); }

Matrix operator*(const Matrix& a, const Matrix& b) {
  Matrix out;
  multiply(a, b, out);
  return out;
}

}  // namespace halcyon

namespace halcyon {

void Box::extend(Vec3 p) {
  if (empty()) {
    min = max = p;
    return;
  }
  min = {std::fmin(min.x, p.x), std::fmin(min.y, p.y), std::fmin(min.z, p.z)};
  max = {std::fmax(max.x, p.x), std::fmax(max.y, p.y), std::fmax(max.z, p.z)};
}

void Box::corners(Vec3 (&out)[8]) const {
  for (int i = 0; i < 8; ++i) out[i] = {(i & 1) ? max.x : min.x, (i & 2) ? max.y : min.y, (i & 4) ? max.z : min.z};
}

Box Box::transformed(const Matrix& m) const {
  if (empty() || m.shape == Matrix::kIdentity) return *this;
  if (m.shape == Matrix::kGeneral) {
    Vec3 points[8];
    corners(points);
    Box out;
    for (const Vec3& c : points) out.extend(m.transformCoord(c));
    return out;
  }
  // Affine: the centre moves with the matrix and the half extents through its absolute value,
  // which gives the same box as carrying all eight corners.
  const Vec3 c = m.transformCoord(centre());
  const Vec3 e = (max - min) * 0.5f;
  const Vec3 h{std::fabs(m.m[0][0]) * e.x + std::fabs(m.m[1][0]) * e.y + std::fabs(m.m[2][0]) * e.z,
               std::fabs(m.m[0][1]) * e.x + std::fabs(m.m[1][1]) * e.y + std::fabs(m.m[2][1]) * e.z,
               std::fabs(m.m[0][2]) * e.x + std::fabs(m.m[1][2]) * e.y + std::fabs(m.m[2][2]) * e.z};
  Box out;
  out.min = c - h;
  out.max = c + h;
  return out;
}

}  // namespace halcyon
