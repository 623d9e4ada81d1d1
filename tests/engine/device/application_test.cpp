#include <gtest/gtest.h>

#include "engine/device/application.h"
#include "engine/device/state_cache.h"
#include "platform/d3d9/recording.h"
#include "tests/support/trace_capture.h"

namespace {

using namespace halcyon;

class FakeWindow : public EngineWindow {
 public:
  HWND deviceWindow() override { return reinterpret_cast<HWND>(this); }
  uint32_t style() override { return windowStyle; }
  void setStyle(uint32_t s) override { windowStyle = s; }
  WindowRect rect() override { return windowRect; }
  WindowRect clientRect() override { return client; }
  void place(const WindowRect& r) override {
    placed = true;
    windowRect = r;
  }
  void postQuit() override { quitPosted = true; }
  LRESULT defaultProcedure(uint32_t, WPARAM, LPARAM) override { return 42; }
  uint32_t windowStyle = msg::WS_OVERLAPPEDWINDOW | msg::WS_VISIBLE;
  WindowRect windowRect{0, 0, 656, 519}, client{0, 0, 640, 480};
  bool placed = false, quitPosted = false;
};

class Probe : public DeviceObject {
 public:
  explicit Probe(std::vector<std::string>& log, std::string name, bool ok = true)
      : log_(log), name_(std::move(name)), ok_(ok) {}
  bool restore() override {
    log_.push_back("restore " + name_);
    return ok_;
  }
  bool invalidate() override {
    log_.push_back("invalidate " + name_);
    return true;
  }
  std::vector<std::string>& log_;
  std::string name_;
  bool ok_;
};

class ApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application::setDirect3DLoader([this] {
      d3d_ = new RecordingDirect3D9(adapters_);
      return d3d_;
    });
  }
  void TearDown() override { Application::setDirect3DLoader(nullptr); }
  RecordingDevice* device() { return d3d_ ? d3d_->lastDevice() : nullptr; }
  std::vector<ScriptedAdapter> adapters_{ScriptedAdapter::standard()};
  RecordingDirect3D9* d3d_ = nullptr;
  FakeWindow window_;
};

TEST_F(ApplicationTest, CreateFindsBothSettingsAndSetModeMakesTheDevice) {
  adapters_[0].desktop = {800, 600, 75, D3DFMT_X8R8G8B8};
  Application app;
  EXPECT_TRUE(app.windowed());
  EXPECT_TRUE(app.suspended());
  ASSERT_TRUE(app.create(nullptr, &window_));
  EXPECT_EQ(app.fullScreenSettings().width, 800u);
  EXPECT_EQ(app.windowedSettings().windowed, 1);
  testsupport::TraceCapture trace;
  ASSERT_TRUE(app.setMode(false));
  ASSERT_NE(app.device(), nullptr);
  EXPECT_EQ(stateCache().device(), app.device());
  EXPECT_TRUE(window_.placed);
  EXPECT_EQ(app.presentParameters().BackBufferWidth, 640u) << "windowed: the client size";
  EXPECT_EQ(app.backBufferDesc().Width, 640u);
  EXPECT_EQ(app.behaviourFlags(), D3DCREATE_HARDWARE_VERTEXPROCESSING);
  ASSERT_FALSE(trace.entries().empty());
  EXPECT_EQ(trace.entries()[0].sink, "error");
  EXPECT_NE(trace.entries()[0].text.find("Windowed 800x600"), std::string::npos);
  EXPECT_NE(trace.entries()[0].text.find("Vertex Proccessing: HARDWARE_VP"), std::string::npos);
  EXPECT_TRUE(app.active());
  EXPECT_FALSE(app.suspended());
}

TEST_F(ApplicationTest, SoftwareOnlyMachineCreatesWithSoftwareProcessing) {
  adapters_[0].caps.DevCaps = 0;
  Application app;
  ASSERT_TRUE(app.create(nullptr, &window_));
  ASSERT_TRUE(app.setMode(true));
  EXPECT_EQ(d3d_->lastBehaviourFlags(), 0x20u);
  EXPECT_EQ(app.presentParameters().Windowed, FALSE);
  EXPECT_EQ(app.presentParameters().BackBufferWidth, 1024u);
}

TEST_F(ApplicationTest, CreateFailsCleanlyWithoutRuntimeOrModes) {
  Application::setDirect3DLoader([] { return static_cast<IDirect3D9*>(nullptr); });
  Application none;
  EXPECT_FALSE(none.create(nullptr, &window_));
  EXPECT_EQ(none.direct3D(), nullptr);
  SetUp();
  adapters_[0].desktop = {1600, 1200, 60, D3DFMT_X8R8G8B8};  // not among the modes
  Application noMode;
  EXPECT_FALSE(noMode.create(nullptr, &window_));
  EXPECT_EQ(noMode.direct3D(), nullptr);
}

