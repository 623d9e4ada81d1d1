#include "platform/sound/openal_sound_library.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <AL/efx.h>
#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "platform/sound/sound_handles.h"
#include "platform/sound/vorbis_decoder.h"
#include "platform/sound/wave_output.h"

namespace platform {
namespace {

constexpr float kSpeedOfSound = 343.3f;  // metres per second
constexpr float kPi = 3.14159265358979f;
// A streaming channel keeps this many buffers of a quarter of a second each queued, and the
// feeder tops them up this often: it may fall behind by most of a second before a gap.
constexpr size_t kStreamBuffers = 4;
constexpr uint32_t kStreamBuffersPerSecond = 4;
constexpr std::chrono::milliseconds kFeedPeriod{100};
constexpr ALCint kMonoVoices = 48;
constexpr ALCint kStereoVoices = 16;
// A streamed file may claim any length; the no-sound device's end of playback is computed
// from it, and a year is as good as for ever there.
constexpr double kLongestSeconds = 365.0 * 24 * 3600;

void dropSoundSystemMessage(const char*, int, const char*, int, const char*, ...) {}

// Without a sound card the mixer's sound-card output is refused by the system's sound library,
// which prints its configuration errors on stderr by itself, eight lines of them. That library
// takes a handler for its messages, and the handler here drops them: the saver says the lost
// sound in one line of its own. The mixer loads the library as it starts, only when it will
// use it (a sound server it can reach comes first); so it is only looked up among the loaded
// ones, never loaded for this, and nothing is linked against it. A user who set the mixer's
// log level asked to see the sound system's troubles, and sees them.
void quietSoundSystemLog() {
  static const bool once = [] {
    if (std::getenv("ALSOFT_LOGLEVEL")) return false;
    void* library = dlopen("libasound.so.2", RTLD_NOW | RTLD_NOLOAD);
    if (!library) return false;
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    if (auto set = reinterpret_cast<SetHandler>(dlsym(library, "snd_lib_error_set_handler")))
      set(dropSoundSystemMessage);
    // The library stays loaded for the mixer, and with it the handler.
    return true;
  }();
  (void)once;
}

bool finite(const SoundVector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

bool validOrientation(const SoundVector& front, const SoundVector& top) {
  const float cx = front.y * top.z - front.z * top.y;
  const float cy = front.z * top.x - front.x * top.z;
  const float cz = front.x * top.y - front.y * top.x;
  const float lengths = std::sqrt(front.x * front.x + front.y * front.y + front.z * front.z) *
                        std::sqrt(top.x * top.x + top.y * top.y + top.z * top.z);
  return lengths > 1e-12f && std::sqrt(cx * cx + cy * cy + cz * cz) > 1e-6f * lengths;
}

// Scene space (left-handed) to OpenAL space (right-handed).
void toAl(const SoundVector& v, ALfloat out[3]) {
  out[0] = v.x;
  out[1] = v.y;
  out[2] = -v.z;
}

struct Sample {
  ALuint buffer = 0;  // 0 on the no-sound device and for a streamed sample
  // A streamed sample's file, shared by the decoders of its channels.
  std::shared_ptr<const std::vector<uint8_t>> encoded;
  bool mono = false;
  uint32_t rate = 0;
  uint32_t channels = 0;
  double seconds = 0;
  uint32_t flags = 0;
  uint32_t maxPlaybacks = 0;
  bool positioned = false;      // a 3D sample on a 3D device
  std::vector<uint32_t> slots;  // indices into the channel table
};

// A channel of a streamed sample: its own decoder over the sample's file and the buffers it
// keeps queued on the channel's source.
struct Stream {
  std::shared_ptr<const std::vector<uint8_t>> file;  // what the decoder reads
  std::unique_ptr<VorbisStream> decoder;             // null once the sound was read to its end
  std::array<ALuint, kStreamBuffers> buffers{};
  bool active = false;  // started and not yet played out
};

struct Channel {
  uint16_t generation = 0;
  uint32_t sample = 0;
  ALuint source = 0;               // 0 on the no-sound device
  std::unique_ptr<Stream> stream;  // on a real device, for a streamed sample
  uint64_t startedSerial = 0;
  // On the no-sound device nothing reports the end of playback, so it is computed.
  bool started = false;
  std::chrono::steady_clock::time_point endsAt{};
  // Attributes.
  int32_t frequency = 0;  // 0: the sample's own rate
  int32_t volume = 100;
  int32_t pan = 0;
  // 3D attributes, applied at Apply3D.
  int32_t mode = SOUND_3DMODE_NORMAL;
  float minDistance = 1.0f;
  float maxDistance = 1e9f;
  int32_t insideAngle = 360;
  int32_t outsideAngle = 360;
  int32_t outsideVolume = 100;
  SoundVector position{};
  SoundVector orientation{};
  SoundVector velocity{};
  bool dirty3D = true;
};

struct Listener {
  SoundVector position{};
  SoundVector velocity{};
  SoundVector front{0, 0, 1};
  SoundVector top{0, 1, 0};
};

struct Factors {
  float distance = 1.0f;
  float rollOff = 1.0f;
  float doppler = 1.0f;
};

class OpenAlSoundLibrary final : public SoundLibrary {
 public:
  explicit OpenAlSoundLibrary(SoundOutput output) : output_(std::move(output)) {}
  ~OpenAlSoundLibrary() override {
    stopFeeder();
    const std::lock_guard lock(mutex_);
    shutDown();
  }

  bool Init(int32_t device, uint32_t frequency, uint32_t flags, void*, const void*) override {
    const std::lock_guard lock(mutex_);
    if (initialised_) return false;
    if (frequency < 1000 || frequency > 192000) return false;
    if (device == SOUND_DEVICE_NONE) {
      initialised_ = true;
      device3D_ = (flags & SOUND_DEVICE_3D) != 0;
      return true;
    }
    if (device != SOUND_DEVICE_DEFAULT) return false;
    if (!openDevice(frequency)) return false;
    initialised_ = true;
    device3D_ = (flags & SOUND_DEVICE_3D) != 0;
    alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
    alListenerf(AL_GAIN, static_cast<float>(globalVolume_) / 100.0f);
    applied_ = Listener{};
    pushListener();
    pushFactors();
    return true;
  }

  bool SetConfig(uint32_t option, uint32_t value) override {
    const std::lock_guard lock(mutex_);
    if (!initialised_ || option != SOUND_CONFIG_GVOL_SAMPLE || value > 100) return false;
    globalVolume_ = value;
    bind();
    if (context_) alListenerf(AL_GAIN, static_cast<float>(value) / 100.0f);
    return true;
  }

  bool Set3DFactors(float distance, float rollOff, float doppler) override {
    const std::lock_guard lock(mutex_);
    if (!initialised_) return false;
    if (!std::isfinite(distance) || !std::isfinite(rollOff) || !std::isfinite(doppler)) {
      return false;
    }
    if (distance == 0.0f || rollOff > 10.0f || doppler > 10.0f) return false;
    if (distance > 0) pendingFactors_.distance = distance;
    if (rollOff >= 0) pendingFactors_.rollOff = rollOff;
    if (doppler >= 0) pendingFactors_.doppler = doppler;
    return true;
  }

  bool Set3DPosition(const SoundVector* position, const SoundVector* velocity, const SoundVector* front,
                     const SoundVector* top) override {
    const std::lock_guard lock(mutex_);
    if (!initialised_) return false;
    for (const SoundVector* v : {position, velocity, front, top}) {
      if (v && !finite(*v)) return false;
    }
    // The mixer builds the listener's axes from these two; a zero or parallel pair would
    // give it no axes at all and fill the output with invalid values.
    if (!validOrientation(front ? *front : pendingListener_.front, top ? *top : pendingListener_.top)) {
      return false;
    }
    if (position) pendingListener_.position = *position;
    if (velocity) pendingListener_.velocity = *velocity;
    if (front) pendingListener_.front = *front;
    if (top) pendingListener_.top = *top;
    return true;
  }

  void Apply3D() override {
    const std::lock_guard lock(mutex_);
    if (!initialised_) return;
    const bool factorsChanged = std::memcmp(&pendingFactors_, &factors_, sizeof factors_) != 0;
    factors_ = pendingFactors_;
    applied_ = pendingListener_;
    if (!context_) {
      for (Channel& c : channels_) c.dirty3D = false;
      return;
    }
    bind();
    alcSuspendContext(context_);
    pushListener();
    if (factorsChanged) pushFactors();
    for (Channel& c : channels_) {
      if (c.dirty3D || factorsChanged) push3D(c);
    }
    alcProcessContext(context_);
  }

  SoundHandle SampleLoad(const void* memory, uint32_t offset, uint32_t length, uint32_t maxPlaybacks,
                         uint32_t flags) override {
    const std::lock_guard lock(mutex_);
    if (!initialised_ || memory == nullptr || length == 0) return 0;
    if (maxPlaybacks < 1 || maxPlaybacks > 65535) return 0;
    if (samples_.size() >= kMaxHandleIndex) return 0;
    const bool positioned = device3D_ && (flags & SOUND_SAMPLE_3D) != 0;
    // Only a single channel can be placed in space, so a positioned sample is always mono.
    const bool mono = (flags & SOUND_SAMPLE_MONO) != 0 || positioned;
    const std::span<const uint8_t> bytes(static_cast<const uint8_t*>(memory) + offset, length);
    std::unique_ptr<VorbisStream> stream = VorbisStream::open(bytes, mono);
    if (!stream) return 0;
    Sample sample;
    sample.flags = flags;
    sample.maxPlaybacks = maxPlaybacks;
    sample.positioned = positioned;
    sample.mono = mono;
    const uint64_t decodedBytes = stream->totalFrames() * stream->channels() * sizeof(int16_t);
    const bool ok = decodedBytes > output_.streamAboveBytes ? keepForStreaming(sample, *stream, bytes)
                                                            : decodeWhole(sample, bytes);
    if (!ok) return 0;
    samples_.push_back(std::move(sample));
    return makeHandle(HandleKind::Sample, 0, static_cast<uint32_t>(samples_.size() - 1));
  }

  SoundHandle SampleGetChannel(SoundHandle handle, bool onlyNew) override {
    const std::lock_guard lock(mutex_);
    Sample* sample = findSample(handle);
    if (!sample) return 0;
    bind();
    const uint32_t sampleIndex = handleIndex(handle);
    // A channel that is not playing (never started, or ended) is handed out afresh; its old
    // handle goes stale so that whoever kept it cannot disturb the new playback.
    for (uint32_t slot : sample->slots) {
      if (!isPlaying(channels_[slot])) return renew(slot, sampleIndex);
    }
    if (sample->slots.size() < sample->maxPlaybacks) {
      if (channels_.size() >= kMaxHandleIndex) return 0;
      Channel channel;
      channel.sample = sampleIndex;
      if (context_) {
        alGetError();
        alGenSources(1, &channel.source);
        if (alGetError() != AL_NO_ERROR) return 0;  // the mixer ran out of voices
        alSourcei(channel.source, AL_BUFFER, static_cast<ALint>(sample->buffer));
      }
      channels_.push_back(std::move(channel));
      const auto slot = static_cast<uint32_t>(channels_.size() - 1);
      sample->slots.push_back(slot);
      return renew(slot, sampleIndex);
    }
    if (onlyNew) return 0;
    uint32_t oldest = sample->slots.front();
    for (uint32_t slot : sample->slots) {
      if (channels_[slot].startedSerial < channels_[oldest].startedSerial) oldest = slot;
    }
    return makeHandle(HandleKind::Channel, channels_[oldest].generation, oldest);
  }

  bool ChannelPlay(SoundHandle handle, bool restart) override {
    const std::lock_guard lock(mutex_);
    Channel* channel = findChannel(handle);
    if (!channel) return false;
    bind();
    const Sample& sample = samples_[channel->sample];
    const bool playing = isPlaying(*channel);
    if (playing && !restart) return true;
    channel->startedSerial = ++serial_;
    channel->started = true;
    channel->endsAt = std::chrono::steady_clock::now() +
                      std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                          std::chrono::duration<double>(std::min(sample.seconds, kLongestSeconds)));
    if (channel->source && sample.encoded) {
      startStream(*channel);
    } else if (channel->source) {
      ALint state = AL_INITIAL;
      alGetSourcei(channel->source, AL_SOURCE_STATE, &state);
      if (restart || state == AL_STOPPED) alSourceRewind(channel->source);
      alSourcePlay(channel->source);
    }
    return true;
  }

  bool ChannelSetAttributes(SoundHandle handle, int32_t frequency, int32_t volume, int32_t pan) override {
    const std::lock_guard lock(mutex_);
    Channel* channel = findChannel(handle);
    if (!channel) return false;
    if (frequency != SOUND_KEEP_FREQUENCY && frequency != 0 && (frequency < 100 || frequency > 100000)) {
      return false;
    }
    if (volume != SOUND_KEEP_VOLUME && (volume < 0 || volume > 100)) return false;
    if (pan != SOUND_KEEP_PAN && (pan < -100 || pan > 100)) return false;
    if (frequency != SOUND_KEEP_FREQUENCY) channel->frequency = frequency;
    if (volume != SOUND_KEEP_VOLUME) channel->volume = volume;
    if (pan != SOUND_KEEP_PAN) channel->pan = pan;
    bind();
    pushAttributes(*channel);
    return true;
  }

  bool ChannelSet3DAttributes(SoundHandle handle, int32_t mode, float minDistance, float maxDistance,
                              int32_t insideAngle, int32_t outsideAngle, int32_t outsideVolume) override {
    const std::lock_guard lock(mutex_);
    Channel* channel = findChannel(handle);
    if (!channel || !samples_[channel->sample].positioned) return false;
    if (mode < -1 || mode > SOUND_3DMODE_OFF) return false;
    if (!std::isfinite(minDistance) || !std::isfinite(maxDistance)) return false;
    for (int32_t angle : {insideAngle, outsideAngle}) {
      if (angle != -1 && (angle < 0 || angle > 360)) return false;
    }
    if (outsideVolume != -1 && (outsideVolume < 0 || outsideVolume > 100)) return false;
    const float newMin = minDistance > 0 ? minDistance : channel->minDistance;
    const float newMax = maxDistance > 0 ? maxDistance : channel->maxDistance;
    if (newMax < newMin) return false;
    if (mode != -1) channel->mode = mode;
    channel->minDistance = newMin;
    channel->maxDistance = newMax;
    if (insideAngle != -1) channel->insideAngle = insideAngle;
    if (outsideAngle != -1) channel->outsideAngle = outsideAngle;
    if (outsideVolume != -1) channel->outsideVolume = outsideVolume;
    channel->dirty3D = true;
    return true;
  }

  bool ChannelSet3DPosition(SoundHandle handle, const SoundVector* position, const SoundVector* orientation,
                            const SoundVector* velocity) override {
    const std::lock_guard lock(mutex_);
    Channel* channel = findChannel(handle);
    if (!channel || !samples_[channel->sample].positioned) return false;
    for (const SoundVector* v : {position, orientation, velocity}) {
      if (v && !finite(*v)) return false;
    }
    if (position) channel->position = *position;
    if (orientation) channel->orientation = *orientation;
    if (velocity) channel->velocity = *velocity;
    channel->dirty3D = true;
    return true;
  }

 private:
  bool openDevice(uint32_t frequency) {
    std::optional<WaveRedirect> redirect;
    if (!output_.waveFile.empty()) {
      redirect.emplace();
      if (!redirect->prepare(output_.waveFile)) return false;
    }
    // Without a sound card the mixer's own log says so in several lines on stderr, and so does
    // the system's sound library under it; the saver says it in one line of its own. A level the
    // user set still stands. A file written instead of the card needs no sound system.
    if (!redirect) quietSoundSystemLog();
    ::setenv("ALSOFT_LOGLEVEL", "0", 0);
    device_ = alcOpenDevice(nullptr);
    if (!device_) return false;
    if (redirect) {
      // The redirection only holds if this process had not used the mixer before.
      const ALCchar* name = alcGetString(device_, ALC_ALL_DEVICES_SPECIFIER);
      if (name == nullptr || std::strcmp(name, kWaveWriterName) != 0) {
        closeDevice();
        return false;
      }
      waveWatch_.emplace(output_.waveFile);
    }
    // The scene plays a handful of sounds at once and at most a few dozen. The mixer sets about
    // 8 MB aside for the voices it may mix whatever it is told; the effect sends it would
    // add to each voice take most of another megabyte, and no sound here goes through an effect.
    const ALCint attributes[] = {ALC_FREQUENCY,
                                 static_cast<ALCint>(frequency),
                                 ALC_MONO_SOURCES,
                                 kMonoVoices,
                                 ALC_STEREO_SOURCES,
                                 kStereoVoices,
                                 ALC_MAX_AUXILIARY_SENDS,
                                 0,
                                 0};
    context_ = alcCreateContext(device_, attributes);
    if (!context_ || alcMakeContextCurrent(context_) != ALC_TRUE) {
      closeDevice();
      return false;
    }
    return true;
  }

  // A short sound becomes one buffer that every channel of the sample plays.
  bool decodeWhole(Sample& sample, std::span<const uint8_t> bytes) {
    std::optional<DecodedSound> sound = decodeOggVorbis(bytes, sample.mono);
    if (!sound) return false;
    sample.rate = sound->rate;
    sample.channels = sound->channels;
    sample.seconds = static_cast<double>(sound->frames()) / sound->rate;
    bind();
    if (!context_) return true;
    alGetError();
    alGenBuffers(1, &sample.buffer);
    if (alGetError() != AL_NO_ERROR) return false;
    const ALenum format = sound->channels == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16;
    alBufferData(sample.buffer, format, sound->samples.data(),
                 static_cast<ALsizei>(sound->samples.size() * sizeof(int16_t)), static_cast<ALsizei>(sound->rate));
    if (alGetError() != AL_NO_ERROR) {
      alDeleteBuffers(1, &sample.buffer);
      sample.buffer = 0;
      return false;
    }
    return true;
  }

  // A long sound keeps its file; each channel decodes it as it plays. Only its first piece
  // is decoded now, so that a file whose audio cannot be read is refused at load.
  bool keepForStreaming(Sample& sample, VorbisStream& stream, std::span<const uint8_t> bytes) {
    std::vector<int16_t> piece(size_t{4096} * stream.channels());
    if (stream.read(piece.data(), 4096) <= 0) return false;
    sample.rate = stream.rate();
    sample.channels = stream.channels();
    sample.seconds = static_cast<double>(stream.totalFrames()) / stream.rate();
    sample.encoded = std::make_shared<const std::vector<uint8_t>>(bytes.begin(), bytes.end());
    return true;
  }

  // Decodes the next quarter of a second of a streamed channel into `buffer`, going round to
  // the start of a looping sound. False when nothing is left to play.
  bool fillBuffer(Channel& channel, ALuint buffer) {
    Stream& stream = *channel.stream;
    const Sample& sample = samples_[channel.sample];
    const size_t frames = std::max<size_t>(sample.rate / kStreamBuffersPerSecond, 1);
    scratch_.resize(frames * sample.channels);
    size_t filled = 0;
    bool justRewound = false;
    while (filled < frames && stream.decoder) {
      const long got = stream.decoder->read(scratch_.data() + filled * sample.channels, frames - filled);
      if (got > 0) {
        filled += static_cast<size_t>(got);
        justRewound = false;
        continue;
      }
      // The end (or damage, which ends the sound where it lies). A loop goes round unless
      // going round gave nothing at all.
      const bool loops = (sample.flags & SOUND_SAMPLE_LOOP) != 0;
      if (got == 0 && loops && !justRewound && stream.decoder->rewind()) {
        justRewound = true;
        continue;
      }
      stream.decoder.reset();
    }
    if (filled == 0) return false;
    const ALenum format = sample.channels == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16;
    alBufferData(buffer, format, scratch_.data(), static_cast<ALsizei>(filled * sample.channels * sizeof(int16_t)),
                 static_cast<ALsizei>(sample.rate));
    return true;
  }

  // (Re)starts a streamed channel from the beginning of its sound.
  void startStream(Channel& channel) {
    const Sample& sample = samples_[channel.sample];
    if (!channel.stream) channel.stream = std::make_unique<Stream>();
    Stream& stream = *channel.stream;
    alSourceStop(channel.source);
    alSourcei(channel.source, AL_BUFFER, 0);
    stream.active = false;
    if (!stream.buffers[0]) {
      alGetError();
      alGenBuffers(kStreamBuffers, stream.buffers.data());
      if (alGetError() != AL_NO_ERROR) {
        stream.buffers = {};
        return;
      }
    }
    if (!stream.decoder || !stream.decoder->rewind()) {
      stream.file = sample.encoded;
      stream.decoder = VorbisStream::open(*stream.file, sample.mono);
    }
    for (ALuint buffer : stream.buffers) {
      if (!fillBuffer(channel, buffer)) break;
      alSourceQueueBuffers(channel.source, 1, &buffer);
      stream.active = true;
    }
    if (!stream.active) return;
    alSourcePlay(channel.source);
    startFeeder();
  }

  // Takes back the buffers the source has played, refills and requeues them, and restarts a
  // source that ran dry because the feeder was late.
  void feedStream(Channel& channel) {
    Stream& stream = *channel.stream;
    ALint processed = 0;
    alGetSourcei(channel.source, AL_BUFFERS_PROCESSED, &processed);
    for (ALint i = 0; i < processed; ++i) {
      ALuint buffer = 0;
      alSourceUnqueueBuffers(channel.source, 1, &buffer);
      if (stream.decoder && fillBuffer(channel, buffer)) alSourceQueueBuffers(channel.source, 1, &buffer);
    }
    ALint queued = 0, state = AL_STOPPED;
    alGetSourcei(channel.source, AL_BUFFERS_QUEUED, &queued);
    alGetSourcei(channel.source, AL_SOURCE_STATE, &state);
    if (queued == 0) {
      stream.active = false;
    } else if (state == AL_STOPPED) {
      alSourcePlay(channel.source);
    }
  }

  // The feeder runs beside the caller's thread, so that streamed sounds go on while the caller
  // is busy or idle. Its calls go to this library's context on its own thread, whatever
  // context the process has current.
  void startFeeder() {
    if (feeder_.joinable()) return;
    stopping_ = false;
    feeder_ = std::thread([this] { feed(); });
  }

  void feed() {
    auto setThreadContext =
        reinterpret_cast<PFNALCSETTHREADCONTEXTPROC>(alcIsExtensionPresent(device_, "ALC_EXT_thread_local_context")
                                                         ? alcGetProcAddress(device_, "alcSetThreadContext")
                                                         : nullptr);
    std::unique_lock lock(mutex_);
    if (setThreadContext) setThreadContext(context_);
    while (!stopping_) {
      wake_.wait_for(lock, kFeedPeriod);
      if (stopping_) break;
      if (!setThreadContext) bind();
      for (Channel& c : channels_) {
        if (c.stream && c.stream->active && c.source) feedStream(c);
      }
    }
    if (setThreadContext) setThreadContext(nullptr);
  }

  void stopFeeder() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    if (feeder_.joinable()) feeder_.join();
  }

