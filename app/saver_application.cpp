#include "app/saver_application.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

#include "engine/core/trace.h"
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

std::unique_ptr<SaverApplication>& applicationSlot() {
  static std::unique_ptr<SaverApplication> app;
  return app;
}

ApplicationFactory& applicationFactory() {
  static ApplicationFactory factory;
  return factory;
}

}  // namespace

std::array<uint16_t, 256> gammaRampFor(int32_t gamma) {
  std::array<uint16_t, 256> ramp{};
  for (int i = 0; i < 256; ++i) {
    const int64_t v = static_cast<int64_t>(gamma) * 200 + static_cast<int64_t>(i) * 256;
    ramp[static_cast<std::size_t>(i)] = static_cast<uint16_t>(std::clamp<int64_t>(v, 0, 65535));
  }
  return ramp;
}

SaverApplication::SaverApplication(ShellParts parts, MessageBoxFn messageBox)
    : parts_(std::move(parts)), defaults_(messageBox ? std::move(messageBox) : MessageBoxFn(showMessageBox)) {
  ShellParts standIn = standInShellParts();
  if (!parts_.input) parts_.input = std::move(standIn.input);
  if (!parts_.text) parts_.text = std::move(standIn.text);
  if (!parts_.dialog) parts_.dialog = std::move(standIn.dialog);
  if (!parts_.captions) parts_.captions = std::move(standIn.captions);
  defaults_.loadResource();
  defaults_.applyTo(settings_);
}

SaverApplication::~SaverApplication() {
  if (parts_.input) parts_.input->shutdown();
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
      quitRequested = true;
      break;
    case WM_SYSCOMMAND:
      if (wParam == SC_NEXTWINDOW || wParam == SC_PREVWINDOW || wParam == SC_CLOSE) {
        quitRequested = true;
        return 1;
      }
      if (wParam == SC_SCREENSAVE) return 0;
      break;
    case WM_DESTROY:
    case WM_CLOSE:
    case WM_QUIT:
      quitRequested = true;
      return 1;
    case WM_TIMER:
      previewWaitPending_ = false;
      w.killTimer(kPreviewTimer);
      break;
    case WM_USER:
      w.setTimer(kPreviewTimer, kPreviewWaitMs);
      break;
    default:
      break;
  }
  return MsgProc(w, message, wParam, lParam);
}

bool SaverApplication::RestoreDeviceObjects() {
  SetGammaRamp(gammaRampFor(settings_.Gamma));
  return ApplicationBase::RestoreDeviceObjects();
}

void SaverApplication::frameMove() {}
void SaverApplication::renderFrame() {}
bool SaverApplication::LoadCustom() { return true; }
void SaverApplication::readCustomProperties(const halcyon::NodeMap*) {}
intptr_t SaverApplication::configDialogProc(void*, uint32_t, WPARAM, LPARAM) { return 0; }
void SaverApplication::endRun() {}
void SaverApplication::perFrameHook() {}
void SaverApplication::exitHook() {}

bool SaverApplication::loadSettings() { return loadSettingsFromRegistry(settings_); }
bool SaverApplication::saveSettings() { return saveSettingsToRegistry(settings_); }

void SaverApplication::onInputEvent(const InputEvent& event) {
  switch (event.kind) {
    case kLeftButtonDown:
    case kRightButtonDown:
      quitRequested = true;
      break;
    case kCursorMoved:
      // The first second after loading is ignored: the cursor settles when the window
      // appears.
      if ((event.x != event.previousX || event.y != event.previousY) && settings_.ExitOnMM &&
          inputExitTimer_.elapsed() > 1000)
        quitRequested = true;
      break;
    default:
      break;
  }
}

bool SaverApplication::composeFrame() {
  if (!TestDevice()) return false;
  renderFrame();
  parts_.text->draw();
  return PresentFrame();
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
        ownedWindow_ = makeWindow(windowClass, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, Rect{64, 64, 64 + w, 64 + h});
      } else {
        // Full-screen comes with the display mode; the window starts small or at the fixed size.
        const int w = settings_.UseDesktop ? 10 : std::max(1, settings_.Width);
        const int h = settings_.UseDesktop ? 10 : std::max(1, settings_.Height);
        ownedWindow_ = makeWindow(windowClass, title, WS_POPUP | WS_VISIBLE, 0, Rect{0, 0, w, h});
      }
      break;
    }
    case ScreensaverMode::Config:
      return true;
    case ScreensaverMode::Password:
      return false;
  }
  window = ownedWindow_.get();
  return window != nullptr;
}

