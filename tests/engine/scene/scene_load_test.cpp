#include "engine/scene/scene.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/core/load_checkpoint.h"
#include "engine/device/application.h"
#include "engine/scene/render_sorter.h"
#include "tests/engine/scene/recording_fixture.h"
#include "tests/engine/scene/scene_exercise.h"
#include "tests/engine/scene/scene_file.h"
#include "tests/platform/d3dx/image_writers.h"
#include "tests/support/fake_clock.h"
#include "tests/support/temp_dir.h"

namespace {

using halcyon::Matrix;
using halcyon::Scene;
using halcyon::SceneNode;
using namespace scenetest;

class SceneLoad : public RecordingScene {
 protected:
  void SetUp() override {
    RecordingScene::SetUp();
    std::vector<D3DCOLOR> opaque(4 * 4, 0xFF806040), clear(4 * 4, 0x40FFFFFF);
    const auto png = [](const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); };
    dir_.write("wood.png", png(encodePng(opaque, 4, 4, false)));
    dir_.write("lm.png", png(encodePng(opaque, 4, 4, false)));
    dir_.write("glass.png", png(encodePng(clear, 4, 4, true)));
  }
  bool loadRoot(Scene& scene, const halcyon::UdfRecord& root, const std::string& name = "room.udf") {
    const std::vector<uint8_t> bytes = fileBytes(root);
    const auto path = dir_.write(name, std::string(bytes.begin(), bytes.end()));
    return scene.load(halcyon::FileRef(path.string()));
  }
  const RecordedCall* call(std::string_view name, size_t nth = 0) {
    for (const auto& c : device_->calls())
      if (c.name == name && nth-- == 0) return &c;
    return nullptr;
  }
  testsupport::TempDir dir_;
};

Rec theRoom() {
  Rec base = with(structRec("Room Base", "Material"), intRec("MaterialSubId", 0),
                  colourRec("Diffuse", 1, 0.8f, 0.6f, 0.4f),
                  with(structRec("Textures", "Map"), with(structRec("0", "Diffuse"), textRec("FileName", "wood.png"),
                                                          textRec("TexAddrU", "Mirror"), textRec("TexAddrV", "wrap"))));
  Rec lightMap = with(structRec("Room LightMap", "Material"), intRec("MaterialSubId", 1),
                      with(structRec("Textures", "Map"),
                           with(structRec("0", "Diffuse"), textRec("FileName", "lm.png"))));
  Rec room = with(structRec("Room", "Material"),
                  with(structRec("Materials", "Material"), std::move(base), std::move(lightMap)));
  Rec glass = with(structRec("Glass", "Material"), realRec("Opacity", 0.3f), intRec("TwoSided", 1),
                   with(structRec("Textures", "Map"),
                        with(structRec("0", "Diffuse"), textRec("FileName", "glass.png"))));
  Rec missing = with(structRec("Missing", "Material"),
                     with(structRec("Textures", "Map"),
                          with(structRec("0", "Diffuse"), textRec("FileName", "nowhere.png"))));
  Rec roomAgain = with(structRec("Room", "Material"), intRec("TwoSided", 1));
  Rec materials = with(structRec("Materials", "Material"), std::move(room), std::move(glass), std::move(roomAgain),
                       std::move(missing));

  Rec lamp = nodeRec("Lamp", "PointLight", Matrix::translation(10, 20, 30));
  lamp->addChild(realRec("AttStart", 50));
  lamp->addChild(realRec("AttEnd", 400));
  lamp->addChild(colourRec("Diffuse", 1, 1, 0.5f, 0.25f));
  Rec lights = with(structRec("Lights", "Light"), std::move(lamp), nodeRec("Moon", "DirLight", Matrix::identity()));

  // 40000 indices written with two bytes each.
  Rec floor = meshRec("Floor", 300, 2, indexBytes<uint16_t>(40000, 300), 40000, "Room");
  const float half = 0.70710678f;
  Rec animation = with(structRec("Animation", "Animation"),
                       with(structRec("Position", "Sample"), keyRec(0, 0, 0, 0), keyRec(1000, 0, 10, 0)),
                       with(structRec("Rotation", "Key"), keyRec(0, 0, 0, 0, 1), keyRec(1000, 0, half, 0, half)),
                       with(structRec("Scale", "Key"), keyRec(0, 1, 1, 1)));
  Rec pendulum = with(nodeRec("Pendulum", "Dummy", Matrix::translation(0, 50, 0)), std::move(animation));
  Rec pane = meshRec("Pane", 3, 2, indexBytes<uint16_t>(3, 3), 3, "Glass");
  Rec clock = with(nodeRec("Clock", "Dummy", Matrix::translation(100, 0, 0)),
                   with(structRec("Children", "Node"), std::move(floor), std::move(pendulum), std::move(pane)));

  // A skinned quad of FVF XYZ|NORMAL|TEX1 (32 bytes) on two bones; vertex 3 has no influence.
  std::vector<float> verts;
  for (int i = 0; i < 4; ++i) verts.insert(verts.end(), {float(i), 1, 0, 0, 0, -1, 0, 0});
  Rec body = skinMeshRec("Body", verts, std::vector<uint32_t>{0, 1, 2, 0, 2, 3});
  body->addChild(with(structRec("BoneNames", "string"), textRec("0", "Bone01"), textRec("1", "bone02")));
  body->addChild(rawRec("VertBoneOffs", std::vector<int32_t>{0, 1, 2, 4}));
  body->addChild(rawRec("VertBoneNums", std::vector<int32_t>{1, 1, 2, 0}));
  struct Influence {
    int32_t bone;
    float weight;
  };
  body->addChild(rawRec("BoneWeights", std::vector<Influence>{{0, 1}, {1, 1}, {0, 0.5f}, {1, 0.5f}}));
  Rec bone2 = with(nodeRec("Bone02", "bone", Matrix::translation(0, 10, 0)),
                   with(structRec("Animation", "Animation"), with(structRec("Position", "Key"), keyRec(0, 0, 5, 0))));

  // The same clock again, in other letters: it is the node above and gains a child.
  Rec clockAgain = with(structRec("CLOCK", "Dummy"),
                        with(structRec("Children", "Node"), nodeRec("Hand", "Dummy", Matrix::identity())));

  Rec children = with(structRec("Children", "Node"), std::move(clock), std::move(body),
                      nodeRec("Bone01", "Bone", Matrix::identity()), std::move(bone2), std::move(clockAgain));
  return with(structRec("_root", "_roottype"), std::move(materials), std::move(lights), std::move(children));
}

