#include "clock/storm.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/core/trace.h"

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

void Storm::start(int64_t nowMs) {
  nextFlashDelay_ = 1000;
  quietTimer_.restart(nowMs);
  winkPhaseTimer_.restart(nowMs);
  windowFlash_ = 0.0f;
  shownStarts_.clear();
}

std::vector<int64_t> Storm::thunderDelays() const {
  std::vector<int64_t> out;
  for (const Thunder& t : thunder_) out.push_back(t.delay);
  return out;
}

void Storm::queueThunder(int64_t nowMs) {
  // The clap comes as late as the strike is far; one draw places the strike.
  const bool far = lightning_ == LightningMode::Off;
  const int64_t spread = far ? kFarThunderSpreadMs : kNearThunderSpreadMs;
  const int64_t delay = (far ? kFarThunderMs : kNearThunderMs) + random_() % spread;
  thunder_.push_back(Thunder{halcyon::IntervalTimer(nowMs), delay, far ? kFarThunderLoudness : 1.0f});
}

bool Storm::softAllowsFlash(int64_t now) {
  while (!shownStarts_.empty() && now - shownStarts_.front() >= kSoftCountWindowMs) shownStarts_.pop_front();
  if (shownStarts_.size() >= kSoftFlashesPerWindow) return false;
  shownStarts_.push_back(now);
  return true;
}

void Storm::scheduleLightning(const halcyon::FrameTime& frame, bool thunder) {
  if (flashActive_ || !quietTimer_.restartIfElapsed(nextFlashDelay_, frame.nowMs)) return;
  flashActive_ = true;
  flashTimer_.restart(frame.nowMs);
  flashDuration_ = random_() % 400 + 300;
  flashStrength_ = float(random_() % 100) / 100.0f * 0.5f + 0.5f;
  if (random_() % 5 == 0) {
    // A double flash: the second follows at once, and the lamp answers it a little later
    // (a storm too far off to be seen leaves the lamp alone).
    nextFlashDelay_ = random_() % 100;
    const int64_t winkDelay = random_() % 2000 + 1000;
    if (lightning_ != LightningMode::Off) winks_.push_back(Wink{halcyon::IntervalTimer(frame.nowMs), winkDelay});
  } else {
    const int q = quietTime_;
    if (random_() % 2 != 0) nextFlashDelay_ = random_() % (3 * q) + 2 * q;
    else
      nextFlashDelay_ = q + random_() % (2 * q);
  }
  switch (lightning_) {
    case LightningMode::Off: flashShown_ = false; break;
    case LightningMode::Soft: flashShown_ = softAllowsFlash(frame.nowMs); break;
    case LightningMode::Full: flashShown_ = true; break;
  }
  // The run's trace shows the storm's schedule, so two runs of one --seed can be compared.
  char line[96];
  std::snprintf(line, sizeof line, "Flash: %lld ms at %.2f%s, next after %lld ms\n",
                static_cast<long long>(flashDuration_), static_cast<double>(flashStrength_),
                flashShown_ ? "" : " (unseen)", static_cast<long long>(nextFlashDelay_));
  halcyon::logLine(line);
  if (thunder) queueThunder(frame.nowMs);
}

void Storm::workThunder(const halcyon::FrameTime& frame, bool effects, const ThunderClap& clap) {
  if (!effects) {
    thunder_.clear();
    return;
  }
  for (auto it = thunder_.begin(); it != thunder_.end();) {
    if (it->timer.restartIfElapsed(it->delay, frame.nowMs)) {
      if (clap) clap(it->loudness);
      it = thunder_.erase(it);
    } else {
      ++it;
    }
  }
}

void Storm::workWinks(const halcyon::FrameTime& frame) {
  for (auto it = winks_.begin(); it != winks_.end();) {
    if (it->timer.restartIfElapsed(it->delay, frame.nowMs)) {
      // A trigger during a running flicker lengthens it without breaking its rhythm.
      if (!winkActive_) {
        winkActive_ = true;
        winkPhaseTimer_.restart(frame.nowMs);
      }
      winkProgressTimer_.restart(frame.nowMs);
      winkDuration_ = winkTime_ + random_() % (2 * winkTime_);
      it = winks_.erase(it);
    } else {
      ++it;
    }
  }
}

void Storm::followWindow(float target, int64_t stepMs) {
  const float dt = std::max(0.0f, float(stepMs) / 1000.0f);
  if (lightning_ != LightningMode::Soft || target <= windowFlash_) {
    // Darkening is never a hazard; soft lightning only eases it a little.
    const float fall = lightning_ == LightningMode::Soft ? 2.0f * kSoftRisePerFrame : 1.0f;
    windowFlash_ = lightning_ == LightningMode::Soft ? std::max(target, windowFlash_ - fall) : target;
    return;
  }
  // Bounded per frame (whatever the frame rate) and per second (so that a fast display does
  // not make the soft flash snap up in a few frames).
  const float step = std::min(kSoftRisePerFrame, kSoftRisePerSecond * dt);
  windowFlash_ = std::min(target, windowFlash_ + step);
}

void Storm::updateFlash(const halcyon::FrameTime& frame, const GammaSink& setGamma) {
  flashLevel_ = 0.0f;
  if (!flashActive_) {
    followWindow(0.0f, frame.stepMs);
    return;
  }
  const float t = float(flashTimer_.elapsed(frame.nowMs)) / float(flashDuration_);
  float a = t < 0.5f ? 2.0f * t : 2.0f * (1.0f - t);
  // A frame that lands past the flash's end (or a clock that ran back) must not take the
  // root of a negative number: the flash is dark there.
  a = std::clamp(a, 0.0f, 1.0f);
  flashLevel_ = std::min(1.0f, std::sqrt(std::sqrt(a)) * 1.1111112f);
  const bool ends = flashTimer_.restartIfElapsed(flashDuration_, frame.nowMs);
  float target = 0.0f;
  if (flashShown_) target = lightning_ == LightningMode::Soft ? kSoftPeak * flashLevel_ : flashLevel_;
  followWindow(target, frame.stepMs);
  if (ends) {
    flashActive_ = false;
    quietTimer_.restart(frame.nowMs);
  }
  // Only full lightning brightens the whole picture; the others keep the base ramp, which
  // is set once as each flash ends in case the setting changed while one was lit.
  if (!setGamma) return;
  if (ends || lightning_ != LightningMode::Full) {
    if (ends) setGamma(baseRamp_);
  } else {
    setGamma(blendGammaRamp(flashGammaRamp(flashStrength_), baseRamp_, flashLevel_));
  }
}

void Storm::updateWink(const halcyon::FrameTime& frame) {
  if (!winkActive_) return;
  float p = float(winkProgressTimer_.elapsed(frame.nowMs)) / float(winkDuration_);
  bool over = false;
  if (p > 1.0f) {
    over = true;
    p -= std::trunc(p);
  }
  winkPeriod_ = (1.0f - p * p) * 100.0f + 500.0f;
  float level = realModulo(float(winkPhaseTimer_.elapsed(frame.nowMs)), winkPeriod_) / winkPeriod_;
  if (level > 0.5f) level = 1.0f - level;
  winkLevel_ = level;
  if (over && std::fabs(level) <= 0.1f) {
    winkActive_ = false;
    winkLevel_ = 0.0f;
  }
}

}  // namespace brassmoor
