#include "clock/storm.h"

#include <algorithm>
#include <cmath>

namespace brassmoor {

float realModulo(float x, float b) {
  if (std::fabs(b) <= 0.0001f) return 0.0f;
  float r = x - b * std::trunc(x / b);
  if (r < 0.0f) r += b;
  return r;
}

D3DGAMMARAMP baseGammaRamp(int32_t gamma) {
  D3DGAMMARAMP ramp{};
  for (int i = 0; i < 256; ++i) {
    const int64_t v = std::clamp<int64_t>(int64_t(gamma) * 200 + int64_t(i) * 256, 0, 65535);
    ramp.red[i] = ramp.green[i] = ramp.blue[i] = WORD(v);
  }
  return ramp;
}

D3DGAMMARAMP flashGammaRamp(float strength) {
  D3DGAMMARAMP ramp{};
  for (int i = 0; i < 256; ++i) {
    const float v = strength * 32768.0f + float(i) * (strength * 256.0f + 256.0f);
    const WORD w = v >= 65535.0f ? WORD(65535) : v <= 0.0f ? WORD(0) : WORD(v);
    ramp.red[i] = ramp.green[i] = ramp.blue[i] = w;
  }
  return ramp;
}

D3DGAMMARAMP blendGammaRamp(const D3DGAMMARAMP& flash, const D3DGAMMARAMP& base, float level) {
  D3DGAMMARAMP out{};
  const auto mix = [level](WORD f, WORD b) -> WORD {
    const float v = float(f) * level + float(b) * (1.0f - level);
    if (v >= 65535.0f) return 65535;
    return v <= 0.0f ? WORD(0) : WORD(v);
  };
  for (int i = 0; i < 256; ++i) {
    out.red[i] = mix(flash.red[i], base.red[i]);
    out.green[i] = mix(flash.green[i], base.green[i]);
    out.blue[i] = mix(flash.blue[i], base.blue[i]);
  }
  return out;
}

Storm::Storm(RandomDraw random) : random_(std::move(random)) {}

void Storm::setTimes(int32_t quietTimeMs, int32_t winkTimeMs) {
  if (quietTimeMs > 0) quietTime_ = quietTimeMs;
  if (winkTimeMs > 0) winkTime_ = winkTimeMs;
}

void Storm::start() {
  nextFlashDelay_ = 1000;
  quietTimer_.restart();
  winkPhaseTimer_.restart();
}

void Storm::scheduleLightning(bool queueThunder) {
  if (flashActive_ || !quietTimer_.elapsedAtLeast(nextFlashDelay_)) return;
  flashActive_ = true;
  flashTimer_.restart();
  flashDuration_ = random_() % 400 + 300;
  flashStrength_ = float(random_() % 100) / 100.0f * 0.5f + 0.5f;
  if (random_() % 5 == 0) {
    // A double flash: the second follows at once, and the lamp answers it a little later.
    nextFlashDelay_ = random_() % 100;
    winks_.push_back(Wink{halcyon::IntervalTimer{}, int64_t(random_() % 2000 + 1000)});
  } else {
    const int q = quietTime_;
    if (random_() % 2 != 0)
      nextFlashDelay_ = random_() % (3 * q) + 2 * q;
    else
      nextFlashDelay_ = q + random_() % (2 * q);
  }
  if (queueThunder) thunder_.emplace_back();
}

void Storm::workThunder(bool effects, const ThunderClap& clap) {
  if (!effects) {
    thunder_.clear();
    return;
  }
  for (auto it = thunder_.begin(); it != thunder_.end();) {
    if (it->elapsedAtLeast(kThunderDelayMs)) {
      if (clap) clap();
      it = thunder_.erase(it);
    } else {
      ++it;
    }
  }
}

void Storm::workWinks() {
  for (auto it = winks_.begin(); it != winks_.end();) {
    if (it->timer.elapsedAtLeast(it->delay)) {
      // A trigger during a running flicker lengthens it without breaking its rhythm.
      if (!winkActive_) {
        winkActive_ = true;
        winkPhaseTimer_.restart();
      }
      winkProgressTimer_.restart();
      winkDuration_ = winkTime_ + random_() % (2 * winkTime_);
      it = winks_.erase(it);
    } else {
      ++it;
    }
  }
}

void Storm::updateFlash(const GammaSink& setGamma) {
  flashLevel_ = 0.0f;
  if (!flashActive_) return;
  const float t = float(flashTimer_.elapsed()) / float(flashDuration_);
  float a = t < 0.5f ? 2.0f * t : 2.0f * (1.0f - t);
  // A frame that lands past the flash's end (or a clock that ran back) must not take the
  // root of a negative number: the flash is dark there.
  a = std::clamp(a, 0.0f, 1.0f);
  flashLevel_ = std::min(1.0f, std::sqrt(std::sqrt(a)) * 1.1111112f);
  const D3DGAMMARAMP shown = blendGammaRamp(flashGammaRamp(flashStrength_), baseRamp_, flashLevel_);
  if (flashTimer_.elapsedAtLeast(flashDuration_)) {
    flashActive_ = false;
    quietTimer_.restart();
    if (setGamma) setGamma(baseRamp_);
  } else if (setGamma) {
    setGamma(shown);
  }
}

void Storm::updateWink() {
  if (!winkActive_) return;
  float p = float(winkProgressTimer_.elapsed()) / float(winkDuration_);
  bool over = false;
  if (p > 1.0f) {
    over = true;
    p -= std::trunc(p);
  }
  winkPeriod_ = (1.0f - p * p) * 100.0f + 500.0f;
  float level = realModulo(float(winkPhaseTimer_.elapsed()), winkPeriod_) / winkPeriod_;
  if (level > 0.5f) level = 1.0f - level;
  winkLevel_ = level;
  if (over && std::fabs(level) <= 0.1f) {
    winkActive_ = false;
    winkLevel_ = 0.0f;
  }
}

}  // namespace brassmoor
