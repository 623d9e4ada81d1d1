#include "app/saver_application.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "clock/storm.h"
#include "engine/core/load_checkpoint.h"
#include "engine/core/random.h"
#include "engine/core/trace.h"
#include "engine/device/state_cache.h"
#include "engine/device/texture.h"
#include "engine/fs/file_ref.h"
#include "engine/fs/stored_archive.h"
#include "engine/scene/material.h"
#include "engine/udf/udf_node.h"
#include "platform/d3d9/device_control.h"
#include "platform/resources/resources.h"
#include "platform/window/message_box.h"
#include "platform/window/window_factory.h"
#include "settings/settings_store.h"

namespace brassmoor {

using namespace platform;

namespace {

constexpr uintptr_t kPreviewTimer = 1;
constexpr uint32_t kPreviewWaitMs = 500;
constexpr const char* kWindowClassName = "Brassmoor Class";
constexpr int32_t kMediaArchiveResource = 147;
constexpr int32_t kLoadingPictureResource = 186;
constexpr int kLargestWindow = 16384;
// The most anisotropy the frame asks for: beyond 16 samples no driver offers more.
constexpr DWORD kMaxAnisotropy = 16;
// On the software rasteriser two samples cost about half the frame rate of the room at
// 1280x720 and four about 60 %, so there the edges stay as they are.
constexpr D3DMULTISAMPLE_TYPE kSoftwareMultisample = D3DMULTISAMPLE_NONE;

// Edges (the window's bars, frames, furniture) stair-step without multisampling; four samples
// smooth them wherever a graphics card draws.
D3DMULTISAMPLE_TYPE wantedMultisample(const D3DCAPS9& caps) {
  return (caps.DevCaps & D3DDEVCAPS_HWRASTERIZATION) ? D3DMULTISAMPLE_4_SAMPLES : kSoftwareMultisample;
}

// Overlays were laid out for a 1024 x 768 screen. They follow the window's smaller side, so a
// wide host window (several monitors side by side) or a tall one draws them as large as a
// screen of that height or width would, and never wider than the window.
float overlayScale(const Rect& client) {
  return std::min(static_cast<float>(client.width()) / 1024.0f, static_cast<float>(client.height()) / 768.0f);
}

DWORD floatBits(float f) {
  DWORD d;
  std::memcpy(&d, &f, sizeof d);
  return d;
}

// The slot itself is never destroyed: the application object goes when the entry point
// deletes it, never among the static objects at exit, whose order would put it after the
// textures and the sound it still holds.
std::unique_ptr<SaverApplication>& applicationSlot() {
  static auto* app = new std::unique_ptr<SaverApplication>;
  return *app;
}

ApplicationFactory& applicationFactory() {
  static ApplicationFactory factory;
  return factory;
}

}  // namespace

std::array<uint16_t, 256> gammaRampFor(int32_t gamma) {
  const D3DGAMMARAMP ramp = baseGammaRamp(gamma);
  std::array<uint16_t, 256> levels{};
  std::copy(std::begin(ramp.red), std::end(ramp.red), levels.begin());
  return levels;
}

SaverApplication::SaverApplication(ShellParts parts, MessageBoxFn messageBox)
    : gammaRamp_(engine_, settings_),
      parts_(std::move(parts)),
      defaults_(messageBox ? std::move(messageBox) : MessageBoxFn(showMessageBox)),
      tours_(mediaFolder_, nullptr, halcyon::programRandomDraw) {
  ShellParts standIn = standInShellParts();
  if (!parts_.input) parts_.input = std::move(standIn.input);
  if (!parts_.text) parts_.text = std::move(standIn.text);
  if (!parts_.dialog) parts_.dialog = std::move(standIn.dialog);
  if (!parts_.captions) parts_.captions = std::move(standIn.captions);
  defaults_.loadResource();
  defaults_.applyTo(settings_);
  scene_ = std::make_unique<SaverScene>();
}

SaverApplication::~SaverApplication() {
  // The scene's meshes, textures and sound go first, while the device and the input they
  // were made with still stand.
  scene_.reset();
  if (parts_.input) parts_.input->shutdown();
  // The overlay texts and their fonts, then every texture, go before the device they draw
  // with.
  parts_.text.reset();
  for (halcyon::Texture* t : loadingTextures_)
    if (t) t->release();
  halcyon::textureManager().clear();
  engine_.cleanup3DEnvironment();
}

std::string SaverApplication::caption(std::string_view key, std::string_view fallback) const {
  std::string text = parts_.captions ? parts_.captions->lookup(key) : std::string();
  return text.empty() ? std::string(fallback) : text;
}

LRESULT SaverApplication::handleMessage(SaverWindow& w, uint32_t message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      if (mode_ == ScreensaverMode::Preview) {
        const ResourceBytes bitmap = findResource(kBitmapResource, 173);
        if (bitmap.found()) w.paintBitmap(bitmap.data, bitmap.size, 0, 0);
      }
      break;
    case WM_KEYDOWN:
      // F3 is the key the loop presses itself to keep the display awake; F2 and F6 are
      // left to the scene.
      if (wParam == VK_F3 || wParam == VK_F2 || wParam == VK_F6) break;
      requestQuit();
      break;
    case WM_SYSCOMMAND:
      if (wParam == SC_NEXTWINDOW || wParam == SC_PREVWINDOW || wParam == SC_CLOSE) {
        requestQuit();
        return 1;
      }
      if (wParam == SC_SCREENSAVE) return 0;
      break;
    case WM_DESTROY:
    case WM_CLOSE:
    case WM_QUIT: requestQuit(); return 1;
    case WM_TIMER:
      previewWaitPending_ = false;
      w.killTimer(kPreviewTimer);
      break;
    case WM_USER: w.setTimer(kPreviewTimer, kPreviewWaitMs); break;
    default: break;
  }
  return engine_.msgProc(w.sdlWindow(), message, wParam, lParam);
}