TEST_F(SceneLoad, TheRoomLoadsIntoNodesBuffersLightsAndAnimations) {
  testsupport::FakeClock clock;
  Scene scene;
  ASSERT_TRUE(loadRoot(scene, *theRoom()));
  EXPECT_EQ(scene.name(), dir_.file("room.udf").string());

  // Hierarchy: the reused name made no second node, and the clock kept its place.
  SceneNode& root = scene.root();
  ASSERT_EQ(root.children().size(), 4u);
  SceneNode* clockNode = root.findByName("clock");
  ASSERT_EQ(clockNode->children().size(), 4u);
  EXPECT_EQ(clockNode->children()[3]->name(), "Hand");
  EXPECT_EQ(clockNode->world().m[3][0], 100.0f);
  SceneNode* floor = root.findByName("Floor");
  ASSERT_TRUE(floor && floor->getMesh());

  // Buffers: 40000 two-byte indices go into a 32-bit buffer; the skin's into a 16-bit one,
  // its vertices into system memory for the CPU to rewrite.
  EXPECT_EQ(countCall("CreateVertexBuffer", {300 * 40, D3DUSAGE_WRITEONLY, 0x312, D3DPOOL_DEFAULT}), 1u);
  EXPECT_EQ(countCall("CreateIndexBuffer", {160000, D3DUSAGE_WRITEONLY, D3DFMT_INDEX32, D3DPOOL_DEFAULT}), 1u);
  EXPECT_EQ(countCall("CreateVertexBuffer", {4 * 32, D3DUSAGE_DYNAMIC, 0x112, D3DPOOL_SYSTEMMEM}), 1u);
  EXPECT_EQ(countCall("CreateIndexBuffer", {12, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT}), 1u);
  EXPECT_EQ(scene.bufferCount(), 6u);

  // Materials: first definition wins; the light map is stage 1.
  const halcyon::Material& floorMaterial = floor->getMesh()->getMaterial();
  EXPECT_EQ(floorMaterial.cullMode, DWORD(D3DCULL_CCW));
  EXPECT_EQ(floorMaterial.stages[1].colorOp, DWORD(D3DTOP_MODULATE2X));
  EXPECT_EQ(floorMaterial.stages[1].colorArg1, D3DTA_CURRENT);
  EXPECT_EQ(floorMaterial.stages[1].colorArg2, D3DTA_TEXTURE);
  EXPECT_EQ(floorMaterial.stages[1].texCoordIndex, 1u);
  ASSERT_TRUE(floorMaterial.stages[0].texture && floorMaterial.stages[1].texture);
  EXPECT_NE(floorMaterial.stages[0].texture, floorMaterial.stages[1].texture);
  EXPECT_EQ(floorMaterial.stages[0].addressU, 2u);  // "Mirror"
  EXPECT_EQ(floorMaterial.stages[0].addressV, 4u);  // "wrap" is not the map's word: border
  EXPECT_EQ(scene.findMaterial("Missing")->stages[0].texture, nullptr);
  EXPECT_FLOAT_EQ(floorMaterial.d3dMaterial.Diffuse.r, 0.8f);
  EXPECT_FLOAT_EQ(floorMaterial.d3dMaterial.Diffuse.b, 0.4f);
  EXPECT_EQ(scene.findMaterial("Glass")->cullMode, DWORD(D3DCULL_NONE));
  EXPECT_FALSE(scene.findMaterial("Wood"));

  // Lights.
  ASSERT_EQ(scene.lights().count(), 2u);
  const D3DLIGHT9& lamp = scene.lights().at(0)->data();
  EXPECT_EQ(lamp.Type, D3DLIGHT_POINT);
  EXPECT_FLOAT_EQ(lamp.Position.y, 20.0f);
  EXPECT_FLOAT_EQ(lamp.Attenuation0, 0.0f);
  EXPECT_FLOAT_EQ(lamp.Attenuation1, 1.0f / 50.0f);
  EXPECT_FLOAT_EQ(lamp.Range, 400.0f);
  EXPECT_FLOAT_EQ(lamp.Diffuse.r, 1.0f);
  EXPECT_FLOAT_EQ(lamp.Diffuse.b, 0.25f);
  const D3DLIGHT9& moon = scene.lights().at(1)->data();
  EXPECT_EQ(moon.Type, D3DLIGHT_DIRECTIONAL);
  EXPECT_FLOAT_EQ(moon.Direction.y, -1.0f);
  EXPECT_FLOAT_EQ(moon.Range, 0.0f);

  // Tracks under the scene's name: position linear ("Sample"), rotation cubic.
  SceneNode* pendulum = root.findByName("pendulum");
  halcyon::Animation* animation = pendulum->findAnimation(scene.name());
  ASSERT_TRUE(animation);
  EXPECT_EQ(animation->position().flags(), uint32_t(halcyon::Track::kLinear));
  EXPECT_EQ(animation->rotation().flags(), 0u);
  EXPECT_EQ(animation->scale().keys().size(), 1u);

  // Play everything, looping, and draw through the sorter with the scene's lights.
  ASSERT_TRUE(root.playAnimation(0, "", true));
  float start, end;
  ASSERT_TRUE(root.getTimeRange(start, end));
  EXPECT_EQ(end, 1000.0f);
  root.setControllerSpeed(-1, 1.0f, true);
  root.setControllerFlags(-1, halcyon::AnimationController::kLoop, true);
  root.setControllerRange(-1, start, end, true);
  root.startController(0, true);
  clock.advance(1500);

  halcyon::RenderSorter sorter;
  sorter.setLights(&scene.lights());
  halcyon::RenderContext ctx;
  ctx.flags = halcyon::RenderContext::kNoFrustumTest;
  ctx.sorter = &sorter;
  ASSERT_TRUE(root.render(ctx));
  ASSERT_TRUE(sorter.flush());
  // Pendulum at half its loop: the rotation turned 45 degrees, the position moved 5 up,
  // before its own offset and the clock's.
  EXPECT_NEAR(pendulum->world().m[3][0], 100.0f, 1e-4f);
  EXPECT_NEAR(pendulum->world().m[3][1], 55.0f, 1e-4f);
  EXPECT_NEAR(pendulum->world().m[0][0], std::cos(0.785398f), 1e-4f);

  EXPECT_EQ(device_->count("SetLight"), 2u);
  // Opaque meshes first, the glass (texture alpha) last.
  ASSERT_EQ(device_->draws().size(), 3u);
  const RecordedDraw& paneDraw = device_->draws()[2];
  EXPECT_EQ(paneDraw.primitiveCount, 1u);
  EXPECT_EQ(paneDraw.renderStates[D3DRS_ALPHABLENDENABLE], 1u);
  EXPECT_EQ(paneDraw.renderStates[D3DRS_CULLMODE], DWORD(D3DCULL_NONE));
  // Texture alpha and an opacity below 1: the two multiply.
  EXPECT_EQ(paneDraw.stageStates[0][D3DTSS_ALPHAOP], DWORD(D3DTOP_MODULATE));
  EXPECT_EQ(paneDraw.stageStates[0][D3DTSS_ALPHAARG1], D3DTA_TEXTURE);
  EXPECT_EQ(paneDraw.stageStates[0][D3DTSS_ALPHAARG2], D3DTA_TFACTOR);
  const RecordedDraw* floorDraw = nullptr;
  const RecordedDraw* bodyDraw = nullptr;
  for (size_t i = 0; i < 2; ++i) {
    const auto& d = device_->draws()[i];
    (d.fvf == 0x312 ? floorDraw : bodyDraw) = &d;
  }
  ASSERT_TRUE(floorDraw && bodyDraw);
  EXPECT_EQ(floorDraw->primitiveCount, 13333u);
  EXPECT_EQ(floorDraw->stride, 40u);
  EXPECT_EQ(floorDraw->indices.size(), 39999u);
  EXPECT_EQ(floorDraw->indices[301], 1u);
  EXPECT_EQ(floorDraw->stageStates[1][D3DTSS_COLOROP], DWORD(D3DTOP_MODULATE2X));
  EXPECT_EQ(floorDraw->stageStates[1][D3DTSS_COLORARG1], D3DTA_CURRENT);
  EXPECT_EQ(floorDraw->stageStates[1][D3DTSS_COLORARG2], D3DTA_TEXTURE);
  EXPECT_EQ(floorDraw->stageStates[1][D3DTSS_TEXCOORDINDEX], 1u);
  EXPECT_EQ(floorDraw->stageStates[0][D3DTSS_COLOROP], DWORD(D3DTOP_MODULATE));
  EXPECT_EQ(floorDraw->samplerStates[0][D3DSAMP_ADDRESSU], 2u);
  EXPECT_EQ(floorDraw->textures[0], floorMaterial.stages[0].texture->d3dTexture());
  EXPECT_EQ(floorDraw->textures[1], floorMaterial.stages[1].texture->d3dTexture());
  EXPECT_EQ(floorDraw->stageStates[2][D3DTSS_COLOROP], DWORD(D3DTOP_DISABLE));
  EXPECT_EQ(floorDraw->renderStates[D3DRS_LIGHTING], 1u);
  EXPECT_NEAR(floorDraw->world.m[3][0], 100.0f, 1e-5f);

  // Skinning: bone 2 moved 5 up from where the skin was bound.
  EXPECT_EQ(bodyDraw->primitiveCount, 2u);
  EXPECT_FLOAT_EQ(bodyDraw->position(0).y, 1.0f);  // bone 1 only, unmoved
  EXPECT_FLOAT_EQ(bodyDraw->position(1).y, 6.0f);  // bone 2 only
  EXPECT_FLOAT_EQ(bodyDraw->position(2).y, 3.5f);  // half and half
  EXPECT_FLOAT_EQ(bodyDraw->position(3).x, 0.0f);  // no influence: the origin
  EXPECT_FLOAT_EQ(bodyDraw->position(3).y, 0.0f);
}


