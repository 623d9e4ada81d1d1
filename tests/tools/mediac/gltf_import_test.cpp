#include "tools/mediac/gltf_import.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/temp_dir.h"
#include "tests/tools/mediac/gltf_builder.h"

namespace brassmoor::mediac {
namespace {

using mediactest::GltfBuilder;
using json = nlohmann::json;

constexpr float kHalf = 0.70710678f;

std::array<float, 3> transformRow(const std::array<float, 16>& m, std::array<float, 3> v) {
  std::array<float, 3> out{};
  for (int c = 0; c < 3; ++c) out[c] = v[0] * m[0 * 4 + c] + v[1] * m[1 * 4 + c] + v[2] * m[2 * 4 + c] + m[3 * 4 + c];
  return out;
}

// Rotation of a row vector by the matrix the engine builds from a key quaternion.
std::array<float, 3> rotateRow(const std::array<float, 4>& q, std::array<float, 3> v) {
  float x = q[0], y = q[1], z = q[2], w = q[3];
  float m[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w)},
                   {2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w)},
                   {2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y)}};
  std::array<float, 3> out{};
  for (int c = 0; c < 3; ++c) out[c] = v[0] * m[0][c] + v[1] * m[1][c] + v[2] * m[2][c];
  return out;
}

void expectNear3(const std::array<float, 3>& a, const std::array<float, 3>& b, float eps = 1e-3f) {
  EXPECT_NEAR(a[0], b[0], eps);
  EXPECT_NEAR(a[1], b[1], eps);
  EXPECT_NEAR(a[2], b[2], eps);
}

class GltfImport : public ::testing::Test {
 protected:
  ImportResult load(GltfBuilder& b) { return importGltf(b.write(dir_.path().string())); }
  testsupport::TempDir dir_;
};

TEST_F(GltfImport, PlacesGeometryInTheEngineFrameAndKeepsFrontFacesVisible) {
  GltfBuilder b;
  int mat = b.material("Wood", "wood.jpg", "lm.jpg");
  // a quarter turn about glTF's Y axis, then moved by (1, 2, 3) metres
  b.node({{"name", "box"},
          {"mesh", b.triangleMesh({mat})},
          {"rotation", {0, kHalf, 0, kHalf}},
          {"translation", {1, 2, 3}}});
  auto r = load(b);
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.scene.nodes.size(), 1u);
  const NodeDef& n = r.scene.nodes[0];
  EXPECT_EQ(n.kind, "Mesh");
  EXPECT_EQ(n.material, "Wood");
  ASSERT_EQ(n.vertices.size(), 3u);
  const Vertex& v = n.vertices[0];
  expectNear3({v.px, v.py, v.pz}, {1, 2, -3});
  expectNear3({v.nx, v.ny, v.nz}, {0, 0, -1});
  // glTF: the quarter turn takes (0.01, 0.02, 0.03) to (0.03, 0.02, -0.01); moved, that is
  // (1.03, 2.02, 2.99) m, which the engine sees at (103, 202, -299) cm
  expectNear3(transformRow(n.nodeTM, {v.px, v.py, v.pz}), {103, 202, -299}, 1e-2f);
  // every triangle's edge cross product points along its normal: clockwise from the front
  for (std::size_t t = 0; t < n.indices.size(); t += 3) {
    const Vertex& a = n.vertices[n.indices[t]];
    const Vertex& bb = n.vertices[n.indices[t + 1]];
    const Vertex& c = n.vertices[n.indices[t + 2]];
    float e1[3] = {bb.px - a.px, bb.py - a.py, bb.pz - a.pz};
    float e2[3] = {c.px - a.px, c.py - a.py, c.pz - a.pz};
    float cross[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
    EXPECT_GT(cross[0] * a.nx + cross[1] * a.ny + cross[2] * a.nz, 0.0f);
  }
  EXPECT_FLOAT_EQ(v.u1, 0.5f);
  EXPECT_FLOAT_EQ(v.v1, 0.5f);
}

TEST_F(GltfImport, QuaternionsTurnVectorsAsTheMirroredRotationDoes) {
  // any rotation: turning a mirrored vector with the converted quaternion must give the
  // mirror of the glTF-rotated vector
  const float s = std::sin(0.4f), c = std::cos(0.4f);
  std::array<float, 3> axis{0.48f, 0.6f, 0.64f};
  auto q = engineQuaternion(axis[0] * s, axis[1] * s, axis[2] * s, c);
  std::array<float, 3> v{0.3f, -1.2f, 0.7f};
  // glTF rotation of v (column convention), by Rodrigues' formula
  float th = 0.8f;
  float d = axis[0] * v[0] + axis[1] * v[1] + axis[2] * v[2];
  std::array<float, 3> cr{axis[1] * v[2] - axis[2] * v[1], axis[2] * v[0] - axis[0] * v[2],
                          axis[0] * v[1] - axis[1] * v[0]};
  std::array<float, 3> g{};
  for (int i = 0; i < 3; ++i) g[i] = v[i] * std::cos(th) + cr[i] * std::sin(th) + axis[i] * d * (1 - std::cos(th));
  expectNear3(rotateRow(q, {v[0], v[1], -v[2]}), {g[0], g[1], -g[2]}, 1e-5f);
}