SaverApplication::SettingsGammaRamp::SettingsGammaRamp(halcyon::Application& engine, const SaverSettings& settings)
    : engine_(engine), settings_(settings) {
  engine_.addDeviceObject(this);
}

SaverApplication::SettingsGammaRamp::~SettingsGammaRamp() {
  // Taken from its own engine's list, which is not the process's current application when
  // another was made later (tests hold several shells at once).
  engine_.removeDeviceObject(this);
}

bool SaverApplication::SettingsGammaRamp::restore() {
  if (IDirect3DDevice9* device = engine_.device()) {
    const D3DGAMMARAMP gamma = baseGammaRamp(settings_.Gamma);
    device->SetGammaRamp(0, D3DSGR_CALIBRATE, &gamma);
  }
  return true;
}

void SaverApplication::setScene(std::unique_ptr<SaverScene> scene) {
  scene_ = scene ? std::move(scene) : std::make_unique<SaverScene>();
  scene_->attach(*this);
}

bool SaverApplication::loadSettings() { return loadSettingsFromRegistry(settings_); }
bool SaverApplication::saveSettings() { return saveSettingsToRegistry(settings_); }

void SaverApplication::onInputEvent(const InputEvent& event) {
  switch (event.kind) {
    case kLeftButtonDown:
    case kRightButtonDown: requestQuit(); break;
    case kCursorMoved:
      // The first second after loading is ignored: the cursor settles when the window
      // appears.
      if ((event.x != event.previousX || event.y != event.previousY) && settings_.ExitOnMM &&
          inputExitTimer_.elapsed() > 1000)
        requestQuit();
      break;
    default: break;
  }
}

