#pragma once
// The clock scene: the room loaded from "clock.udf", the six objects the program drives
// itself (the two hands, the clock glass, the lamp, the curtain and the view out of the
// window), the hands, the storm, the camera tours, the sound, the user's picture, and the
// drawing of each frame in its fixed passes.
//
// The shell calls, in this order: readSceneProperties(), startTours(), LoadCustom(); then
// each frame frameMove() and composeFrame(); endRun() once at the end.
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "clock/clock_sound.h"
#include "clock/scene_properties.h"
#include "clock/storm.h"
#include "clock/tours.h"
#include "engine/scene/animation.h"
#include "engine/scene/camera.h"
#include "engine/scene/scene.h"

namespace halcyon {
class StoredArchive;
class Texture;
}

namespace brassmoor {

struct ClockSceneSetup {
  std::string mediaFolder = "Media";
  halcyon::StoredArchive* archive = nullptr;
  SoundSettings sound;
  // Brings in the sound library; null runs without one (as if no output could be opened).
  SoundLibraryLoader soundLoader;
  void* window = nullptr;   // handed to the sound library
  int32_t gamma = 0;        // the Gamma setting, -100..100
  std::string photoPath;    // the user's picture; empty keeps the scene's own
  bool preview = false;
  RandomDraw random = [] { return std::rand(); };
};

class ClockScene {
 public:
  explicit ClockScene(ClockSceneSetup setup);
  ~ClockScene();
  ClockScene(const ClockScene&) = delete;
  ClockScene& operator=(const ClockScene&) = delete;

  // "Scene.props": every key that is present, and the tours it lists.
  void readSceneProperties();
  // Tours enabled and a first tour chosen at random (outside the preview).
  void startTours();
  // Loads the room and its media. True whenever it ran to its end, also when the scene file
  // was missing: the run then shows the clear colour, the overlays and the sounds.
  bool LoadCustom();
  // Per-frame update: sound, hands, storm. Always true.
  bool frameMove();
  // One frame: device test, clear, camera, fixed states, the passes, the tour fade, the
  // overlays, presentation. False when the device was lost and nothing was drawn.
  bool composeFrame();
  // The scene's passes, inside the device scene.
  bool renderFrame();
  // End of the run: the base gamma ramp back (outside the preview) and the sound released.
  void endRun(bool fullScreenRun);

  // Draws the overlay windows, called by composeFrame on a cleared depth buffer.
  void setOverlayDrawer(std::function<bool()> drawer) { overlays_ = std::move(drawer); }

  SceneProperties& properties() { return props_; }
  Storm& storm() { return storm_; }
  Tours& tours() { return tours_; }
  ClockSound& sound() { return *sound_; }
  halcyon::Scene& scene() { return *scene_; }
  halcyon::Camera& camera() { return camera_; }
  CameraPose& freeCamera() { return freeCamera_; }
  bool sceneLoaded() const { return sceneLoaded_; }

  halcyon::SceneNode* hourHand() const { return hourHand_; }
  halcyon::SceneNode* minuteHand() const { return minuteHand_; }
  halcyon::SceneNode* clockGlass() const { return glass_; }
  halcyon::SceneNode* lamp() const { return lamp_; }
  halcyon::SceneNode* curtain() const { return curtain_; }
  halcyon::SceneNode* outdoorPlane() const { return outdoor_; }
  const halcyon::Track& hourTrack() const { return *hourTrack_; }
  const halcyon::Track& minuteTrack() const { return *minuteTrack_; }
  halcyon::Vec3 ticksPosition() const { return ticksPosition_; }

 private:
  void applyPicture();
  void exchangeLampStages(halcyon::SceneNode& node);
  void bindNamedObjects();
  halcyon::Track& bindHand(halcyon::SceneNode& node);
  void setGamma(const D3DGAMMARAMP& ramp);
  bool drawFade(float opacity);

  ClockSceneSetup setup_;
  SceneProperties props_;
  std::unique_ptr<halcyon::Scene> scene_;
  std::unique_ptr<ClockSound> sound_;
  Storm storm_;
  Tours tours_;
  halcyon::Camera camera_;
  CameraPose freeCamera_;
  bool sceneLoaded_ = false;

  halcyon::SceneNode* hourHand_ = nullptr;
  halcyon::SceneNode* minuteHand_ = nullptr;
  halcyon::SceneNode* glass_ = nullptr;
  halcyon::SceneNode* lamp_ = nullptr;
  halcyon::SceneNode* curtain_ = nullptr;
  halcyon::SceneNode* outdoor_ = nullptr;
  // Top-level entries taken out of the main pass; their bound objects draw in passes of
  // their own.
  std::vector<std::unique_ptr<halcyon::SceneNode>> detached_;
  // The hands' tracks: the rotation tracks of the animations added to the hand nodes, or
  // tracks of our own that drive nothing while a hand is missing.
  halcyon::Track ownHourTrack_{halcyon::Track::kRotation};
  halcyon::Track ownMinuteTrack_{halcyon::Track::kRotation};
  halcyon::Track* hourTrack_ = &ownHourTrack_;
  halcyon::Track* minuteTrack_ = &ownMinuteTrack_;
  halcyon::Vec3 ticksPosition_{0.0f, 0.0f, 0.0f};
  halcyon::Texture* picture_ = nullptr;
  std::function<bool()> overlays_;
};

}  // namespace brassmoor