  // OpenAL talks to one current context per process; a second library (a test opening two)
  // must not receive this one's calls.
  void bind() {
    if (context_ && alcGetCurrentContext() != context_) alcMakeContextCurrent(context_);
  }

  void closeDevice() {
    if (context_) {
      if (alcGetCurrentContext() == context_) alcMakeContextCurrent(nullptr);
      alcDestroyContext(context_);
      context_ = nullptr;
    }
    if (device_) {
      alcCloseDevice(device_);
      device_ = nullptr;
    }
    waveWatch_.reset();
  }

  void shutDown() {
    bind();
    if (context_) {
      for (Channel& c : channels_) {
        if (c.source) {
          alSourceStop(c.source);
          alDeleteSources(1, &c.source);
        }
        if (c.stream && c.stream->buffers[0]) {
          alDeleteBuffers(kStreamBuffers, c.stream->buffers.data());
        }
      }
      for (Sample& s : samples_) {
        if (s.buffer) alDeleteBuffers(1, &s.buffer);
      }
    }
    closeDevice();
    channels_.clear();
    samples_.clear();
    initialised_ = false;
  }

  Sample* findSample(SoundHandle handle) {
    if (handleKind(handle) != HandleKind::Sample || handleGeneration(handle) != 0) return nullptr;
    const uint32_t index = handleIndex(handle);
    return index < samples_.size() ? &samples_[index] : nullptr;
  }

