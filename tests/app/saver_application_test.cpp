#include "app/saver_application.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/frame_loop.h"
#include "engine/device/texture.h"
#include "platform/d3d9/recording.h"
#include "platform/resources/resources.h"
#include "tests/platform/window/fake_window.h"
#include "tests/platform/registry/scoped_config_dir.h"
#include "tests/support/fake_clock.h"
#include "tests/support/trace_capture.h"

namespace {

using namespace platform;
using brassmoor::InputEvent;
using brassmoor::SaverApplication;
using brassmoor::ScreensaverMode;
using testsupport::FakeWindow;

struct Recorder {
  std::vector<std::string> calls;
  std::vector<std::string> texts;  // overlay texts in the order they were set
};

class RecordingText final : public brassmoor::OverlayText {
 public:
  RecordingText(Recorder& r, float x, float y, std::string text) : r_(r), x_(x), y_(y), text_(std::move(text)) {}
  void setText(const std::string& text) override {
    text_ = text;
    r_.texts.push_back(text);
  }
  const std::string& text() const override { return text_; }
  void markForRedraw() override { ++redraws; }
  std::pair<float, float> textExtent() const override { return {10.0f * static_cast<float>(text_.size()), 20.0f}; }
  void setPlace(float x, float y) override { x_ = x, y_ = y; }
  float x() const override { return x_; }
  float y() const override { return y_; }
  int redraws = 0;

 private:
  Recorder& r_;
  float x_, y_;
  std::string text_;
};

class RecordingTextLayer final : public brassmoor::TextLayer, public brassmoor::InputListener {
 public:
  explicit RecordingTextLayer(Recorder& r) : r_(r) {}
  bool loadFont(const std::string& path) override {
    r_.calls.push_back("font " + path);
    return std::find(failing.begin(), failing.end(), path) == failing.end();
  }
  brassmoor::OverlayText* createText(float x, float y, float w, float h, int size, float scale,
                                     const std::string& text) override {
    r_.calls.push_back("text " + text + " " + std::to_string(int(w)) + "x" + std::to_string(int(h)) + " " +
                       std::to_string(size) + "@" + std::to_string(scale));
    texts.push_back(std::make_unique<RecordingText>(r_, x, y, text));
    return texts.back().get();
  }
  void draw() override { r_.calls.push_back("draw overlays"); }
  brassmoor::InputListener* listener() override { return this; }
  void onInputEvent(const InputEvent&) override {}
  std::vector<std::string> failing;
  std::vector<std::unique_ptr<RecordingText>> texts;

 private:
  Recorder& r_;
};

// The shell's parts with a text layer that cannot read `font`.
brassmoor::ShellParts withFailingFont(Recorder& r, const std::string& font) {
  brassmoor::ShellParts parts;
  auto layer = std::make_unique<RecordingTextLayer>(r);
  layer->failing = {font};
  parts.text = std::move(layer);
  return parts;
}

// Input stays with the test: it calls the listener itself.
class QuietInput final : public brassmoor::InputSystem {
 public:
  bool initialise(halcyon::Application&, bool, uint32_t, uint32_t) override { return true; }
  void addListener(brassmoor::InputListener*) override {}
  void update(int32_t) override {}
  void pump() override {}
  void shutdown() override {}
};

class RecordingDialog final : public brassmoor::ConfigDialog {
 public:
  explicit RecordingDialog(Recorder& r) : r_(r) {}
  int run(SaverApplication&, int64_t owner) override {
    r_.calls.push_back("dialog owner " + std::to_string(owner));
    return 1;
  }

 private:
  Recorder& r_;
};

struct SceneScript {
  bool loadResult = true;
  std::function<void()> onFrame, onHook;
};

// The scene operations the shell calls, recorded.
class RecordingScene final : public brassmoor::SaverScene {
 public:
  RecordingScene(Recorder& r, const SceneScript& script) : r_(r), script_(script) {}
  bool frameMove(const halcyon::FrameTime&) override {
    r_.calls.push_back("frameMove");
    if (script_.onFrame) script_.onFrame();
    return true;
  }
  bool renderFrame(const brassmoor::FrameContext&) override {
    r_.calls.push_back("renderFrame");
    return true;
  }
  bool loadCustom() override {
    r_.calls.push_back("loadCustom");
    return script_.loadResult;
  }
  void endRun() override { r_.calls.push_back("endRun"); }
  void perFrameHook() override {
    r_.calls.push_back("hook");
    if (script_.onHook) script_.onHook();
  }
  void exitHook() override { r_.calls.push_back("exitHook"); }

