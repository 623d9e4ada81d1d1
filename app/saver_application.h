#pragma once
// The one application object of the process: the screensaver shell on top of the engine
// application. It runs the start-up for each mode, owns the saver window's procedure and the
// rules that end a run, and holds the settings. The clock scene derives from it and
// overrides the scene operations (frameMove, renderFrame, LoadCustom, ...); the operations
// are declared in their fixed slot order.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/application_base.h"
#include "app/command_line.h"
#include "app/run_options.h"
#include "app/shell_parts.h"
#include "engine/core/clock.h"
#include "settings/defaults_table.h"
#include "settings/saver_settings.h"

namespace halcyon {
class NodeMap;
}

namespace brassmoor {

// The device gamma ramp of a gamma offset: Gamma * 200 + i * 256, clamped to 0..65535.
std::array<uint16_t, 256> gammaRampFor(int32_t gamma);

class SaverApplication : public ApplicationBase, public InputListener {
 public:
  explicit SaverApplication(ShellParts parts = standInShellParts(), MessageBoxFn messageBox = {});

  // --- virtual operations, in slot order ---
  // The saver window's procedure.
  virtual LRESULT handleMessage(platform::SaverWindow& window, uint32_t message, WPARAM wParam, LPARAM lParam);
  ~SaverApplication() override;
  // Applies the gamma ramp of the settings, then restores the device objects.
  bool RestoreDeviceObjects() override;
  // InvalidateDeviceObjects: inherited.
  virtual void frameMove();
  virtual void renderFrame();
  virtual bool LoadCustom();
  virtual void readCustomProperties(const halcyon::NodeMap* properties);
  virtual intptr_t configDialogProc(void* dialog, uint32_t message, WPARAM wParam, LPARAM lParam);
  virtual void endRun();
  virtual void perFrameHook();
  virtual void exitHook();
  virtual bool loadSettings();
  virtual bool saveSettings();

  // The shell's start-up for `mode`; the frame loop runs only when it succeeds and the mode
  // is not Config.
  bool startSaver(void* instance, ScreensaverMode mode, int64_t hostWindow);

  // Input listener: buttons, and mouse movement when asked for, end the run.
  void onInputEvent(const InputEvent& event) override;

  // One drawn frame: device check, the scene, the overlays, presentation. False when the
  // device could not draw.
  bool composeFrame();

  ScreensaverMode mode() const { return mode_; }
  int64_t hostWindow() const { return hostWindow_; }
  SaverSettings& settings() { return settings_; }
  const SaverSettings& settings() const { return settings_; }
  const DefaultsTable& defaults() const { return defaults_; }
  const std::string& mediaFolder() const { return mediaFolder_; }
  float scale() const { return scale_; }
  bool previewWaitPending() const { return previewWaitPending_; }
  halcyon::IntervalTimer& inputExitTimer() { return inputExitTimer_; }

  void setRunOptions(const RunOptions& options) { runOptions_ = options; }
  const RunOptions& runOptions() const { return runOptions_; }

  ShellParts& parts() { return parts_; }
  OverlayText* fpsText() const { return fpsText_; }
  OverlayText* timeText() const { return timeText_; }
  // The caption of `key`, or `fallback` when the captions have none.
  std::string caption(std::string_view key, std::string_view fallback) const;

  std::unique_ptr<platform::SaverWindow> releaseWindow() { return std::move(ownedWindow_); }
  // Destroys the saver window (DestroyWindow).
  void destroyWindow();

 protected:
  // Start-up steps that later subsystems fill in; each answers as a first build may.
  virtual void mountMedia();
  virtual void showLoadingScreen();
  virtual void readSceneProperties();
  virtual void fadeOutLoadingScreen();
  // Makes the native saver window: an X11 child of `parent` for the preview, else an SDL
  // window. Tests put a window of their own here.
  virtual std::unique_ptr<platform::SaverWindow> makeWindow(const platform::WindowClass& windowClass,
                                                            const std::string& title, uint32_t style, int64_t parent,
                                                            const platform::Rect& rect);

 private:
  bool createSaverWindow();
  bool chooseDisplayMode();
  void createOverlayTexts();

  ShellParts parts_;
  DefaultsTable defaults_;
  SaverSettings settings_;
  ScreensaverMode mode_ = ScreensaverMode::Config;
  int64_t hostWindow_ = 0;
  bool previewWaitPending_ = false;
  std::string mediaFolder_ = "Media";
  float scale_ = 1.0f;
  halcyon::IntervalTimer inputExitTimer_;
  std::unique_ptr<platform::SaverWindow> ownedWindow_;
  OverlayText* fpsText_ = nullptr;
  OverlayText* timeText_ = nullptr;
  RunOptions runOptions_;
};

// The process's application object: made on first request by the installed factory (the
// clock scene, or a plain SaverApplication when none is installed), deleted once at the end.
using ApplicationFactory = std::function<std::unique_ptr<SaverApplication>()>;
void setApplicationFactory(ApplicationFactory factory);
SaverApplication& obtainApplication();
SaverApplication* existingApplication();
void deleteApplication();

}  // namespace brassmoor