bool SaverApplication::composeFrame(const halcyon::FrameTime& frame) {
  if (!engine_.testDevice()) {
    halcyon::logLine("device lost\n");
    return false;
  }
  IDirect3DDevice9* device = this->device();
  halcyon::StateCache& states = halcyon::stateCache();
  device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, props_.bgColor.argb(), 1.0f, 0);

  D3DVIEWPORT9 viewport{0, 0, 1, 1, 0.0f, 1.0f};
  device->GetViewport(&viewport);
  const float aspect = viewport.Height ? float(viewport.Width) / float(viewport.Height) : 1.0f;
  camera_.setProjection(props_.fov, aspect, props_.nearPlane, props_.farPlane);

  // A frame composed unseen leaves the tour where the first shown frame takes it up.
  const CameraPose pose = composingUnseen_ ? tours_.view(freeCamera_) : tours_.advance(freeCamera_, frame.nowMs);
  camera_.setPose(pose.position, pose.direction, pose.up);

  const halcyon::Matrix identity = halcyon::Matrix::identity();
  states.setWorld(reinterpret_cast<const D3DMATRIX*>(&identity.m[0][0]));
  states.setView(reinterpret_cast<const D3DMATRIX*>(&camera_.view().m[0][0]));
  states.setProjection(reinterpret_cast<const D3DMATRIX*>(&camera_.projection().m[0][0]));
  states.setRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);

  if (SUCCEEDED(device->BeginScene())) {
    states.setRenderState(D3DRS_ZENABLE, TRUE);
    states.setSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    states.setSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    states.setSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    // Floors and walls seen at a glancing angle blur or shimmer without anisotropic filtering;
    // every stage offers it and the materials' trilinear stages take it up. A rasteriser on
    // the CPU draws the room at less than half the rate with it, so there trilinear stays.
    const bool hardware = (engine_.caps().DevCaps & D3DDEVCAPS_HWRASTERIZATION) != 0;
    const DWORD anisotropy = hardware ? std::clamp<DWORD>(engine_.caps().MaxAnisotropy, 1, kMaxAnisotropy) : 1;
    // Without it a surface seen at a glancing angle takes a level too small along its length;
    // a quarter level towards the larger one keeps the parquet's grain and adds no shimmer.
    const DWORD bias = anisotropy > 1 ? 0 : floatBits(-0.25f);
    for (DWORD stage = 0; stage < halcyon::StateCache::kSamplers; ++stage) {
      states.setSamplerState(stage, D3DSAMP_MAXANISOTROPY, anisotropy);
      states.setSamplerState(stage, D3DSAMP_MIPMAPLODBIAS, bias);
    }
    states.setRenderState(D3DRS_AMBIENT, props_.ambient.argb());
    states.setRenderState(D3DRS_FOGENABLE, FALSE);
    states.setRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    states.setRenderState(D3DRS_FOGCOLOR, props_.fogColor.argb());
    states.setRenderState(D3DRS_FOGSTART, floatBits(props_.fogStart));
    states.setRenderState(D3DRS_FOGEND, floatBits(props_.fogEnd));
    states.setRenderState(D3DRS_RANGEFOGENABLE, TRUE);

    scene_->renderFrame(FrameContext{states, device, camera_, frame});

    if (const std::optional<float> opacity = tours_.fade()) drawFade(*device, states, *opacity);
    halcyon::logLine("fade quad ok\n");

    device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    parts_.text->draw();
    halcyon::logLine("window manager ok\n");
    device->EndScene();
  }
  device->Present(nullptr, nullptr, nullptr, nullptr);
  halcyon::logLine("present ok\n");
  return true;
}

bool SaverApplication::drawFade(IDirect3DDevice9& device, halcyon::StateCache& states, float opacity) {
  D3DVIEWPORT9 vp{0, 0, 1, 1, 0.0f, 1.0f};
  device.GetViewport(&vp);

  // Black from the vertex colour, opacity from the texture factor's alpha byte.
  halcyon::Material fade;
  fade.stages[0].colorOp = D3DTOP_SELECTARG1;
  fade.stages[0].colorArg1 = D3DTA_DIFFUSE;
  fade.stages[0].alphaOp = D3DTOP_SELECTARG1;
  fade.stages[0].alphaArg1 = D3DTA_TFACTOR;
  fade.stages[1].colorOp = D3DTOP_DISABLE;
  fade.opacity = opacity;
  fade.lit = 0;
  fade.cullMode = D3DCULL_NONE;
  const DWORD fvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
  bool ok = halcyon::applyMaterialStates(fade, fvf);

  struct Vertex {
    float x, y, z, rhw;
    DWORD colour;
  };
  const float l = float(vp.X), t = float(vp.Y), r = float(vp.X + vp.Width), b = float(vp.Y + vp.Height);
  const Vertex quad[6] = {{l, t, 0.1f, 1.0f, 0}, {r, t, 0.1f, 1.0f, 0}, {l, b, 0.1f, 1.0f, 0},
                          {r, t, 0.1f, 1.0f, 0}, {r, b, 0.1f, 1.0f, 0}, {l, b, 0.1f, 1.0f, 0}};
  states.setRenderState(D3DRS_ZENABLE, FALSE);
  states.setRenderState(D3DRS_ZWRITEENABLE, FALSE);
  device.SetFVF(fvf);
  ok &= SUCCEEDED(device.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, quad, sizeof(Vertex)));
  states.setRenderState(D3DRS_ZENABLE, TRUE);
  states.setRenderState(D3DRS_ZWRITEENABLE, TRUE);
  return ok;
}

