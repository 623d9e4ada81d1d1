#pragma once
// The sound library over OpenAL: short samples are decoded whole at load (Ogg Vorbis) into
// an OpenAL buffer, long ones are decoded while they play, a quarter of a second at a time
// queued on their channel's source by a feeder thread; every channel is an OpenAL source,
// the listener is OpenAL's listener.
//
// How the 3D values reach the mixer (OpenAL's "inverse distance, clamped" model):
//   gain = min / (min + rollOff × (clamp(d, min, max) − min))
// with d the distance from listener to channel in scene units, `min` the channel's minimum
// distance (its reference distance; 1 unit until set), `max` its maximum distance (beyond
// it the sound keeps the level it has there) and `rollOff` the factor of Set3DFactors.
// The clock's ticking uses min 1 (a minimum of 0 keeps the current value), max 400 and
// roll-off 0.1: full level at the dial, about −15 dB at 50 cm, −21 dB at one metre and
// −32 dB from four metres on, so it is clear next to the clock and faint across the room.
// The cone (inside and outside angles in degrees, outside volume 0..100) becomes OpenAL's
// cone angles and outer gain; 360/360 makes the channel sound alike in every direction.
// Volumes are linear: a volume v gives gain v/100, the global sample volume scales the
// listener's gain the same way. The distance factor sets the speed of sound (343.3 m/s in
// scene units) so that Doppler shifts match the units; the Doppler factor is OpenAL's.
// The scene is left-handed and OpenAL right-handed: every position, velocity and direction
// has its z negated on the way in, so that left stays left.
#include <cstdint>
#include <filesystem>
#include <memory>

#include "platform/sound/sound_library.h"

namespace platform {

struct SoundOutput {
  // Empty: the default sound output. Otherwise the mix is written to this WAV file
  // (16-bit stereo, in real time, complete once the library is destroyed).
  std::filesystem::path waveFile;
  // Sounds that would decode to more than this many bytes stay compressed and are decoded
  // while they play (the music, the rain and the thunder: 1.3 to 28 MB each decoded); shorter
  // ones are decoded whole at load, into one buffer all their channels share.
  uint64_t streamAboveBytes = uint64_t{1} << 20;
};

std::unique_ptr<SoundLibrary> createOpenAlSoundLibrary(const SoundOutput& output);

}  // namespace platform
