#include "engine/text/managed_textures.h"

#include <gtest/gtest.h>

#include "engine/device/texture.h"
#include "tests/support/recording_application.h"

namespace {

using namespace halcyon;

class ManagedTexturesTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(runtime.start()); }
  void TearDown() override {
    manager.clear();
    runtime.stop();
  }
  testsupport::RecordingApplication runtime;
  TextureManager manager;
};

TEST_F(ManagedTexturesTest, ShippedFontsShareTheirTextureThroughTheManager) {
  ManagedCharsetTextures textures(manager);
  {
    FontManager fonts(&textures);
    fonts.searchPaths().addLocation(FileRef(BRASSMOOR_MEDIA_DIR));
    ASSERT_TRUE(fonts.loadFont(FileRef("/64font.fs")));
    ASSERT_TRUE(fonts.loadFont(FileRef("/64font.fs")));
    ASSERT_EQ(manager.count(), 1u);
    const Charset& a = *fonts.styles()[0].charsets[0];
    const Charset& b = *fonts.styles()[1].charsets[0];
    ASSERT_NE(a.texture, nullptr);
    EXPECT_EQ(a.texture->deviceTexture(), b.texture->deviceTexture());
    ASSERT_NE(a.texture->deviceTexture(), nullptr);
    EXPECT_EQ(a.texture->deviceTexture()->GetLevelCount(), 1u) << "overlays sample the top level alone";
    EXPECT_EQ(a.texture->width(), 256);
    EXPECT_EQ(a.texture->height(), 256);
    EXPECT_EQ(a.glyphRect('0'), b.glyphRect('0'));
    EXPECT_GT(a.glyphRect('0').u1, 0.0f);
    EXPECT_LE(a.glyphRect('p').v1, 1.0f);
    // Shipped with the format named and no colour key: both asked for as given.
    TextureRequest lookUp;
    lookUp.file = FileRef("64font.png");
    lookUp.flags = TextureRequest::Format | TextureRequest::ColorKey | TextureRequest::Levels;
    lookUp.levels = 1;
    lookUp.format = D3DFMT_A8R8G8B8;
    lookUp.colorKey = 0;
    lookUp.onlyLookUp = true;
    SearchPaths media;
    media.addLocation(FileRef(BRASSMOOR_MEDIA_DIR));
    Texture* found = manager.get(lookUp, &media);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->references(), 3);
    found->release();
  }
  // The fonts gave their references back.
  TextureRequest lookUp;
  lookUp.file = FileRef("64font.png");
  lookUp.onlyLookUp = true;
  SearchPaths media;
  media.addLocation(FileRef(BRASSMOOR_MEDIA_DIR));
  Texture* left = manager.get(lookUp, &media);
  if (left != nullptr) {
    EXPECT_EQ(left->references(), 1);
    left->release();
  }
}

TEST_F(ManagedTexturesTest, MissingImageIsNoTexture) {
  ManagedCharsetTextures textures(manager);
  CharsetTextureRequest request;
  request.file.name = "absent.png";
  request.file.sources = Disk | Archive;
  SearchPaths none;
  EXPECT_EQ(textures.load(request, none), nullptr);
}

}  // namespace