void SaverApplication::useMedia(std::string folder, halcyon::StoredArchive* archive) {
  mediaFolder_ = std::move(folder);
  archive_ = archive;
  tours_.setSource(mediaFolder_, archive_);
}

void SaverApplication::readSceneProperties() {
  const std::unique_ptr<halcyon::NodeMap> root = parseScenePropertiesFile(mediaFolder_, archive_);
  if (!root) return;
  readSharedProperties(*root, props_);
  for (const std::string& name : props_.animations) tours_.addTour(name);
  scene_->readCustomProperties(root.get());
}

void SaverApplication::startTours() {
  if (mode_ != ScreensaverMode::Preview) tours_.start();
}

void SaverApplication::updateFreeCamera(const halcyon::FrameTime& frame) {
  const bool touring = tours_.playing();
  flyCamera_.setSuspended(touring);
  if (touring) {
    flyCameraHasPose_ = false;
    return;
  }
  if (!flyCameraHasPose_) {
    flyCamera_.setPose(freeCamera_.position, freeCamera_.direction, freeCamera_.up);
    flyCameraHasPose_ = true;
  }
  flyCamera_.update(frame.stepMs);
  freeCamera_ = CameraPose{flyCamera_.position(), flyCamera_.direction(), flyCamera_.up()};
}

void SaverApplication::composeFrameUnseen(const halcyon::FrameTime& frame) {
  DeviceControl* control = deviceControl(device());
  if (!control || !control->setDrawsCoverNothing(true)) return;
  composingUnseen_ = true;
  composeFrame(frame);
  composingUnseen_ = false;
  control->setDrawsCoverNothing(false);
}

bool SaverApplication::captureFrame(Image& image) {
  DeviceControl* control = deviceControl(device());
  std::vector<D3DCOLOR> pixels;
  UINT width = 0, height = 0;
  if (!control || !control->presentedPixels(pixels, width, height)) return false;
  image.width = static_cast<int32_t>(width);
  image.height = static_cast<int32_t>(height);
  image.rgb.resize(pixels.size() * 3);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    image.rgb[i * 3 + 0] = static_cast<uint8_t>(pixels[i] >> 16);
    image.rgb[i * 3 + 1] = static_cast<uint8_t>(pixels[i] >> 8);
    image.rgb[i * 3 + 2] = static_cast<uint8_t>(pixels[i]);
  }
  return true;
}

void SaverApplication::destroyWindow() {
  if (ownedWindow_) ownedWindow_->destroy();
}

bool SaverApplication::createSaverWindow() {
  WindowClass windowClass;
  windowClass.name = kWindowClassName;
  windowClass.style = mode_ == ScreensaverMode::Preview ? (CS_HREDRAW | CS_VREDRAW) : 0;
  windowClass.procedure = [this](SaverWindow& w, uint32_t message, WPARAM wParam, LPARAM lParam) {
    return handleMessage(w, message, wParam, lParam);
  };
  const uint16_t atom = registerWindowClass(windowClass);
  halcyon::logLine("Register class return: " + std::to_string(atom) + "\n");
  const std::string title = caption("screensaver_name", "Brassmoor");

  switch (mode_) {
    case ScreensaverMode::Preview: {
      Rect rect{100, 100, 150, 150};
      if (hostWindow_ != 0) {
        const auto client = x11ClientRect(static_cast<uint64_t>(hostWindow_));
        if (!client) return false;
        rect = *client;
      }
      ownedWindow_ = makeWindow(windowClass, title, WS_CHILD | WS_VISIBLE, hostWindow_, rect);
      break;
    }
    case ScreensaverMode::Full:
    case ScreensaverMode::Test: {
      if (const auto host = hostWindowTarget(runOptions_)) {
        ownedWindow_ = createHostedWindow(windowClass, title, *host);
      } else if (runOptions_.windowSize) {
        const auto [w, h] = *runOptions_.windowSize;
        ownedWindow_ = makeWindow(windowClass, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                  Rect{64, 64, 64 + w, 64 + h});
      } else {
        // Full-screen comes with the display mode; the window starts small or at the fixed
        // size, never larger than a window can be (a size no display offers is the mode
        // choice's to refuse, in words).
        const int w = settings_.UseDesktop ? 10 : std::clamp(settings_.Width, 1, kLargestWindow);
        const int h = settings_.UseDesktop ? 10 : std::clamp(settings_.Height, 1, kLargestWindow);
        ownedWindow_ = makeWindow(windowClass, title, WS_POPUP | WS_VISIBLE, 0, Rect{0, 0, w, h});
      }
      break;
    }
    case ScreensaverMode::Config: return true;
    case ScreensaverMode::Password: return false;
  }
  return ownedWindow_ != nullptr;
}