bool SaverApplication::chooseDisplayMode() {
  if (runOptions_.windowSize || window->hosted()) return SetMode(false);
  halcyon::logLine(settings_.UseDesktop ? "Using desktop mode\n" : "Using fixed mode\n");
  if (SetMode(true)) return true;
  halcyon::logLine(settings_.UseDesktop ? "Setting Mode failed\n" : "Failed setting mode\n");
  if (SetMode(true)) return true;
  halcyon::logLine("Setting Mode failed...exiting\n");
  return false;
}

std::unique_ptr<SaverWindow> SaverApplication::makeWindow(const WindowClass& windowClass, const std::string& title,
                                                         uint32_t style, int64_t parent, const Rect& rect) {
  if (style & WS_CHILD) return createX11Window(windowClass, title, style, static_cast<uint64_t>(parent), rect);
  return createSdlWindow(windowClass, title, style, rect);
}

void SaverApplication::mountMedia() {}
void SaverApplication::showLoadingScreen() { PresentFrame(); }
void SaverApplication::readSceneProperties() {}
void SaverApplication::fadeOutLoadingScreen() {}

void SaverApplication::createOverlayTexts() {
  const int fontSize = 64;
  if (settings_.ShowFps) fpsText_ = parts_.text->createText(10, 10, 256, 128, fontSize, scale_, "100");
  if (settings_.ShowTime) {
    const float width = (settings_.TimeStyle ? 290.0f : 350.0f) * scale_;
    timeText_ = parts_.text->createText(200, 300, width, 74.0f * scale_, fontSize, scale_, "11");
  }
}

bool SaverApplication::startSaver(void* moduleInstance, ScreensaverMode mode, int64_t host) {
  mode_ = mode;
  hostWindow_ = host;
  instance = moduleInstance;
  loadSettings();
  applyRunOptions(runOptions_, settings_);
  halcyon::logError("", "Log started \n");
  halcyon::logLine("Create function entered\n");

  if (!createSaverWindow()) {
    halcyon::logLine("Failed creating Saver Windows\n");
    return false;
  }

  if (mode == ScreensaverMode::Preview) {
    // The preview yields to everything else on the machine for the rest of the process.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
    previewWaitPending_ = true;
    window->postMessage(WM_USER);
    WindowMessage message;
    while (previewWaitPending_) {
      if (!window->getMessage(message)) {
        window->postQuitMessage(0);
        break;
      }
      window->dispatchMessage(message);
    }
    return true;
  }

  if (mode == ScreensaverMode::Config) {
    halcyon::logLine("Config Mode: loading Dialog\n");
    parts_.dialog->run(*this, host);
    return true;
  }

  if (!Create(moduleInstance, window)) {
    halcyon::logError("", "Error: Application::Create(hInstance) failed\n");
    return false;
  }
  halcyon::logLine("Full Mode:\n");
  if (!chooseDisplayMode()) return false;

  showCursor(false);
  mountMedia();
  scale_ = static_cast<float>(window->clientRect().width()) / 1024.0f;
  showLoadingScreen();
  readSceneProperties();
  halcyon::logError("", "Application created\n");
  parts_.input->initialise(*this, true, 6, 6);

  if (!parts_.text->loadFont("/sylfaen.fs")) {
    halcyon::logLine("Sylfaen font loading failed\n");
    halcyon::logError("", "Error: Sylfaen font loading failed\n");
    return false;
  }
  if (!parts_.text->loadFont("/64font.fs")) {
    halcyon::logLine("64th font loading failed\n");
    halcyon::logError("", "Error:  font loading failed\n");
  }
  createOverlayTexts();
  parts_.input->addListener(parts_.text->listener());
  parts_.input->addListener(this);

  if (!LoadCustom()) return false;
  inputExitTimer_.restart();
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
