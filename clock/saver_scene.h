#pragma once
// What the saver's shell and the scene it shows ask of each other. The shell owns the run:
// the window, the device, the settings, the media, the scene properties and the camera with
// its tours; it holds one scene and calls it at fixed points of the run. The scene draws the
// room and keeps what it needs for that; it reaches the run's shared state through the
// SceneHost the shell lends it for its whole life.
//
// The shell calls, in this order: attach() once when it takes the scene; at start-up
// readCustomProperties() (from its own reading of "Scene.props") and loadCustom(); then each
// pass of the frame loop perFrameHook() and frameMove() with the frame's time, and in each
// drawn frame renderFrame() with the frame's context from inside the frame's composition;
// endRun() and exitHook() once at the end. configDialogProc() sees the messages of the
// settings dialog.
//
// Time and the device come down as parameters: the frame loop reads the clocks once a pass
// (FrameTime), and the frame's composition hands the passes the state cache, the device and
// the camera it set up (FrameContext).
#include <cstdint>
#include <string>

#include "clock/scene_properties.h"
#include "clock/tours.h"
#include "engine/core/clock.h"
#include "platform/d3d9/d3d9.h"
#include "platform/window/saver_window.h"
#include "platform/window/win32_messages.h"
#include "settings/saver_settings.h"

namespace halcyon {
class Camera;
class NodeMap;
class StateCache;
class StoredArchive;
}

namespace brassmoor {

// What a drawn frame hands the scene's passes.
struct FrameContext {
  // Every render, sampler and stage state goes through the cache.
  halcyon::StateCache& states;
  // The device the passes draw with; never null inside a drawn frame.
  IDirect3DDevice9* device;
  // Where the frame is seen from, with the projection of the frame's viewport.
  const halcyon::Camera& camera;
  const halcyon::FrameTime& time;
};

// The run's shared state as the scene sees it. The shell implements it; every answer is
// live (the media, the window and the mode are only known once the run has started).
class SceneHost {
 public:
  virtual SaverSettings& settings() = 0;
  virtual SceneProperties& properties() = 0;
  virtual Tours& tours() = 0;
  // The camera of the frame: where the listener stands and what the passes draw from.
  virtual halcyon::Camera& camera() = 0;
  // The pose the camera takes while no tour plays.
  virtual CameraPose& freeCamera() = 0;
  virtual const std::string& mediaFolder() const = 0;
  virtual halcyon::StoredArchive* archive() const = 0;
  // Media from a folder and an archive of the caller's instead of the program's own.
  virtual void useMedia(std::string folder, halcyon::StoredArchive* archive) = 0;
  // The saver window (null outside a run).
  virtual platform::SaverWindow* saverWindow() const = 0;
  // The small picture in a settings program's preview: no tours, no sound, no storm effects.
  virtual bool preview() const = 0;
  // The run's render device (null while there is none); outside a drawn frame the device is
  // reached only through this.
  virtual IDirect3DDevice9* device() const = 0;

 protected:
  ~SceneHost() = default;
};

// A scene of the saver. The plain scene draws nothing and loads nothing: the shell runs with
// it when no scene was installed.
class SaverScene {
 public:
  virtual ~SaverScene() = default;
  // The shell takes the scene; `host` outlives it.
  virtual void attach(SceneHost& /*host*/) {}
  // The parsed "Scene.props" after the shell read its own keys; null when there was none.
  virtual void readCustomProperties(const halcyon::NodeMap* /*properties*/) {}
  // Loads the scene's media. False fails the start-up.
  virtual bool loadCustom() { return true; }
  // The scene's update, every pass of the frame loop (also while nothing is drawn).
  virtual bool frameMove(const halcyon::FrameTime& /*frame*/) { return true; }
  // The scene's passes, inside the device scene of a drawn frame.
  virtual bool renderFrame(const FrameContext& /*frame*/) { return true; }
  // A message of the settings dialog (`dialog` is its platform::DialogBox).
  virtual intptr_t configDialogProc(void* /*dialog*/, uint32_t /*message*/, platform::WPARAM /*wParam*/,
                                    platform::LPARAM /*lParam*/) {
    return 0;
  }
  virtual void endRun() {}
  virtual void perFrameHook() {}
  virtual void exitHook() {}
};

}  // namespace brassmoor
