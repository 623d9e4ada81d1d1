#include <gtest/gtest.h>

#include <cmath>

#include "engine/scene/light.h"
#include "engine/scene/render_sorter.h"
#include "engine/scene/scene_node.h"
#include "tests/engine/scene/recording_fixture.h"
#include "tests/support/fake_clock.h"

namespace {

using halcyon::Matrix;
using halcyon::RenderContext;
using halcyon::SceneNode;
using halcyon::Vec3;

std::unique_ptr<SceneNode> makeNode(const char* name, const char* kind = "Dummy") {
  return std::make_unique<SceneNode>(name, kind);
}

TEST(SceneNode, FindsByNameWithoutCaseDepthFirstAndKeepsPlacesOnRename) {
  SceneNode root;
  SceneNode* clock = root.addChild(makeNode("Clock"));
  SceneNode* hand = clock->addChild(makeNode("strelka_1Big"));
  SceneNode* other = root.addChild(makeNode("STRELKA_1BIG"));
  EXPECT_EQ(root.findByName("strelka_1big"), hand);  // the first in depth-first order
  EXPECT_EQ(other->findByName("strelka_1big"), other);
  EXPECT_EQ(root.findByName("missing"), nullptr);
  EXPECT_EQ(hand->parent(), clock);

  clock->setName("Case");
  EXPECT_EQ(root.children()[0].get(), clock);
  EXPECT_EQ(root.findByName("case"), clock);

  auto taken = root.detachChild(clock);
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->parent(), nullptr);
  EXPECT_EQ(root.findByName("strelka_1big"), other);
  EXPECT_EQ(root.detachChild(hand), nullptr);  // not a direct child

  EXPECT_TRUE(SceneNode("a", "Bone").isBone());
  EXPECT_TRUE(SceneNode("a", "BONE").isBone());
  EXPECT_FALSE(SceneNode("a", "Bones").isBone());
}

TEST(SceneNode, AnimationComesBeforeTheTransformAndPartsMultiplyToTheSameMatrix) {
  testsupport::FakeClock clock;
  SceneNode root;
  SceneNode* node = root.addChild(makeNode("pendulum"));
  node->localTransform().setTranslation({0, 100, 0});
  halcyon::Animation& anim = node->addAnimation("clock.udf");
  halcyon::AnimationKey k;
  k.value[0] = 5;
  anim.position().addKey(k);
  EXPECT_TRUE(root.playAnimation(0, "", true));  // the empty name finds the first animation

  RenderContext ctx;
  ASSERT_TRUE(root.render(ctx));
  EXPECT_NEAR(node->world().m[3][0], 5.0f, 1e-6f);
  EXPECT_NEAR(node->world().m[3][1], 100.0f, 1e-6f);

  node->localTransform().setRotation(halcyon::rotationAxis({0, 0, 1}, 0.5f));
  node->localTransform().setScale({2, 2, 2});
  ASSERT_TRUE(root.render(ctx));
  const Matrix whole = node->world();
  node->driveTransformByParts(true);
  EXPECT_EQ(node->getController(halcyon::kTransformControllerId), nullptr);
  ASSERT_TRUE(root.render(ctx));
  EXPECT_TRUE(node->world().equalWithin(whole, 1e-5f));
  // The context comes back unchanged.
  EXPECT_TRUE(ctx.world.isIdentity());
}

TEST(SceneNode, ControllerSettingsReachOneIdOrAllAndTimeRangesUniteTheSubtree) {
  testsupport::FakeClock clock;
  SceneNode root;
  SceneNode* a = root.addChild(makeNode("a"));
  SceneNode* b = a->addChild(makeNode("b"));
  for (auto [node, end] : {std::pair{a, 1000.0f}, std::pair{b, 3000.0f}}) {
    halcyon::AnimationKey k0, k1;
    k1.time = end;
    k1.value[0] = end;
    auto& anim = node->addAnimation("scene");
    anim.position().setFlags(halcyon::Track::kLinear);
    anim.position().addKey(k0);
    anim.position().addKey(k1);
  }
  float start = -1, end = -1;
  ASSERT_TRUE(root.getTimeRange(start, end));
  EXPECT_EQ(start, 0.0f);
  EXPECT_EQ(end, 3000.0f);
  EXPECT_FALSE(root.playAnimation(0, "other", true));
  ASSERT_TRUE(root.playAnimation(0, "scene", true));
  root.setControllerSpeed(-1, 1.0f, true);
  root.setControllerFlags(-1, halcyon::AnimationController::kLoop, true);
  root.setControllerRange(-1, start, end, true);
  root.startController(0, true);
  clock.advance(3500);
  auto* cb = dynamic_cast<halcyon::AnimationController*>(b->getController(0));
  auto* ca = dynamic_cast<halcyon::AnimationController*>(a->getController(0));
  ASSERT_TRUE(ca && cb);
  EXPECT_FLOAT_EQ(cb->currentTime(), 500.0f);  // looped once over the common range
  EXPECT_FLOAT_EQ(ca->currentTime(), 500.0f);
  a->setControllerSpeed(0, 2.0f, false);  // one node only
  EXPECT_FLOAT_EQ(ca->speed(), 2.0f);
  EXPECT_FLOAT_EQ(cb->speed(), 1.0f);
}

