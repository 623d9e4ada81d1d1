#pragma once
// The one application object of the process: the screensaver shell. It owns the engine's
// application (the device, its loss and reset, the engine's share of the window messages) and
// takes part in it through the engine's extension points only: a device object that puts the
// settings' gamma ramp on every new or reset device before anything else is restored, and the
// saver window's procedure, which ends in the engine's msgProc. It runs the start-up for each
// mode, owns the rules that end a run, and holds the settings, the media archive, the scene
// properties, the camera with its tours and the free camera's controller, and the scene it
// shows (the clock scene in the program), which it calls through the SaverScene operations and
// lends itself to as the SceneHost.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "app/engine_window.h"
#include "app/run_options.h"
#include "app/shell_parts.h"
#include "clock/saver_scene.h"
#include "clock/scene_properties.h"
#include "clock/tours.h"
#include "engine/camera/fly_camera.h"
#include "engine/core/clock.h"
#include "engine/device/application.h"
#include "engine/device/loading_screen.h"
#include "engine/scene/camera.h"
#include "settings/defaults_table.h"
#include "settings/saver_settings.h"

namespace halcyon {
class NodeMap;
class StateCache;
class StoredArchive;
class Texture;
}

namespace brassmoor {

// What made start-up fail; the entry point says it in one line and ends with its exit code.
enum class StartFailure { None, NoDisplay, NoOpenGL, NoDisplayMode, NoWindow, MediaUnreadable };

// One channel of the device gamma ramp of a gamma offset (baseGammaRamp in clock/storm.h).
std::array<uint16_t, 256> gammaRampFor(int32_t gamma);

using platform::LPARAM;
using platform::LRESULT;
using platform::WPARAM;

class SaverApplication : public InputListener, public SceneHost {
 public:
  explicit SaverApplication(ShellParts parts = standInShellParts(), MessageBoxFn messageBox = {});
  ~SaverApplication() override;

  // The saver window's procedure: the shell's rules first, then the engine's msgProc.
  virtual LRESULT handleMessage(platform::SaverWindow& window, uint32_t message, WPARAM wParam, LPARAM lParam);

  // The engine's application the shell owns; it is the engine's getApplication() while the
  // shell lives.
  halcyon::Application& engine() { return engine_; }
  const halcyon::Application& engine() const { return engine_; }

  // The run ends at the next check of the frame loop once this is asked for.
  bool quitRequested() const { return quitRequested_; }
  void requestQuit() { quitRequested_ = true; }
  bool loadSettings();
  bool saveSettings();

  // The scene the run shows; the shell attaches itself to it as its host. Until one is
  // given the shell shows the plain scene, which draws nothing.
  void setScene(std::unique_ptr<SaverScene> scene);
  SaverScene& scene() { return *scene_; }

  // The shell's start-up for `mode`; the frame loop runs only when it succeeds and the mode
  // is not Config.
  bool startSaver(void* instance, ScreensaverMode mode, int64_t hostWindow);

  // Why the last startSaver failed, and the line that says so (None and empty after success).
  StartFailure startFailure() const { return startFailure_; }
  const std::string& startFailureText() const { return startFailureText_; }

  // Input listener: buttons, and mouse movement when asked for, end the run.
  void onInputEvent(const InputEvent& event) override;

  // One frame at the frame's time: device test, clear, camera from the tours, the fixed
  // states, the scene's passes (handed the state cache, the device and the camera), the tour
  // fade, the overlays, presentation. False when the device was lost and nothing was drawn.
  bool composeFrame(const halcyon::FrameTime& frame);
  // The first frame composed unseen where the device can draw so, covering no pixel: the
  // driver builds its programs then, and the memory that building takes is given back before
  // the first shown frame needs its own.
  void composeFrameUnseen(const halcyon::FrameTime& frame);
  // "Scene.props" from the media folder: every key present, the tours it lists, then the
  // scene's readCustomProperties with the parsed tree. Nothing changes when it cannot be opened.
  void readSceneProperties();
  // Tours enabled and a first tour chosen at random (outside the preview).
  void startTours();
  // The free camera's controller moves the free camera by the frame's step while no tour
  // plays; a tour that ends hands its last pose back to it.
  void updateFreeCamera(const halcyon::FrameTime& frame);

  ScreensaverMode mode() const { return mode_; }
  int64_t hostWindow() const { return hostWindow_; }
  SaverSettings& settings() override { return settings_; }
  const SaverSettings& settings() const { return settings_; }
  const DefaultsTable& defaults() const { return defaults_; }
  const std::string& mediaFolder() const override { return mediaFolder_; }
  bool preview() const override { return mode_ == ScreensaverMode::Preview; }
  // The engine application's device: the one way to it outside a drawn frame.
  IDirect3DDevice9* device() const override { return engine_.device(); }
  float scale() const { return scale_; }
  bool previewWaitPending() const { return previewWaitPending_; }
  halcyon::IntervalTimer& inputExitTimer() { return inputExitTimer_; }

  void setRunOptions(const RunOptions& options) { runOptions_ = options; }
  const RunOptions& runOptions() const { return runOptions_; }

