#include "platform/sound/recording_sound_library.h"

#include <cmath>
#include <cstdio>
#include <utility>

namespace platform {
namespace {

std::string number(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
  return text;
}

std::string vector(const SoundVector* v) {
  if (v == nullptr) return "null";
  return "(" + number(v->x) + ", " + number(v->y) + ", " + number(v->z) + ")";
}

std::string flag(bool value) { return value ? "true" : "false"; }

}  // namespace

RecordingSoundLibrary::RecordingSoundLibrary() : RecordingSoundLibrary(Options{}) {}

RecordingSoundLibrary::RecordingSoundLibrary(Options options) : options_(std::move(options)) {}

std::vector<std::string> RecordingSoundLibrary::callsStartingWith(const std::string& prefix) const {
  std::vector<std::string> found;
  for (const std::string& call : calls_) {
    if (call.rfind(prefix, 0) == 0) found.push_back(call);
  }
  return found;
}

std::vector<SoundHandle> RecordingSoundLibrary::playingChannels() const {
  std::vector<SoundHandle> playing;
  for (const auto& [handle, channel] : channels_) {
    if (channel.playing) playing.push_back(handle);
  }
  return playing;
}

void RecordingSoundLibrary::record(const std::string& call, const std::string& result) {
  calls_.push_back(result.empty() ? call : call + " = " + result);
}

RecordingSoundLibrary::ChannelState* RecordingSoundLibrary::findChannel(SoundHandle handle) {
  auto it = channels_.find(handle);
  return it == channels_.end() ? nullptr : &it->second;
}

bool RecordingSoundLibrary::Init(int32_t device, uint32_t frequency, uint32_t flags, void* window,
                                 const void* classId) {
  bool ok = !initialised_ &&
            (device == SOUND_DEVICE_NONE || (device == SOUND_DEVICE_DEFAULT && options_.outputAvailable));
  if (ok) {
    initialised_ = true;
    device_ = device;
  }
  record("Init(" + std::to_string(device) + ", " + std::to_string(frequency) + ", " + std::to_string(flags) + ", " +
             (window ? "window" : "null") + ", " + (classId ? "class" : "null") + ")",
         flag(ok));
  return ok;
}

bool RecordingSoundLibrary::SetConfig(uint32_t option, uint32_t value) {
  const bool ok = initialised_ && option == SOUND_CONFIG_GVOL_SAMPLE && value <= 100;
  if (ok) globalVolume_ = value;
  record("SetConfig(" + std::to_string(option) + ", " + std::to_string(value) + ")", flag(ok));
  return ok;
}

bool RecordingSoundLibrary::Set3DFactors(float distance, float rollOff, float doppler) {
  const bool ok = initialised_ && distance != 0.0f && rollOff <= 10.0f && doppler <= 10.0f;
  if (ok && rollOff >= 0) pendingRollOff_ = rollOff;
  record("Set3DFactors(" + number(distance) + ", " + number(rollOff) + ", " + number(doppler) + ")", flag(ok));
  return ok;
}

bool RecordingSoundLibrary::Set3DPosition(const SoundVector* position, const SoundVector* velocity,
                                          const SoundVector* front, const SoundVector* top) {
  const bool ok = initialised_;
  if (ok) {
    if (position) pendingPosition_ = *position;
    if (front) pendingFront_ = *front;
    if (top) pendingTop_ = *top;
  }
  record("Set3DPosition(" + vector(position) + ", " + vector(velocity) + ", " + vector(front) + ", " + vector(top) +
             ")",
         flag(ok));
  return ok;
}

void RecordingSoundLibrary::Apply3D() {
  if (initialised_) {
    listenerPosition_ = pendingPosition_;
    listenerFront_ = pendingFront_;
    listenerTop_ = pendingTop_;
    rollOff_ = pendingRollOff_;
  }
  record("Apply3D()", "");
}

SoundHandle RecordingSoundLibrary::SampleLoad(const void* memory, uint32_t offset, uint32_t length,
                                              uint32_t maxPlaybacks, uint32_t flags) {
  SoundHandle handle = 0;
  if (initialised_ && memory != nullptr && length > 0 && maxPlaybacks >= 1) {
    std::span<const uint8_t> bytes(static_cast<const uint8_t*>(memory) + offset, length);
    if (!options_.accepts || options_.accepts(bytes)) {
      handle = nextSample_++;
      samples_[handle] = SampleState{length, maxPlaybacks, flags};
    }
  }
  record("SampleLoad(" + std::string(memory ? "mem" : "null") + ", " + std::to_string(offset) + ", " +
             std::to_string(length) + ", " + std::to_string(maxPlaybacks) + ", " + std::to_string(flags) + ")",
         std::to_string(handle));
  return handle;
}

SoundHandle RecordingSoundLibrary::SampleGetChannel(SoundHandle sample, bool onlyNew) {
  SoundHandle handle = 0;
  if (samples_.count(sample) != 0) {
    handle = nextChannel_++;
    channels_[handle].sample = sample;
  }
  record("SampleGetChannel(" + std::to_string(sample) + ", " + flag(onlyNew) + ")", std::to_string(handle));
  return handle;
}

bool RecordingSoundLibrary::ChannelPlay(SoundHandle channel, bool restart) {
  ChannelState* state = findChannel(channel);
  if (state) state->playing = true;
  record("ChannelPlay(" + std::to_string(channel) + ", " + flag(restart) + ")", flag(state));
  return state != nullptr;
}

bool RecordingSoundLibrary::ChannelSetAttributes(SoundHandle channel, int32_t frequency, int32_t volume, int32_t pan) {
  ChannelState* state = findChannel(channel);
  const bool ok = state != nullptr && volume >= -1 && volume <= 100 &&
                  (pan == SOUND_KEEP_PAN || (pan >= -100 && pan <= 100));
  if (ok) {
    if (frequency != SOUND_KEEP_FREQUENCY) state->frequency = frequency;
    if (volume != SOUND_KEEP_VOLUME) state->volume = volume;
    if (pan != SOUND_KEEP_PAN) state->pan = pan;
  }
  record("ChannelSetAttributes(" + std::to_string(channel) + ", " + std::to_string(frequency) + ", " +
             std::to_string(volume) + ", " + std::to_string(pan) + ")",
         flag(ok));
  return ok;
}

bool RecordingSoundLibrary::ChannelSet3DAttributes(SoundHandle channel, int32_t mode, float minDistance,
                                                   float maxDistance, int32_t insideAngle, int32_t outsideAngle,
                                                   int32_t outsideVolume) {
  ChannelState* state = findChannel(channel);
  const bool ok = state != nullptr && (samples_[state->sample].flags & SOUND_SAMPLE_3D) != 0;
  if (ok) {
    if (mode != -1) state->mode = mode;
    if (minDistance > 0) state->minDistance = minDistance;
    if (maxDistance > 0) state->maxDistance = maxDistance;
    if (insideAngle != -1) state->insideAngle = insideAngle;
    if (outsideAngle != -1) state->outsideAngle = outsideAngle;
    if (outsideVolume != -1) state->outsideVolume = outsideVolume;
  }
  record("ChannelSet3DAttributes(" + std::to_string(channel) + ", " + std::to_string(mode) + ", " +
             number(minDistance) + ", " + number(maxDistance) + ", " + std::to_string(insideAngle) + ", " +
             std::to_string(outsideAngle) + ", " + std::to_string(outsideVolume) + ")",
         flag(ok));
  return ok;
}

bool RecordingSoundLibrary::ChannelSet3DPosition(SoundHandle channel, const SoundVector* position,
                                                 const SoundVector* orientation, const SoundVector* velocity) {
  ChannelState* state = findChannel(channel);
  const bool ok = state != nullptr && (samples_[state->sample].flags & SOUND_SAMPLE_3D) != 0;
  if (ok) {
    if (position) state->position = *position;
    if (orientation) state->orientation = *orientation;
    if (velocity) state->velocity = *velocity;
  }
  record("ChannelSet3DPosition(" + std::to_string(channel) + ", " + vector(position) + ", " + vector(orientation) +
             ", " + vector(velocity) + ")",
         flag(ok));
  return ok;
}

}  // namespace platform
