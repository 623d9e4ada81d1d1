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
    manager_.Clear();
    runtime_.stop();
  }
  RecordingDevice* device() { return runtime_.device(); }
  Texture* get(const std::string& name) {
    TextureRequest r;
    r.file = FileRef(name);
    return manager_.Get(r, &paths_);
  }
  static D3DCOLOR texel(const Texture* t, UINT x, UINT y) { return static_cast<MemoryTexture*>(t->D3DTexture())->texel(0, x, y); }

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
  EXPECT_EQ(a->References(), 2);
  EXPECT_EQ(manager_.Count(), 1u);
  EXPECT_EQ(texel(a, 0, 0), 0xFFFF0000u);
  EXPECT_EQ(a->LevelDesc().Width, 8u);
  EXPECT_FALSE(a->HasAlpha());
  TextureRequest keyed;
  keyed.file = FileRef("tex/wood.png");
  keyed.flags = TextureRequest::ColorKey;
  keyed.colorKey = 0xFFFF0000;
  Texture* c = manager_.Get(keyed, &paths_);
  EXPECT_NE(c, a) << "other parameters make another texture";
  EXPECT_TRUE(c->HasAlpha());
  EXPECT_EQ(texel(c, 0, 0), 0u);
  a->Release();
  b->Release();
  EXPECT_EQ(manager_.Count(), 1u);
  c->Release();
  EXPECT_EQ(manager_.Count(), 0u);
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
  EXPECT_EQ(t->Id(), "board");
  EXPECT_EQ(t->ColorKey(), 0xFFFF0010u) << "green 0 and alpha 255";
  ASSERT_EQ(t->Frames().size(), 4u);
  const RECT& r = t->Frames()[0]->Rect();
  EXPECT_EQ(r.left, 2);
  EXPECT_EQ(r.top, 3);
  EXPECT_EQ(r.right, 6);
  EXPECT_EQ(r.bottom, 8);
  EXPECT_EQ(t->Frames()[0]->Delay(), 40) << "a frame without its own delay takes its parent's";
  EXPECT_EQ(t->Frames()[1]->Delay(), 7);
  EXPECT_EQ(t->Frames()[2]->Id(), "cell0");
  EXPECT_EQ(t->Frames()[3]->Rect().left, 4);
  EXPECT_EQ(t->Frames()[0]->D3DTexture(), t->D3DTexture()) << "frames share their parent's texture";
  const auto walk = t->FrameSequence("walk");
  ASSERT_EQ(walk.size(), 2u);
  EXPECT_EQ(walk[0]->Id(), "b");

  TextureRequest frame;
  frame.file = FileRef("tex/board.ts");
  frame.flags = TextureRequest::FrameByName;
  frame.frameName = "a";
  Texture* a = manager_.Get(frame, &paths_);
  EXPECT_EQ(a, t->Frames()[0]);
  EXPECT_EQ(t->References(), 2) << "a frame's reference keeps its texture";
  a->Release();
  t->Release();
  EXPECT_EQ(manager_.Count(), 0u);
}

TEST_F(TextureManagerTest, PicturesGetWholeMipChainsUnlessALevelCountIsGiven) {
  Texture* plain = get("tex/wood.png");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->D3DTexture()->GetLevelCount(), 4u) << "8x8 down to 1x1";
  TextureRequest one;
  one.file = FileRef("tex/wood.png");
  one.flags = TextureRequest::Levels;
  one.levels = 1;
  Texture* single = manager_.Get(one, &paths_);
  ASSERT_NE(single, nullptr);
  EXPECT_NE(single, plain);
  EXPECT_EQ(single->D3DTexture()->GetLevelCount(), 1u);

  dir_.write("tex/two.ts", "FileName = \"wood.png\";\nLevels = 2;\n");
  Texture* two = get("tex/two.ts");
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(two->D3DTexture()->GetLevelCount(), 2u) << "a descriptor's level count is kept";
  TextureRequest empty;
  empty.flags = TextureRequest::Size;
  empty.width = empty.height = 16;
  Texture* blank = manager_.Get(empty, &paths_);
  ASSERT_NE(blank, nullptr);
  EXPECT_EQ(blank->D3DTexture()->GetLevelCount(), 1u) << "its owner fills an empty texture's top level only";
  for (Texture* t : {plain, single, two, blank}) t->Release();
}

