// Where a scene's textures come from when the media lie in the archive, in a loose media
// folder, or both, and what a stray file in the working folder does (nothing).
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/device/texture.h"
#include "engine/fs/archive_writer.h"
#include "engine/fs/stored_archive.h"
#include "engine/scene/mesh.h"
#include "engine/scene/scene.h"
#include "platform/d3d9/memory_resources.h"
#include "tests/engine/scene/recording_fixture.h"
#include "tests/engine/scene/scene_file.h"
#include "tests/platform/d3dx/image_writers.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace scenetest;

constexpr D3DCOLOR kArchiveWood = 0xFF806040, kLooseWood = 0xFF2040C0, kStrayWood = 0xFFFF0000;

std::string png(D3DCOLOR colour) {
  const auto bytes = encodePng(std::vector<D3DCOLOR>(4, colour), 2, 2, false);
  return std::string(bytes.begin(), bytes.end());
}

// One triangle whose material names "wood.png".
std::string sceneBytes() {
  Rec wood = with(structRec("Wood", "Material"),
                  with(structRec("Textures", "Map"), with(structRec("0", "Diffuse"), textRec("FileName", "wood.png"))));
  Rec floor = nodeRec("Floor", "Mesh", halcyon::Matrix::identity());
  floor->addChild(intRec("FVF", 0x102));
  floor->addChild(intRec("IndexSize", 2));
  floor->addChild(intRec("NumVerts", 3));
  floor->addChild(intRec("NumIndexes", 3));
  floor->addChild(rawRec("Verts", std::vector<float>{0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1}));
  floor->addChild(rawRec("Indexes", std::vector<uint16_t>{0, 1, 2}));
  floor->addChild(textRec("MaterialName", "Wood"));
  const auto bytes = fileBytes(*with(structRec("_root", "_roottype"),
                                     with(structRec("Materials", "Material"), std::move(wood)),
                                     with(structRec("Children", "Node"), std::move(floor))));
  return std::string(bytes.begin(), bytes.end());
}

class SceneMedia : public RecordingScene {
 protected:
  void SetUp() override {
    RecordingScene::SetUp();
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    const std::string scene = sceneBytes(), wood = png(kArchiveWood);
    halcyon::ArchiveWriter writer;
    writer.addDirectory("Media", 0);
    writer.addFile("Media\\room.udf", reinterpret_cast<const uint8_t*>(scene.data()), scene.size(), 0);
    writer.addFile("Media\\Wood.PNG", reinterpret_cast<const uint8_t*>(wood.data()), wood.size(), 0);
    archiveBytes_ = writer.finish();
    ASSERT_TRUE(archive_.attach(halcyon::FileRef(archiveBytes_.data(), static_cast<uint32_t>(archiveBytes_.size()),
                                                 true)));
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    RecordingScene::TearDown();
  }

  // The colour the floor's texture shows after loading the scene as the saver names it, or 0
  // when the floor has no texture.
  D3DCOLOR floorColour() {
    D3DCOLOR colour = 0;
    {
      halcyon::Scene scene;
      halcyon::FileRef file(&archive_, "Media/room.udf");
      file.sources = halcyon::Disk | halcyon::Archive;
      halcyon::SceneNode* floor = scene.load(file) ? scene.root().findByName("Floor") : nullptr;
      const halcyon::Texture* texture = floor && floor->getMesh() ? floor->getMesh()->getMaterial().stages[0].texture
                                                                  : nullptr;
      if (texture && texture->d3dTexture()) colour = static_cast<MemoryTexture*>(texture->d3dTexture())->texel(0, 0, 0);
    }
    halcyon::textureManager().clear();
    return colour;
  }

  testsupport::TempDir dir_;
  std::filesystem::path previous_;
  std::vector<uint8_t> archiveBytes_;
  halcyon::StoredArchive archive_;
};

TEST_F(SceneMedia, LooseFilesOverrideTheArchiveFileByFileAndStrayFilesChangeNothing) {
  EXPECT_EQ(floorColour(), kArchiveWood);

  // A stray image of the texture's name in the working folder (the user's home under a host).
  dir_.write("wood.png", png(kStrayWood));
  EXPECT_EQ(floorColour(), kArchiveWood);

  // The scene alone in a loose media folder still finds the archive's texture.
  dir_.write("Media/room.udf", sceneBytes());
  EXPECT_EQ(floorColour(), kArchiveWood);

  // A loose texture, spelt in other letters, replaces the archive's whether the scene comes
  // from the loose folder or from the archive.
  dir_.write("Media/WOOD.png", png(kLooseWood));
  EXPECT_EQ(floorColour(), kLooseWood);
  std::filesystem::remove(dir_.path() / "Media/room.udf");
  EXPECT_EQ(floorColour(), kLooseWood);
}

}  // namespace