TEST_F(SceneLoad, ALoadAbandonedAtACheckpointSkipsTheRestOfTheTexturesAndKeepsTheNodes) {
  int asked = 0;
  // The first texture loads; the quit comes before the second.
  halcyon::setLoadCheckpoint([&asked] { return ++asked < 2; });
  Scene scene;
  ASSERT_TRUE(loadRoot(scene, *theRoom()));
  EXPECT_EQ(asked, 2) << "an abandoned load does not ask again";
  SceneNode* floor = scene.root().findByName("Floor");
  ASSERT_TRUE(floor && floor->getMesh());
  const halcyon::Material& floorMaterial = floor->getMesh()->getMaterial();
  EXPECT_TRUE(floorMaterial.stages[0].texture);
  EXPECT_FALSE(floorMaterial.stages[1].texture);
  EXPECT_TRUE(scene.root().findByName("Pane")) << "every node is still there";

  halcyon::setLoadCheckpoint({});
  Scene again;
  ASSERT_TRUE(loadRoot(again, *theRoom(), "again.udf"));
  EXPECT_TRUE(again.root().findByName("Floor")->getMesh()->getMaterial().stages[1].texture)
      << "a new checkpoint forgets the abandonment";
}
TEST_F(SceneLoad, LightMapsLoadWithoutLevelsOnlyWhenAskedAndOnlyBesideASubMaterialOne) {
  std::vector<D3DCOLOR> grey(8 * 8, 0xFF808080);
  const std::vector<uint8_t> png = encodePng(grey, 8, 8, false);
  for (const char* name : {"base.png", "light.png", "flash.png", "view.png", "view_flash.png"})
    dir_.write(name, std::string(png.begin(), png.end()));
  const auto sub = [](const char* name, int id, const char* file) {
    return with(structRec(name, "Material"), intRec("MaterialSubId", id),
                with(structRec("Textures", "Map"), with(structRec("0", "Diffuse"), textRec("FileName", file))));
  };
  // A light-mapped material, and an outdoor view whose second picture is no light map.
  const auto room = [&sub] {
    Rec lit = with(structRec("Lit", "Material"),
                   with(structRec("Materials", "Material"), sub("Lit Base", 0, "base.png"),
                        sub("Lit LightMap", 1, "light.png"), sub("Lit FlashMap", 2, "flash.png")));
    Rec view = with(structRec("View", "Material"),
                    with(structRec("Materials", "Material"), sub("View Base", 0, "view.png"),
                         sub("View FlashMap", 2, "view_flash.png")));
    return with(structRec("_root", "_roottype"),
                with(structRec("Materials", "Material"), std::move(lit), std::move(view)));
  };
  const auto levels = [](const Scene& scene, const char* material, int stage) -> DWORD {
    const halcyon::Texture* t = scene.findMaterial(material)->stages[stage].texture;
    return t && t->d3dTexture() ? t->d3dTexture()->GetLevelCount() : 0;
  };

  Scene whole;
  ASSERT_TRUE(loadRoot(whole, *room()));
  EXPECT_EQ(levels(whole, "Lit", 1), 4u) << "8x8 has four levels";

  Scene single;
  single.loadLightMapsWithoutLevels(true);
  ASSERT_TRUE(loadRoot(single, *room(), "single.udf"));
  EXPECT_EQ(levels(single, "Lit", 0), 4u) << "the base keeps its levels";
  EXPECT_EQ(levels(single, "Lit", 1), 1u);
  EXPECT_EQ(levels(single, "Lit", 2), 1u);
  EXPECT_EQ(levels(single, "View", 2), 4u) << "no light map beside it: a picture like any other";
  EXPECT_EQ(levels(whole, "Lit", 1), 4u) << "the first scene's light map is its own texture";
}