TEST_F(GltfImport, AnimatedNodesGetKeysRelativeToTheirRestPoseInMilliseconds) {
  GltfBuilder b;
  int mat = b.material("Brass", "brass.jpg");
  // rest: a quarter turn about X, at (2, 1, 0); keys swing 10 degrees about the node's own X
  // axis and, for the second node, move it 2 m down
  float r0[4] = {kHalf, 0, 0, kHalf};
  float sw = std::sin(0.0872665f), cw = std::cos(0.0872665f);
  // key = rest * swing (swing about local X)
  float k1[4] = {r0[3] * sw + r0[0] * cw, 0, 0, r0[3] * cw - r0[0] * sw};
  int pend = b.node({{"name", "pendulum"},
                     {"mesh", b.triangleMesh({mat})},
                     {"rotation", {r0[0], 0, 0, r0[3]}},
                     {"translation", {2, 1, 0}},
                     {"extras", {{"udf_track", "cubic"}}}});
  b.channel(pend, "rotation", {0.0f, 1.0f, 2.0f}, {r0[0], 0, 0, r0[3], k1[0], 0, 0, k1[3], r0[0], 0, 0, r0[3]});
  int rain = b.node({{"name", "rain"},
                     {"mesh", b.triangleMesh({mat})},
                     {"translation", {0, 3, 0}},
                     {"extras", {{"udf_Blend", "additive"}, {"udf_AlphaUse", "texture"}}}});
  b.channel(rain, "translation", {0.0f, 2.0f}, {0, 3, 0, 0, 1, 0});
  auto r = load(b);
  ASSERT_TRUE(r.ok) << r.error;
  const NodeDef& p = r.scene.nodes[0];
  ASSERT_EQ(p.rotation.keys.size(), 3u);
  EXPECT_FALSE(p.rotation.linear);
  EXPECT_FLOAT_EQ(p.rotation.keys[1].time, 1000.0f);
  EXPECT_FLOAT_EQ(p.rotation.keys[2].time, 2000.0f);
  // rest keys are no rotation at all; the swing is 10 degrees about X, mirrored
  EXPECT_NEAR(p.rotation.keys[0].w, 1.0f, 1e-5f);
  EXPECT_NEAR(p.rotation.keys[1].x, -sw, 1e-5f);
  EXPECT_NEAR(p.rotation.keys[1].w, cw, 1e-5f);
  EXPECT_TRUE(p.position.keys.empty());
  const NodeDef& rn = r.scene.nodes[1];
  EXPECT_TRUE(rn.position.linear);
  ASSERT_EQ(rn.position.keys.size(), 2u);
  EXPECT_NEAR(rn.position.keys[0].y, 0.0f, 1e-4f);
  EXPECT_NEAR(rn.position.keys[1].y, -200.0f, 1e-3f);
  EXPECT_EQ(rn.meshKeys.at("Blend"), "additive");
  EXPECT_EQ(rn.meshKeys.at("AlphaUse"), "texture");
}

TEST_F(GltfImport, OffsetKeysOfARotatedNodeUndoItsRotation) {
  GltfBuilder b;
  int mat = b.material("Brass", "brass.jpg");
  // rest turned a quarter about glTF Y; the animation moves it +1 m along world X
  int n = b.node({{"name", "slider"}, {"mesh", b.triangleMesh({mat})}, {"rotation", {0, kHalf, 0, kHalf}}});
  b.channel(n, "translation", {0.0f, 1.0f}, {0, 0, 0, 1, 0, 0});
  auto r = load(b);
  ASSERT_TRUE(r.ok) << r.error;
  const NodeDef& node = r.scene.nodes[0];
  ASSERT_EQ(node.position.keys.size(), 2u);
  const TrackKey& k = node.position.keys[1];
  // the engine applies the key before the node transform: offset x NodeTM must land on +100 x
  auto moved = transformRow(node.nodeTM, {k.x, k.y, k.z});
  expectNear3(moved, {100, 0, 0}, 1e-3f);
}