 private:
  Recorder& r_;
  const SceneScript& script_;
};

// The shell with a fake window and the recording scene.
class TestApplication : public SaverApplication, public SceneScript {
 public:
  explicit TestApplication(Recorder& r, brassmoor::ShellParts parts = {})
      : SaverApplication(withDefaults(r, std::move(parts))), r_(r) {
    setScene(std::make_unique<RecordingScene>(r, *this));
  }

  static brassmoor::ShellParts withDefaults(Recorder& r, brassmoor::ShellParts parts) {
    if (!parts.text) parts.text = std::make_unique<RecordingTextLayer>(r);
    if (!parts.input) parts.input = std::make_unique<QuietInput>();
    if (!parts.dialog) parts.dialog = std::make_unique<RecordingDialog>(r);
    return parts;
  }

  LRESULT handleMessage(SaverWindow& w, uint32_t message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_KEYDOWN) r_.calls.push_back("key " + std::to_string(wParam));
    return SaverApplication::handleMessage(w, message, wParam, lParam);
  }

  // What the tests read of the engine's application the shell owns.
  bool windowed() const { return engine().windowed(); }
  bool active() const { return engine().active(); }
  const halcyon::DeviceSettings& currentSettings() const { return engine().currentSettings(); }

  FakeWindow* fake = nullptr;
  uint32_t madeStyle = 0;
  Rect madeRect;
  int64_t madeParent = -1;
  uint32_t classStyle = 0;

 protected:
  std::unique_ptr<SaverWindow> makeWindow(const WindowClass& windowClass, const std::string&, uint32_t style,
                                          int64_t parent, const Rect& rect) override {
    madeStyle = style, madeRect = rect, madeParent = parent, classStyle = windowClass.style;
    auto w = std::make_unique<FakeWindow>(windowClass, style, rect);
    fake = w.get();
    return w;
  }

 private:
  Recorder& r_;
};

// The shell on the recording render runtime.
class Shell : public ::testing::Test {
 protected:
  void SetUp() override {
    halcyon::Application::setDirect3DLoader([this] {
      d3d_ = new RecordingDirect3D9();
      d3d_->failCreateDevice(failedCreates_);
      return d3d_;
    });
  }
  void TearDown() override {
    halcyon::textureManager().clear();
    halcyon::Application::setDirect3DLoader(nullptr);
  }
  size_t presents() const {
    const auto& calls = d3d_->lastDevice()->calls();
    return static_cast<size_t>(std::count_if(calls.begin(), calls.end(),
                                             [](const auto& c) { return c.name == "Present"; }));
  }

  RecordingDirect3D9* d3d_ = nullptr;
  int failedCreates_ = 0;
  testsupport::ScopedConfigDir config_;
  testsupport::TraceCapture trace_;
  Recorder rec_;
};

TEST_F(Shell, ConstructionTakesTheBuiltInDefaults) {
  TestApplication app(rec_);
  EXPECT_TRUE(app.settings().UseDesktop);
  EXPECT_EQ(app.settings().Width, 800);
  EXPECT_EQ(app.settings().Volume, 50);
  EXPECT_EQ(app.defaults().lookup("GammControl"), "100");
}

TEST_F(Shell, KeysEndTheRunExceptTheOnesTheSaverUsesItself) {
  for (uint32_t key : {VK_ESCAPE, VK_SPACE, uint32_t('A'), VK_RETURN, VK_F1, VK_MENU, 0u}) {
    TestApplication app(rec_);
    FakeWindow w({}, 0, {});
    app.handleMessage(w, WM_KEYDOWN, key, 0);
    EXPECT_TRUE(app.quitRequested()) << key;
  }
  for (uint32_t key : {VK_F2, VK_F3, VK_F6}) {
    TestApplication app(rec_);
    FakeWindow w({}, 0, {});
    app.handleMessage(w, WM_KEYDOWN, key, 0);
    EXPECT_FALSE(app.quitRequested()) << key;
  }
}