TEST_F(SceneLoad, IndexWidthsUsageWordsAlignmentAndEmptyMeshes) {
  Rec narrow = meshRec("Narrow", 40, 4, indexBytes<uint32_t>(300, 40), 300);
  narrow->addChild(textRec("Usage", ""));
  Rec aligned = meshRec("Aligned", 3, 2, indexBytes<uint16_t>(3, 3), 3);
  aligned->addChild(textRec("VertexAlign32", "1"));
  aligned->addChild(with(structRec("Usage", "string"), textRec("0", "dynamic"), textRec("1", "ib_writeonly")));
  Rec empty = meshRec("Empty", 0, 2, {}, 0);
  Rec noFvf = nodeRec("NoFvf", "Mesh", Matrix::identity());
  Rec badIndex = meshRec("BadIndex", 3, 2, {0, 0, 1, 0, 3, 0}, 3);  // index 3 of 3 vertices
  Rec children = with(structRec("Children", "Node"), std::move(narrow), std::move(aligned), std::move(empty),
                      std::move(noFvf), std::move(badIndex));
  Scene scene;
  ASSERT_TRUE(loadRoot(scene, *with(structRec("_root", "_roottype"), std::move(children))));

  EXPECT_EQ(countCall("CreateIndexBuffer", {600, 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT}), 1u);
  EXPECT_EQ(countCall("CreateVertexBuffer", {40 * 40, 0, 0x312, D3DPOOL_DEFAULT}), 1u);
  EXPECT_EQ(countCall("CreateVertexBuffer", {3 * 64, D3DUSAGE_DYNAMIC, 0x312, D3DPOOL_DEFAULT}), 1u);
  EXPECT_EQ(countCall("CreateIndexBuffer", {6, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT}),
            1u);
  for (const char* plain : {"Empty", "NoFvf", "BadIndex"}) {
    SceneNode* n = scene.root().findByName(plain);
    ASSERT_TRUE(n) << plain;
    EXPECT_EQ(n->getMesh(), nullptr) << plain;
  }

  halcyon::RenderContext ctx;
  ctx.flags = halcyon::RenderContext::kNoFrustumTest;
  ASSERT_TRUE(scene.root().render(ctx));
  ASSERT_EQ(device_->draws().size(), 2u);
  const RecordedDraw& n = device_->draws()[0];
  EXPECT_EQ(n.indices.size(), 300u);
  EXPECT_EQ(n.indices[45], 5u);  // 45 mod 40, kept through the 16-bit buffer
  const RecordedDraw& a = device_->draws()[1];
  EXPECT_EQ(a.stride, 64u);
  ASSERT_EQ(a.vertices.size(), 3u * 64u);
  float uv;
  std::memcpy(&uv, &a.vertices[64 + 36], 4);  // vertex 1's last real lands at its own 64-byte slot
  EXPECT_EQ(uv, 1.0f);
}

