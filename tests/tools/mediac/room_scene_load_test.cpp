// Loads the committed scene file the way the program does, into the engine's scene graph on the
// recording device: every node, mesh, material stage and texture the room needs must come out.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "engine/scene/scene.h"
#include "tests/engine/scene/recording_fixture.h"

namespace {

namespace fs = std::filesystem;
using halcyon::SceneNode;

const fs::path kMedia = fs::path(BRASSMOOR_SOURCE_DIR) / "media";

class RoomSceneLoad : public scenetest::RecordingScene {};

TEST_F(RoomSceneLoad, TheRoomLoadsWithEveryTextureAndItsLightMaps) {
  halcyon::Scene scene;
  ASSERT_TRUE(scene.load(halcyon::FileRef((kMedia / "clock.udf").string())));
  for (const char* name : {"strelka_1big", "strelka_1min", "clock mayatnik", "Clock glass", "Lamp lamp", "Curtain",
                           "FonPlane01", "Picture"}) {
    SceneNode* n = scene.root().findByName(name);
    ASSERT_TRUE(n) << name;
    EXPECT_TRUE(n->getMesh()) << name;
  }
  int meshes = 0, twoStage = 0;
  std::function<void(SceneNode&)> walk = [&](SceneNode& node) {
    if (auto* mesh = node.getMesh()) {
      ++meshes;
      const halcyon::Material& m = mesh->getMaterial();
      // the base texture decoded through the engine's own image loading
      EXPECT_TRUE(m.stages[0].texture) << node.name();
      if (m.stages[1].colorOp != D3DTOP_DISABLE) {
        ++twoStage;
        EXPECT_EQ(m.stages[1].colorOp, static_cast<uint32_t>(D3DTOP_MODULATE2X)) << node.name();
        EXPECT_TRUE(m.stages[1].texture) << node.name();
        EXPECT_EQ(m.stages[1].texCoordIndex & 0xFFFF, 1u) << node.name();
        // the flash's light and the lamp's share load as pictures whose operations
        // the clock scene gives them
        for (int k : {2, 3}) {
          EXPECT_EQ(m.stages[k].colorOp, halcyon::kAutomaticOp) << node.name() << " stage " << k;
          EXPECT_TRUE(m.stages[k].texture) << node.name() << " stage " << k;
        }
        EXPECT_EQ(m.stages[4].colorOp, static_cast<uint32_t>(D3DTOP_DISABLE)) << node.name();
      }
    }
    for (const auto& c : node.children()) walk(*c);
  };
  walk(scene.root());
  EXPECT_GE(meshes, 25);
  EXPECT_GE(twoStage, 15);
  // the outdoor view is lit and has no light map, only its picture in a flash's light;
  // the drapes show both faces
  auto* fon = scene.root().findByName("FonPlane01")->getMesh();
  EXPECT_EQ(fon->getMaterial().stages[1].colorOp, static_cast<uint32_t>(D3DTOP_DISABLE));
  EXPECT_TRUE(fon->getMaterial().stages[2].texture);
  EXPECT_EQ(fon->getMaterial().lit, 1u);
  auto velvet = scene.findMaterial("Velvet");
  ASSERT_TRUE(velvet);
  EXPECT_EQ(velvet->cullMode, static_cast<uint32_t>(D3DCULL_NONE));
}

}  // namespace
