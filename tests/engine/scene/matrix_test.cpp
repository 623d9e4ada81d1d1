#include "engine/scene/matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "engine/scene/transform.h"

namespace {

using halcyon::Matrix;
using halcyon::Quaternion;
using halcyon::Vec3;

Matrix reference(const Matrix& a, const Matrix& b) {
  Matrix r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < 4; ++k) r.m[i][j] += a.m[i][k] * b.m[k][j];
  return r;
}

// Whether the values keep what the tag promises (a tag may promise less than the values show).
bool honours(const Matrix& m) {
  const bool affine = m.m[0][3] == 0 && m.m[1][3] == 0 && m.m[2][3] == 0 && m.m[3][3] == 1;
  const bool diagonal = m.m[0][1] == 0 && m.m[0][2] == 0 && m.m[1][0] == 0 && m.m[1][2] == 0 && m.m[2][0] == 0 &&
                        m.m[2][1] == 0;
  const bool unit = m.m[0][0] == 1 && m.m[1][1] == 1 && m.m[2][2] == 1;
  const bool still = m.m[3][0] == 0 && m.m[3][1] == 0 && m.m[3][2] == 0;
  switch (m.shape) {
    case Matrix::kGeneral: return true;
    case Matrix::kAffine: return affine;
    case Matrix::kScaleTranslation: return affine && diagonal;
    case Matrix::kScale: return affine && diagonal && still;
    case Matrix::kTranslation: return affine && diagonal && unit;
    case Matrix::kIdentity: return affine && diagonal && unit && still;
    default: return false;
  }
}

Matrix ofShape(uint32_t shape, std::mt19937& rng) {
  std::uniform_real_distribution<float> d(-3.0f, 3.0f);
  switch (shape) {
    case Matrix::kIdentity: return Matrix::identity();
    case Matrix::kTranslation: return Matrix::translation(d(rng), d(rng), d(rng));
    case Matrix::kScale: return Matrix::scaling(d(rng), d(rng), d(rng));
    case Matrix::kScaleTranslation:
      return Matrix::scaling(d(rng), d(rng), d(rng)) * Matrix::translation(d(rng), d(rng), d(rng));
    case Matrix::kAffine:
      return Matrix::rotationQuaternion(halcyon::rotationAxis({d(rng), d(rng), d(rng)}, d(rng))) *
             Matrix::translation(d(rng), d(rng), d(rng));
    default: {
      float v[16];
      for (float& f : v) f = d(rng);
      return Matrix(v);
    }
  }
}

TEST(Matrix, EveryShapePairMultipliesLikeTheFullProductAndKeepsAnHonestTag) {
  std::mt19937 rng(7);
  const uint32_t shapes[] = {Matrix::kGeneral,          Matrix::kTranslation, Matrix::kScale,
                             Matrix::kScaleTranslation, Matrix::kAffine,      Matrix::kIdentity};
  for (uint32_t sa : shapes) {
    for (uint32_t sb : shapes) {
      const Matrix a = ofShape(sa, rng), b = ofShape(sb, rng);
      ASSERT_EQ(a.shape, sa);
      ASSERT_EQ(b.shape, sb);
      const Matrix p = a * b;
      EXPECT_TRUE(p.equalWithin(reference(a, b), 1e-4f)) << sa << " x " << sb;
      EXPECT_TRUE(honours(p)) << sa << " x " << sb << " tagged " << p.shape;
    }
  }
}

TEST(Matrix, TranslationsComposeAndRotationsFollowTheRowVectorConvention) {
  const Matrix t = Matrix::translation(1, 2, 3) * Matrix::translation(10, 20, 30);
  EXPECT_EQ(t.shape, Matrix::kTranslation);
  EXPECT_FLOAT_EQ(t.m[3][1], 22.0f);
  // A quarter turn about +Y takes +X to -Z (left-handed, as the device draws it).
  const Matrix r = Matrix::rotationQuaternion(halcyon::rotationAxis({0, 1, 0}, float(M_PI / 2)));
  const Vec3 v = r.transformCoord({1, 0, 0});
  EXPECT_NEAR(v.x, 0.0f, 1e-6f);
  EXPECT_NEAR(v.z, -1.0f, 1e-6f);
  // Row vectors: the left operand acts first.
  const Vec3 w = (r * Matrix::translation(5, 0, 0)).transformCoord({1, 0, 0});
  EXPECT_NEAR(w.x, 5.0f, 1e-5f);
  EXPECT_NEAR(w.z, -1.0f, 1e-5f);
}

