#include "engine/gui/text_box.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/device/state_cache.h"
#include "engine/gui/window_manager.h"
#include "platform/d3d9/recording.h"
#include "tests/support/recording_device.h"
#include "tests/support/temp_dir.h"

namespace {

using halcyon::FileRef;
using halcyon::FontStyle;
using halcyon::TextBox;

// A charset texture backed by a texture of the recording device.
class DeviceTexture : public halcyon::CharsetTexture {
 public:
  DeviceTexture(IDirect3DDevice9* device, int32_t w, int32_t h) : w_(w), h_(h) {
    device->CreateTexture(static_cast<UINT>(w), static_cast<UINT>(h), 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture_,
                          nullptr);
  }
  ~DeviceTexture() override { safeRelease(texture_); }
  int32_t width() const override { return w_; }
  int32_t height() const override { return h_; }
  int32_t originX() const override { return 0; }
  int32_t originY() const override { return 0; }
  IDirect3DBaseTexture9* deviceTexture() const override { return texture_; }

 private:
  int32_t w_, h_;
  IDirect3DTexture9* texture_ = nullptr;
};

class DeviceTextures : public halcyon::CharsetTextureSource {
 public:
  explicit DeviceTextures(IDirect3DDevice9* device) : device_(device) {}
  std::unique_ptr<halcyon::CharsetTexture> load(const halcyon::CharsetTextureRequest& request,
                                                const halcyon::SearchPaths& paths) override {
    FileRef f = request.file;
    if (!paths.resolve(f)) return nullptr;
    return std::make_unique<DeviceTexture>(device_, 256, 256);
  }

 private:
  IDirect3DDevice9* device_;
};

class TextBoxTest : public testing::Test {
 protected:
  void SetUp() override {
    d3d = new RecordingDirect3D9();
    device = testsupport::createRecordingDevice(*d3d, 1024, 768);
    ASSERT_NE(device, nullptr);
    cache.setDevice(device);
    textures = std::make_unique<DeviceTextures>(device);
    fonts = std::make_unique<halcyon::FontManager>(textures.get());

    paths.addLocation(FileRef(dir.path().string()));
    dir.write("digits.png", "png");
    dir.write("letters.png", "png");
    dir.write("big.fs", "Styles[0].Size = 64; Styles[0].Charsets = array(\"digits.css\", \"letters.css\");");
    // Digits 0..9 and the colon on one texture, 40 wide; "a", "m", "p" and the blank on another.
    dir.write("digits.css",
              "Name = \"digits.png\"; CharsPerLine = 4; CharWidth = 64; CharHeight = 64; StartChar = 48;"
              "EndChar = 58; Sizes[\"0\"] = 40; Sizes[\"1\"] = 40; Sizes[\"2\"] = 40; Sizes[\":\"] = 20;");
    dir.write("letters.css",
              "Name = \"letters.png\"; CharsPerLine = 4; CharWidth = 64; CharHeight = 64; StartChar = 32;"
              "EndChar = 112; Sizes[\" \"] = 16; Sizes[\"a\"] = 36; Sizes[\"m\"] = 50; Sizes[\"p\"] = 36;");
    ASSERT_TRUE(fonts->loadFont(FileRef("big.fs"), &paths));
    style.size = 64;
  }
  void TearDown() override {
    fonts.reset();
    safeRelease(device);
    safeRelease(d3d);
  }

