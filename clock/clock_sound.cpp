#include "clock/clock_sound.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "engine/core/trace.h"
#include "engine/fs/file_ref.h"
#include "platform/sound/openal_sound_library.h"

namespace brassmoor {

using platform::SoundHandle;
using platform::SoundVector;

MediaReader mediaFiles(halcyon::StoredArchive* archive) {
  return [archive](const std::string& name) -> std::optional<std::vector<uint8_t>> {
    halcyon::FileRef file;
    file.sources = halcyon::Disk | halcyon::Archive;
    file.name = name;
    file.archive = archive;
    halcyon::FileBytes bytes;
    bool share = false;
    if (!file.readAll(bytes, share)) return std::nullopt;
    return bytes.take();
  };
}

SoundLibraryLoader openAlSound(std::string audioOut) {
  return
      [audioOut = std::move(audioOut)] { return platform::createOpenAlSoundLibrary(platform::SoundOutput{audioOut}); };
}

ClockSound::ClockSound(SoundSettings settings, SoundLibraryLoader loader, MediaReader reader,
                       std::string mediaDirectory)
    : settings_(settings),
      loader_(std::move(loader)),
      reader_(std::move(reader)),
      mediaDirectory_(std::move(mediaDirectory)) {}

ClockSound::~ClockSound() = default;

void ClockSound::loadSoundLibrary() {
  if (!library_ && loader_) library_ = loader_();
}

void ClockSound::switchOff() {
  settings_.music = false;
  settings_.sound = false;
}

void ClockSound::initSound(void* window) {
  if (!library_) {
    // Without a library there is nothing to call: the run is silent.
    halcyon::logLine("BASS not inited\n");
    switchOff();
    return;
  }
  if (!musicOrEffects()) {
    // Nothing will play: the sound card (or the --audio-out file) is left alone, and the
    // no-sound device still answers every call.
    halcyon::logLine("BASS not inited\n");
    library_->Init(platform::SOUND_DEVICE_NONE, 44100, 0, window, nullptr);
  } else if (library_->Init(platform::SOUND_DEVICE_DEFAULT, 44100, platform::SOUND_DEVICE_3D, window, nullptr)) {
    halcyon::logLine("BASS inited\n");
  } else {
    halcyon::logLine("BASS not inited\n");
    // One line of the saver's own in place of the sound libraries' (see openal_sound_library).
    // With the room's sounds switched off for the run, only the music needed the device, and
    // the line says that much: "silent" alone reads as if the switch had not been heard.
    halcyon::reportFailure(settings_.sound ? "no sound device could be opened; the run is silent"
                                           : "no sound device could be opened; the music is not played");
    library_->Init(platform::SOUND_DEVICE_NONE, 44100, 0, window, nullptr);
    switchOff();
  }
  library_->Set3DFactors(platform::SOUND_KEEP_FACTOR, 0.1f, platform::SOUND_KEEP_FACTOR);
  library_->Apply3D();
  // Everything starts muted; the per-frame fade-in raises it.
  library_->SetConfig(platform::SOUND_CONFIG_GVOL_SAMPLE, 0);
}

SoundHandle ClockSound::loadSample(const std::string& name, uint32_t flags) {
  if (!library_ || !reader_) return 0;
  std::optional<std::vector<uint8_t>> bytes = reader_(name);
  if (!bytes || bytes->size() > std::numeric_limits<uint32_t>::max()) return 0;
  return library_->SampleLoad(bytes->data(), 0, static_cast<uint32_t>(bytes->size()), kMaxPlaybacks, flags);
}

void ClockSound::loadSamples(const SoundVector& ticksPosition) {
  if (!library_) return;
  platform::SoundLibrary& lib = *library_;
  const auto loaded = [](const std::string& name) { halcyon::logLine(name + " sample loaded\n"); };

  if (settings_.music) {
    const std::string name = mediaDirectory_ + "/ClockMusic.ogg";
    music_ = loadSample(name, platform::SOUND_SAMPLE_LOOP);
    if (music_ != 0) {
      lib.ChannelPlay(lib.SampleGetChannel(music_, true), true);
      loaded(name);
    }
  }
  if (!settings_.sound) return;

  const std::string rainName = mediaDirectory_ + "/ClockRain.ogg";
  rain_ = loadSample(rainName, platform::SOUND_SAMPLE_LOOP);
  if (rain_ != 0) loaded(rainName);
  // Made even when the rain did not load: the library refuses the 0 handle.
  lib.ChannelPlay(lib.SampleGetChannel(rain_, true), true);

  for (int k = 0; k < 3; ++k) {
    const std::string name = mediaDirectory_ + "/ClockGrom" + std::to_string(k + 1) + ".ogg";
    thunder_[k] = loadSample(name, 0);
    if (thunder_[k] != 0) loaded(name);
  }

  ticks_ = loadSample(mediaDirectory_ + "/ClockTicks.ogg", platform::SOUND_SAMPLE_MONO | platform::SOUND_SAMPLE_LOOP |
                                                               platform::SOUND_SAMPLE_3D |
                                                               platform::SOUND_SAMPLE_SOFTWARE);
  const SoundHandle channel = lib.SampleGetChannel(ticks_, true);
  lib.ChannelPlay(channel, true);
  placeAtClock(channel, ticksPosition);
  lib.ChannelSetAttributes(channel, platform::SOUND_KEEP_FREQUENCY, 100, -1);
  lib.Apply3D();
}

void ClockSound::placeAtClock(SoundHandle channel, const SoundVector& position) {
  // Full level within a hand's breadth of the hood, so at the dial the ticking is the
  // clearest sound in the room; from there it falls off with the roll-off factor set at
  // start, to about a sixth across the room, and no further beyond eight metres.
  library_->ChannelSet3DAttributes(channel, platform::SOUND_3DMODE_NORMAL, kClockNearDistance, kClockFarDistance, 360,
                                   360, 100);
  const SoundVector facing{0, 0, 1};
  library_->ChannelSet3DPosition(channel, &position, &facing, nullptr);
}

void ClockSound::loadBells(const SoundVector& position) {
  if (!library_ || !settings_.sound) return;
  const uint32_t flags = platform::SOUND_SAMPLE_MONO | platform::SOUND_SAMPLE_3D | platform::SOUND_SAMPLE_SOFTWARE;
  for (auto [handle, file] : {std::pair{&hourBell_, "/ClockBell.ogg"}, std::pair{&quarterBell_, "/ClockChime.ogg"}}) {
    const std::string name = mediaDirectory_ + file;
    *handle = loadSample(name, flags);
    if (*handle != 0) halcyon::logLine(name + " sample loaded\n");
  }
  bellPosition_ = position;
}

void ClockSound::strikeBell(int bell) {
  if (!library_ || !effects() || bell < 0 || bell > 4) return;
  // The four quarter bells are one bell cast in four sizes: the lowest as recorded, the
  // others a second, a third and a fifth above it.
  static constexpr float kQuarterPitch[4] = {1.5f, 1.25f, 1.125f, 1.0f};
  const SoundHandle sample = bell == 4 ? hourBell_ : quarterBell_;
  if (sample == 0) return;
  const SoundHandle channel = library_->SampleGetChannel(sample, true);
  placeAtClock(channel, bellPosition_);
  const int32_t frequency = bell == 4 ? platform::SOUND_KEEP_FREQUENCY
                                      : static_cast<int32_t>(std::lround(44100.0f * kQuarterPitch[bell]));
  library_->ChannelSetAttributes(channel, frequency, 100, platform::SOUND_KEEP_PAN);
  library_->ChannelPlay(channel, true);
  library_->Apply3D();
}

void ClockSound::frameMove(const ListenerPose& camera, bool preview, int64_t nowMs) {
  if (library_) {
    if (!preview && musicOrEffects()) {
      // Clamped on both sides: a clock that ran back must not give a negative level, and a
      // stored volume outside 0..100 must not be handed on.
      const float f = std::clamp(static_cast<float>(fadeTimer_.elapsed(nowMs)) / static_cast<float>(kFadeInMs), 0.0f,
                                 1.0f);
      const int32_t volume = std::clamp(settings_.volume, 0, 100);
      library_->SetConfig(platform::SOUND_CONFIG_GVOL_SAMPLE,
                          static_cast<uint32_t>(std::trunc(static_cast<float>(volume) * f)));
    }
    library_->Set3DPosition(&camera.position, nullptr, &camera.forward, &camera.up);
    library_->Apply3D();
  }
  halcyon::logLine("BASS stuff ok\n");
}

void ClockSound::thunderClap(const RandomDraw& random, float loudness) {
  const int k = random() % 3;
  int32_t volume = 0;
  switch (random() % 3) {
    case 0: volume = random() % 30 + 20; break;
    case 1: volume = 0; break;  // one clap in three stays silent
    default: volume = 100; break;
  }
  playThunder(k, static_cast<int32_t>(std::lround(static_cast<float>(volume) * std::clamp(loudness, 0.0f, 1.0f))));
}

void ClockSound::playThunder(int k, int32_t volume) {
  if (!library_ || k < 0 || k > 2) return;
  const SoundHandle channel = library_->SampleGetChannel(thunder_[k], true);
  library_->ChannelSetAttributes(channel, platform::SOUND_KEEP_FREQUENCY, std::clamp(volume, 0, 100),
                                 platform::SOUND_KEEP_PAN);
  library_->ChannelPlay(channel, true);
}

void ClockSound::endRun() {
  if (!library_) return;
  library_->SetConfig(platform::SOUND_CONFIG_GVOL_SAMPLE, 0);
  library_.reset();
  music_ = rain_ = ticks_ = hourBell_ = quarterBell_ = 0;
  thunder_[0] = thunder_[1] = thunder_[2] = 0;
}

}  // namespace brassmoor