TEST(SceneNode, AFrameClockDecidesWhereTheAnimationStands) {
  testsupport::FakeClock clock;
  SceneNode root;
  SceneNode* a = root.addChild(makeNode("a"));
  halcyon::AnimationKey k0, k1;
  k1.time = 1000.0f;
  k1.value[0] = 1000.0f;
  auto& anim = a->addAnimation("scene");
  anim.position().setFlags(halcyon::Track::kLinear);
  anim.position().addKey(k0);
  anim.position().addKey(k1);
  ASSERT_TRUE(root.playAnimation(0, "scene", true));
  root.startController(0, true);
  const int64_t started = clock.now();
  clock.advance(900);  // where the real clock stands; the frame was read 250 ms in

  RenderContext ctx;
  ctx.flags = RenderContext::kNoFrustumTest | RenderContext::kComposeOnly | RenderContext::kFrameClock;
  ctx.clockMs = started + 250;
  ASSERT_TRUE(root.render(ctx));
  EXPECT_NEAR(a->world().m[3][0], 250.0f, 1e-3f);
  ctx.flags &= ~uint32_t(RenderContext::kFrameClock);
  ASSERT_TRUE(root.render(ctx));
  EXPECT_NEAR(a->world().m[3][0], 900.0f, 1e-3f) << "without one, the clock is read";
}

TEST(SceneNode, BoneMatrixIsTheMotionAwayFromTheUnanimatedPose) {
  testsupport::FakeClock clock;
  SceneNode root;
  SceneNode* bone = root.addChild(makeNode("Bone01", "Bone"));
  bone->localTransform().setTranslation({10, 0, 0});
  RenderContext ctx;
  ASSERT_TRUE(root.render(ctx));
  EXPECT_TRUE(bone->boneMatrix().equalWithin(Matrix::identity(), 1e-6f));
  halcyon::AnimationKey k;
  k.value[1] = 3;
  bone->addAnimation("s").position().addKey(k);
  bone->playAnimation(0, "s", false);
  ASSERT_TRUE(root.render(ctx));
  EXPECT_TRUE(bone->boneMatrix().equalWithin(Matrix::translation(0, 3, 0), 1e-6f));
}

TEST(SceneNode, TransformSetsApplyTheFirstAtOnceAndOthersOnRequest) {
  SceneNode n("n");
  halcyon::Transform a, b, o;
  a.setTranslation({1, 0, 0});
  b.setTranslation({2, 0, 0});
  n.registerTransformSet("first.udf", a, o);
  n.registerTransformSet("second.udf", b, o);
  EXPECT_EQ(n.localTransform().translation().x, 1.0f);
  n.applyTransformSet("second.udf");
  EXPECT_EQ(n.localTransform().translation().x, 2.0f);
  n.applyTransformSet("unknown");
  EXPECT_EQ(n.localTransform().translation().x, 2.0f);
}

class RenderScene : public scenetest::RecordingScene {
 protected:
  RenderContext looking() {
    RenderContext ctx;
    ctx.camera.setProjection(1.2f, 1.0f, 1.0f, 1000.0f);
    ctx.camera.setPose({0, 0, 0}, {0, 0, 1}, {0, 1, 0});
    return ctx;
  }
};

