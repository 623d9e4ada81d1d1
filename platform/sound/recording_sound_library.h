#pragma once
// A silent sound library that writes down every call, with its arguments and its result,
// and keeps the state a listener would hear (global volume, listener, channels and their
// attributes). Tests of the layers above drive it instead of the mixer.
//
// Calls read like "SampleLoad(mem, 0, 1234, 20, 4) = 1": handles are small numbers (samples
// from 1, channels from 1001), floats are printed shortest, a null vector is "null". Like the
// real library it fails on a 0, unknown or wrong-kind handle, on values out of range and on
// every call before Init.
#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "platform/sound/sound_library.h"

namespace platform {

class RecordingSoundLibrary final : public SoundLibrary {
 public:
  struct Options {
    bool outputAvailable = true;  // false: Init of the default device fails
    // Decides whether SampleLoad takes the bytes; by default any non-empty data.
    std::function<bool(std::span<const uint8_t>)> accepts;
  };

  struct ChannelState {
    SoundHandle sample = 0;
    bool playing = false;
    int32_t frequency = 0;
    int32_t volume = 100;
    int32_t pan = 0;
    int32_t mode = SOUND_3DMODE_NORMAL;
    float minDistance = 1.0f, maxDistance = 1e9f;
    int32_t insideAngle = 360, outsideAngle = 360, outsideVolume = 100;
    SoundVector position{}, orientation{}, velocity{};
  };

  struct SampleState {
    uint32_t length = 0;
    uint32_t maxPlaybacks = 0;
    uint32_t flags = 0;
  };

  RecordingSoundLibrary();
  explicit RecordingSoundLibrary(Options options);

  const std::vector<std::string>& calls() const { return calls_; }
  void clearCalls() { calls_.clear(); }
  // The calls whose text starts with `prefix` (e.g. "SetConfig(").
  std::vector<std::string> callsStartingWith(const std::string& prefix) const;

  bool initialised() const { return initialised_; }
  int32_t device() const { return device_; }
  uint32_t globalVolume() const { return globalVolume_; }
  float rollOff() const { return rollOff_; }
  // The listener as of the last Apply3D.
  const SoundVector& listenerPosition() const { return listenerPosition_; }
  const SoundVector& listenerFront() const { return listenerFront_; }
  const SoundVector& listenerTop() const { return listenerTop_; }
  const std::map<SoundHandle, SampleState>& samples() const { return samples_; }
  const std::map<SoundHandle, ChannelState>& channels() const { return channels_; }
  // The channels that were started, in handle order.
  std::vector<SoundHandle> playingChannels() const;

  bool Init(int32_t device, uint32_t frequency, uint32_t flags, void* window, const void* classId) override;
  bool SetConfig(uint32_t option, uint32_t value) override;
  bool Set3DFactors(float distance, float rollOff, float doppler) override;
  bool Set3DPosition(const SoundVector* position, const SoundVector* velocity, const SoundVector* front,
                     const SoundVector* top) override;
  void Apply3D() override;
  SoundHandle SampleLoad(const void* memory, uint32_t offset, uint32_t length, uint32_t maxPlaybacks,
                         uint32_t flags) override;
  SoundHandle SampleGetChannel(SoundHandle sample, bool onlyNew) override;
  bool ChannelPlay(SoundHandle channel, bool restart) override;
  bool ChannelSetAttributes(SoundHandle channel, int32_t frequency, int32_t volume, int32_t pan) override;
  bool ChannelSet3DAttributes(SoundHandle channel, int32_t mode, float minDistance, float maxDistance,
                              int32_t insideAngle, int32_t outsideAngle, int32_t outsideVolume) override;
  bool ChannelSet3DPosition(SoundHandle channel, const SoundVector* position, const SoundVector* orientation,
                            const SoundVector* velocity) override;

 private:
  void record(const std::string& call, const std::string& result);
  ChannelState* findChannel(SoundHandle handle);

  Options options_;
  std::vector<std::string> calls_;
  bool initialised_ = false;
  int32_t device_ = -1;
  uint32_t globalVolume_ = 100;
  float rollOff_ = 1.0f;
  SoundVector pendingPosition_{}, pendingFront_{0, 0, 1}, pendingTop_{0, 1, 0};
  SoundVector listenerPosition_{}, listenerFront_{0, 0, 1}, listenerTop_{0, 1, 0};
  float pendingRollOff_ = 1.0f;
  std::map<SoundHandle, SampleState> samples_;
  std::map<SoundHandle, ChannelState> channels_;
  SoundHandle nextSample_ = 1;
  SoundHandle nextChannel_ = 1001;
};

}  // namespace platform