  Channel* findChannel(SoundHandle handle) {
    if (handleKind(handle) != HandleKind::Channel) return nullptr;
    const uint32_t index = handleIndex(handle);
    if (index >= channels_.size() || channels_[index].generation != handleGeneration(handle)) {
      return nullptr;
    }
    return &channels_[index];
  }

  bool isPlaying(const Channel& channel) const {
    if (!channel.started) return false;
    if (channel.stream) {
      // Once the decoder has given its last piece, a stopped source has played it out.
      if (!channel.stream->active) return false;
      if (channel.stream->decoder) return true;
    }
    if (channel.source) {
      ALint state = AL_STOPPED;
      alGetSourcei(channel.source, AL_SOURCE_STATE, &state);
      return state == AL_PLAYING || state == AL_PAUSED;
    }
    if (samples_[channel.sample].flags & SOUND_SAMPLE_LOOP) return true;
    return std::chrono::steady_clock::now() < channel.endsAt;
  }

  // Gives the slot a new handle and the sample's initial settings.
  SoundHandle renew(uint32_t slot, uint32_t sampleIndex) {
    Channel& c = channels_[slot];
    const ALuint source = c.source;
    std::unique_ptr<Stream> stream = std::move(c.stream);
    const uint16_t generation = nextGeneration(c.generation);
    c = Channel{};
    c.generation = generation;
    c.sample = sampleIndex;
    c.source = source;
    c.stream = std::move(stream);
    if (c.stream) c.stream->active = false;
    if (source) {
      alSourceStop(source);
      alSourceRewind(source);
      // A streamed sound goes round in its decoder; looping the source would repeat only
      // the buffers it holds.
      const Sample& sample = samples_[sampleIndex];
      const bool loops = (sample.flags & SOUND_SAMPLE_LOOP) != 0 && !sample.encoded;
      alSourcei(source, AL_LOOPING, loops ? AL_TRUE : AL_FALSE);
      pushAttributes(c);
      push3D(c);
    }
    return makeHandle(HandleKind::Channel, generation, slot);
  }