TEST_F(SceneLoad, FailuresKeepWhatWasBuiltAndReportFalse) {
  Scene scene;
  EXPECT_FALSE(scene.load(halcyon::FileRef(dir_.file("missing.udf").string())));
  const auto garbage = dir_.write("garbage.udf", std::string(100, 'x'));
  EXPECT_FALSE(scene.load(halcyon::FileRef(garbage.string())));

  // A skin whose bone is missing fails the load; the nodes read stay.
  std::vector<float> verts(8 * 3, 0.0f);
  Rec body = skinMeshRec("Body", verts, std::vector<uint16_t>{0, 1, 2});
  body->addChild(with(structRec("BoneNames", "string"), textRec("0", "Nowhere")));
  body->addChild(rawRec("VertBoneOffs", std::vector<int32_t>{0, 0, 0}));
  body->addChild(rawRec("VertBoneNums", std::vector<int32_t>{0, 0, 0}));
  body->addChild(rawRec("BoneWeights", std::vector<int32_t>{0, 0x3f800000}));
  Rec badLight = nodeRec("Odd", "AreaLight", Matrix::identity());
  Rec root = with(structRec("_root", "_roottype"), with(structRec("Lights", "Light"), std::move(badLight)),
                  with(structRec("Children", "Node"), std::move(body), nodeRec("Other", "Dummy", Matrix::identity())));
  EXPECT_FALSE(loadRoot(scene, *root));
  EXPECT_TRUE(scene.root().findByName("Other"));  // the unknown light kind did not stop the children
  EXPECT_EQ(scene.lights().count(), 0u);
}

TEST_F(SceneLoad, ObjectOffsetsNearIdentityAreIdentityAndASecondFileReposesByName) {
  Matrix nearly = Matrix::identity();
  nearly.m[3][0] = 0.01f;
  Matrix offset = Matrix::identity();
  offset.m[3][0] = 0.02f;
  Rec root = with(structRec("_root", "_roottype"),
                  with(structRec("Children", "Node"), nodeRec("A", "Dummy", Matrix::translation(1, 0, 0), nearly),
                       nodeRec("B", "Dummy", Matrix::translation(1, 0, 0), offset)));
  Scene scene;
  ASSERT_TRUE(loadRoot(scene, *root));
  EXPECT_TRUE(scene.root().findByName("A")->objectTransform().getMatrix().isIdentity());
  EXPECT_FLOAT_EQ(scene.root().findByName("B")->objectTransform().getMatrix().m[3][0], 0.02f);

  Rec pose = with(structRec("_root", "_roottype"),
                  with(structRec("Children", "Node"), nodeRec("a", "Dummy", Matrix::translation(7, 0, 0))));
  ASSERT_TRUE(loadRoot(scene, *pose, "pose.udf"));
  SceneNode* a = scene.root().findByName("A");
  EXPECT_EQ(scene.root().children().size(), 2u);
  EXPECT_FLOAT_EQ(a->localTransform().translation().x, 1.0f);  // the first set stays active
  a->applyTransformSet(dir_.file("pose.udf").string());
  EXPECT_FLOAT_EQ(a->localTransform().translation().x, 7.0f);
}