bool SaverApplication::setModeWithFallback(const halcyon::DeviceSettings& fallback, const char* failure) {
  if (engine_.setMode(true)) return true;
  halcyon::logLine(failure);
  halcyon::DeviceSettings request = fallback;
  if (findBestSettings(engine_.enumeration(), request)) engine_.storeSettings(request);
  if (engine_.setMode(true)) return true;
  halcyon::logLine("Setting Mode failed...exiting\n");
  return false;
}

namespace {

// Presentation waits for the display's refresh when the device offers that: no tearing when
// the camera pans, and no frames drawn that nobody sees.
void askForVsync(halcyon::DeviceSettings& request) {
  request.flags |= halcyon::DeviceSettings::MatchPresentInterval;
  request.presentInterval = D3DPRESENT_INTERVAL_ONE;
}

}  // namespace

void SaverApplication::storeWithMultisample(halcyon::DeviceSettings settings) {
  settings.multisampleType = halcyon::offeredMultisample(engine_.enumeration(), settings,
                                                         wantedMultisample(settings.caps));
  settings.multisampleQuality = 0;
  engine_.storeSettings(settings);
}

bool SaverApplication::setWindowedMode() {
  halcyon::DeviceSettings windowed = engine_.windowedSettings();
  askForVsync(windowed);
  if (!findBestSettings(engine_.enumeration(), windowed)) windowed = engine_.windowedSettings();
  storeWithMultisample(windowed);
  if (engine_.setMode(false)) return true;
  halcyon::DeviceSettings plain = engine_.windowedSettings();
  if (plain.multisampleType == D3DMULTISAMPLE_NONE) return false;
  halcyon::logLine("Setting Mode failed\n");
  plain.multisampleType = D3DMULTISAMPLE_NONE;
  engine_.storeSettings(plain);
  return engine_.setMode(false);
}

void SaverApplication::sayStoredModeUnavailable() const {
  // The settings may come from another machine or an older monitor. The run goes on in the
  // mode the device was created with (the desktop's), and the user learns why the size differs.
  const halcyon::DeviceSettings used = engine_.fullScreenSettings();
  halcyon::reportFailure("the display mode " + std::to_string(settings_.Width) + "x" +
                         std::to_string(settings_.Height) + " at " + std::to_string(settings_.Depth == 16 ? 16 : 32) +
                         " bits in the settings is not offered by this display; using " + std::to_string(used.width) +
                         "x" + std::to_string(used.height) + " (choose another mode in the settings)");
}

