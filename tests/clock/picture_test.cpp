// The user's picture: how large its texture is and how it is fitted to the frame's shape.
#include "clock/picture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using brassmoor::fillAndCentre;
using brassmoor::frameAspect;
using brassmoor::pictureTextureSize;

// Texture coordinates (u, v) through a texture transform, as the device applies it.
std::pair<float, float> through(const D3DMATRIX& m, float u, float v) {
  return {u * m.m[0][0] + v * m.m[1][0] + m.m[2][0], u * m.m[0][1] + v * m.m[1][1] + m.m[2][1]};
}

TEST(PictureFit, TexturesHalveLargePhotosToTheFramesNeedAndKeepTheirShape) {
  const auto photo = pictureTextureSize(8000, 6000);
  EXPECT_EQ(photo.width, 2000u);
  EXPECT_EQ(photo.height, 1500u);
  const auto portrait = pictureTextureSize(3001, 5333);
  EXPECT_EQ(portrait.width, 751u) << "halving rounds up, as the decoders do";
  EXPECT_EQ(portrait.height, 1334u);
  const auto small = pictureTextureSize(900, 1600);
  EXPECT_EQ(small.width, 900u);
  EXPECT_EQ(small.height, 1600u);
  const auto sliver = pictureTextureSize(16384, 1);
  EXPECT_EQ(sliver.width, 2048u);
  EXPECT_EQ(sliver.height, 1u);
}

TEST(PictureFit, ThePictureFillsTheFrameCentredAndCroppedNeverStretched) {
  // A portrait 900 x 1600 in a 4:3 frame: full width, the middle part of its height.
  const D3DMATRIX portrait = fillAndCentre(900.0f / 1600.0f, 4.0f / 3.0f);
  const auto [u0, v0] = through(portrait, 0, 0);
  const auto [u1, v1] = through(portrait, 1, 1);
  EXPECT_FLOAT_EQ(u0, 0.0f);
  EXPECT_FLOAT_EQ(u1, 1.0f);
  EXPECT_NEAR(v1 - v0, (900.0f / 1600.0f) / (4.0f / 3.0f), 1e-6f);
  EXPECT_NEAR(v0 + v1, 1.0f, 1e-6f) << "centred";
  // Shown at the frame's 4:3, the part of the image it shows is 4:3 too.
  EXPECT_NEAR((u1 - u0) * 900.0f / ((v1 - v0) * 1600.0f), 4.0f / 3.0f, 1e-4f);

  // A panorama: full height, the middle of its width.
  const D3DMATRIX wide = fillAndCentre(3.0f, 4.0f / 3.0f);
  const auto [w0, h0] = through(wide, 0, 0);
  const auto [w1, h1] = through(wide, 1, 1);
  EXPECT_NEAR(w1 - w0, 4.0f / 9.0f, 1e-6f);
  EXPECT_NEAR(w0 + w1, 1.0f, 1e-6f);
  EXPECT_FLOAT_EQ(h1 - h0, 1.0f);

  // Unknown shapes leave the mapping alone.
  D3DMATRIX identity{};
  identity.m[0][0] = identity.m[1][1] = identity.m[2][2] = identity.m[3][3] = 1.0f;
  const D3DMATRIX unknown = fillAndCentre(1.5f, 0.0f);
  EXPECT_EQ(std::memcmp(&identity, &unknown, sizeof identity), 0);
}

// A canvas of width x height in the XY plane, its texture coordinates 0..1 over it, as
// two triangles of FVF XYZ | TEX1.
halcyon::Geometry canvas(float width, float height, bool flipV) {
  halcyon::Geometry g;
  g.fvf = D3DFVF_XYZ | D3DFVF_TEX1;
  g.stride = 20;
  g.vertexCount = 4;
  const float v0 = flipV ? 1.0f : 0.0f, v1 = 1.0f - v0;
  const float verts[] = {0, 0, 0, 0, v0, width, 0, 0, 1, v0, width, height, 0, 1, v1, 0, height, 0, 0, v1};
  g.vertices.resize(sizeof verts);
  std::memcpy(g.vertices.data(), verts, sizeof verts);
  const uint16_t indices[] = {0, 1, 2, 0, 2, 3};
  g.indexCount = 6;
  g.indexSize = 2;
  g.indices.resize(sizeof indices);
  std::memcpy(g.indices.data(), indices, sizeof indices);
  return g;
}

TEST(PictureFit, TheFramesShapeIsReadFromItsCanvas) {
  EXPECT_NEAR(frameAspect(canvas(120, 90, false), halcyon::Matrix::identity(), 0), 4.0f / 3.0f, 1e-5f);
  EXPECT_NEAR(frameAspect(canvas(120, 90, true), halcyon::Matrix::identity(), 0), 4.0f / 3.0f, 1e-5f);
  // The node's scale counts: the world sees the canvas squeezed to half its width.
  EXPECT_NEAR(frameAspect(canvas(120, 90, false), halcyon::Matrix::scaling(0.5f, 1, 1), 0), 2.0f / 3.0f, 1e-5f);
  EXPECT_EQ(frameAspect(canvas(120, 90, false), halcyon::Matrix::identity(), 1), 0.0f) << "no second coordinate set";
  halcyon::Geometry broken = canvas(120, 90, false);
  broken.indices[0] = 200;  // points past the vertices
  broken.indices[6] = 200;
  EXPECT_EQ(frameAspect(broken, halcyon::Matrix::identity(), 0), 0.0f);
}

}  // namespace
