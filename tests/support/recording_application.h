#pragma once
// The engine's application on the recording render runtime, as tests, benchmarks and fuzz
// targets start it; its device is then the engine's current one.
#include <cstdint>
#include <memory>

#include "engine/device/application.h"
#include "platform/d3d9/recording.h"
#include "tests/support/headless_engine_window.h"

namespace testsupport {

// The engine's application on the recording runtime, windowed in a headless window. The
// runtime stays installed as the application's loader until stop() or destruction, so a
// device lost and made again is recorded too.
class RecordingApplication {
 public:
  explicit RecordingApplication(int32_t width = 64, int32_t height = 64) : window_(width, height) {}
  ~RecordingApplication() { stop(); }
  RecordingApplication(const RecordingApplication&) = delete;
  RecordingApplication& operator=(const RecordingApplication&) = delete;

  // Creates the application and sets its windowed mode; false when either fails.
  bool start() {
    halcyon::Application::setDirect3DLoader([this] { return d3d_ = new RecordingDirect3D9(); });
    app_ = std::make_unique<halcyon::Application>();
    return app_->create(nullptr, &window_) && app_->setMode(false);
  }
  // Ends the application and puts the system's runtime back as the loader.
  void stop() {
    app_.reset();
    halcyon::Application::setDirect3DLoader(nullptr);
  }

  halcyon::Application& app() { return *app_; }
  HeadlessEngineWindow& window() { return window_; }
  RecordingDirect3D9* d3d() const { return d3d_; }
  // The device the application made last.
  RecordingDevice* device() const { return d3d_ ? d3d_->lastDevice() : nullptr; }

 private:
  HeadlessEngineWindow window_;
  RecordingDirect3D9* d3d_ = nullptr;
  std::unique_ptr<halcyon::Application> app_;
};

}  // namespace testsupport