bool SaverApplication::chooseDisplayMode() {
  // A window of a chosen size (--window, a host's window) keeps its size and stays windowed.
  if (runOptions_.windowSize || ownedWindow_->hosted()) return setWindowedMode();
  using halcyon::DeviceSettings;
  DeviceSettings request;
  request.clear();
  request.windowed = 0;
  request.multisampleType = D3DMULTISAMPLE_2_SAMPLES;
  request.multisampleQuality = 0;
  if (settings_.UseDesktop) {
    halcyon::logLine("Using desktop mode\n");
    request.flags = DeviceSettings::MatchMultisample;
    askForVsync(request);
    DeviceSettings found = request;
    if (findBestSettings(engine_.enumeration(), found)) {
      storeWithMultisample(found);
    } else {
      request.flags = DeviceSettings::MatchSize | DeviceSettings::MatchMultisample;
      askForVsync(request);
      request.width = 800;
      request.height = 600;
      found = request;
      if (findBestSettings(engine_.enumeration(), found)) storeWithMultisample(found);
    }
    halcyon::logLine(halcyon::describeDeviceSettings(engine_.fullScreenSettings()));
    DeviceSettings fallback = request;
    fallback.flags &= ~static_cast<uint32_t>(DeviceSettings::MatchMultisample);
    return setModeWithFallback(fallback, "Setting Mode failed\n");
  }
  halcyon::logLine("Using fixed mode\n");
  request.flags = DeviceSettings::MatchSize | DeviceSettings::MatchBackBufferFormat | DeviceSettings::MatchMultisample;
  askForVsync(request);
  request.width = static_cast<uint32_t>(std::max(0, settings_.Width));
  request.height = static_cast<uint32_t>(std::max(0, settings_.Height));
  request.backBufferFormat = settings_.Depth == 16 ? D3DFMT_X1R5G5B5 : D3DFMT_X8R8G8B8;
  DeviceSettings found = request;
  if (findBestSettings(engine_.enumeration(), found)) storeWithMultisample(found);
  else
    sayStoredModeUnavailable();
  halcyon::logLine(halcyon::describeDeviceSettings(engine_.fullScreenSettings()));
  DeviceSettings fallback = request;
  fallback.flags &= ~static_cast<uint32_t>(DeviceSettings::MatchMultisample);
  return setModeWithFallback(fallback, "Failed setting mode\n");
}

std::unique_ptr<SaverWindow> SaverApplication::makeWindow(const WindowClass& windowClass, const std::string& title,
                                                          uint32_t style, int64_t parent, const Rect& rect) {
  if (style & WS_CHILD) return createX11Window(windowClass, title, style, static_cast<uint64_t>(parent), rect);
  return createSdlWindow(windowClass, title, style, rect);
}

void SaverApplication::mountMedia() {
  // Loose files in the media folder win over the archive's entries, so a developer can try
  // a changed file without rebuilding.
  if (archive_) return;
  mountedArchive_ = std::make_unique<halcyon::StoredArchive>();
  if (mountedArchive_->attach(halcyon::FileRef::resource(kMediaArchiveResource))) {
    useMedia(mediaFolder_, mountedArchive_.get());
  } else {
    halcyon::logError("", "Error: media archive could not be mounted\n");
    mountedArchive_.reset();
  }
}

void SaverApplication::showLoadingScreen() {
  halcyon::TextureManager& manager = halcyon::textureManager();
  for (int i = 0; i < 5; ++i) {
    const int32_t id = kLoadingPictureResource + i;
    // The corner images that are mere placeholders (1024 bytes or less) are not shown.
    if (i > 0 && findResource("MEMFILE", id).size <= 1024) continue;
    halcyon::TextureRequest request;
    request.file = halcyon::FileRef::resource(id);
    // Drawn as overlays, which sample without mip levels: the top level alone.
    request.flags |= halcyon::TextureRequest::Levels;
    request.levels = 1;
    loadingTextures_[i] = manager.get(request);
  }
  loadingPictures_.picture = loadingTextures_[0] ? loadingTextures_[0]->d3dTexture() : nullptr;
  for (int i = 0; i < 4; ++i)
    loadingPictures_.corners[i] = loadingTextures_[i + 1] ? loadingTextures_[i + 1]->d3dTexture() : nullptr;
  if (engine_.testDevice()) halcyon::showLoadingScreen(device(), loadingPictures_);
}

void SaverApplication::fadeOutLoadingScreen() {
  // The fade runs before the frame loop, on a frame clock of its own: the loop's first frame
  // still has no step.
  halcyon::FrameClock fadeFrames;
  halcyon::fadeOutLoadingScreen(engine_, loadingPictures_, fadeFrames, 200);
  // Nothing shows the loading picture again: its textures need not stay for the whole run.
  loadingPictures_ = halcyon::LoadingPictures{};
  for (halcyon::Texture*& t : loadingTextures_) {
    if (t) t->release();
    t = nullptr;
  }
}

