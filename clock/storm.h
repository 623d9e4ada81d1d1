#pragma once
// The storm outside the window: lightning at random intervals that brightens the whole
// picture through the gamma ramp and lights the view outside, thunder half a second after
// a flash, and now and then, shortly after a quick double flash, a flicker of the lamp that
// dims the room's baked light.
//
// Random draws come one by one from the C library's generator, in a fixed order per event,
// so that a seeded run repeats itself exactly.
#include <cstdint>
#include <deque>
#include <functional>

#include "engine/core/clock.h"
#include "platform/d3d9/d3d9types.h"

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
  // Plays one thunder clap; the clap draws which sample and how loud itself.
  using ThunderClap = std::function<void()>;

  static constexpr int32_t kDefaultQuietTime = 6000;
  static constexpr int32_t kDefaultWinkTime = 2000;
  static constexpr int64_t kThunderDelayMs = 500;

  explicit Storm(RandomDraw random);

  // Times of 0 or less keep the value before (the defaults at first).
  void setTimes(int32_t quietTimeMs, int32_t winkTimeMs);
  void setBaseRamp(const D3DGAMMARAMP& ramp) { baseRamp_ = ramp; }
  // The first flash comes a second after this.
  void start();

  // The frame's storm stages, in this order.
  //  Lightning schedule; a clap is queued only when `queueThunder` (effects on and the
  //  first clap's sample loaded).
  void scheduleLightning(bool queueThunder);
  //  Thunder: claps half a second after their flash, only while effects are on. With
  //  effects off the queue is emptied, so no stale clap can ever sound and nothing piles up.
  void workThunder(bool effects, const ThunderClap& clap);
  void workWinks();
  //  Flash level and the device gamma ramp (set every frame while a flash is lit, and the
  //  base ramp once as it ends).
  void updateFlash(const GammaSink& setGamma);
  void updateWink();

  float flashLevel() const { return flashLevel_; }
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
  size_t winksQueued() const { return winks_.size(); }
  const D3DGAMMARAMP& baseRamp() const { return baseRamp_; }

 private:
  struct Wink {
    halcyon::IntervalTimer timer;
    int64_t delay;
  };

  RandomDraw random_;
  int32_t quietTime_ = kDefaultQuietTime;
  int32_t winkTime_ = kDefaultWinkTime;
  D3DGAMMARAMP baseRamp_ = baseGammaRamp(0);

  bool flashActive_ = false;
  halcyon::IntervalTimer flashTimer_;
  int32_t flashDuration_ = 0;
  float flashStrength_ = 0.0f;
  float flashLevel_ = 0.0f;
  int32_t nextFlashDelay_ = 1000;
  halcyon::IntervalTimer quietTimer_;

  float winkLevel_ = 0.0f;
  float winkPeriod_ = 600.0f;
  bool winkActive_ = false;
  halcyon::IntervalTimer winkPhaseTimer_;
  halcyon::IntervalTimer winkProgressTimer_;
  int32_t winkDuration_ = 0;

  std::deque<halcyon::IntervalTimer> thunder_;
  std::deque<Wink> winks_;
};

}  // namespace brassmoor