TEST_F(RenderScene, FrustumDropsAMeshBehindTheCameraAndComposeOnlyDrawsNothing) {
  SceneNode root;
  SceneNode* front = root.addChild(makeNode("front", "Mesh"));
  SceneNode* behind = root.addChild(makeNode("behind", "Mesh"));
  front->localTransform().setTranslation({0, 0, 50});
  behind->localTransform().setTranslation({0, 0, -50});
  const halcyon::Material& m = halcyon::defaultMaterial();
  front->setMesh(std::unique_ptr<halcyon::Mesh>(triangle(m, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0})));
  behind->setMesh(std::unique_ptr<halcyon::Mesh>(triangle(m, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0})));
  // The nodes own their meshes now.
  for (auto& mesh : meshes_) mesh.release();

  RenderContext ctx = looking();
  ASSERT_TRUE(root.render(ctx));
  ASSERT_EQ(device_->draws().size(), 1u);
  EXPECT_NEAR(device_->draws()[0].world.m[3][2], 50.0f, 1e-6f);

  device_->clearCalls();
  ctx.flags = RenderContext::kNoFrustumTest;
  ASSERT_TRUE(root.render(ctx));
  EXPECT_EQ(device_->draws().size(), 2u);

  device_->clearCalls();
  ctx.flags = RenderContext::kComposeOnly;
  front->localTransform().setTranslation({0, 0, 70});
  ASSERT_TRUE(root.render(ctx));
  EXPECT_EQ(device_->draws().size(), 0u);
  EXPECT_NEAR(front->objectWorld().m[3][2], 70.0f, 1e-6f);

  // A draw that fails is reported.
  device_->failCall("DrawPrimitive", E_FAIL, 1);
  ctx.flags = 0;
  EXPECT_FALSE(root.render(ctx));
}

TEST_F(RenderScene, AScissoredMeshDrawsInsideItsRectangleAndTheNextMeshEverywhere) {
  halcyon::Material solid;
  halcyon::Mesh* framed = triangle(solid, {0, 0, 5}, {1, 0, 5}, {0, 1, 5});
  halcyon::Mesh* plain = triangle(solid, {0, 0, 6}, {1, 0, 6}, {0, 1, 6});
  const RECT rect{10, 20, 30, 40};
  framed->setScissor(&rect);
  ASSERT_TRUE(framed->draw(nullptr));
  ASSERT_TRUE(plain->draw(nullptr));
  framed->setScissor(nullptr);
  ASSERT_TRUE(framed->draw(nullptr));
  const auto& draws = device_->draws();
  ASSERT_EQ(draws.size(), 3u);
  EXPECT_EQ(draws[0].renderStates[D3DRS_SCISSORTESTENABLE], DWORD(TRUE));
  EXPECT_EQ(draws[0].scissor.left, 10);
  EXPECT_EQ(draws[0].scissor.bottom, 40);
  EXPECT_EQ(draws[1].renderStates[D3DRS_SCISSORTESTENABLE], DWORD(FALSE));
  EXPECT_EQ(draws[2].renderStates[D3DRS_SCISSORTESTENABLE], DWORD(FALSE)) << "a cleared scissor draws everywhere";
}

TEST_F(RenderScene, SorterDrawsOpaqueByTextureThenTransparentFarToNearWithTiesInOrder) {
  halcyon::Material glass;
  glass.setAlphaUse(1);
  halcyon::Material solid;
  halcyon::RenderSorter sorter;
  sorter.camera.setPose({0, 0, 0}, {0, 0, 1}, {0, 1, 0});
  // Transparent triangles centred at z = 10, 30, 30 (added in this order) and 20.
  halcyon::Mesh* near = triangle(glass, {-1, -1, 10}, {1, -1, 10}, {0, 2, 10});
  halcyon::Mesh* farA = triangle(glass, {-1, -1, 30}, {1, -1, 30}, {0, 2, 30});
  halcyon::Mesh* farB = triangle(glass, {-1, -1, 30}, {1, -1, 30}, {0, 2, 30});
  halcyon::Mesh* mid = triangle(glass, {-1, -1, 20}, {1, -1, 20}, {0, 2, 20});
  halcyon::Mesh* opaque = triangle(solid, {0, 0, 99}, {1, 0, 99}, {0, 1, 99});
  for (halcyon::Mesh* mesh : {near, farA, farB, mid, opaque}) mesh->updateBounds();
  for (halcyon::Mesh* mesh : {near, farA, farB, mid, opaque}) sorter.add(mesh);
  EXPECT_EQ(sorter.transparentCount(), 4u);
  EXPECT_EQ(sorter.opaqueBucketCount(), 1u);

  halcyon::LightList lights;
  lights.add(std::make_unique<halcyon::PointLight>(Vec3{1, 2, 3}));
  lights.add(std::make_unique<halcyon::DirLight>(Vec3{0, -1, 0}));
  sorter.setLights(&lights);
  ASSERT_TRUE(sorter.flush());
  std::vector<UINT> order;
  for (const auto& call : device_->calls())
    if (call.name == "SetStreamSource") order.push_back(UINT(call.args[1]));
  auto vb = [](halcyon::Mesh* m) { return UINT(reinterpret_cast<uintptr_t>(m->vertexRegion().buffer->vertices())); };
  ASSERT_EQ(order.size(), 5u);
  EXPECT_EQ(order[0], vb(opaque));
  EXPECT_EQ(order[1], vb(farA));
  EXPECT_EQ(order[2], vb(farB));
  EXPECT_EQ(order[3], vb(mid));
  EXPECT_EQ(order[4], vb(near));
  // Lights: set before the draws, switched off after them.
  EXPECT_EQ(device_->count("SetLight"), 2u);
  EXPECT_EQ(countCall("LightEnable", {1, 0}), 1u);
  const auto names = device_->callNames();
  EXPECT_LT(std::find(names.begin(), names.end(), "SetLight") - names.begin(),
            std::find(names.begin(), names.end(), "DrawPrimitive") - names.begin());

  // The switches: no opaque draws; an empty sorter applies the lights and succeeds.
  device_->clearCalls();
  halcyon::RenderSorter::skipOpaque = true;
  EXPECT_TRUE(sorter.flush());
  halcyon::RenderSorter::skipOpaque = false;
  EXPECT_EQ(device_->draws().size(), 4u);
  sorter.clear();
  device_->clearCalls();
  EXPECT_TRUE(sorter.flush());
  EXPECT_EQ(device_->draws().size(), 0u);
  EXPECT_EQ(device_->count("SetLight"), 2u);
}

