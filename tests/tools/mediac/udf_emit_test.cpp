#include "tools/mediac/udf_emit.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/fs/stream.h"
#include "engine/udf/udf_binary.h"
#include "tests/support/temp_dir.h"

namespace brassmoor::mediac {
namespace {

using halcyon::UdfRecord;

struct Loaded {
  std::vector<std::uint8_t> bytes;
  std::unique_ptr<halcyon::UdfBinaryReader> reader;
  UdfRecord* root = nullptr;
};

Loaded readBack(const UdfRecord& tree) {
  Loaded l;
  l.bytes = halcyon::UdfBinaryWriter().writeToBytes(tree);
  auto stream = std::make_unique<halcyon::MemoryStream>();
  stream->useBlock(l.bytes.data(), l.bytes.size());
  stream->open("", halcyon::Read);
  l.reader = std::make_unique<halcyon::UdfBinaryReader>(std::move(stream));
  l.root = l.reader->readHeader();
  if (l.root) l.reader->load(*l.root, 0);
  return l;
}

UdfRecord* path(UdfRecord* r, std::initializer_list<const char*> names) {
  for (const char* n : names) {
    if (!r) return nullptr;
    r = r->findChild(n);
  }
  return r;
}

int32_t intOf(UdfRecord* r) {
  int32_t v = -1;
  if (r) r->readInt(v);
  return v;
}

NodeDef meshNode(const std::string& name, std::size_t verts, std::size_t indices) {
  NodeDef n;
  n.name = name;
  n.kind = "Mesh";
  n.nodeTM = identityMatrix();
  n.nodeTM[12] = 5;
  n.material = "Wood";
  n.vertices.resize(verts, Vertex{1, 2, 3, 0, 1, 0, 0.25f, 0.5f, 0.75f, 1});
  n.indices.resize(indices);
  for (std::size_t i = 0; i < indices; ++i) n.indices[i] = static_cast<std::uint32_t>(i % verts);
  return n;
}

MediaScene smallScene() {
  MediaScene s;
  s.materials.push_back({"Wood", "wood.jpg", "lm_room.jpg", false, "", ""});
  s.materials.push_back({"Glass", "glass.png", "", true, "", ""});
  s.materials.push_back({"Velvet", "velvet.jpg", "lm_room.jpg", true, "", ""});
  s.materials.push_back({"Oak", "oak.jpg", "lm_room.jpg", false, "lm_room_flash.jpg", "lm_room_lamp.jpg"});
  s.materials.push_back({"View", "night.jpg", "", false, "night_flash.jpg", ""});
  NodeDef clock;
  clock.name = "clock";
  clock.nodeTM = identityMatrix();
  NodeDef pend = meshNode("clock mayatnik", 3, 3);
  pend.rotation.linear = false;
  pend.rotation.keys = {{0, 0, 0, 0, 1}, {1000, 0.05f, 0, 0, 0.9987f}, {2000, 0, 0, 0, 1}};
  pend.meshKeys["Lit"] = "0";
  clock.children.push_back(pend);
  s.nodes.push_back(clock);
  NodeDef rain = meshNode("rain_1", 4, 6);
  rain.position.keys = {{0, 0, 0, 0, 0}, {2000, 0, -800, 0, 0}};
  s.nodes.push_back(rain);
  return s;
}

TEST(UdfEmit, SceneFileCarriesMaterialsNodesMeshesAndTracks) {
  std::string error;
  auto tree = sceneRecords(smallScene(), error);
  ASSERT_TRUE(tree) << error;
  auto l = readBack(*tree);
  ASSERT_TRUE(l.root);
  // two-stage material: base at sub-id 0, light map at sub-id 1 with "LightMap" in its name
  auto* wood = path(l.root, {"Materials", "Wood"});
  ASSERT_TRUE(wood);
  EXPECT_EQ(wood->typeName(), "Material");
  EXPECT_EQ(intOf(path(wood, {"Materials", "Wood_Base", "MaterialSubId"})), 0);
  EXPECT_EQ(intOf(path(wood, {"Materials", "Wood_LightMap", "MaterialSubId"})), 1);
  auto* lmFile = path(wood, {"Materials", "Wood_LightMap", "Textures", "Diffuse", "FileName"});
  ASSERT_TRUE(lmFile);
  EXPECT_EQ(lmFile->readString(), "lm_room.jpg");
  EXPECT_EQ(path(wood, {"Materials", "Wood_LightMap", "Textures", "Diffuse"})->typeName(), "Diffuse");
  // single-stage, two-sided
  auto* glass = path(l.root, {"Materials", "Glass"});
  ASSERT_TRUE(glass);
  EXPECT_FALSE(glass->findChild("Materials"));
  EXPECT_TRUE(glass->findChild("TwoSided"));
  EXPECT_EQ(path(glass, {"Textures", "Diffuse", "FileName"})->readString(), "glass.png");
  // a two-stage material reads its settings from the base sub-material, so that is where
  // two-sidedness has to be
  EXPECT_TRUE(path(l.root, {"Materials", "Velvet", "Materials", "Velvet_Base", "TwoSided"}));
  EXPECT_FALSE(path(l.root, {"Materials", "Wood", "Materials", "Wood_Base", "TwoSided"}));
  // the flash's picture sits at sub-id 2 and the lamp's share at 3, after the light map or
  // straight after the base, under names from which the loader derives no operation
  EXPECT_FALSE(path(wood, {"Materials", "Wood_FlashMap"}));
  const struct {
    const char* material;
    const char* sub;
    int id;
  } shares[] = {{"Oak", "Oak_FlashMap", 2}, {"Oak", "Oak_LampShare", 3}, {"View", "View_FlashMap", 2}};
  for (const auto& c : shares) {
    auto* sub = path(l.root, {"Materials", c.material, "Materials", c.sub});
    ASSERT_TRUE(sub) << c.sub;
    EXPECT_EQ(intOf(sub->findChild("MaterialSubId")), c.id) << c.sub;
    for (const char* op : {"LightMap", "Modulate", "Add", "Chrome"})
      EXPECT_EQ(std::string(c.sub).find(op), std::string::npos) << c.sub << " " << op;
  }
  EXPECT_EQ(path(l.root, {"Materials", "Oak", "Materials"})->childCount(), 4u);
  EXPECT_EQ(
      path(l.root, {"Materials", "Oak", "Materials", "Oak_FlashMap", "Textures", "Diffuse", "FileName"})->readString(),
      "lm_room_flash.jpg");
  EXPECT_EQ(path(l.root, {"Materials", "View", "Materials"})->childCount(), 2u);
  EXPECT_EQ(path(l.root, {"Materials", "View", "Materials", "View_FlashMap", "Textures", "Diffuse", "FileName"})
                ->readString(),
            "night_flash.jpg");

  auto* clock = path(l.root, {"Children", "clock"});
  ASSERT_TRUE(clock);
  EXPECT_EQ(clock->typeName(), "Dummy");
  auto* tm = clock->findChild("NodeTM");
  ASSERT_TRUE(tm);
  EXPECT_EQ(tm->dataSize(), 64u);
  auto* pend = path(clock, {"Children", "clock mayatnik"});
  ASSERT_TRUE(pend);
  EXPECT_EQ(pend->typeName(), "Mesh");
  EXPECT_EQ(intOf(pend->findChild("FVF")), 0x312);
  EXPECT_EQ(intOf(pend->findChild("IndexSize")), 2);
  EXPECT_EQ(intOf(pend->findChild("NumVerts")), 3);
  EXPECT_EQ(intOf(pend->findChild("NumIndexes")), 3);
  EXPECT_EQ(pend->findChild("Verts")->dataSize(), 3u * 40u);
  EXPECT_EQ(pend->findChild("Indexes")->dataSize(), 3u * 2u);
  EXPECT_EQ(pend->findChild("MaterialName")->readString(), "Wood");
  EXPECT_EQ(pend->findChild("Lit")->readString(), "0");
  auto* rot = path(pend, {"Animation", "Rotation"});
  ASSERT_TRUE(rot);
  EXPECT_NE(rot->typeName(), "Linear");  // cubic: the pendulum swings smoothly
  EXPECT_NE(rot->typeName(), "Sample");
  ASSERT_EQ(rot->childCount(), 3u);
  ASSERT_EQ(rot->child(1)->dataSize(), 32u);
  float key[8];
  std::memcpy(key, rot->child(1)->data(), 32);
  EXPECT_FLOAT_EQ(key[0], 1000.0f);
  EXPECT_FLOAT_EQ(key[1], 0.05f);
  EXPECT_FLOAT_EQ(key[4], 0.9987f);
  EXPECT_FLOAT_EQ(key[5], 0.0f);
  auto* pos = path(l.root, {"Children", "rain_1", "Animation", "Position"});
  ASSERT_TRUE(pos);
  EXPECT_EQ(pos->typeName(), "Linear");
  std::memcpy(key, pos->child(1)->data(), 32);
  EXPECT_FLOAT_EQ(key[2], -800.0f);
}

TEST(UdfEmit, IndexSizeFollowsTheVertexCount) {
  std::string error;
  MediaScene s;
  s.materials.push_back({"Wood", "wood.jpg", "", false, "", ""});
  s.nodes.push_back(meshNode("big", 70000, 70002));
  auto tree = sceneRecords(s, error);
  ASSERT_TRUE(tree) << error;
  auto l = readBack(*tree);
  auto* big = path(l.root, {"Children", "big"});
  ASSERT_TRUE(big);
  EXPECT_EQ(intOf(big->findChild("IndexSize")), 4);
  EXPECT_EQ(big->findChild("Indexes")->dataSize(), 70002u * 4u);
  std::uint32_t last;
  std::memcpy(&last, big->findChild("Indexes")->data() + 70001 * 4, 4);
  EXPECT_EQ(last, 70001u % 70000u);

  // more vertices than 16-bit indices reach but so few indices that the engine would make
  // a 16-bit buffer: refused rather than drawn with truncated indices
  MediaScene bad;
  bad.nodes.push_back(meshNode("odd", 70000, 300));
  EXPECT_FALSE(sceneRecords(bad, error));
  EXPECT_NE(error.find("odd"), std::string::npos);
}

TEST(UdfEmit, TourFileHoldsPositionAndRotationKeysBySortOfRecord) {
  TourDef t;
  t.number = 4;
  t.positions = {{0, 1, 2, 3, 0}, {10, 4, 5, 6, 0}};
  t.rotations = {{0, 0, 0, 0, 1}, {10, 0, 0.7071f, 0, 0.7071f}};
  auto l = readBack(*tourRecords(t));
  ASSERT_TRUE(l.root);
  ASSERT_EQ(l.root->childCount(), 4u);
  int pos = 0, rot = 0;
  for (std::size_t i = 0; i < l.root->childCount(); ++i) {
    auto* r = l.root->child(i);
    ASSERT_EQ(r->dataSize(), 32u);
    float f[8];
    std::memcpy(f, r->data(), 32);
    if (r->typeName() == "pos") {
      ++pos;
      EXPECT_FLOAT_EQ(f[4], 0.0f);
    } else {
      EXPECT_EQ(r->typeName(), "rot");
      ++rot;
      if (f[0] == 10.0f) {
        EXPECT_FLOAT_EQ(f[4], 0.7071f);
      }
    }
    EXPECT_FLOAT_EQ(f[5], 0.0f);
    EXPECT_FLOAT_EQ(f[7], 0.0f);
  }
  EXPECT_EQ(pos, 2);
  EXPECT_EQ(rot, 2);
  EXPECT_TRUE(l.root->findChild("pos1"));
  EXPECT_TRUE(l.root->findChild("rot1"));
}

TEST(UdfEmit, WritesTheSceneAndOneFilePerTour) {
  testsupport::TempDir dir;
  MediaScene s = smallScene();
  s.tours.push_back({2, {{0, 0, 0, 0, 0}}, {{0, 0, 0, 0, 1}}});
  s.tours.push_back({10, {{0, 0, 0, 0, 0}}, {{0, 0, 0, 0, 1}}});
  std::string error;
  ASSERT_TRUE(writeMedia(s, dir.path().string(), error)) << error;
  EXPECT_TRUE(std::filesystem::exists(dir.file("clock.udf")));
  EXPECT_TRUE(std::filesystem::exists(dir.file("c2.cam")));
  EXPECT_TRUE(std::filesystem::exists(dir.file("c10.cam")));
  EXPECT_FALSE(writeMedia(s, (dir.path() / "no" / "such").string(), error));
}

}  // namespace
}  // namespace brassmoor::mediac