class CountingHandler final : public halcyon::MessageHandler {
 public:
  halcyon::LRESULT handleMessage(HWND, uint32_t message, halcyon::WPARAM, halcyon::LPARAM) override {
    seen.push_back(message);
    return 0;
  }
  std::vector<uint32_t> seen;
};

TEST_F(Shell, SystemCommandsAndClosingEndTheRunButNotTheScreensaveCommand) {
  for (WPARAM command : {SC_NEXTWINDOW, SC_PREVWINDOW, SC_CLOSE}) {
    TestApplication app(rec_);
    FakeWindow w({}, 0, {});
    EXPECT_EQ(app.handleMessage(w, WM_SYSCOMMAND, command, 0), 1);
    EXPECT_TRUE(app.quitRequested());
  }
  TestApplication app(rec_);
  CountingHandler engineSide;
  app.engine().addMessageHandler(&engineSide);
  FakeWindow w({}, 0, {});
  EXPECT_EQ(app.handleMessage(w, WM_SYSCOMMAND, SC_SCREENSAVE, 0), 0);
  EXPECT_FALSE(app.quitRequested());
  EXPECT_TRUE(engineSide.seen.empty()) << "the screensave command stops at the shell";
  app.handleMessage(w, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_FALSE(app.quitRequested());
  EXPECT_EQ(engineSide.seen, std::vector<uint32_t>{WM_SYSCOMMAND});
  for (uint32_t message : {WM_DESTROY, WM_CLOSE, WM_QUIT}) {
    TestApplication closing(rec_);
    EXPECT_EQ(closing.handleMessage(w, message, 0, 0), 1);
    EXPECT_TRUE(closing.quitRequested());
  }
}

TEST_F(Shell, ButtonsAlwaysEndTheRunAndMovementOnlyWhenAskedAndAfterOneSecond) {
  testsupport::FakeClock clock;
  TestApplication app(rec_);
  app.settings().ExitOnMM = true;
  app.inputExitTimer().restart();
  InputEvent move;
  move.kind = brassmoor::kCursorMoved;
  move.x = 10, move.previousX = 9;
  clock.advance(1000);
  app.onInputEvent(move);
  EXPECT_FALSE(app.quitRequested()) << "exactly one second is still the settling time";
  clock.advance(1);
  InputEvent still = move;
  still.x = still.previousX;
  app.onInputEvent(still);
  EXPECT_FALSE(app.quitRequested()) << "no movement";
  for (int kind : {1, 2, 4, 5, 7, 8, 9, 10, 11}) {
    InputEvent other = move;
    other.kind = kind;
    app.onInputEvent(other);
  }
  EXPECT_FALSE(app.quitRequested()) << "other kinds are ignored";
  app.onInputEvent(move);
  EXPECT_TRUE(app.quitRequested());

  TestApplication calm(rec_);
  calm.settings().ExitOnMM = false;
  calm.inputExitTimer().restart();
  clock.advance(5000);
  InputEvent vertical;
  vertical.kind = brassmoor::kCursorMoved;
  vertical.y = 3;
  calm.onInputEvent(vertical);
  EXPECT_FALSE(calm.quitRequested());
  for (int kind : {brassmoor::kLeftButtonDown, brassmoor::kRightButtonDown}) {
    TestApplication clicked(rec_);
    InputEvent button;
    button.kind = kind;
    clicked.onInputEvent(button);
    EXPECT_TRUE(clicked.quitRequested()) << kind;
  }
}

TEST_F(Shell, GammaRampFollowsTheSettingAndIsClamped) {
  auto neutral = brassmoor::gammaRampFor(0);
  EXPECT_EQ(neutral[0], 0);
  EXPECT_EQ(neutral[1], 256);
  EXPECT_EQ(neutral[255], 65280);
  auto bright = brassmoor::gammaRampFor(100);
  EXPECT_EQ(bright[0], 20000);
  EXPECT_EQ(bright[255], 65535);
  auto dark = brassmoor::gammaRampFor(-100);
  EXPECT_EQ(dark[0], 0);
  EXPECT_EQ(dark[100], 100 * 256 - 20000);
  TestApplication app(rec_);
  ASSERT_TRUE(app.startSaver(nullptr, ScreensaverMode::Full, 0));
  app.settings().Gamma = 50;
  app.engine().restoreDeviceObjects();
  D3DGAMMARAMP ramp{};
  app.device()->GetGammaRamp(0, &ramp);
  EXPECT_EQ(ramp.red[0], 10000);
  EXPECT_EQ(ramp.blue[255], 65535);
}

// A device object that notes the first gamma level of the ramp on the device when restored.
class RampWitness final : public halcyon::DeviceObject {
 public:
  explicit RampWitness(halcyon::Application& engine) : engine_(engine) { engine_.addDeviceObject(this); }
  ~RampWitness() override { engine_.removeDeviceObject(this); }
  bool restore() override {
    D3DGAMMARAMP ramp{};
    engine_.device()->GetGammaRamp(0, &ramp);
    seen.push_back(ramp.red[0]);
    return true;
  }
  std::vector<WORD> seen;

 private:
  halcyon::Application& engine_;
};

TEST_F(Shell, TheSettingsRampIsOnAResetDeviceBeforeAnyOtherObjectIsRestoredAndShellsComeAndGo) {
  TestApplication app(rec_);
  ASSERT_TRUE(app.startSaver(nullptr, ScreensaverMode::Full, 0));
  RampWitness witness(app.engine());
  app.settings().Gamma = 50;
  ASSERT_TRUE(app.engine().reset3DEnvironment());
  EXPECT_EQ(witness.seen, std::vector<WORD>{10000}) << "the other objects see the device through the ramp";
  {
    // A second shell becomes the process's application for as long as it lives; the first
    // keeps its own ramp object and goes on restoring it.
    TestApplication second(rec_);
  }
  app.settings().Gamma = 0;
  ASSERT_TRUE(app.engine().reset3DEnvironment());
  EXPECT_EQ(witness.seen.back(), 0);
}

TEST_F(Shell, PasswordModeMakesNoWindowAndFails) {
  TestApplication app(rec_);
  EXPECT_FALSE(app.startSaver(nullptr, ScreensaverMode::Password, 123));
  EXPECT_EQ(app.startFailure(), brassmoor::StartFailure::NoWindow);
  EXPECT_EQ(app.fake, nullptr);
  EXPECT_TRUE(trace_.contains("Failed creating Saver Windows\n"));
  EXPECT_TRUE(std::filesystem::exists(config_.file())) << "settings are read (and the key made) first";
}

TEST_F(Shell, ConfigModeShowsTheDialogOwnedByTheHostWindow) {
  TestApplication app(rec_);
  EXPECT_TRUE(app.startSaver(nullptr, ScreensaverMode::Config, 1234));
  EXPECT_EQ(app.fake, nullptr);
  EXPECT_THAT(rec_.calls, ::testing::ElementsAre("dialog owner 1234"));
  EXPECT_TRUE(trace_.contains("Config Mode: loading Dialog\n"));
}

TEST_F(Shell, ConfigModeShowsTheStoredSettingsNotTheHostsOnesForARun) {
  TestApplication app(rec_);
  brassmoor::RunOptions options;
  options.volume = 7;
  options.music = false;
  options.windowId = 0x1a00007;  // a host's environment
  app.setRunOptions(options);
  const brassmoor::SaverSettings stored = app.settings();
  ASSERT_TRUE(app.startSaver(nullptr, ScreensaverMode::Config, 0));
  EXPECT_EQ(app.settings().Volume, stored.Volume) << "what OK saves is what the user set";
  EXPECT_EQ(app.settings().Music, stored.Music);
  EXPECT_EQ(app.settings().ExitOnMM, stored.ExitOnMM);
}

TEST_F(Shell, PreviewWithoutHostOpensASmallWindowAndPaintsThePreviewBitmap) {
  TestApplication app(rec_);
  ASSERT_TRUE(app.startSaver(nullptr, ScreensaverMode::Preview, 0));
  ASSERT_NE(app.fake, nullptr);
  EXPECT_EQ(app.madeStyle, WS_CHILD | WS_VISIBLE);
  EXPECT_EQ(app.madeParent, 0);
  EXPECT_EQ(app.madeRect, (Rect{100, 100, 150, 150}));
  EXPECT_EQ(app.classStyle, CS_HREDRAW | CS_VREDRAW);
  EXPECT_FALSE(app.previewWaitPending()) << "the half-second wait ended on its timer";
  app.fake->invalidate();
  WindowMessage m;
  ASSERT_TRUE(app.fake->peekMessage(m));
  EXPECT_EQ(m.message, WM_PAINT);
  app.fake->dispatchMessage(m);
  ASSERT_EQ(app.fake->painted.size(), 1u);
  const auto bitmap = findResource("BITMAP", 173);
  EXPECT_EQ(app.fake->painted[0].data, bitmap.data);
  EXPECT_EQ(app.fake->painted[0].size, bitmap.size);
  EXPECT_EQ(app.fake->painted[0].x, 0);
  EXPECT_EQ(rec_.calls, std::vector<std::string>{}) << "the preview loads nothing";
}

TEST_F(Shell, FullScreenStartUpRunsItsStepsInOrder) {
  TestApplication app(rec_);
  ASSERT_TRUE(app.startSaver(nullptr, ScreensaverMode::Full, 0));
  ASSERT_NE(app.fake, nullptr);
  EXPECT_EQ(app.madeStyle, WS_POPUP | WS_VISIBLE);
  EXPECT_EQ(app.madeRect, (Rect{0, 0, 10, 10}));
  EXPECT_EQ(app.classStyle, 0u);
  EXPECT_FALSE(app.windowed()) << "the device runs full-screen";
  EXPECT_TRUE(app.active());
  std::vector<std::string> texts;
  for (const auto& e : trace_.entries()) texts.push_back(e.sink + ":" + e.text);
  EXPECT_THAT(texts, ::testing::ElementsAre("error:Log started \n", "line:Create function entered\n",
                                            ::testing::StartsWith("line:Register class return: "), "line:Full Mode:\n",
                                            "line:Using desktop mode\n",
                                            // the chosen mode, then the engine's note of the device it made
                                            ::testing::HasSubstr("Fullscreen 1024x768, 60Hz"),
                                            ::testing::StartsWith("error:----------------------\nFullscreen"),
                                            "error:Application created\n", "line:Creating successfull\n"));
  // Shipped defaults: the time overlay only, in 12-hour width, at the window's scale.
  EXPECT_THAT(rec_.calls, ::testing::ElementsAre("font /sylfaen.fs", "font /64font.fs",
                                                 ::testing::StartsWith("text 11 "), "loadCustom"));
}

TEST_F(Shell, FixedModeWindowAndStartUpFailures) {
  {
    TestApplication app(rec_);
    RegistryKey key;
    ASSERT_EQ(RegistryKey::create(brassmoor::kSettingsKeyPath, KEY_WRITE, key), ERROR_SUCCESS);
    const uint8_t zero[4] = {0, 0, 0, 0}, w[4] = {0, 4, 0, 0}, h[4] = {0, 3, 0, 0};
    key.setValue("UseDesktop", REG_DWORD, zero, 4);
    key.setValue("Width", REG_DWORD, w, 4);
    key.setValue("Height", REG_DWORD, h, 4);
    app.loadResult = false;
    EXPECT_FALSE(app.startSaver(nullptr, ScreensaverMode::Test, 0)) << "loadCustom failing fails start-up";
    EXPECT_EQ(app.startFailure(), brassmoor::StartFailure::MediaUnreadable);
    EXPECT_EQ(app.madeRect, (Rect{0, 0, 1024, 768}));
    EXPECT_TRUE(trace_.contains("Using fixed mode\n"));
    EXPECT_FALSE(trace_.contains("Creating successfull\n"));
  }
  {
    TestApplication app(rec_, withFailingFont(rec_, "/sylfaen.fs"));
    trace_.clear();
    EXPECT_FALSE(app.startSaver(nullptr, ScreensaverMode::Full, 0));
    EXPECT_EQ(app.startFailure(), brassmoor::StartFailure::MediaUnreadable);
    EXPECT_EQ(app.startFailureText(), "the font Media/sylfaen.fs cannot be read");
    EXPECT_TRUE(trace_.contains("Sylfaen font loading failed\n"));
    EXPECT_TRUE(trace_.contains("Error: Sylfaen font loading failed\n"));
  }
  {
    TestApplication app(rec_, withFailingFont(rec_, "/64font.fs"));
    trace_.clear();
    EXPECT_TRUE(app.startSaver(nullptr, ScreensaverMode::Full, 0)) << "the second font is not needed";
    EXPECT_EQ(app.startFailure(), brassmoor::StartFailure::None);
    EXPECT_TRUE(trace_.contains("64th font loading failed\n"));
    EXPECT_TRUE(trace_.contains("Error:  font loading failed\n"));
  }
}

TEST_F(Shell, AStoredModeTheDisplayLacksIsSaidAndTheDesktopsModeRuns) {
  // The scripted display offers 640x480, 800x600 and 1024x768 (its desktop) at 16 and 32 bits.
  const auto store = [](uint32_t width, uint32_t height, uint32_t depth) {
    RegistryKey key;
    ASSERT_EQ(RegistryKey::create(brassmoor::kSettingsKeyPath, KEY_WRITE, key), ERROR_SUCCESS);
    const uint32_t values[4] = {0, width, height, depth};
    const char* names[4] = {"UseDesktop", "Width", "Height", "Depth"};
    for (int i = 0; i < 4; ++i) key.setValue(names[i], REG_DWORD, reinterpret_cast<const uint8_t*>(&values[i]), 4);
  };
  {
    store(1280, 1024, 32);
    TestApplication app(rec_);
    ASSERT_TRUE(app.startSaver(nullptr, ScreensaverMode::Full, 0));
    EXPECT_FALSE(app.windowed());
    EXPECT_EQ(app.currentSettings().width, 1024u);
    EXPECT_EQ(app.currentSettings().height, 768u);
    EXPECT_THAT(trace_.failures(),
                ::testing::ElementsAre("the display mode 1280x1024 at 32 bits in the settings is not offered by this "
                                       "display; using 1024x768 (choose another mode in the settings)"));
  }
  {
    // An offered mode is taken as stored, and nothing is said.
    store(800, 600, 16);
    trace_.clear();
    TestApplication app(rec_);
    ASSERT_TRUE(app.startSaver(nullptr, ScreensaverMode::Full, 0));
    EXPECT_EQ(app.currentSettings().width, 800u);
    EXPECT_EQ(app.currentSettings().height, 600u);
    EXPECT_EQ(app.currentSettings().backBufferFormat, D3DFMT_X1R5G5B5);
    EXPECT_THAT(trace_.failures(), ::testing::IsEmpty());
  }
}

TEST_F(Shell, AWindowGetsTheMostSamplesOfferedAndFallsBackToNone) {
  brassmoor::RunOptions options;
  options.windowSize = std::make_pair(640, 480);
  {
    TestApplication app(rec_);
    app.setRunOptions(options);
    ASSERT_TRUE(app.startSaver(nullptr, ScreensaverMode::Full, 0));
    EXPECT_TRUE(app.windowed());
    EXPECT_EQ(app.currentSettings().multisampleType, D3DMULTISAMPLE_2_SAMPLES) << "the most the adapter lists";
  }
  {
    failedCreates_ = 1;
    trace_.clear();
    TestApplication app(rec_);
    app.setRunOptions(options);
    ASSERT_TRUE(app.startSaver(nullptr, ScreensaverMode::Full, 0));
    EXPECT_TRUE(trace_.contains("Setting Mode failed\n"));
    EXPECT_EQ(app.currentSettings().multisampleType, D3DMULTISAMPLE_NONE);
  }
}

TEST_F(Shell, AFailedModeIsTriedOnceMoreWithoutMultisamplingThenStartUpGivesUp) {
  {
    failedCreates_ = 1;
    TestApplication app(rec_);
    ASSERT_TRUE(app.startSaver(nullptr, ScreensaverMode::Full, 0));
    EXPECT_TRUE(trace_.contains("Setting Mode failed\n"));
    EXPECT_FALSE(trace_.contains("Setting Mode failed...exiting\n"));
    EXPECT_EQ(app.currentSettings().multisampleType, D3DMULTISAMPLE_NONE);
    EXPECT_EQ(app.currentSettings().width, 1024u) << "still the desktop's size";
  }
  {
    failedCreates_ = 2;
    trace_.clear();
    rec_.calls.clear();
    TestApplication app(rec_);
    RegistryKey key;
    ASSERT_EQ(RegistryKey::create(brassmoor::kSettingsKeyPath, KEY_WRITE, key), ERROR_SUCCESS);
    const uint8_t zero[4] = {0, 0, 0, 0};
    key.setValue("UseDesktop", REG_DWORD, zero, 4);
    EXPECT_FALSE(app.startSaver(nullptr, ScreensaverMode::Full, 0));
    EXPECT_TRUE(trace_.contains("Failed setting mode\n"));
    EXPECT_TRUE(trace_.contains("Setting Mode failed...exiting\n"));
    EXPECT_THAT(rec_.calls, ::testing::Not(::testing::Contains("loadCustom")));
    EXPECT_EQ(app.startFailure(), brassmoor::StartFailure::NoDisplayMode);
    EXPECT_EQ(app.startFailureText(), "the display mode 800x600 is not available (choose another in the settings)");
  }
}

TEST_F(Shell, FrameLoopDrawsCountsAndWindsDownInOrder) {
  testsupport::FakeClock clock;
  clock.setStep(20);  // the loading screen fades on the clock
  TestApplication app(rec_);
  brassmoor::RunOptions options;
  options.frames = 5;
  options.showFps = true;
  app.setRunOptions(options);
  ASSERT_TRUE(app.startSaver(nullptr, ScreensaverMode::Full, 0));
  ASSERT_NE(app.fpsText(), nullptr);
  EXPECT_EQ(app.fpsText()->text(), "") << "no rate is shown before one has been measured";
  clock.setStep(0);
  app.onFrame = [&] { clock.advance(10000); };  // three frames reach the 30-second mark
  rec_.calls.clear();
  trace_.clear();
  EXPECT_EQ(brassmoor::runFrameLoop(app), 1);
  EXPECT_TRUE(app.fake->destroyed());
  EXPECT_EQ(std::count(rec_.calls.begin(), rec_.calls.end(), "frameMove"), 5);
  EXPECT_EQ(std::count(rec_.calls.begin(), rec_.calls.end(), "key 114"), 2) << "two F3 presses";
  EXPECT_EQ(rec_.calls.back(), "exitHook");
  EXPECT_EQ(rec_.calls[rec_.calls.size() - 2], "endRun");
  const std::vector<std::string> texts = trace_.texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Active Frame1 start\n"), 1);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Do Render started\n"), 1);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Active Frame1 end\n"), 1);
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back(), "Log closed\n");
  EXPECT_GE(presents(), 7u) << "the loading screen, its fade and five frames";
  ASSERT_NE(app.fpsText(), nullptr);
  ASSERT_NE(app.timeText(), nullptr);
  // The time text sits in the bottom-right corner of the 10 x 10 client area... once full
  // screen, of whatever size the window has.
  const auto [w, h] = app.timeText()->textExtent();
  EXPECT_FLOAT_EQ(app.timeText()->x(), 10.0f - w);
  EXPECT_FLOAT_EQ(app.timeText()->y(), 10.0f - h);
}