TEST_F(RenderScene, OpaqueGroupsGoNearestFirstAndLightMappedMaterialsCountAsOpaque) {
  // Pictures without alpha (a base and a light map), and one with alpha.
  halcyon::Texture base, lightMap, cutOut;
  ASSERT_TRUE(base.createEmpty(8, 4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED));
  ASSERT_TRUE(lightMap.createEmpty(8, 4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED));
  ASSERT_TRUE(cutOut.createEmpty(8, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED));
  // The room's two-stage material: each stage's alpha a copy of its own opaque picture.
  auto lightMapped = [&](halcyon::Texture* second) {
    halcyon::Material m;
    m.stages[0].texture = &lightMap;
    m.stages[0].colorOp = D3DTOP_SUBTRACT;
    m.stages[0].alphaOp = D3DTOP_SELECTARG1;
    m.stages[0].alphaArg1 = D3DTA_TEXTURE;
    m.stages[1].texture = second;
    m.stages[1].colorOp = D3DTOP_MODULATE2X;
    m.stages[1].alphaOp = D3DTOP_SELECTARG1;
    m.stages[1].alphaArg1 = D3DTA_TEXTURE;
    return m;
  };
  const halcyon::Material room = lightMapped(&base), cutOutRoom = lightMapped(&cutOut);
  EXPECT_FALSE(room.needsAlpha());
  EXPECT_TRUE(cutOutRoom.needsAlpha()) << "the second picture's alpha still counts";
  halcyon::Material tinted = room;
  tinted.stages[1].alphaOp = D3DTOP_MODULATE;  // anything but a plain copy may be translucent
  EXPECT_TRUE(tinted.needsAlpha());
  halcyon::Material passed = room;  // a later stage that passes the current alpha on
  passed.stages[1].alphaArg1 = D3DTA_CURRENT;
  EXPECT_FALSE(passed.needsAlpha());
  passed.stages[0].alphaArg1 = D3DTA_CURRENT;  // on the first stage that is the vertex's alpha
  EXPECT_TRUE(passed.needsAlpha());

  halcyon::Material plain, other = room;
  plain.stages[0].texture = &base;
  other.stages[0].texture = &cutOut;
  other.stages[0].alphaOp = halcyon::kAutomaticOp;
  other.stages[1].alphaOp = D3DTOP_DISABLE;
  ASSERT_TRUE(other.needsAlpha());
  halcyon::RenderSorter sorter;
  sorter.camera.setPose({0, 0, 0}, {0, 0, 1}, {0, 1, 0});
  // Added far to near: the light-mapped group (z 50 and 5), the plain group (z 20), and a
  // transparent mesh that keeps its place after every opaque one.
  halcyon::Mesh* farRoom = triangle(room, {-1, -1, 50}, {1, -1, 50}, {0, 2, 50});
  halcyon::Mesh* middle = triangle(plain, {-1, -1, 20}, {1, -1, 20}, {0, 2, 20});
  halcyon::Mesh* nearRoom = triangle(room, {-1, -1, 5}, {1, -1, 5}, {0, 2, 5});
  halcyon::Mesh* glass = triangle(other, {-1, -1, 2}, {1, -1, 2}, {0, 2, 2});
  for (halcyon::Mesh* mesh : {farRoom, middle, nearRoom, glass}) {
    mesh->updateBounds();
    sorter.add(mesh);
  }
  EXPECT_EQ(sorter.opaqueBucketCount(), 2u);
  EXPECT_EQ(sorter.transparentCount(), 1u);
  ASSERT_TRUE(sorter.flush());
  std::vector<UINT> order;
  for (const auto& call : device_->calls())
    if (call.name == "SetStreamSource") order.push_back(UINT(call.args[1]));
  auto vb = [](halcyon::Mesh* m) { return UINT(reinterpret_cast<uintptr_t>(m->vertexRegion().buffer->vertices())); };
  // The light-mapped group holds the nearest mesh, so it goes first, in the order it came.
  EXPECT_EQ(order, (std::vector<UINT>{vb(farRoom), vb(nearRoom), vb(middle), vb(glass)}));
  const auto& draws = device_->draws();
  ASSERT_EQ(draws.size(), 4u);
  EXPECT_EQ(draws[0].renderStates[D3DRS_ALPHABLENDENABLE], 0u) << "the room is not blended";
  EXPECT_EQ(draws[0].renderStates[D3DRS_ALPHATESTENABLE], 0u);
  EXPECT_EQ(draws[3].renderStates[D3DRS_ALPHABLENDENABLE], 1u);
}

