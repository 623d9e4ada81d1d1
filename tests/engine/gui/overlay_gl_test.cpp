// The time overlay as the program draws it: the shipped clock-figure font, its texture from
// the texture manager, the application's OpenGL device and the engine's state cache; checked
// by its pixels. Set BRASSMOOR_FRAME_DIR to keep the frame as a picture (PPM) in that folder.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <vector>

#include "engine/device/state_cache.h"
#include "engine/gui/text_box.h"
#include "engine/device/application.h"
#include "engine/device/texture.h"
#include "engine/gui/window_manager.h"
#include "engine/text/managed_textures.h"
#include "tests/platform/d3d9/gl_window.h"
#include "tests/support/sdl_engine_window.h"

namespace {

constexpr UINT kWidth = 1024, kHeight = 768;

class OverlayGlTest : public testing::Test {
 protected:
  void SetUp() override {
    window = openGLWindow("overlay", kWidth, kHeight);
    ASSERT_NE(window, nullptr) << SDL_GetError();
    engineWindow = std::make_unique<testsupport::SdlEngineWindow>(window, int32_t(kWidth), int32_t(kHeight));
    app = std::make_unique<halcyon::Application>();
    ASSERT_TRUE(app->create(nullptr, engineWindow.get()));
    ASSERT_TRUE(app->setMode(false));
    device = app->device();
    ASSERT_NE(device, nullptr);
  }
  void TearDown() override {
    app.reset();
    engineWindow.reset();
    closeGLWindow(window);
  }

  std::vector<D3DCOLOR> backBuffer() { return readBackBuffer(device, kWidth, kHeight); }

  SDL_Window* window = nullptr;
  std::unique_ptr<testsupport::SdlEngineWindow> engineWindow;
  std::unique_ptr<halcyon::Application> app;
  IDirect3DDevice9* device = nullptr;
};

bool lit(D3DCOLOR c) { return ((c >> 16) & 0xFF) > 120 && ((c >> 8) & 0xFF) > 90; }

TEST_F(OverlayGlTest, TimeTextSitsInTheBottomRightCorner) {
  halcyon::TextureManager manager;
  halcyon::ManagedCharsetTextures textures(manager);
  halcyon::FontManager fonts(&textures);
  fonts.searchPaths().addLocation(halcyon::FileRef(BRASSMOOR_MEDIA_DIR));
  ASSERT_TRUE(fonts.loadFont(halcyon::FileRef("/sylfaen.fs")));
  ASSERT_TRUE(fonts.loadFont(halcyon::FileRef("/64font.fs")));

  halcyon::FontStyle style;
  style.size = 64;
  style.scale = static_cast<float>(kWidth) / 1024.0f;
  halcyon::TextBox time(fonts, style);
  time.resize(static_cast<int32_t>(350 * style.scale), static_cast<int32_t>(74 * style.scale));
  time.setText("12:00:00 pm");
  const halcyon::TextExtent extent = time.textExtent();
  time.place(static_cast<int32_t>(kWidth) - extent.width, static_cast<int32_t>(kHeight) - extent.height);
  halcyon::WindowManager windows;
  windows.add(&time);

  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(18, 22, 40), 1.0f, 0), D3D_OK);
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
  EXPECT_TRUE(windows.render(halcyon::stateCache()));
  device->EndScene();
  const std::vector<D3DCOLOR> frame = backBuffer();
  device->Present(nullptr, nullptr, nullptr, nullptr);

  // Text pixels lie inside the box at the corner and nowhere else.
  int inside = 0, outside = 0;
  for (UINT y = 0; y < kHeight; ++y) {
    for (UINT x = 0; x < kWidth; ++x) {
      if (!lit(frame[y * kWidth + x])) continue;
      const bool inBox = static_cast<int>(x) >= time.x() && static_cast<int>(y) >= time.y();
      (inBox ? inside : outside)++;
    }
  }
  EXPECT_GT(inside, 2000);
  EXPECT_EQ(outside, 0);
  // The colour key's surroundings stay the background.
  EXPECT_EQ(frame[(kHeight - 1) * kWidth + time.x()] & 0xFFFFFF, 0x121628u);

  if (const char* dir = std::getenv("BRASSMOOR_FRAME_DIR")) {
    std::ofstream out(std::string(dir) + "/overlay_time.ppm", std::ios::binary);
    out << "P6\n" << kWidth << " " << kHeight << "\n255\n";
    for (D3DCOLOR c : frame) {
      const char rgb[3] = {static_cast<char>((c >> 16) & 0xFF), static_cast<char>((c >> 8) & 0xFF),
                           static_cast<char>(c & 0xFF)};
      out.write(rgb, 3);
    }
  }
}

}  // namespace