TEST_F(TextureManagerTest, SmallerLevelsFollowThePicturesFramesPutIn) {
  std::vector<D3DCOLOR> red(4 * 4, 0xFFFF0000);
  dir_.write("tex/red.png", asText(encodePng(red, 4, 4, false)));
  // An empty 8x8 sheet whose one frame brings a red picture into its left half.
  dir_.write("tex/sheet.ts", "Width = 8; Height = 8;\nSubs = array(object(Id = \"left\", FileName = \"red.png\", "
                             "x1 = 0, y1 = 0, w = 4, h = 8));\n");
  Texture* sheet = get("tex/sheet.ts");
  ASSERT_NE(sheet, nullptr);
  auto* levels = static_cast<MemoryTexture*>(sheet->D3DTexture());
  ASSERT_EQ(levels->GetLevelCount(), 4u);
  EXPECT_EQ(levels->texel(0, 1, 1), 0xFFFF0000u);
  EXPECT_EQ(levels->texel(1, 0, 0), 0xFFFF0000u) << "the level below shows the frame's picture";
  EXPECT_EQ(levels->texel(2, 0, 0) & 0x00FF0000u, 0x00FF0000u);
  EXPECT_EQ(levels->texel(2, 1, 0), 0u) << "and the empty half stays empty";
  sheet->Release();
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
  EXPECT_EQ(manager_.Count(), 0u);
  EXPECT_EQ(device()->liveTextures(), 0);
}

TEST_F(TextureManagerTest, TexturesSurviveDeviceLoss) {
  dir_.write("tex/sheet.ts", "FileName = \"wood.png\"; Subs = array(object(Id = \"f\", x1 = 4, y1 = 4, w = 4, h = 4));");
  Texture* plain = get("tex/wood.png");
  Texture* sheet = get("tex/sheet.ts");
  TextureRequest empty;
  empty.flags = TextureRequest::Size | TextureRequest::Format;
  empty.width = 16;
  empty.height = 4;
  empty.format = D3DFMT_A8R8G8B8;
  Texture* blank = manager_.Get(empty);
  ASSERT_TRUE(plain && sheet && blank);
  EXPECT_EQ(blank->LevelDesc().Width, 16u);
  EXPECT_EQ(device()->liveTextures(), 3);

  device()->simulateLoss(1);
  EXPECT_TRUE(app_->TestDevice());
  EXPECT_TRUE(app_->TestDevice());
  EXPECT_EQ(device()->count("Reset"), 1u);
  ASSERT_NE(plain->D3DTexture(), nullptr);
  EXPECT_EQ(texel(plain, 0, 0), 0xFFFF0000u) << "made again from its file";
  EXPECT_EQ(sheet->Frames()[0]->D3DTexture(), sheet->D3DTexture()) << "frames follow their parent";
  EXPECT_EQ(blank->LevelDesc().Width, 16u);
  EXPECT_EQ(device()->liveTextures(), 3);

  // Between invalidation and restore the device textures are gone.
  app_->InvalidateDeviceObjects();
  EXPECT_EQ(device()->liveTextures(), 0);
  EXPECT_EQ(plain->D3DTexture(), nullptr);
  EXPECT_TRUE(app_->RestoreDeviceObjects());
  EXPECT_EQ(device()->liveTextures(), 3);
  plain->Release();
  sheet->Release();
  blank->Release();
}

TEST_F(TextureManagerTest, ALostTextureIsReadAgainFromItsFileAndOneWithoutItFailsTheRestore) {
  Texture* plain = get("tex/wood.png");
  ASSERT_NE(plain, nullptr);
  // The picture changes on disk: a texture that kept its bytes would come back as it was.
  std::vector<D3DCOLOR> green(8 * 8, 0xFF00FF00);
  dir_.write("tex/wood.png", asText(encodePng(green, 8, 8, false)));
  app_->InvalidateDeviceObjects();
  EXPECT_TRUE(app_->RestoreDeviceObjects());
  EXPECT_EQ(texel(plain, 0, 0), 0xFF00FF00u);

  std::filesystem::remove(dir_.file("tex/wood.png"));
  app_->InvalidateDeviceObjects();
  EXPECT_FALSE(app_->RestoreDeviceObjects());
  EXPECT_EQ(plain->D3DTexture(), nullptr);
  plain->Release();
}

TEST_F(TextureManagerTest, TheApplicationTakesTheEnginesTexturesWithIt) {
  TextureRequest r;
  r.file = FileRef("tex/wood.png");
  ASSERT_NE(textureManager().Get(r, &paths_), nullptr);
  EXPECT_EQ(device()->liveTextures(), 1);
  runtime_.stop();
  EXPECT_EQ(textureManager().Count(), 0u);
}

TEST_F(TextureManagerTest, LookupOnlyAndAlwaysNew) {
  TextureRequest r;
  r.file = FileRef("tex/wood.png");
  r.onlyLookUp = true;
  EXPECT_EQ(manager_.Get(r, &paths_), nullptr);
  r.onlyLookUp = false;
  Texture* first = manager_.Get(r, &paths_);
  r.alwaysCreateNew = true;
  Texture* second = manager_.Get(r, &paths_);
  EXPECT_NE(first, second);
  EXPECT_EQ(manager_.Count(), 2u);
  TextureRequest carried;
  carried.flags = TextureRequest::CarriesTexture;
  carried.texture = first;
  EXPECT_EQ(manager_.Get(carried), first);
  EXPECT_EQ(first->References(), 2);
  first->Release();
  first->Release();
  second->Release();
}

}  // namespace
