#pragma once
// The storm outside the window: lightning at random intervals that lights the view outside
// and the room through the window and (at full lightning) brightens the whole picture
// through the gamma ramp, thunder after each flash as late as the strike is far, and now and
// then, shortly after a quick double flash, a flicker of the lamp that dims the lamp's light.
//
// The lightning setting decides what a flash may do to the picture. Full: the flash level
// drives the gamma ramp and the window. Soft: the gamma ramp stays; the window's light
// rises by a bounded step a frame to a lower peak, and no more than two flashes show in any
// second, so no frame brightens much over the one before and nothing strobes. Off: no flash
// is seen, the lamp stays steady, and the thunder rolls in late and quiet from far away.
//
// Random draws come one by one from the C library's generator, in a fixed order per event,
// so that a seeded run repeats itself exactly.
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "engine/core/clock.h"
#include "platform/d3d9/d3d9types.h"
#include "settings/setting_choices.h"

namespace brassmoor {

// x - b * trunc(x / b), plus b when that is negative; 0 when |b| <= 0.0001.
float realModulo(float x, float b);

// The ramp set while no flash is lit: Gamma * 200 + i * 256, clamped to 0..65535, alike for
// red, green and blue (Gamma is the setting, -100..100).
D3DGAMMARAMP baseGammaRamp(int32_t gamma);
// The ramp at a flash's peak: trunc(strength * 32768 + i * (strength * 256 + 256)), capped.
D3DGAMMARAMP flashGammaRamp(float strength);
// The ramp shown at `level` between the two: trunc(flash * level + base * (1 - level)).
D3DGAMMARAMP blendGammaRamp(const D3DGAMMARAMP& flash, const D3DGAMMARAMP& base, float level);

class Storm {
 public:
  using RandomDraw = std::function<int()>;
  using GammaSink = std::function<void(const D3DGAMMARAMP&)>;
  // Plays one thunder clap; the clap draws which sample and how loud itself, and scales
  // that by `loudness` (1 for the storm overhead, less for one far away).
  using ThunderClap = std::function<void(float loudness)>;

  static constexpr int32_t kDefaultQuietTime = 6000;
  static constexpr int32_t kDefaultWinkTime = 2000;
  // Sound covers a kilometre in about 2.9 s. A strike the flash shows lies 250 m to 2.4 km
  // away; with the lightning off the storm is 3 to 6 km off.
  static constexpr int64_t kNearThunderMs = 700;
  static constexpr int64_t kNearThunderSpreadMs = 6300;
  static constexpr int64_t kFarThunderMs = 9000;
  static constexpr int64_t kFarThunderSpreadMs = 9000;
  static constexpr float kFarThunderLoudness = 0.35f;
  // Soft lightning: the window's light peaks at this share of a full flash, rises at most
  // this much per frame and at this rate per second, and a flash that would be the third
  // within this window stays dark.
  static constexpr float kSoftPeak = 0.6f;
  static constexpr float kSoftRisePerFrame = 0.25f;
  static constexpr float kSoftRisePerSecond = 3.0f;
  static constexpr int64_t kSoftCountWindowMs = 1000;
  static constexpr std::size_t kSoftFlashesPerWindow = 2;

  explicit Storm(RandomDraw random);

  // Times of 0 or less keep the value before (the defaults at first).
  void setTimes(int32_t quietTimeMs, int32_t winkTimeMs);
  void setBaseRamp(const D3DGAMMARAMP& ramp) { baseRamp_ = ramp; }
  void setLightning(LightningMode mode) { lightning_ = mode; }
  LightningMode lightning() const { return lightning_; }
  // The first flash comes a second after `nowMs`.
  void start(int64_t nowMs);

  // The frame's storm stages, in this order, each at the frame's time: every event is timed
  // from the frame it happened in, and the soft window's rise follows the frame's step.
  //  Lightning schedule; a clap is queued only when `queueThunder` (effects on and the
  //  first clap's sample loaded).
  void scheduleLightning(const halcyon::FrameTime& frame, bool queueThunder);
  //  Thunder: each clap after its own distance's delay, only while effects are on. With
  //  effects off the queue is emptied, so no stale clap can ever sound and nothing piles up.
  void workThunder(const halcyon::FrameTime& frame, bool effects, const ThunderClap& clap);
  void workWinks(const halcyon::FrameTime& frame);
  //  Flash level, the window's light and, at full lightning, the device gamma ramp (set every
  //  frame while a flash is lit, and the base ramp once as it ends).
  void updateFlash(const halcyon::FrameTime& frame, const GammaSink& setGamma);
  void updateWink(const halcyon::FrameTime& frame);

  // The flash's own curve, 0..1, whatever the setting.
  float flashLevel() const { return flashLevel_; }
  // What the picture shows of the flash through the window (the view outside and the flash
  // light in the room), 0..1: the flash level at full lightning, gentler at soft, 0 at off.
  float windowFlash() const { return windowFlash_; }
  // Whether the flash now lit is one the picture shows.
  bool flashShown() const { return flashActive_ && flashShown_; }
  bool flashActive() const { return flashActive_; }
  int32_t flashDuration() const { return flashDuration_; }
  float flashStrength() const { return flashStrength_; }
  int32_t nextFlashDelay() const { return nextFlashDelay_; }
  float winkLevel() const { return winkLevel_; }
  bool winkActive() const { return winkActive_; }
  int32_t winkDuration() const { return winkDuration_; }
  float winkPeriod() const { return winkPeriod_; }
  int32_t quietTime() const { return quietTime_; }
  int32_t winkTime() const { return winkTime_; }
  size_t thunderQueued() const { return thunder_.size(); }
  // The delay of each queued clap after its flash, in queue order.
  std::vector<int64_t> thunderDelays() const;
  size_t winksQueued() const { return winks_.size(); }
  const D3DGAMMARAMP& baseRamp() const { return baseRamp_; }

 private:
  struct Wink {
    halcyon::IntervalTimer timer;
    int64_t delay;
  };
  struct Thunder {
    halcyon::IntervalTimer timer;  // from the flash
    int64_t delay;
    float loudness;
  };

  void queueThunder(int64_t nowMs);
  bool softAllowsFlash(int64_t nowMs);
  void followWindow(float target, int64_t stepMs);

  RandomDraw random_;
  LightningMode lightning_ = kDefaultLightning;
  int32_t quietTime_ = kDefaultQuietTime;
  int32_t winkTime_ = kDefaultWinkTime;
  D3DGAMMARAMP baseRamp_ = baseGammaRamp(0);

  bool flashActive_ = false;
  halcyon::IntervalTimer flashTimer_;
  int32_t flashDuration_ = 0;
  float flashStrength_ = 0.0f;
  float flashLevel_ = 0.0f;
  bool flashShown_ = true;
  float windowFlash_ = 0.0f;
  // When the flashes of the last second that the picture showed began (soft lightning).
  std::deque<int64_t> shownStarts_;
  int32_t nextFlashDelay_ = 1000;
  halcyon::IntervalTimer quietTimer_;

  float winkLevel_ = 0.0f;
  float winkPeriod_ = 600.0f;
  bool winkActive_ = false;
  halcyon::IntervalTimer winkPhaseTimer_;
  halcyon::IntervalTimer winkProgressTimer_;
  int32_t winkDuration_ = 0;

  std::deque<Thunder> thunder_;
  std::deque<Wink> winks_;
};

}  // namespace brassmoor
