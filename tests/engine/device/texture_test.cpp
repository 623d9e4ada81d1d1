#include <gtest/gtest.h>

#include "engine/device/application.h"
#include "engine/device/texture.h"
#include "platform/d3d9/memory_resources.h"
#include "platform/d3d9/recording.h"
#include "tests/platform/d3dx/image_writers.h"
#include "tests/support/recording_application.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace halcyon;

std::string asText(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

class TextureManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(runtime_.start());
    app_ = &runtime_.app();
    std::filesystem::create_directories(dir_.file("tex/sub"));
    std::vector<D3DCOLOR> pixels(8 * 8, 0xFF336699);
    pixels[0] = 0xFFFF0000;
    dir_.write("tex/wood.png", asText(encodePng(pixels, 8, 8, false)));
    paths_.addLocation(FileRef(dir_.path().string()));
  }
  void TearDown() override {
    manager_.clear();
    runtime_.stop();
  }
  RecordingDevice* device() { return runtime_.device(); }
  Texture* get(const std::string& name) {
    TextureRequest r;
    r.file = FileRef(name);
    return manager_.get(r, &paths_);
  }
  static D3DCOLOR texel(const Texture* t, UINT x, UINT y) {
    return static_cast<MemoryTexture*>(t->d3dTexture())->texel(0, x, y);
  }

  testsupport::TempDir dir_;
  SearchPaths paths_;
  testsupport::RecordingApplication runtime_;
  Application* app_ = nullptr;
  TextureManager manager_;
};

TEST_F(TextureManagerTest, NamesOfOneFileShareOneTexture) {
  Texture* a = get("tex/wood.png");
  Texture* b = get("tex/sub/../wood.png");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->references(), 2);
  EXPECT_EQ(manager_.count(), 1u);
  EXPECT_EQ(texel(a, 0, 0), 0xFFFF0000u);
  EXPECT_EQ(a->levelDesc().Width, 8u);
  EXPECT_FALSE(a->hasAlpha());
  TextureRequest keyed;
  keyed.file = FileRef("tex/wood.png");
  keyed.flags = TextureRequest::ColorKey;
  keyed.colorKey = 0xFFFF0000;
  Texture* c = manager_.get(keyed, &paths_);
  EXPECT_NE(c, a) << "other parameters make another texture";
  EXPECT_TRUE(c->hasAlpha());
  EXPECT_EQ(texel(c, 0, 0), 0u);
  a->release();
  b->release();
  EXPECT_EQ(manager_.count(), 1u);
  c->release();
  EXPECT_EQ(manager_.count(), 0u);
  EXPECT_EQ(device()->liveTextures(), 0);
}

TEST_F(TextureManagerTest, DescriptorRectanglesColourKeyAndFrames) {
  dir_.write("tex/board.ts",
             "FileName = \"wood.png\";\n"
             "Id = \"board\";\n"
             "ColorKey = object(r = 255, b = 16);\n"
             "Delay = 40;\n"
             "Subs = array(object(Id = \"a\", x1 = 2, y1 = 3, w = 4, h = 5),\n"
             "             object(Id = \"b\", x1 = 0, y1 = 0, x2 = 2, y2 = 2, Delay = 7),\n"
             "             object(Id = \"cell\", Width = 4, Height = 8));\n"
             "Animation = object(walk = array(\"b\", \"a\", \"missing\"));\n");
  Texture* t = get("tex/board.ts");
  ASSERT_NE(t, nullptr) << "a .ts file is read as a descriptor";
  EXPECT_EQ(t->id(), "board");
  EXPECT_EQ(t->colorKey(), 0xFFFF0010u) << "green 0 and alpha 255";
  ASSERT_EQ(t->frames().size(), 4u);
  const RECT& r = t->frames()[0]->rect();
  EXPECT_EQ(r.left, 2);
  EXPECT_EQ(r.top, 3);
  EXPECT_EQ(r.right, 6);
  EXPECT_EQ(r.bottom, 8);
  EXPECT_EQ(t->frames()[0]->delay(), 40) << "a frame without its own delay takes its parent's";
  EXPECT_EQ(t->frames()[1]->delay(), 7);
  EXPECT_EQ(t->frames()[2]->id(), "cell0");
  EXPECT_EQ(t->frames()[3]->rect().left, 4);
  EXPECT_EQ(t->frames()[0]->d3dTexture(), t->d3dTexture()) << "frames share their parent's texture";
  const auto walk = t->frameSequence("walk");
  ASSERT_EQ(walk.size(), 2u);
  EXPECT_EQ(walk[0]->id(), "b");

  TextureRequest frame;
  frame.file = FileRef("tex/board.ts");
  frame.flags = TextureRequest::FrameByName;
  frame.frameName = "a";
  Texture* a = manager_.get(frame, &paths_);
  EXPECT_EQ(a, t->frames()[0]);
  EXPECT_EQ(t->references(), 2) << "a frame's reference keeps its texture";
  a->release();
  t->release();
  EXPECT_EQ(manager_.count(), 0u);
}