  testsupport::TempDir dir;
  halcyon::SearchPaths paths;
  RecordingDirect3D9* d3d = nullptr;
  RecordingDevice* device = nullptr;
  halcyon::StateCache cache;
  std::unique_ptr<DeviceTextures> textures;
  std::unique_ptr<halcyon::FontManager> fonts;
  FontStyle style;
};

TEST_F(TextBoxTest, TimeTextMeasuresAndLaysOutAtTheBottomRightCorner) {
  style.scale = 1.25f;  // a 1280-pixel-wide client area
  TextBox box(*fonts, style);
  box.setText("12:00:00 pm");
  const halcyon::TextExtent extent = box.textExtent();
  // Six digits of 50, two colons of 25, the blank 20, "p" 45, "m" 62.
  EXPECT_EQ(extent.width, 6 * 50 + 2 * 25 + 20 + 45 + 62);
  EXPECT_EQ(extent.height, 80);
  box.place(1280 - extent.width, 720 - extent.height);
  const auto& quads = box.layout();
  ASSERT_EQ(quads.size(), 11u);
  EXPECT_FLOAT_EQ(quads.front().x0, static_cast<float>(1280 - extent.width));
  EXPECT_FLOAT_EQ(quads.back().x1, 1280.0f);
  EXPECT_FLOAT_EQ(quads.back().y1, 720.0f);
  EXPECT_FALSE(box.needsRedraw());
  // The same text at the same place again changes nothing; a new place is laid out anew.
  box.setText("12:00:00 pm");
  box.place(1280 - extent.width, 720 - extent.height);
  EXPECT_FALSE(box.needsRedraw());
  box.place(0, 0);
  EXPECT_TRUE(box.needsRedraw());
  EXPECT_FLOAT_EQ(box.layout().front().x0, 0.0f);
}

TEST_F(TextBoxTest, DrawsTexturedTrianglesPerTextureAndRestoresTheStates) {
  cache.setRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  cache.setRenderState(D3DRS_ZENABLE, TRUE);
  TextBox box(*fonts, style);
  box.place(10, 20);
  box.setText("12 pm");
  device->clearCalls();
  ASSERT_TRUE(box.render(cache));
  const auto& draws = device->draws();
  ASSERT_EQ(draws.size(), 2u);  // "12" from one texture, " pm" from the other
  const RecordedDraw& digits = draws[0];
  EXPECT_EQ(digits.call, "DrawPrimitiveUP");
  EXPECT_EQ(digits.primitiveCount, 4u);
  EXPECT_EQ(digits.fvf, D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
  EXPECT_EQ(digits.renderStates[D3DRS_ALPHABLENDENABLE], static_cast<DWORD>(TRUE));
  EXPECT_EQ(digits.renderStates[D3DRS_ZENABLE], static_cast<DWORD>(FALSE));
  EXPECT_EQ(digits.renderStates[D3DRS_SRCBLEND], static_cast<DWORD>(D3DBLEND_SRCALPHA));
  EXPECT_EQ(digits.renderStates[D3DRS_DESTBLEND], static_cast<DWORD>(D3DBLEND_INVSRCALPHA));
  EXPECT_EQ(digits.stageStates[0][D3DTSS_COLOROP], static_cast<DWORD>(D3DTOP_MODULATE));
  EXPECT_EQ(digits.stageStates[0][D3DTSS_ALPHAARG1], D3DTA_TEXTURE);
  EXPECT_EQ(digits.textures[0], fonts->styles()[0].charsets[0]->texture->deviceTexture());
  EXPECT_EQ(draws[1].textures[0], fonts->styles()[0].charsets[1]->texture->deviceTexture());
  EXPECT_EQ(draws[1].primitiveCount, 6u);
  // First glyph "1": index 1 of the digit grid, 40 x 64 texels at (64, 0), drawn at (10, 20).
  EXPECT_FLOAT_EQ(digits.position(0).x, 9.5f);
  EXPECT_FLOAT_EQ(digits.position(0).y, 19.5f);
  EXPECT_FLOAT_EQ(digits.position(5).x, 49.5f);
  EXPECT_FLOAT_EQ(digits.position(5).y, 83.5f);
  EXPECT_EQ(digits.diffuse(0), 0xFFFFFFFFu);
  float uv[2];
  std::memcpy(uv, digits.vertices.data() + 5 * digits.stride + 20, sizeof uv);
  EXPECT_FLOAT_EQ(uv[0], 104.0f / 256.0f);
  EXPECT_FLOAT_EQ(uv[1], 64.0f / 256.0f);
  // The scene finds its states as it left them.
  DWORD v = 0;
  ASSERT_TRUE(cache.getRenderState(D3DRS_ALPHABLENDENABLE, &v));
  EXPECT_EQ(v, static_cast<DWORD>(FALSE));
  ASSERT_TRUE(cache.getRenderState(D3DRS_ZENABLE, &v));
  EXPECT_EQ(v, static_cast<DWORD>(TRUE));
  IDirect3DBaseTexture9* bound = nullptr;
  ASSERT_TRUE(cache.getTexture(0, &bound));
  EXPECT_EQ(bound, nullptr);
}

TEST_F(TextBoxTest, ColourBackgroundAndCharactersWithoutGlyphs) {
  style.colour = {0.5f, 1.0f, 0.0f, 0.0f};
  style.background = {1.0f, 0.0f, 0.0f, 1.0f};
  TextBox box(*fonts, style);
  box.resize(100, 50);
  box.setText("zz1");  // "z" has no charset: nothing drawn, no room taken
  EXPECT_EQ(box.textExtent().width, 40);
  box.setDrawBackground(true);
  device->clearCalls();
  ASSERT_TRUE(box.render(cache));
  ASSERT_EQ(device->draws().size(), 2u);
  EXPECT_EQ(device->draws()[0].diffuse(0), 0xFF0000FFu);
  EXPECT_EQ(device->draws()[0].stageStates[0][D3DTSS_COLOROP], static_cast<DWORD>(D3DTOP_SELECTARG1));
  EXPECT_FLOAT_EQ(device->draws()[1].position(0).x, -0.5f);
  EXPECT_EQ(device->draws()[1].diffuse(0), 0x80FF0000u);
}

TEST_F(TextBoxTest, NothingToDrawOrNoDevice) {
  TextBox box(*fonts, style);
  device->clearCalls();
  EXPECT_TRUE(box.render(cache));
  box.setText("zzz");
  EXPECT_TRUE(box.render(cache));
  EXPECT_TRUE(device->draws().empty());
  halcyon::StateCache none;
  EXPECT_FALSE(box.render(none));
}

TEST_F(TextBoxTest, WindowManagerDrawsVisibleWindowsInOrderAndPassesEvents) {
  struct Probe : halcyon::Window {
    explicit Probe(std::vector<std::string>& log, std::string n) : log(log), name(std::move(n)) {}
    bool render(halcyon::StateCache&) override {
      log.push_back("draw " + name);
      return name != "bad";
    }
    void onInputEvent(const halcyon::InputEvent& e) override { log.push_back(name + " " + std::to_string(e.kind)); }
    std::vector<std::string>& log;
    std::string name;
  };
  std::vector<std::string> log;
  Probe a(log, "a"), b(log, "bad"), c(log, "c");
  halcyon::WindowManager windows;
  windows.add(&a);
  windows.add(&b);
  windows.add(&c);
  windows.add(&a);  // once only
  c.setVisible(false);
  EXPECT_FALSE(windows.render(cache));
  halcyon::InputEvent e;
  e.kind = halcyon::kCharacter;
  windows.onInputEvent(e);
  EXPECT_THAT(log, testing::ElementsAre("draw a", "draw bad", "a 10", "bad 10"));
  windows.remove(&b);
  log.clear();
  EXPECT_TRUE(windows.render(cache));
  EXPECT_THAT(log, testing::ElementsAre("draw a"));
}

}  // namespace