TEST_F(SceneLoad, DrawRangeDrawsPartOfTheIndicesOnceAndBakeMovesTheVerticesOnce) {
  Scene scene;
  Rec root = with(structRec("_root", "_roottype"),
                  with(structRec("Children", "Node"), meshRec("M", 30, 2, indexBytes<uint16_t>(30, 30), 30)));
  ASSERT_TRUE(loadRoot(scene, *root));
  halcyon::Mesh* mesh = scene.root().findByName("M")->getMesh();
  ASSERT_TRUE(mesh->drawRange(6, 6, nullptr));
  ASSERT_TRUE(mesh->drawRange(27, 100, nullptr));  // clipped to the mesh's own indices
  ASSERT_TRUE(mesh->draw(nullptr));
  std::vector<std::vector<uint64_t>> draws;
  for (const auto& c : device_->calls())
    if (c.name == "DrawIndexedPrimitive") draws.push_back(c.args);
  ASSERT_EQ(draws.size(), 3u);
  EXPECT_EQ(draws[0][4], 6u);  // start index
  EXPECT_EQ(draws[0][5], 2u);  // primitives
  EXPECT_EQ(draws[1][4], 27u);
  EXPECT_EQ(draws[1][5], 1u);
  EXPECT_EQ(draws[2][4], 0u);
  EXPECT_EQ(draws[2][5], 10u);

  ASSERT_TRUE(mesh->bakeTransform(Matrix::translation(0, 0, 5)));
  ASSERT_TRUE(mesh->bakeTransform(Matrix::translation(0, 0, 5)));
  device_->clearCalls();
  ASSERT_TRUE(mesh->draw(nullptr));
  EXPECT_FLOAT_EQ(device_->draws()[0].position(3).z, 5.0f);
  EXPECT_FLOAT_EQ(device_->draws()[0].position(3).x, 3.0f);
  scene.invalidateBuffers();
  ASSERT_TRUE(scene.restoreBuffers());
  device_->clearCalls();
  ASSERT_TRUE(mesh->draw(nullptr));
  EXPECT_FLOAT_EQ(device_->draws()[0].position(3).z, 5.0f);  // the bake survives a device loss
}

TEST_F(SceneLoad, BuffersComeBackFilledAfterADeviceLoss) {
  Scene scene;
  Rec root = with(structRec("_root", "_roottype"),
                  with(structRec("Children", "Node"), meshRec("M", 30, 2, indexBytes<uint16_t>(30, 30), 30)));
  ASSERT_TRUE(loadRoot(scene, *root));
  scene.invalidateBuffers();
  halcyon::RenderContext ctx;
  ctx.flags = halcyon::RenderContext::kNoFrustumTest;
  EXPECT_FALSE(scene.root().render(ctx));  // nothing to draw from while the buffers are gone
  ASSERT_TRUE(scene.restoreBuffers());
  device_->clearCalls();
  ASSERT_TRUE(scene.root().render(ctx));
  ASSERT_EQ(device_->draws().size(), 1u);
  EXPECT_FLOAT_EQ(device_->draws()[0].position(29).x, 9.0f);
  EXPECT_EQ(device_->draws()[0].indices[29], 29u);
}

TEST_F(SceneLoad, BuffersComeBackFromTheSceneFileAfterItsCopiesWentAndAChangedFileIsRefused) {
  Scene scene;
  ASSERT_TRUE(loadRoot(scene, *theRoom()));
  halcyon::Geometry* floor = scene.findGeometry("Floor");
  halcyon::Geometry* body = scene.findGeometry("Body");
  ASSERT_TRUE(floor && body);
  scene.releaseGeometryCopies();
  EXPECT_TRUE(floor->vertices.empty() && floor->indices.empty());
  EXPECT_EQ(body->vertices.size(), 4u * 32) << "skinning reads its vertices every frame";
  EXPECT_FALSE(scene.root().findByName("Floor")->getMesh()->bakeTransform(Matrix::identity()))
      << "nothing left to bake into";

  halcyon::RenderContext ctx;
  ctx.flags = halcyon::RenderContext::kNoFrustumTest;
  const auto floorDraw = [&]() -> const RecordedDraw* {
    device_->clearCalls();
    if (!scene.root().findByName("Floor")->render(ctx)) return nullptr;
    return device_->draws().empty() ? nullptr : &device_->draws()[0];
  };
  scene.invalidateBuffers();
  ASSERT_TRUE(scene.restoreBuffers());
  const RecordedDraw* draw = floorDraw();
  ASSERT_TRUE(draw);
  // The scene file's vertices (vertex i at i % 20, i / 20) and its indices (i % 300).
  EXPECT_FLOAT_EQ(draw->position(299).x, 19.0f);
  EXPECT_FLOAT_EQ(draw->position(299).y, 14.0f);
  ASSERT_EQ(draw->indices.size(), 39999u);  // whole triangles
  EXPECT_EQ(draw->indices[39998], 39998u % 300);

  // A file that no longer holds the geometry as it was fills nothing.
  Rec changed = with(structRec("_root", "_roottype"),
                     with(structRec("Children", "Node"), meshRec("Floor", 30, 2, indexBytes<uint16_t>(30, 30), 30)));
  const std::vector<uint8_t> bytes = fileBytes(*changed);
  dir_.write("room.udf", std::string(bytes.begin(), bytes.end()));
  scene.invalidateBuffers();
  EXPECT_FALSE(scene.restoreBuffers());
}