TEST_F(TextureManagerTest, PicturesGetWholeMipChainsUnlessALevelCountIsGiven) {
  Texture* plain = get("tex/wood.png");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->d3dTexture()->GetLevelCount(), 4u) << "8x8 down to 1x1";
  TextureRequest one;
  one.file = FileRef("tex/wood.png");
  one.flags = TextureRequest::Levels;
  one.levels = 1;
  Texture* single = manager_.get(one, &paths_);
  ASSERT_NE(single, nullptr);
  EXPECT_NE(single, plain);
  EXPECT_EQ(single->d3dTexture()->GetLevelCount(), 1u);

  dir_.write("tex/two.ts", "FileName = \"wood.png\";\nLevels = 2;\n");
  Texture* two = get("tex/two.ts");
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(two->d3dTexture()->GetLevelCount(), 2u) << "a descriptor's level count is kept";
  TextureRequest empty;
  empty.flags = TextureRequest::Size;
  empty.width = empty.height = 16;
  Texture* blank = manager_.get(empty, &paths_);
  ASSERT_NE(blank, nullptr);
  EXPECT_EQ(blank->d3dTexture()->GetLevelCount(), 1u) << "its owner fills an empty texture's top level only";
  for (Texture* t : {plain, single, two, blank}) t->release();
}

TEST_F(TextureManagerTest, SmallerLevelsFollowThePicturesFramesPutIn) {
  std::vector<D3DCOLOR> red(4 * 4, 0xFFFF0000);
  dir_.write("tex/red.png", asText(encodePng(red, 4, 4, false)));
  // An empty 8x8 sheet whose one frame brings a red picture into its left half.
  dir_.write("tex/sheet.ts",
             "Width = 8; Height = 8;\nSubs = array(object(Id = \"left\", FileName = \"red.png\", "
             "x1 = 0, y1 = 0, w = 4, h = 8));\n");
  Texture* sheet = get("tex/sheet.ts");
  ASSERT_NE(sheet, nullptr);
  auto* levels = static_cast<MemoryTexture*>(sheet->d3dTexture());
  ASSERT_EQ(levels->GetLevelCount(), 4u);
  EXPECT_EQ(levels->texel(0, 1, 1), 0xFFFF0000u);
  EXPECT_EQ(levels->texel(1, 0, 0), 0xFFFF0000u) << "the level below shows the frame's picture";
  EXPECT_EQ(levels->texel(2, 0, 0) & 0x00FF0000u, 0x00FF0000u);
  EXPECT_EQ(levels->texel(2, 1, 0), 0u) << "and the empty half stays empty";
  sheet->release();
}

TEST_F(TextureManagerTest, CorruptImagesGiveNoTexture) {
  std::vector<D3DCOLOR> pixels(16 * 16, 0xFF808080);
  auto jpeg = encodeJpeg(pixels, 16, 16);
  jpeg.resize(jpeg.size() / 2);
  dir_.write("tex/broken.jpg", asText(jpeg));
  auto png = encodePng(pixels, 16, 16, false);
  for (size_t i = 40; i < png.size(); i += 3) png[i] ^= 0x33;
  dir_.write("tex/broken.png", asText(png));
  dir_.write("tex/broken.ts", "FileName = \"broken.png\"; Subs = array(object(x1 = 0, y1 = 0, w = 2, h = 2));");
  EXPECT_EQ(get("tex/broken.jpg"), nullptr);
  EXPECT_EQ(get("tex/broken.png"), nullptr);
  EXPECT_EQ(get("tex/broken.ts"), nullptr) << "a descriptor with an unreadable image fails whole";
  EXPECT_EQ(get("tex/absent.png"), nullptr);
  EXPECT_EQ(manager_.count(), 0u);
  EXPECT_EQ(device()->liveTextures(), 0);
}