TEST_F(ApplicationTest, LossProtocolRunsInOrder) {
  Application app;
  std::vector<std::string> log;
  Probe a(log, "a"), b(log, "b");
  EXPECT_FALSE(a.registerDeviceObject()) << "no device yet";
  b.registerDeviceObject();
  ASSERT_TRUE(app.create(nullptr, &window_));
  ASSERT_TRUE(app.setMode(false));
  EXPECT_EQ(log, (std::vector<std::string>{"restore a", "restore b"}));
  log.clear();

  stateCache().setRenderState(D3DRS_ZENABLE, FALSE);
  device()->simulateLoss(1);
  EXPECT_TRUE(app.testDevice()) << "lost: nothing done, try again next frame";
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(device()->count("Reset"), 0u);
  EXPECT_TRUE(app.testDevice());
  EXPECT_EQ(log, (std::vector<std::string>{"invalidate a", "invalidate b", "restore a", "restore b"}));
  EXPECT_EQ(device()->count("Reset"), 1u);
  stateCache().setRenderState(D3DRS_ZENABLE, FALSE);
  EXPECT_EQ(device()->countRenderState(D3DRS_ZENABLE), 2u) << "the cache was emptied by the reset";
  EXPECT_TRUE(app.deviceObjectsRestored());
}

TEST_F(ApplicationTest, FailedRestoreLeavesObjectsInvalidatedAndEveryoneIsCalled) {
  Application app;
  std::vector<std::string> log;
  Probe a(log, "a", false), b(log, "b");
  a.registerDeviceObject();
  b.registerDeviceObject();
  ASSERT_TRUE(app.create(nullptr, &window_));
  ASSERT_TRUE(app.setMode(false)) << "a failing restore does not fail the mode";
  EXPECT_EQ(log, (std::vector<std::string>{"restore a", "restore b", "invalidate a", "invalidate b"}));
  EXPECT_FALSE(app.deviceObjectsRestored());
  EXPECT_NE(app.device(), nullptr);
}

TEST_F(ApplicationTest, ResizeGoesThroughResetAndMessagesUpdateState) {
  Application app;
  ASSERT_TRUE(app.create(nullptr, &window_));
  ASSERT_TRUE(app.setMode(false));
  window_.client = {0, 0, 800, 500};
  app.msgProc(nullptr, msg::WM_EXITSIZEMOVE, 0, 0);
  EXPECT_EQ(device()->count("Reset"), 1u);
  EXPECT_EQ(app.presentParameters().BackBufferWidth, 800u);
  EXPECT_EQ(app.backBufferDesc().Height, 500u);
  app.msgProc(nullptr, msg::WM_EXITSIZEMOVE, 0, 0);
  EXPECT_EQ(device()->count("Reset"), 1u) << "same size: no reset";

  app.msgProc(nullptr, msg::WM_SIZE, msg::SIZE_MINIMIZED, 0);
  EXPECT_TRUE(app.minimized());
  EXPECT_TRUE(app.suspended());
  app.msgProc(nullptr, msg::WM_SIZE, msg::SIZE_RESTORED, 0);
  EXPECT_FALSE(app.minimized());
  EXPECT_FALSE(app.suspended());
  app.msgProc(nullptr, msg::WM_ACTIVATE, 0x00010000, 0);
  EXPECT_FALSE(app.active()) << "only the low word counts";
  EXPECT_EQ(app.msgProc(nullptr, 0x9999, 0, 0), 42) << "the rest goes to the default procedure";
  EXPECT_EQ(app.msgProc(nullptr, msg::WM_CLOSE, 0, 0), 0);
  EXPECT_TRUE(window_.quitPosted);
  EXPECT_EQ(app.device(), nullptr);
  EXPECT_EQ(stateCache().device(), nullptr);
  EXPECT_FALSE(stateCache().setRenderState(D3DRS_LIGHTING, 7)) << "no device behind the cache any more";
}

TEST_F(ApplicationTest, FullScreenSwallowsSystemCommandsAndHandlersSeeEverything) {
  struct Counter : MessageHandler {
    LRESULT handleMessage(HWND, uint32_t, WPARAM, LPARAM) override {
      ++seen;
      return 5;
    }
    int seen = 0;
  } counter;
  Application app;
  app.addMessageHandler(&counter);
  ASSERT_TRUE(app.create(nullptr, &window_));
  ASSERT_TRUE(app.setMode(true));
  EXPECT_EQ(app.msgProc(nullptr, msg::WM_SYSCOMMAND, msg::SC_MONITORPOWER, 0), 1);
  EXPECT_EQ(app.msgProc(nullptr, msg::WM_NCHITTEST, 0, 0), msg::HTCLIENT);
  EXPECT_EQ(counter.seen, 2);
  app.removeMessageHandler(&counter);
}

TEST_F(ApplicationTest, TheStateCacheReachesWhicheverDeviceTheApplicationHoldsNow) {
  {
    Application app;
    ASSERT_TRUE(app.create(nullptr, &window_));
    ASSERT_TRUE(app.setMode(false));
    IDirect3DDevice9* windowed = app.device();
    ASSERT_TRUE(app.setMode(true));
    EXPECT_EQ(stateCache().device(), app.device()) << "a switch of mode needs no hand-over";

    // A device of the cache's own wins until it is taken back.
    stateCache().setDevice(windowed);
    EXPECT_EQ(stateCache().device(), windowed);
    stateCache().setDevice(nullptr);
    EXPECT_EQ(stateCache().device(), app.device());
  }
  EXPECT_EQ(stateCache().device(), nullptr) << "no application, no device";
  EXPECT_FALSE(stateCache().setRenderState(D3DRS_LIGHTING, 3));
}

}  // namespace