TEST_F(SceneLoad, DamagedSceneFilesLoadOrFailButNeverCrash) {
  testsupport::FakeClock clock;
  const std::vector<uint8_t> good = fileBytes(*theRoom());
  uint32_t seed = 12345;
  auto next = [&] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  int loaded = 0;
  for (int round = 0; round < 1500; ++round) {
    std::vector<uint8_t> bytes = good;
    const int changes = 1 + int(next() % 8);
    for (int c = 0; c < changes; ++c) {
      const size_t at = next() % bytes.size();
      // Mostly small changes to sizes, counts and offsets; now and then a wild byte.
      bytes[at] = (next() % 4 == 0) ? uint8_t(next()) : uint8_t(bytes[at] + 1 + next() % 3);
    }
    if (round % 10 == 0) bytes.resize(next() % bytes.size());
    Scene scene;
    if (scene.load(halcyon::FileRef(bytes.data(), uint32_t(bytes.size()), true))) ++loaded;
    playAndDraw(scene);
    device_->clearCalls();
  }
  EXPECT_GT(loaded, 0);
}

// A scene file written byte by byte, so that member tables can point anywhere: at a table
// again (a node listing itself), twice at one table (a shared subtree), or past the end.
class CraftedFile {
 public:
  struct Entry {
    std::string name, type;
    int table = -1;  // a member table of this file, or raw bytes at rawOffset
    uint32_t rawOffset = 0, rawSize = 0;
  };
  // Table 0 is the root's; returns the new table's index.
  int addTable(std::vector<Entry> entries = {}) {
    tables_.push_back(std::move(entries));
    return int(tables_.size()) - 1;
  }
  void add(int table, Entry entry) { tables_[size_t(table)].push_back(std::move(entry)); }

  std::string write() const {
    std::vector<uint32_t> at(tables_.size()), size(tables_.size());
    uint32_t next = 30;
    for (size_t t = 0; t < tables_.size(); ++t) {
      size[t] = 8;
      for (const Entry& e : tables_[t]) size[t] += uint32_t(4 + e.name.size() + 4 + e.type.size() + 1 + 8);
      at[t] = next;
      next += size[t];
    }
    std::string out;
    auto u32 = [&out](uint32_t v) { out.append({char(v), char(v >> 8), char(v >> 16), char(v >> 24)}); };
    auto text = [&](const std::string& t) {
      u32(uint32_t(t.size()));
      out += t;
    };
    u32(next);
    text("UDF Binary 1.0");
    u32(0);
    u32(next - 26);
    for (size_t t = 0; t < tables_.size(); ++t) {
      u32(size[t]);
      u32(uint32_t(tables_[t].size()));
      for (const Entry& e : tables_[t]) {
        text(e.name);
        text(e.type);
        out.push_back(e.table >= 0 ? 0x04 : 0x00);
        u32(e.table >= 0 ? at[size_t(e.table)] : e.rawOffset);
        u32(e.table >= 0 ? size[size_t(e.table)] : e.rawSize);
      }
    }
    return out;
  }

 private:
  std::vector<std::vector<Entry>> tables_;
};

size_t countNodes(const SceneNode& node) {
  size_t n = 1;
  for (const auto& child : node.children()) n += countNodes(*child);
  return n;
}