TEST_F(TextureManagerTest, TexturesSurviveDeviceLoss) {
  dir_.write("tex/sheet.ts",
             "FileName = \"wood.png\"; Subs = array(object(Id = \"f\", x1 = 4, y1 = 4, w = 4, h = 4));");
  Texture* plain = get("tex/wood.png");
  Texture* sheet = get("tex/sheet.ts");
  TextureRequest empty;
  empty.flags = TextureRequest::Size | TextureRequest::Format;
  empty.width = 16;
  empty.height = 4;
  empty.format = D3DFMT_A8R8G8B8;
  Texture* blank = manager_.get(empty);
  ASSERT_TRUE(plain && sheet && blank);
  EXPECT_EQ(blank->levelDesc().Width, 16u);
  EXPECT_EQ(device()->liveTextures(), 3);

  device()->simulateLoss(1);
  EXPECT_TRUE(app_->testDevice());
  EXPECT_TRUE(app_->testDevice());
  EXPECT_EQ(device()->count("Reset"), 1u);
  ASSERT_NE(plain->d3dTexture(), nullptr);
  EXPECT_EQ(texel(plain, 0, 0), 0xFFFF0000u) << "made again from its file";
  EXPECT_EQ(sheet->frames()[0]->d3dTexture(), sheet->d3dTexture()) << "frames follow their parent";
  EXPECT_EQ(blank->levelDesc().Width, 16u);
  EXPECT_EQ(device()->liveTextures(), 3);

  // Between invalidation and restore the device textures are gone.
  app_->invalidateDeviceObjects();
  EXPECT_EQ(device()->liveTextures(), 0);
  EXPECT_EQ(plain->d3dTexture(), nullptr);
  EXPECT_TRUE(app_->restoreDeviceObjects());
  EXPECT_EQ(device()->liveTextures(), 3);
  plain->release();
  sheet->release();
  blank->release();
}

TEST_F(TextureManagerTest, ALostTextureIsReadAgainFromItsFileAndOneWithoutItFailsTheRestore) {
  Texture* plain = get("tex/wood.png");
  ASSERT_NE(plain, nullptr);
  // The picture changes on disk: a texture that kept its bytes would come back as it was.
  std::vector<D3DCOLOR> green(8 * 8, 0xFF00FF00);
  dir_.write("tex/wood.png", asText(encodePng(green, 8, 8, false)));
  app_->invalidateDeviceObjects();
  EXPECT_TRUE(app_->restoreDeviceObjects());
  EXPECT_EQ(texel(plain, 0, 0), 0xFF00FF00u);

  std::filesystem::remove(dir_.file("tex/wood.png"));
  app_->invalidateDeviceObjects();
  EXPECT_FALSE(app_->restoreDeviceObjects());
  EXPECT_EQ(plain->d3dTexture(), nullptr);
  plain->release();
}

TEST_F(TextureManagerTest, TheApplicationTakesTheEnginesTexturesWithIt) {
  TextureRequest r;
  r.file = FileRef("tex/wood.png");
  ASSERT_NE(textureManager().get(r, &paths_), nullptr);
  EXPECT_EQ(device()->liveTextures(), 1);
  runtime_.stop();
  EXPECT_EQ(textureManager().count(), 0u);
}

TEST_F(TextureManagerTest, LookupOnlyAndAlwaysNew) {
  TextureRequest r;
  r.file = FileRef("tex/wood.png");
  r.onlyLookUp = true;
  EXPECT_EQ(manager_.get(r, &paths_), nullptr);
  r.onlyLookUp = false;
  Texture* first = manager_.get(r, &paths_);
  r.alwaysCreateNew = true;
  Texture* second = manager_.get(r, &paths_);
  EXPECT_NE(first, second);
  EXPECT_EQ(manager_.count(), 2u);
  TextureRequest carried;
  carried.flags = TextureRequest::CarriesTexture;
  carried.texture = first;
  EXPECT_EQ(manager_.get(carried), first);
  EXPECT_EQ(first->references(), 2);
  first->release();
  first->release();
  second->release();
}

}  // namespace
