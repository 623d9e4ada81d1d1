#pragma once
// The sound library the clock scene plays through: eleven entry points with the vocabulary
// and numbers the scene was written against (devices, config options, sample flags, 3D
// modes, volumes 0..100, pans -100..100). Two implementations exist: the OpenAL one that
// really plays (openal_sound_library.h) and a silent one that records every call for tests
// (recording_sound_library.h).
//
// Rules every implementation keeps:
// - Handles are 32-bit and never 0; a call with 0, a handle of the wrong kind or a handle
//   whose channel slot has since been handed out again fails without effect.
// - Nothing throws; failures are a false result or a 0 handle.
// - 3D changes (listener, factors, channel 3D attributes and positions) are held until
//   Apply3D, so that a frame's 3D updates reach the mixer together.
// - Vectors are in the scene's space: left-handed, Y up, one unit per centimetre.
#include <cstdint>
#include <memory>

namespace platform {

using SoundHandle = uint32_t;

struct SoundVector {
  float x = 0, y = 0, z = 0;
};

// Init devices.
inline constexpr int32_t SOUND_DEVICE_NONE = 0;     // plays nothing, every call still works
inline constexpr int32_t SOUND_DEVICE_DEFAULT = 1;  // the default output (or the wave file)
// Init flags.
inline constexpr uint32_t SOUND_DEVICE_3D = 4;  // 3D samples are positioned only with this
// SetConfig options.
inline constexpr uint32_t SOUND_CONFIG_GVOL_SAMPLE = 4;  // global sample volume 0..100
// SampleLoad flags.
inline constexpr uint32_t SOUND_SAMPLE_MONO = 2;
inline constexpr uint32_t SOUND_SAMPLE_LOOP = 4;
inline constexpr uint32_t SOUND_SAMPLE_3D = 8;
inline constexpr uint32_t SOUND_SAMPLE_SOFTWARE = 16;
// ChannelSet3DAttributes modes.
inline constexpr int32_t SOUND_3DMODE_NORMAL = 0;    // placed in the world
inline constexpr int32_t SOUND_3DMODE_RELATIVE = 1;  // placed relative to the listener
inline constexpr int32_t SOUND_3DMODE_OFF = 2;       // heard as if at the listener
// "Leave as it is" values.
inline constexpr int32_t SOUND_KEEP_FREQUENCY = -1;
inline constexpr int32_t SOUND_KEEP_VOLUME = -1;
inline constexpr int32_t SOUND_KEEP_PAN = -101;
inline constexpr float SOUND_KEEP_FACTOR = -1.0f;

class SoundLibrary {
 public:
  virtual ~SoundLibrary() = default;

  // Opens `device` (SOUND_DEVICE_DEFAULT or SOUND_DEVICE_NONE) mixing at `frequency` Hz.
  // `window` and `classId` are accepted for the caller's sake and not used. Fails when the
  // device cannot be opened or the library was already initialised.
  virtual bool Init(int32_t device, uint32_t frequency, uint32_t flags, void* window, const void* classId) = 0;
  // Only SOUND_CONFIG_GVOL_SAMPLE is known; its value must be 0..100.
  virtual bool SetConfig(uint32_t option, uint32_t value) = 0;
  // Distance factor (metres per unit, for the Doppler speed of sound), roll-off factor of
  // every 3D channel, Doppler factor. A negative value leaves that factor as it is.
  virtual bool Set3DFactors(float distance, float rollOff, float doppler) = 0;
  // The listener; a null vector leaves that part as it is.
  virtual bool Set3DPosition(const SoundVector* position, const SoundVector* velocity, const SoundVector* front,
                             const SoundVector* top) = 0;
  // Makes every held 3D change audible.
  virtual void Apply3D() = 0;
  // Decodes an Ogg Vorbis file held in memory (bytes [offset, offset + length) of `memory`)
  // into a sample with at most `maxPlaybacks` channels at a time. The memory is not needed
  // afterwards. Returns 0 for data that is not a complete, intact Ogg Vorbis file.
  virtual SoundHandle SampleLoad(const void* memory, uint32_t offset, uint32_t length, uint32_t maxPlaybacks,
                                 uint32_t flags) = 0;
  // A channel of `sample` to play it on. With `onlyNew` it fails when all the sample's
  // channels are playing; otherwise the channel that has played longest is taken over.
  virtual SoundHandle SampleGetChannel(SoundHandle sample, bool onlyNew) = 0;
  virtual bool ChannelPlay(SoundHandle channel, bool restart) = 0;
  // Frequency in Hz (SOUND_KEEP_FREQUENCY, or 0 for the sample's own rate), volume 0..100
  // (SOUND_KEEP_VOLUME), pan -100..100 (SOUND_KEEP_PAN).
  virtual bool ChannelSetAttributes(SoundHandle channel, int32_t frequency, int32_t volume, int32_t pan) = 0;
  // Mode (-1 keeps it), minimum and maximum distance (0 or less keeps them), cone inside and
  // outside angles in degrees (-1 keeps them), volume outside the cone 0..100 (-1 keeps it).
  virtual bool ChannelSet3DAttributes(SoundHandle channel, int32_t mode, float minDistance, float maxDistance,
                                      int32_t insideAngle, int32_t outsideAngle, int32_t outsideVolume) = 0;
  // A null vector leaves that part as it is.
  virtual bool ChannelSet3DPosition(SoundHandle channel, const SoundVector* position, const SoundVector* orientation,
                                    const SoundVector* velocity) = 0;
};

}  // namespace platform