TEST(Lights, DirectionalLightReachesEverythingAndPointLightOnlyWithinItsRange) {
  halcyon::PointLight p({0, 0, 0});
  p.data().Range = 10;
  const float nearBox[6] = {5, 0, 0, 6, 1, 1};
  const float farBox[6] = {50, 0, 0, 60, 1, 1};
  EXPECT_TRUE(p.reaches(nearBox));
  EXPECT_FALSE(p.reaches(farBox));
  EXPECT_TRUE(halcyon::DirLight({0, -1, 0}).reaches(farBox));
  EXPECT_EQ(p.data().Attenuation0, 1.0f);
}

}  // namespace

namespace {

TEST(Camera, BoxesOutsideOnePlaneAreCulledAndStraddlingBoxesKept) {
  halcyon::Camera cam;
  halcyon::Box box;
  box.extend({-1, -1, -1});
  box.extend({1, 1, 1});
  EXPECT_TRUE(cam.boxVisible(box));                   // no projection yet: everything is seen
  cam.setProjection(1.5707963f, 1.0f, 1.0f, 100.0f);  // 90 degrees: the side planes are x = ±z
  cam.setPose({0, 0, 0}, {0, 0, 1}, {0, 1, 0});
  auto at = [](float x, float y, float z, float r) {
    halcyon::Box b;
    b.extend({x - r, y - r, z - r});
    b.extend({x + r, y + r, z + r});
    return b;
  };
  EXPECT_TRUE(cam.boxVisible(at(0, 0, 50, 1)));
  EXPECT_FALSE(cam.boxVisible(at(0, 0, -50, 1)));    // behind
  EXPECT_FALSE(cam.boxVisible(at(0, 0, 150, 1)));    // beyond the far plane
  EXPECT_FALSE(cam.boxVisible(at(30, 0, 10, 1)));    // off to the right
  EXPECT_TRUE(cam.boxVisible(at(10.5f, 0, 10, 1)));  // straddles the right plane
  EXPECT_TRUE(cam.boxVisible(at(0, 0, 0.5f, 1)));    // straddles the near plane
  // Turned round, the box behind is in view.
  cam.setPose({0, 0, 0}, {0, 0, -1}, {0, 1, 0});
  EXPECT_TRUE(cam.boxVisible(at(0, 0, -50, 1)));
}

TEST(SceneNode, ExplicitTimeFlagEvaluatesEveryAnimationAtTheContextsTime) {
  testsupport::FakeClock clock;
  SceneNode root;
  SceneNode* n = root.addChild(makeNode("n"));
  auto& anim = n->addAnimation("s");
  anim.position().setFlags(halcyon::Track::kLinear);
  halcyon::AnimationKey k0, k1;
  k1.time = 100;
  k1.value[0] = 100;
  anim.position().addKey(k0);
  anim.position().addKey(k1);
  n->playAnimation(0, "s", false);
  clock.advance(30);
  RenderContext ctx;
  ASSERT_TRUE(root.render(ctx));
  EXPECT_NEAR(n->world().m[3][0], 30.0f, 1e-4f);
  ctx.flags = RenderContext::kExplicitTime;
  ctx.time = 75;
  ASSERT_TRUE(root.render(ctx));
  EXPECT_NEAR(n->world().m[3][0], 75.0f, 1e-4f);
}

}  // namespace