  void pushAttributes(Channel& c) {
    if (!c.source) return;
    const Sample& sample = samples_[c.sample];
    const float rate = c.frequency > 0 ? static_cast<float>(c.frequency) : static_cast<float>(sample.rate);
    alSourcef(c.source, AL_PITCH, rate / static_cast<float>(sample.rate));
    alSourcef(c.source, AL_GAIN, static_cast<float>(c.volume) / 100.0f);
    if (!sample.positioned) push3D(c);  // pan places a mono 2D channel
  }

  void push3D(Channel& c) {
    c.dirty3D = false;
    if (!c.source) return;
    const Sample& sample = samples_[c.sample];
    ALfloat v[3];
    if (!sample.positioned || c.mode == SOUND_3DMODE_OFF) {
      // Heard at the listener, not attenuated. A mono channel's pan turns it from straight
      // ahead (0) to hard left (-100) or right (100); a stereo sample keeps its own image.
      const float angle = static_cast<float>(sample.positioned ? 0 : c.pan) / 100.0f * kPi / 2;
      alSourcei(c.source, AL_SOURCE_RELATIVE, AL_TRUE);
      alSourcef(c.source, AL_ROLLOFF_FACTOR, 0.0f);
      alSource3f(c.source, AL_POSITION, std::sin(angle), 0.0f, -std::cos(angle));
      alSource3f(c.source, AL_VELOCITY, 0.0f, 0.0f, 0.0f);
      alSource3f(c.source, AL_DIRECTION, 0.0f, 0.0f, 0.0f);
      return;
    }
    alSourcei(c.source, AL_SOURCE_RELATIVE, c.mode == SOUND_3DMODE_RELATIVE ? AL_TRUE : AL_FALSE);
    alSourcef(c.source, AL_REFERENCE_DISTANCE, c.minDistance);
    alSourcef(c.source, AL_MAX_DISTANCE, c.maxDistance);
    alSourcef(c.source, AL_ROLLOFF_FACTOR, factors_.rollOff);
    alSourcef(c.source, AL_CONE_INNER_ANGLE, static_cast<float>(c.insideAngle));
    alSourcef(c.source, AL_CONE_OUTER_ANGLE, static_cast<float>(c.outsideAngle));
    alSourcef(c.source, AL_CONE_OUTER_GAIN, static_cast<float>(c.outsideVolume) / 100.0f);
    toAl(c.position, v);
    alSourcefv(c.source, AL_POSITION, v);
    toAl(c.velocity, v);
    alSourcefv(c.source, AL_VELOCITY, v);
    toAl(c.orientation, v);
    alSourcefv(c.source, AL_DIRECTION, v);
  }