TEST(Matrix, DecomposeReproducesTheMatrixAndRefusesShearAndZeroScale) {
  const Quaternion q = halcyon::rotationAxis({1, 2, -0.5f}, 1.1f);
  const Matrix m = Matrix::scaling(2, 0.5f, 3) * Matrix::rotationQuaternion(q) * Matrix::translation(4, -5, 6);
  Vec3 s, t;
  Quaternion r;
  ASSERT_TRUE(m.decompose(s, r, t));
  EXPECT_NEAR(s.x, 2.0f, 1e-5f);
  EXPECT_NEAR(s.y, 0.5f, 1e-5f);
  EXPECT_NEAR(s.z, 3.0f, 1e-5f);
  EXPECT_NEAR(t.z, 6.0f, 1e-5f);
  EXPECT_TRUE(halcyon::composeSRT(s, r, t).equalWithin(m, 1e-5f));

  // Mirrored: still reproduced.
  const Matrix mirrored = Matrix::scaling(1, 1, -1) * Matrix::rotationQuaternion(q);
  ASSERT_TRUE(mirrored.decompose(s, r, t));
  EXPECT_TRUE(halcyon::composeSRT(s, r, t).equalWithin(mirrored, 1e-5f));

  float shear[16] = {1, 0.5f, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  EXPECT_FALSE(Matrix(shear).decompose(s, r, t));
  EXPECT_FALSE(Matrix::scaling(1, 0, 1).decompose(s, r, t));
}

TEST(Matrix, InverseOfAffineAndProjectiveMatricesAndSingularRefused) {
  const Matrix affine = Matrix::scaling(2, 3, 4) * Matrix::rotationQuaternion(halcyon::rotationAxis({0, 1, 1}, 0.7f)) *
                        Matrix::translation(1, 2, 3);
  Matrix inv;
  ASSERT_TRUE(affine.inverse(inv));
  EXPECT_TRUE((affine * inv).equalWithin(Matrix::identity(), 1e-5f));
  float proj[16] = {1.5f, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1.0001f, 1, 0, 0, -0.1f, 0};
  ASSERT_TRUE(Matrix(proj).inverse(inv));
  EXPECT_TRUE((Matrix(proj) * inv).equalWithin(Matrix::identity(), 1e-4f));
  EXPECT_FALSE(Matrix::scaling(1, 0, 1).inverse(inv));
  EXPECT_FALSE(Matrix().inverse(inv));
}

TEST(Transform, CachesUntilAPartChangesAndComposesBaseScaleRotationTranslation) {
  halcyon::Transform t;
  EXPECT_TRUE(t.getMatrix().equalWithin(Matrix::identity(), 0.0f));
  t.setScale({2, 2, 2});
  t.setTranslation({0, 0, 5});
  EXPECT_NEAR(t.getMatrix().transformCoord({1, 0, 0}).x, 2.0f, 1e-6f);
  EXPECT_NEAR(t.getMatrix().transformCoord({1, 0, 0}).z, 5.0f, 1e-6f);
  t.setBase(Matrix::translation(100, 0, 0));  // the base acts first, before the scale
  EXPECT_NEAR(t.getMatrix().transformCoord({1, 0, 0}).x, 202.0f, 1e-4f);

  float shear[16] = {1, 0.5f, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 7, 8, 9, 1};
  t.setFromMatrix(Matrix(shear));
  EXPECT_TRUE(t.getMatrix().equalWithin(Matrix(shear), 0.0f));
  EXPECT_FALSE(t.base().isIdentity());
  const Matrix m = Matrix::rotationQuaternion(halcyon::rotationAxis({1, 0, 0}, 0.3f)) * Matrix::translation(1, 2, 3);
  t.setFromMatrix(m);
  EXPECT_TRUE(t.base().isIdentity());
  EXPECT_TRUE(t.getMatrix().equalWithin(m, 1e-6f));
}

}  // namespace

namespace {

TEST(Box, CarriedByAnAffineMatrixEqualsTheBoxOfItsEightCorners) {
  halcyon::Box b;
  b.extend({-1, 2, 3});
  b.extend({4, 5, 9});
  const Matrix m = Matrix::scaling(2, -1, 0.5f) * Matrix::rotationQuaternion(halcyon::rotationAxis({1, 2, 3}, 0.9f)) *
                   Matrix::translation(7, 8, 9);
  Vec3 corners[8];
  b.corners(corners);
  halcyon::Box expected;
  for (const Vec3& c : corners) expected.extend(m.transformCoord(c));
  const halcyon::Box got = b.transformed(m);
  EXPECT_NEAR(got.min.x, expected.min.x, 1e-4f);
  EXPECT_NEAR(got.min.y, expected.min.y, 1e-4f);
  EXPECT_NEAR(got.max.z, expected.max.z, 1e-4f);
  EXPECT_NEAR(got.max.x, expected.max.x, 1e-4f);
  EXPECT_TRUE(halcyon::Box().transformed(m).empty());
}

}  // namespace