void SaverApplication::createOverlayTexts() {
  const int fontSize = 64;
  // The rate shows once a second of frames has measured it; a number before that would be
  // made up.
  if (settings_.ShowFps) fpsText_ = parts_.text->createText(10, 10, 256, 128, fontSize, scale_, "");
  if (settings_.ShowTime) {
    const float width = (settings_.TimeStyle ? 290.0f : 350.0f) * scale_;
    timeText_ = parts_.text->createText(200, 300, width, 74.0f * scale_, fontSize, scale_, "11");
  }
}

void SaverApplication::startChosenTour() {
  // Tour time runs at ten units a second; the option counts seconds.
  const float time = static_cast<float>(runOptions_.tourTime.value_or(0.0) * 10.0);
  const std::string& name = runOptions_.tour;
  if (name == "free") {
    // The free camera's wide view, held still: what the speed of the whole room is judged by.
    tours_.setEnabled(false);
    return;
  }
  if (tours_.startAt(name, time) || tours_.startAt(name + ".cam", time)) return;
  std::string names;
  for (const std::string& tour : props_.animations) {
    const bool cam = tour.size() > 4 && tour.compare(tour.size() - 4, 4, ".cam") == 0;
    names += (names.empty() ? "" : ", ") + (cam ? tour.substr(0, tour.size() - 4) : tour);
  }
  halcyon::reportFailure("no camera tour named " + name + " (the tours are: " + (names.empty() ? "none" : names) +
                         "); they play in random order");
}

namespace {

// While the room loads, only what ends the run is taken from the window: a key, the window's
// close, SIGTERM (which arrives as a close).
bool endsTheRunWhileLoading(uint32_t message) {
  return message == WM_KEYDOWN || message == WM_SYSCOMMAND || message == WM_CLOSE || message == WM_QUIT ||
         message == WM_DESTROY;
}

// The load's checkpoint is the start's alone: it goes with the start, however that ends.
struct LoadCheckpointScope {
  ~LoadCheckpointScope() { halcyon::setLoadCheckpoint({}); }
};

}  // namespace

bool SaverApplication::failStart(StartFailure failure, std::string text) {
  startFailure_ = failure;
  startFailureText_ = std::move(text);
  return false;
}