  void pushListener() {
    ALfloat v[3];
    toAl(applied_.position, v);
    alListenerfv(AL_POSITION, v);
    toAl(applied_.velocity, v);
    alListenerfv(AL_VELOCITY, v);
    ALfloat orientation[6];
    toAl(applied_.front, orientation);
    toAl(applied_.top, orientation + 3);
    alListenerfv(AL_ORIENTATION, orientation);
  }

  void pushFactors() {
    alDopplerFactor(factors_.doppler);
    alSpeedOfSound(kSpeedOfSound / factors_.distance);
  }

  SoundOutput output_;
  bool initialised_ = false;
  bool device3D_ = false;
  ALCdevice* device_ = nullptr;
  std::optional<WaveFileWatch> waveWatch_;  // while the device writes a WAV file
  ALCcontext* context_ = nullptr;
  uint32_t globalVolume_ = 100;
  Factors factors_, pendingFactors_;
  Listener applied_, pendingListener_;
  std::vector<Sample> samples_;
  std::vector<Channel> channels_;
  uint64_t serial_ = 0;
  std::vector<int16_t> scratch_;  // a streamed piece on its way into a buffer
  // Every entry point and the feeder hold this while they touch the tables or the mixer.
  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread feeder_;
  bool stopping_ = false;
};

}  // namespace

std::unique_ptr<SoundLibrary> createOpenAlSoundLibrary(const SoundOutput& output) {
  return std::make_unique<OpenAlSoundLibrary>(output);
}

}  // namespace platform
