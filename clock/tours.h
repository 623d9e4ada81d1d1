#pragma once
// The camera tours: paths of position and rotation keys, played one after another in random
// order without repetition until each has played once, then anew. Each tour fades in from
// black over its first second and out to black over its last. While no tour can play the
// view belongs to the free camera.
//
// A tour file is binary data whose root holds one 32-byte raw member per key: type "pos" is
// a position key (time, x, y, z), any other type a rotation key (time, quaternion x, y, z,
// w). Times are tour units, ten to the second. The camera looks along (0, 0, 1) and holds
// (0, 1, 0) as up, both turned by the key's quaternion (the row-vector rotation the scene's
// nodes use); the tours in the media are made to this rule.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "engine/core/clock.h"
#include "engine/core/engine_list.h"
#include "engine/scene/animation.h"
#include "engine/scene/matrix.h"

namespace halcyon {
class StoredArchive;
}

namespace brassmoor {

struct CameraPose {
  halcyon::Vec3 position{0.0f, 0.0f, 0.0f};
  halcyon::Vec3 direction{0.0f, 0.0f, 1.0f};
  halcyon::Vec3 up{0.0f, 1.0f, 0.0f};
};

// Position, forward direction and up vector of a tour key's rotation.
CameraPose poseFromRotation(halcyon::Vec3 position, const halcyon::Quaternion& rotation);

class Tours {
 public:
  using RandomDraw = std::function<int()>;
  static constexpr float kSpeed = 0.01f;      // tour units per millisecond
  static constexpr float kFadeWidth = 10.0f;  // tour units

  Tours(std::string mediaFolder, halcyon::StoredArchive* archive, RandomDraw random);

  // Where the tour files are found, and the draws that choose them.
  void setSource(std::string mediaFolder, halcyon::StoredArchive* archive) {
    mediaFolder_ = std::move(mediaFolder);
    archive_ = archive;
  }
  void setRandom(RandomDraw random) { random_ = std::move(random); }

  // Appends a tour name to the list (the order of the scene properties).
  void addTour(const std::string& name);
  // Empties both key tracks and fills them from the named file; they stay empty when the
  // file cannot be opened or read.
  void loadTour(const std::string& name);
  // Start-up: tours enabled, time 0, and a random first tour.
  void start();
  // Starts the tour named `name` (if listed) instead, at `time` tour units.
  bool startAt(const std::string& name, float time);
  // The tour clock starts counting at `nowMs`.
  void restartTimer(int64_t nowMs) { timer_.restart(nowMs); }

  // The frame's step at the frame's clock `nowMs`: the view of the current tour, moved on by
  // the whole time since the last call (a tour only moves in drawn frames, and the first one
  // after a pause catches up with all of it), or the free camera's pose when no tour plays.
  // A tour that runs past its end hands over to the next one and leaves its last pose in the
  // free camera.
  CameraPose advance(CameraPose& freeCamera, int64_t nowMs);
  // The view the next advance starts from, without moving the tour on.
  CameraPose view(const CameraPose& freeCamera);
  // Opacity of the black fade over the picture, when the time is within a tour's fade.
  std::optional<float> fade() const;

  bool enabled() const { return enabled_; }
  void setEnabled(bool on) { enabled_ = on; }
  // True while the current tour has keys, so the view is the tour's.
  bool playing() const;
  float time() const { return time_; }
  void setTime(float t) { time_ = t; }
  // Name of the tour under the list's cursor (empty when none).
  std::string current() const;
  int32_t remaining() const { return list_.count(); }
  int32_t played() const { return played_.count(); }
  const halcyon::Animation& node() const { return node_; }

 private:
  void chooseNext();
  void evaluate();

  std::string mediaFolder_;
  halcyon::StoredArchive* archive_;
  RandomDraw random_;
  halcyon::EngineList<std::string> list_;
  halcyon::EngineList<std::string> played_;
  halcyon::Animation node_;
  CameraPose pose_;
  float time_ = 0.0f;
  halcyon::IntervalTimer timer_;
  bool enabled_ = false;
};

}  // namespace brassmoor