bool SaverApplication::startSaver(void* moduleInstance, ScreensaverMode mode, int64_t host) {
  mode_ = mode;
  hostWindow_ = host;
  startFailure_ = StartFailure::None;
  startFailureText_.clear();
  loadSettings();
  // The settings a host passes are for its run; the dialog shows and saves the stored ones.
  if (mode != ScreensaverMode::Config) applyRunOptions(runOptions_, settings_);
  halcyon::logError("", "Log started \n");
  halcyon::logLine("Create function entered\n");

  if (!createSaverWindow()) {
    halcyon::logLine("Failed creating Saver Windows\n");
    if (mode == ScreensaverMode::Password)
      return failStart(StartFailure::NoWindow, "the password mode (/a) is not supported on this system");
    if (mode == ScreensaverMode::Preview || hostWindowTarget(runOptions_))
      return failStart(StartFailure::NoWindow, "the host's window cannot be used (it may be gone)");
    return failStart(StartFailure::NoWindow, "the saver's window cannot be created");
  }
  if (mode == ScreensaverMode::Config) {
    halcyon::logLine("Config Mode: loading Dialog\n");
    parts_.dialog->run(*this, host);
    return true;
  }
  SaverWindow& window = *ownedWindow_;

  if (mode == ScreensaverMode::Preview) {
    // The preview yields to everything else on the machine for the rest of the process.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
    previewWaitPending_ = true;
    window.postMessage(WM_USER);
    WindowMessage message;
    while (previewWaitPending_) {
      if (!window.getMessage(message)) {
        window.postQuitMessage(0);
        break;
      }
      window.dispatchMessage(message);
    }
    return true;
  }

  engineWindow_ = std::make_unique<ShellEngineWindow>(window);
  engine_.title = caption("screensaver_name", "Brassmoor");
  if (!engine_.create(moduleInstance, engineWindow_.get())) {
    halcyon::logError("", "Error: Application::Create(hInstance) failed\n");
    return failStart(StartFailure::NoOpenGL, "OpenGL 3.3 cannot be started on the saver's window");
  }
  halcyon::logLine("Full Mode:\n");
  if (!chooseDisplayMode()) {
    if (runOptions_.windowSize || window.hosted())
      return failStart(StartFailure::NoOpenGL, "the OpenGL device cannot be created for the saver's window");
    if (settings_.UseDesktop)
      return failStart(StartFailure::NoDisplayMode, "the desktop's display mode cannot be used");
    return failStart(StartFailure::NoDisplayMode, "the display mode " + std::to_string(settings_.Width) + "x" +
                                                      std::to_string(settings_.Height) +
                                                      " is not available (choose another in the settings)");
  }
  if (!runOptions_.recordDir.empty() || !runOptions_.screenshot.empty())
    if (DeviceControl* control = deviceControl(device())) control->setPresentCapture(true);

  showCursor(false);
  // A run of its own keeps the display from blanking under it; a host decides for its savers.
  if (!window.hosted()) keepDisplayAwake(true);
  mountMedia();
  scale_ = overlayScale(window.clientRect());
  showLoadingScreen();
  // A quit while the room loads is taken between the load's steps; the window's other
  // messages wait, in their order, for the frame loop, so that nothing resizes or repaints
  // the device in the middle of the load.
  halcyon::setLoadCheckpoint([this, &window] {
    std::vector<WindowMessage> waiting;
    WindowMessage message;
    while (!quitRequested() && window.peekMessage(message)) {
      if (endsTheRunWhileLoading(message.message)) window.dispatchMessage(message);
      else
        waiting.push_back(message);
    }
    for (const WindowMessage& m : waiting) window.postMessage(m.message, m.wParam, m.lParam);
    return !quitRequested();
  });
  const LoadCheckpointScope checkpointScope;
  readSceneProperties();
  halcyon::logError("", "Application created\n");
  parts_.input->initialise(engine_, true, 6, 6);
  flyCamera_.setup(parts_.input->manager(), props_.camSpeed, 1.0f, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f},
                   {0.0f, 1.0f, 0.0f});

  parts_.text->setMedia(mediaFolder_, archive_);
  if (!parts_.text->loadFont("/sylfaen.fs")) {
    halcyon::logLine("Sylfaen font loading failed\n");
    halcyon::logError("", "Error: Sylfaen font loading failed\n");
    return failStart(StartFailure::MediaUnreadable, "the font " + mediaFolder_ + "/sylfaen.fs cannot be read");
  }
  if (!parts_.text->loadFont("/64font.fs")) {
    halcyon::logLine("64th font loading failed\n");
    halcyon::logError("", "Error:  font loading failed\n");
  }
  createOverlayTexts();
  parts_.input->addListener(parts_.text->listener());
  parts_.input->addListener(this);

  startTours();
  if (!runOptions_.tour.empty()) startChosenTour();
  if (!scene_->loadCustom()) return failStart(StartFailure::MediaUnreadable, "the scene's media cannot be read");
  if (quitRequested()) {
    // The run ends as a quit after the load would: the frame loop takes it before any frame.
    halcyon::logLine("Loading abandoned for a quit\n");
    return true;
  }
  // The first tour and the input's grace second start once the room is loaded.
  const int64_t loadedMs = halcyon::millisecondClock();
  tours_.restartTimer(loadedMs);
  inputExitTimer_.restart(loadedMs);
  fadeOutLoadingScreen();
  halcyon::logLine("Creating successfull\n");
  return true;
}

void setApplicationFactory(ApplicationFactory factory) { applicationFactory() = std::move(factory); }

SaverApplication& obtainApplication() {
  auto& slot = applicationSlot();
  if (!slot) {
    auto& factory = applicationFactory();
    slot = factory ? factory() : nullptr;
    if (!slot) slot = std::make_unique<SaverApplication>();
  }
  return *slot;
}

SaverApplication* existingApplication() { return applicationSlot().get(); }

void deleteApplication() { applicationSlot().reset(); }

}  // namespace brassmoor
