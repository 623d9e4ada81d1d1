#pragma once
// The clock scene's sound: music and rain loops, three thunder claps for the storm and the
// ticking placed in 3D at the clock. The scene calls it at load (library, device, samples),
// once per frame (fade-in and listener), for each thunder clap, and at the end of the run.
//
// Settings act like this: Music plays the music loop; Sound plays rain, thunder and ticking;
// Volume (0..100) is the level all of it fades in to over the first four seconds after the
// load. When no output can be opened, or there is no sound library at all, the run goes on
// without sound: Music and Sound are off for the run (the stored settings stay as they are).
//
// The scene's part, in order:
//   load:   loadSoundLibrary(); initSound(window); ... loadSamples(ticks position) once the
//           hour hand is bound; ... restartFadeIn() as the load's last step.
//   frame:  frameMove(camera pose, preview) first; the storm then asks effects() before it
//           works its thunder queue, queues claps only while thunderLoaded(), and calls
//           thunderClap(rand) for each clap that falls due.
//   end:    endRun() (full-screen and test runs).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/clock.h"
#include "platform/sound/sound_library.h"

namespace halcyon {
class StoredArchive;
}

namespace brassmoor {

struct SoundSettings {
  bool music = true;
  bool sound = true;
  int32_t volume = 50;
};

// Reads a media file whole; nothing when it cannot be found or read.
using MediaReader = std::function<std::optional<std::vector<uint8_t>>(const std::string& name)>;
// The media files as the scene finds them: a loose file on disk first, then the entry of the
// program's media archive (which may be null).
MediaReader mediaFiles(halcyon::StoredArchive* archive);
// Brings in the sound library; null when this build or machine has none.
using SoundLibraryLoader = std::function<std::unique_ptr<platform::SoundLibrary>()>;
// The mixer-backed library; with `audioOut` set it writes the sound to that WAV file
// instead of the sound card (the run's --audio-out).
SoundLibraryLoader openAlSound(std::string audioOut);
// One draw of the C library's generator (0..32767).
using RandomDraw = std::function<int()>;

struct ListenerPose {
  platform::SoundVector position;
  platform::SoundVector forward{0, 0, 1};
  platform::SoundVector up{0, 1, 0};
};

class ClockSound {
 public:
  // Every channel a sample may have playing at once.
  static constexpr uint32_t kMaxPlaybacks = 20;
  static constexpr int64_t kFadeInMs = 4000;

  ClockSound(SoundSettings settings, SoundLibraryLoader loader, MediaReader reader, std::string mediaDirectory);
  ~ClockSound();
  ClockSound(const ClockSound&) = delete;
  ClockSound& operator=(const ClockSound&) = delete;

  // Load steps, in the order the scene makes them.
  void loadSoundLibrary();
  void initSound(void* window);
  // Reads `name` through the media reader and hands it to the library: the sample's handle,
  // or 0 when the file cannot be read or the library refuses it.
  platform::SoundHandle loadSample(const std::string& name, uint32_t flags);
  // Loads and starts music, rain and ticking and loads the thunder claps, as the settings
  // allow; the ticking sits at `ticksPosition`.
  void loadSamples(const platform::SoundVector& ticksPosition);
  // Loads the hour bell and the quarter bell (3D, at the clock like the ticking); only a run
  // whose clock strikes asks for them.
  void loadBells(const platform::SoundVector& position);
  // One stroke of bell `bell` (0..3 the quarter bells, highest first; 4 the hour bell).
  void strikeBell(int bell);
  // Starts the fade-in at `nowMs`; the scene restarts it as the last step of its load.
  void restartFadeIn(int64_t nowMs) { fadeTimer_.restart(nowMs); }

  // Each frame, at the frame's clock `nowMs`: the fade-in (outside preview) and the listener
  // at `camera`, as the previous frame's composition left the camera. Ends with the stage's
  // trace line.
  void frameMove(const ListenerPose& camera, bool preview, int64_t nowMs);

  // Thunder clap: draws which clap (k) and how loud, in that order, and plays it at that
  // volume times `loudness` (1 overhead, less for a storm far away).
  void thunderClap(const RandomDraw& random, float loudness = 1.0f);
  // Plays clap k (0..2, the files numbered 1..3) at `volume` 0..100.
  void playThunder(int k, int32_t volume);

  // The sound part of the end of a run: everything muted, the library released.
  void endRun();

  // The settings as they hold for this run (Music and Sound may have been switched off).
  const SoundSettings& settings() const { return settings_; }
  bool musicOrEffects() const { return (settings_.music || settings_.sound) && settings_.volume != 0; }
  bool effects() const { return settings_.sound && settings_.volume != 0; }
  // True when a thunder clap can follow a flash (the first clap's file loaded).
  bool thunderLoaded() const { return thunder_[0] != 0; }

  platform::SoundLibrary* library() const { return library_.get(); }
  platform::SoundHandle musicSample() const { return music_; }
  platform::SoundHandle rainSample() const { return rain_; }
  platform::SoundHandle thunderSample(int k) const { return k >= 0 && k < 3 ? thunder_[k] : 0; }
  platform::SoundHandle ticksSample() const { return ticks_; }
  platform::SoundHandle hourBellSample() const { return hourBell_; }
  platform::SoundHandle quarterBellSample() const { return quarterBell_; }

  // Where the ticking and the bells sit: from this distance in (scene units, cm) a sound
  // at the clock is at full level, and it grows no fainter beyond the far one.
  static constexpr float kClockNearDistance = 10.0f;
  static constexpr float kClockFarDistance = 800.0f;

 private:
  void switchOff();
  void placeAtClock(platform::SoundHandle channel, const platform::SoundVector& position);

  SoundSettings settings_;
  SoundLibraryLoader loader_;
  MediaReader reader_;
  std::string mediaDirectory_;
  std::unique_ptr<platform::SoundLibrary> library_;
  platform::SoundHandle music_ = 0, rain_ = 0, ticks_ = 0;
  platform::SoundHandle thunder_[3] = {0, 0, 0};
  platform::SoundHandle hourBell_ = 0, quarterBell_ = 0;
  platform::SoundVector bellPosition_{0, 0, 0};
  halcyon::IntervalTimer fadeTimer_;
};

}  // namespace brassmoor