TEST_F(Shell, AQuitFromTheWindowIsSeenAfterTheMessagesAndLogged) {
  TestApplication app(rec_);
  ASSERT_TRUE(app.startSaver(nullptr, ScreensaverMode::Full, 0));
  app.fake->postMessage(WM_KEYDOWN, VK_F3);
  app.fake->postMessage(WM_KEYDOWN, VK_ESCAPE);
  app.fake->postMessage(WM_KEYDOWN, 'Q');  // not taken: the quit is seen between messages
  rec_.calls.clear();
  trace_.clear();
  EXPECT_EQ(brassmoor::runFrameLoop(app), 1);
  EXPECT_THAT(rec_.calls, ::testing::ElementsAre("key 114", "key 27", "endRun", "exitHook"));
  EXPECT_THAT(trace_.texts(), ::testing::ElementsAre("2.exit\n", "Log closed\n"));
}

TEST_F(Shell, InactiveWindowKeepsTheLoopGoingWithoutDrawing) {
  testsupport::FakeClock clock;
  clock.setStep(20);  // the loading screen fades on the clock
  TestApplication app(rec_);
  brassmoor::RunOptions options;
  options.seconds = 1;
  app.setRunOptions(options);
  ASSERT_TRUE(app.startSaver(nullptr, ScreensaverMode::Full, 0));
  clock.setStep(0);
  app.fake->postMessage(WM_ACTIVATE, WA_INACTIVE);
  int hooks = 0;
  app.onHook = [&] {
    ++hooks;
    clock.advance(300);
  };
  rec_.calls.clear();
  EXPECT_EQ(brassmoor::runFrameLoop(app), 1);
  EXPECT_GE(hooks, 3);
  EXPECT_EQ(std::count(rec_.calls.begin(), rec_.calls.end(), "renderFrame"), 0) << "nothing is drawn";
  EXPECT_EQ(std::count(rec_.calls.begin(), rec_.calls.end(), "frameMove"), hooks)
      << "the scene (its sound's fade-in, its storm) goes on";
  // Each idle pass waits for the window system, for a bounded time, instead of spinning.
  ASSERT_GE(app.fake->waits.size(), static_cast<std::size_t>(hooks - 1));
  for (int wait : app.fake->waits) EXPECT_TRUE(wait > 0 && wait <= 100) << wait;
}

