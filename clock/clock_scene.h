#pragma once
// The clock scene: the scene the saver's shell shows. It holds the room loaded from
// "clock.udf", the six objects the program drives itself (the two hands, the clock glass,
// the lamp, the curtain and the view out of the window), the hands, the storm, the sound and
// the user's picture, and it draws each frame's passes. The run's settings, media, scene
// properties, camera and tours are the shell's, reached through the SceneHost it attaches.
//
// The shell calls, in this order: attach(), readCustomProperties() (from its reading of
// "Scene.props"), loadCustom(); then each frame frameMove() and, in drawn frames,
// renderFrame() from its frame composition; endRun() once at the end.
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "clock/chimes.h"
#include "clock/clock_sound.h"
#include "clock/saver_scene.h"
#include "clock/scene_properties.h"
#include "clock/storm.h"
#include "clock/tours.h"
#include "clock/window_view.h"
#include "engine/scene/animation.h"
#include "engine/scene/camera.h"
#include "engine/scene/scene.h"

namespace halcyon {
class StoredArchive;
class Texture;
}

namespace brassmoor {

// What a test or tool may set instead of the run's own choices.
struct ClockSceneSetup {
  // Where the media come from; empty: the shell's "Media" folder and the program's archive.
  std::string mediaFolder;
  halcyon::StoredArchive* archive = nullptr;
  // Brings in the sound library; null runs without one (as if no output could be opened).
  SoundLibraryLoader soundLoader;
  // The random draws of the storm, the thunder and the tours; empty: the program's own
  // generator (halcyon::programRandom), seeded once at start-up.
  RandomDraw random;
};

class ClockScene : public SaverScene {
 public:
  explicit ClockScene(ClockSceneSetup setup = {});
  ~ClockScene() override;

  // Takes the setup's media into the host, the scene's draws into its tours, and makes the
  // sound and the storm's base ramp from its settings.
  void attach(SceneHost& host) override;
  // Per-frame update at the frame's time: sound, hands, storm. Always true.
  bool frameMove(const halcyon::FrameTime& frame) override;
  // The scene's passes, inside the device scene.
  bool renderFrame(const FrameContext& frame) override;
  // Loads the room and its media. True whenever it ran to its end, also when the scene file
  // was missing: the run then shows the clear colour, the overlays and the sounds.
  bool loadCustom() override;
  // QuietTime and WinkTime.
  void readCustomProperties(const halcyon::NodeMap* properties) override;
  intptr_t configDialogProc(void* dialog, uint32_t message, platform::WPARAM wParam, platform::LPARAM lParam) override;
  // End of the run: the base gamma ramp back and the sound released (nothing in the preview,
  // which loaded neither).
  void endRun() override;

  Storm& storm() { return storm_; }
  ClockChimes& chimes() { return chimes_; }
  ClockSound& sound() { return *sound_; }
  halcyon::Scene& scene() { return *scene_; }
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
  std::unique_ptr<ClockSound> makeSound();
  void applyPicture();
  // `oneLevel`: the light maps are sampled from their full-size level alone.
  void exchangeLampStages(halcyon::SceneNode& node, bool oneLevel);
  // Whether the light maps are sampled from their full-size level only (no mip levels).
  bool lightMapsFromOneLevel() const;
  void arrangeOutdoorStages();
  void bindNamedObjects();
  void dimWithTextureFactor(halcyon::SceneNode& node);
  halcyon::Track& bindHand(halcyon::SceneNode& node);
  void setGamma(const D3DGAMMARAMP& ramp);
  void drawMoonShadow(const FrameContext& frame);

  SceneHost& host() const { return *host_; }
  SaverSettings& settings() const { return host_->settings(); }
  bool preview() const { return host_->preview(); }

  ClockSceneSetup setup_;
  SceneHost* host_ = nullptr;
  RandomDraw random_;
  std::unique_ptr<halcyon::Scene> scene_;
  std::unique_ptr<ClockSound> sound_;
  Storm storm_;
  ClockChimes chimes_;
  bool sceneLoaded_ = false;

  halcyon::SceneNode* hourHand_ = nullptr;
  halcyon::SceneNode* minuteHand_ = nullptr;
  halcyon::SceneNode* glass_ = nullptr;
  halcyon::SceneNode* lamp_ = nullptr;
  halcyon::SceneNode* curtain_ = nullptr;
  halcyon::SceneNode* outdoor_ = nullptr;
  int outdoorFlashStage_ = 1;  // the outdoor stage that adds the lightning's grey
  // The room's window: what lies beyond it is drawn inside its panes' place on the screen.
  WindowView window_;
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
  // Whether the room's light maps carry the lamp's share of their light separately.
  bool lampShares_ = false;
  halcyon::Texture* picture_ = nullptr;
};

}  // namespace brassmoor