TEST_F(GltfImport, CamerasNamedTourBecomeToursInTenthsOfASecond) {
  GltfBuilder b;
  int t3 = b.node({{"name", "tour_3"}, {"camera", b.camera()}});
  b.channel(t3, "translation", {0.0f, 1.0f, 2.5f}, {1, 1, 1, 2, 1, 1, 3, 1, 1});
  b.channel(t3, "rotation", {0.0f, 1.0f, 2.5f}, {0, 0, 0, 1, 0, 0, 0, 1, 0, kHalf, 0, kHalf});
  b.node({{"name", "tour_1"}, {"camera", b.camera()}, {"translation", {0, 1, -2}}});
  b.node({{"name", "overview"}, {"camera", b.camera()}});
  auto r = load(b);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(r.scene.nodes.empty());
  ASSERT_EQ(r.scene.tours.size(), 2u);
  EXPECT_EQ(r.scene.tours[0].number, 1);
  ASSERT_EQ(r.scene.tours[0].positions.size(), 1u);
  EXPECT_FLOAT_EQ(r.scene.tours[0].positions[0].z, 200.0f);
  const TourDef& t = r.scene.tours[1];
  EXPECT_EQ(t.number, 3);
  ASSERT_EQ(t.positions.size(), 3u);
  ASSERT_EQ(t.rotations.size(), 3u);
  EXPECT_FLOAT_EQ(t.positions[2].time, 25.0f);
  EXPECT_FLOAT_EQ(t.positions[2].x, 300.0f);
  EXPECT_FLOAT_EQ(t.positions[2].z, -100.0f);
  // the camera looks down its -Z in glTF; the engine's tour turns (0, 0, 1): the quarter turn
  // about Y looks along glTF -X, which is engine -X
  std::array<float, 4> q{t.rotations[2].x, t.rotations[2].y, t.rotations[2].z, t.rotations[2].w};
  expectNear3(rotateRow(q, {0, 0, 1}), {-1, 0, 0}, 1e-5f);
  expectNear3(rotateRow(q, {0, 1, 0}), {0, 1, 0}, 1e-5f);
}

TEST_F(GltfImport, SeveralMaterialsOnOneObjectBecomeChildMeshes) {
  GltfBuilder b;
  int a = b.material("A", "a.jpg");
  int c = b.material("C", "c.png");
  b.node({{"name", "chair"}, {"mesh", b.triangleMesh({a, c}, false)}});
  auto r = load(b);
  ASSERT_TRUE(r.ok) << r.error;
  const NodeDef& n = r.scene.nodes[0];
  EXPECT_EQ(n.kind, "Dummy");
  ASSERT_EQ(n.children.size(), 2u);
  EXPECT_EQ(n.children[0].name, "chair_0");
  EXPECT_EQ(n.children[1].material, "C");
  // without a second UV set the light-map pair repeats the first
  EXPECT_FLOAT_EQ(n.children[0].vertices[1].u1, n.children[0].vertices[1].u0);
}

TEST_F(GltfImport, BrokenFilesGiveAnErrorNotACrash) {
  {
    GltfBuilder b;
    int mat = b.material("A", "a.jpg");
    b.node({{"name", "n"}, {"mesh", b.triangleMesh({mat})}});
    b.doc()["accessors"][0]["count"] = 100000;  // runs past the buffer
    auto r = load(b);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("positions"), std::string::npos) << r.error;
  }
  {
    GltfBuilder b;
    int mat = b.material("A", "a.jpg");
    int mesh = b.triangleMesh({mat});
    int idx = b.indices16({0, 1, 7});
    b.doc()["meshes"][mesh]["primitives"][0]["indices"] = idx;
    b.node({{"name", "n"}, {"mesh", mesh}});
    auto r = load(b);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("past the vertices"), std::string::npos) << r.error;
  }
  {
    GltfBuilder b;
    int n = b.node({{"name", "grow"}});
    b.channel(n, "translation", {0.0f}, {0, 0, 0});
    b.doc()["animations"][0]["channels"][0]["target"]["path"] = "scale";
    auto r = load(b);
    EXPECT_FALSE(r.ok);
  }
  {
    GltfBuilder b;
    b.floats({0.0f}, "SCALAR", 1);  // tinygltf refuses an empty buffer
    b.doc()["materials"].push_back(json::object({{"name", "bare"}}));
    auto r = load(b);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("bare"), std::string::npos) << r.error;
  }
  {
    auto r = importGltf((dir_.path() / "missing.gltf").string());
    EXPECT_FALSE(r.ok);
    auto junk = dir_.write("junk.gltf", "{ not json");
    EXPECT_FALSE(importGltf(junk.string()).ok);
  }
}

}  // namespace
}  // namespace brassmoor::mediac