TEST_F(SceneLoad, CraftedNodeTreesLoadBoundedAndNeverRecurseWithoutEnd) {
  // A node that lists itself among its children.
  {
    CraftedFile file;
    const int root = file.addTable();
    const int children = file.addTable();
    const int self = file.addTable({{"Children", "Node", children}});
    file.add(root, {"Children", "Node", children});
    file.add(children, {"Loop", "Dummy", self});
    Scene scene;
    EXPECT_TRUE(scene.load(halcyon::FileRef(dir_.write("self.udf", file.write()).string())));
    EXPECT_TRUE(scene.root().findByName("Loop"));
    EXPECT_EQ(countNodes(scene.root()), 2u);
  }
  // Forty levels, each listing the next level twice: 2^40 paths through a few hundred bytes.
  {
    CraftedFile file;
    const int root = file.addTable();
    int below = -1;
    for (int level = 40; level >= 0; --level) {
      const int node = file.addTable();
      if (below >= 0) {
        const int list = file.addTable({{"A", "Dummy", below}, {"B", "Dummy", below}});
        file.add(node, {"Children", "Node", list});
      }
      below = node;
    }
    file.add(root, {"Children", "Node", file.addTable({{"Top", "Dummy", below}})});
    Scene scene;
    EXPECT_TRUE(scene.load(halcyon::FileRef(dir_.write("doubling.udf", file.write()).string())));
    EXPECT_TRUE(scene.root().findByName("Top"));
  }
  // A chain deeper than the depth limit keeps its top levels.
  {
    CraftedFile file;
    const int root = file.addTable();
    int below = file.addTable();
    for (int level = 0; level < 300; ++level)
      below = file.addTable({{"Children", "Node", file.addTable({{"N" + std::to_string(level), "Dummy", below}})}});
    file.add(root, {"Children", "Node", file.addTable({{"Top", "Dummy", below}})});
    Scene scene;
    EXPECT_TRUE(scene.load(halcyon::FileRef(dir_.write("deep.udf", file.write()).string())));
    EXPECT_EQ(countNodes(scene.root()), size_t(Scene::kMaxNodeDepth) + 1);
  }
}

TEST_F(SceneLoad, AnUnreadableRecordInAKeyNobodyReadsIsSkipped) {
  CraftedFile file;
  const int root = file.addTable();
  const int node = file.addTable({{"Adjacency", "int", -1, 1u << 30, 64}});
  file.add(root, {"Children", "Node", file.addTable({{"Chest", "Dummy", node}})});
  Scene scene;
  EXPECT_TRUE(scene.load(halcyon::FileRef(dir_.write("adjacency.udf", file.write()).string())));
  EXPECT_TRUE(scene.root().findByName("Chest"));
}

TEST_F(SceneLoad, SixteenBitIndicesOnlyWhenEveryIndexFits) {
  std::vector<uint8_t> indexes(12);
  const uint32_t values[3] = {0, 1, 69999};
  std::memcpy(indexes.data(), values, 12);
  Rec big = meshRec("Big", 70000, 4, indexes, 3);
  Scene scene;
  ASSERT_TRUE(loadRoot(scene,
                       *with(structRec("_root", "_roottype"), with(structRec("Children", "Node"), std::move(big)))));
  EXPECT_EQ(countCall("CreateIndexBuffer", {12, D3DUSAGE_WRITEONLY, D3DFMT_INDEX32, D3DPOOL_DEFAULT}), 1u);
  halcyon::RenderContext ctx;
  ctx.flags = halcyon::RenderContext::kNoFrustumTest;
  ASSERT_TRUE(scene.root().render(ctx));
  ASSERT_EQ(device_->draws().size(), 1u);
  EXPECT_EQ(device_->draws()[0].indices, (std::vector<uint32_t>{0, 1, 69999}));
}

}  // namespace

namespace {

class Window : public halcyon::EngineWindow {
 public:
  HWND deviceWindow() override { return reinterpret_cast<HWND>(this); }
  uint32_t style() override { return windowStyle; }
  void setStyle(uint32_t s) override { windowStyle = s; }
  halcyon::WindowRect rect() override { return {0, 0, 656, 519}; }
  halcyon::WindowRect clientRect() override { return {0, 0, 640, 480}; }
  void place(const halcyon::WindowRect&) override {}
  void postQuit() override {}
  halcyon::LRESULT defaultProcedure(uint32_t, halcyon::WPARAM, halcyon::LPARAM) override { return 0; }
  uint32_t windowStyle = 0;
};

TEST(SceneDeviceLoss, TheApplicationsResetRemakesAndRefillsTheSceneBuffers) {
  RecordingDirect3D9* d3d = nullptr;
  halcyon::Application::setDirect3DLoader([&] { return d3d = new RecordingDirect3D9(); });
  {
    Window window;
    halcyon::Application app;
    ASSERT_TRUE(app.create(nullptr, &window));
    ASSERT_TRUE(app.setMode(false));
    testsupport::TempDir dir;
    const std::vector<uint8_t> bytes =
        fileBytes(*with(structRec("_root", "_roottype"),
                        with(structRec("Children", "Node"), meshRec("M", 30, 2, indexBytes<uint16_t>(30, 30), 30))));
    const auto path = dir.write("m.udf", std::string(bytes.begin(), bytes.end()));
    Scene scene;
    ASSERT_TRUE(scene.load(halcyon::FileRef(path.string())));
    RecordingDevice* device = d3d->lastDevice();
    const size_t made = device->count("CreateVertexBuffer");

    device->simulateLoss(1);
    EXPECT_TRUE(app.testDevice());  // lost: wait
    EXPECT_TRUE(app.testDevice());  // not reset: reset and restore
    EXPECT_EQ(device->count("CreateVertexBuffer"), made + 1);
    device->clearCalls();
    halcyon::RenderContext ctx;
    ctx.flags = halcyon::RenderContext::kNoFrustumTest;
    ASSERT_TRUE(scene.root().render(ctx));
    ASSERT_EQ(device->draws().size(), 1u);
    EXPECT_FLOAT_EQ(device->draws()[0].position(21).y, 1.0f);
  }
  halcyon::Application::setDirect3DLoader(nullptr);
}

}  // namespace