  SceneProperties& properties() override { return props_; }
  Tours& tours() override { return tours_; }
  halcyon::Camera& camera() override { return camera_; }
  CameraPose& freeCamera() override { return freeCamera_; }
  halcyon::FlyCamera& flyCamera() { return flyCamera_; }
  // The media archive the scene's files come from (null before it is mounted).
  halcyon::StoredArchive* archive() const override { return archive_; }
  // Media from a folder and an archive of the caller's (tests, tools) instead of the mounted
  // resource; the archive may be null.
  void useMedia(std::string folder, halcyon::StoredArchive* archive) override;
  // The saver window (null outside a run).
  platform::SaverWindow* saverWindow() const override { return ownedWindow_.get(); }
  // The picture last presented, when the run asked for pictures (--record, --screenshot).
  bool captureFrame(platform::Image& image);

  ShellParts& parts() { return parts_; }
  OverlayText* fpsText() const { return fpsText_; }
  OverlayText* timeText() const { return timeText_; }
  // The caption of `key`, or `fallback` when the captions have none.
  std::string caption(std::string_view key, std::string_view fallback) const;

  std::unique_ptr<platform::SaverWindow> releaseWindow() { return std::move(ownedWindow_); }
  // Destroys the saver window (DestroyWindow).
  void destroyWindow();

 protected:
  // Makes the native saver window: an X11 child of `parent` for the preview, else an SDL
  // window. Tests put a window of their own here.
  virtual std::unique_ptr<platform::SaverWindow> makeWindow(const platform::WindowClass& windowClass,
                                                            const std::string& title, uint32_t style, int64_t parent,
                                                            const platform::Rect& rect);

 private:
  // The gamma ramp of the settings on every device the engine makes or resets. It registers
  // with the engine when the shell is made, before anything else can, so the engine restores
  // it first: what the other objects restore is seen through the ramp already.
  class SettingsGammaRamp final : public halcyon::DeviceObject {
   public:
    SettingsGammaRamp(halcyon::Application& engine, const SaverSettings& settings);
    ~SettingsGammaRamp() override;
    bool restore() override;

   private:
    halcyon::Application& engine_;
    const SaverSettings& settings_;
  };

  bool failStart(StartFailure failure, std::string text);
  bool createSaverWindow();
  bool chooseDisplayMode();
  // One line on stderr when the stored fixed mode is not among the display's modes.
  void sayStoredModeUnavailable() const;
  bool setModeWithFallback(const halcyon::DeviceSettings& fallback, const char* failure);
  // Stores the settings with the most samples their combination offers, up to what the frame
  // wants; a windowed mode falls back to none when the device cannot be made with them.
  void storeWithMultisample(halcyon::DeviceSettings settings);
  bool setWindowedMode();
  void mountMedia();
  void showLoadingScreen();
  void fadeOutLoadingScreen();
  void createOverlayTexts();
  void startChosenTour();
  bool drawFade(IDirect3DDevice9& device, halcyon::StateCache& states, float opacity);

  // First of the members, so it is made before and destroyed after everything that holds
  // device resources or registers with it.
  halcyon::Application engine_;
  SettingsGammaRamp gammaRamp_;
  ShellParts parts_;
  DefaultsTable defaults_;
  SaverSettings settings_;
  bool quitRequested_ = false;
  ScreensaverMode mode_ = ScreensaverMode::Config;
  int64_t hostWindow_ = 0;
  bool previewWaitPending_ = false;
  std::string mediaFolder_ = "Media";
  float scale_ = 1.0f;
  halcyon::IntervalTimer inputExitTimer_;
  std::unique_ptr<platform::SaverWindow> ownedWindow_;
  std::unique_ptr<ShellEngineWindow> engineWindow_;
  std::unique_ptr<halcyon::StoredArchive> mountedArchive_;
  halcyon::StoredArchive* archive_ = nullptr;
  halcyon::Texture* loadingTextures_[5] = {nullptr, nullptr, nullptr, nullptr, nullptr};
  halcyon::LoadingPictures loadingPictures_;
  SceneProperties props_;
  Tours tours_;
  halcyon::Camera camera_;
  CameraPose freeCamera_;
  halcyon::FlyCamera flyCamera_;
  bool flyCameraHasPose_ = false;
  bool composingUnseen_ = false;  // composeFrameUnseen at work
  OverlayText* fpsText_ = nullptr;
  OverlayText* timeText_ = nullptr;
  RunOptions runOptions_;
  StartFailure startFailure_ = StartFailure::None;
  std::string startFailureText_;
  std::unique_ptr<SaverScene> scene_;
};

// The process's application object: made on first request by the installed factory (the
// shell with the clock scene, or a plain SaverApplication when none is installed), deleted
// once at the end.
using ApplicationFactory = std::function<std::unique_ptr<SaverApplication>()>;
void setApplicationFactory(ApplicationFactory factory);
SaverApplication& obtainApplication();
SaverApplication* existingApplication();
void deleteApplication();

}  // namespace brassmoor