TEST_F(Shell, ARunForFramesDrawsThemWithoutTheFocus) {
  // Several scripted runs side by side take the focus from one another; each still ends
  // with the frames it was asked for instead of waiting for the focus.
  testsupport::FakeClock clock;
  clock.setStep(20);
  TestApplication app(rec_);
  brassmoor::RunOptions options;
  options.frames = 2;
  options.seconds = 30;  // a bound, should the frames never come
  app.setRunOptions(options);
  ASSERT_TRUE(app.startSaver(nullptr, ScreensaverMode::Test, 0));
  app.fake->postMessage(WM_ACTIVATE, WA_INACTIVE);
  rec_.calls.clear();
  EXPECT_EQ(brassmoor::runFrameLoop(app), 1);
  EXPECT_EQ(std::count(rec_.calls.begin(), rec_.calls.end(), "renderFrame"), 2);
}

TEST_F(Shell, WithoutOverlaysNothingIsMeasuredOrSet) {
  testsupport::FakeClock clock;
  clock.setStep(20);  // the loading screen fades on the clock
  TestApplication app(rec_);
  RegistryKey key;
  ASSERT_EQ(RegistryKey::create(brassmoor::kSettingsKeyPath, KEY_WRITE, key), ERROR_SUCCESS);
  const uint8_t zero[4] = {0, 0, 0, 0};
  key.setValue("ShowTime", REG_DWORD, zero, 4);
  key.setValue("ShowFps", REG_DWORD, zero, 4);
  brassmoor::RunOptions options;
  options.frames = 3;
  app.setRunOptions(options);
  ASSERT_TRUE(app.startSaver(nullptr, ScreensaverMode::Full, 0));
  clock.setStep(0);
  app.onFrame = [&] { clock.advance(2000); };
  EXPECT_EQ(brassmoor::runFrameLoop(app), 1);
  EXPECT_EQ(app.fpsText(), nullptr);
  EXPECT_EQ(app.timeText(), nullptr);
  EXPECT_TRUE(rec_.texts.empty());
}

