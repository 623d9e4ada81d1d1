// The time overlay drawn by the OpenGL device with the shipped clock-figure font, checked by
// its pixels. Set BRASSMOOR_FRAME_DIR to keep the frame as a picture (PPM) in that folder.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "engine/device/state_cache.h"
#include "engine/gui/text_box.h"
#include "engine/gui/window_manager.h"
#include "platform/d3dx/d3dx.h"

namespace {

constexpr UINT kWidth = 1024, kHeight = 768;

// Charset textures straight from their image files through the image loader.
class ImageTextures : public halcyon::CharsetTextureSource {
 public:
  explicit ImageTextures(IDirect3DDevice9* device) : device_(device) {}
  std::unique_ptr<halcyon::CharsetTexture> load(const halcyon::CharsetTextureRequest& request,
                                                const halcyon::SearchPaths& paths) override {
    halcyon::FileRef file = request.file;
    halcyon::FileBytes bytes;
    bool share = false;
    if (!paths.resolve(file) || !file.readAll(bytes, share)) return nullptr;
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(D3DXCreateTextureFromFileInMemoryEx(device_, bytes.data(), static_cast<UINT>(bytes.size()), D3DX_DEFAULT,
                                                   D3DX_DEFAULT, 1, 0, request.format,
                                                   D3DPOOL_MANAGED, D3DX_FILTER_NONE, D3DX_FILTER_NONE,
                                                   request.colourKey, nullptr, nullptr, &texture))) {
      return nullptr;
    }
    return std::make_unique<Held>(texture);
  }

 private:
  class Held : public halcyon::CharsetTexture {
   public:
    explicit Held(IDirect3DTexture9* t) : texture_(t) { t->GetLevelDesc(0, &desc_); }
    ~Held() override { safeRelease(texture_); }
    int32_t width() const override { return static_cast<int32_t>(desc_.Width); }
    int32_t height() const override { return static_cast<int32_t>(desc_.Height); }
    int32_t originX() const override { return 0; }
    int32_t originY() const override { return 0; }
    IDirect3DBaseTexture9* deviceTexture() const override { return texture_; }

   private:
    IDirect3DTexture9* texture_;
    D3DSURFACE_DESC desc_{};
  };
  IDirect3DDevice9* device_;
};

class OverlayGlTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    window = SDL_CreateWindow("overlay", 0, 0, kWidth, kHeight, SDL_WINDOW_OPENGL);
    ASSERT_NE(window, nullptr) << SDL_GetError();
    d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferWidth = kWidth;
    p.BackBufferHeight = kHeight;
    p.BackBufferFormat = D3DFMT_A8R8G8B8;
    p.BackBufferCount = 1;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.hDeviceWindow = window;
    p.Windowed = TRUE;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D24S8;
    p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device), D3D_OK);
    cache.setDevice(device);
  }
  void TearDown() override {
    safeRelease(device);
    safeRelease(d3d);
    if (window) SDL_DestroyWindow(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

  std::vector<D3DCOLOR> backBuffer() {
    std::vector<D3DCOLOR> pixels(kWidth * kHeight);
    IDirect3DSurface9* surface = nullptr;
    EXPECT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface), D3D_OK);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (UINT y = 0; y < kHeight; ++y)
      std::memcpy(&pixels[y * kWidth], static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, kWidth * 4);
    surface->UnlockRect();
    surface->Release();
    return pixels;
  }

  SDL_Window* window = nullptr;
  IDirect3D9* d3d = nullptr;
  IDirect3DDevice9* device = nullptr;
  halcyon::StateCache cache;
};

// Well away from the dark background: the figures are warm and bright.
bool lit(D3DCOLOR c) { return ((c >> 16) & 0xFF) > 120 && ((c >> 8) & 0xFF) > 90; }

TEST_F(OverlayGlTest, TimeTextSitsInTheBottomRightCorner) {
  ImageTextures textures(device);
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
  EXPECT_TRUE(windows.render(cache));
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