TEST_F(Shell, OverlaysFollowTheWindowsSmallerSide) {
  const struct {
    int32_t width, height;
    float scale;
  } windows[] = {{1024, 768, 1.0f}, {2304, 768, 1.0f}, {1280, 720, 0.9375f}, {768, 1366, 0.75f}};
  for (const auto& w : windows) {
    TestApplication app(rec_);
    brassmoor::RunOptions options;
    options.windowSize = std::make_pair(w.width, w.height);
    app.setRunOptions(options);
    ASSERT_TRUE(app.startSaver(nullptr, ScreensaverMode::Full, 0));
    EXPECT_FLOAT_EQ(app.scale(), w.scale) << w.width << "x" << w.height;
  }
}

TEST_F(Shell, FrameRateAndTimeTextsAreRefreshed) {
  testsupport::FakeClock clock;
  clock.setStep(20);  // the loading screen fades on the clock
  clock.setLocalTime(13, 7, 45);
  TestApplication app(rec_);
  brassmoor::RunOptions options;
  options.frames = 3;
  options.showFps = true;
  app.setRunOptions(options);
  ASSERT_TRUE(app.startSaver(nullptr, ScreensaverMode::Full, 0));
  clock.setStep(0);
  app.onFrame = [&] { clock.advance(500); };
  EXPECT_EQ(brassmoor::runFrameLoop(app), 1);
  // Time text every pass; the rate text once a second at most.
  EXPECT_THAT(rec_.texts, ::testing::Contains("1:07:45 pm"));
  EXPECT_THAT(rec_.texts, ::testing::Contains("1:07:46 pm"));
  EXPECT_EQ(std::count_if(rec_.texts.begin(), rec_.texts.end(),
                          [](const std::string& t) { return t.find(':') == std::string::npos; }),
            1);
}

}  // namespace
