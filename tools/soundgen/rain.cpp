// Heavy rain heard from inside the room: a hiss of rain in the street, the patter on the
// roof above, single drops striking the window glass close by, and now and then a drip
// from the gutter outside the window. Every layer is made a little longer than the loop and
// the overhang is faded into the start, so the file plays on without a seam.
#include <algorithm>
#include <cmath>

#include "tools/soundgen/loop_join.h"
#include "tools/soundgen/storm_sounds.h"

namespace soundgen {
namespace {

constexpr double kOverhang = 2.0;  // seconds rendered past the loop end, faded into the start

// A slowly wandering gain between lo and hi, so the downpour breathes instead of hissing flat.
class Gust {
 public:
  Gust(std::uint64_t seed, double lo, double hi) : rng_(seed), lo_(lo), hi_(hi), smooth_(0.35) {
    smooth_.set(0.5 * (lo + hi));
  }
  float next() {
    if (--hold_ <= 0) {
      target_ = rng_.range(lo_, hi_);
      hold_ = static_cast<int>(rng_.range(0.8, 3.0) * kSampleRate);
    }
    return smooth_.process(static_cast<float>(target_));
  }

 private:
  Random rng_;
  double lo_, hi_, target_ = 1.0;
  int hold_ = 0;
  OnePole smooth_;
};

void addWash(Audio& out, std::uint64_t seed) {
  // The street hiss: pink noise, band-limited, partly shared between the ears for a wide
  // but centred image.
  PinkNoise shared(seed), left(seed + 1), right(seed + 2);
  Gust gust(seed + 3, 0.8, 1.1);
  Biquad hpL = Biquad::highPass(350, 0.7), hpR = Biquad::highPass(350, 0.7);
  Biquad lpL = Biquad::lowPass(6500, 0.7), lpR = Biquad::lowPass(6500, 0.7);
  Biquad airL = Biquad::peaking(3000, 0.8, 3.0), airR = Biquad::peaking(3000, 0.8, 3.0);
  for (std::size_t i = 0; i < out.frames(); ++i) {
    const float g = gust.next() * 0.55f;
    const float s = shared.next();
    out.channels[0][i] += g * airL.process(lpL.process(hpL.process(0.4f * s + 0.9f * left.next())));
    out.channels[1][i] += g * airR.process(lpR.process(hpR.process(0.4f * s + 0.9f * right.next())));
  }
}

void addRoof(Audio& out, std::uint64_t seed) {
  // Countless drops on the roof tiles above: dense random impulses, muffled by the ceiling,
  // with the low drumming of the heaviest rain under them.
  Random rng(seed);
  BrownNoise drum(seed + 1);
  Gust gust(seed + 2, 0.75, 1.15);
  Biquad lpL = Biquad::lowPass(1400, 0.6), lpR = Biquad::lowPass(1400, 0.6);
  Biquad bodyL = Biquad::peaking(320, 1.0, 4.0), bodyR = Biquad::peaking(320, 1.0, 4.0);
  Biquad drumLp = Biquad::lowPass(160, 0.7), drumHp = Biquad::highPass(35, 0.7);
  const double rate = 1400.0 / kSampleRate;
  for (std::size_t i = 0; i < out.frames(); ++i) {
    float l = 0.0f, r = 0.0f;
    if (rng.uniform() < rate) {
      const double a = std::pow(rng.uniform(), 2.0) * (rng.uniform() < 0.5 ? -1.0 : 1.0);
      const double pan = rng.uniform();
      l = static_cast<float>(a * std::sqrt(1.0 - pan));
      r = static_cast<float>(a * std::sqrt(pan));
    }
    const float g = gust.next();
    const float low = drumHp.process(drumLp.process(drum.next())) * 0.13f;
    out.channels[0][i] += g * (bodyL.process(lpL.process(l)) * 1.4f + low);
    out.channels[1][i] += g * (bodyR.process(lpR.process(r)) * 1.4f + low);
  }
}

// A single drop on the glass: a bright click with a glassy ring of a few milliseconds.
void addDrop(Audio& out, std::size_t at, double amplitude, double pan, Random& rng) {
  const double f1 = rng.range(2200, 4200), f2 = f1 * rng.range(1.45, 1.7);
  const double decay = rng.range(0.0015, 0.004);
  const std::size_t length = static_cast<std::size_t>(decay * 8 * kSampleRate);
  const double gl = amplitude * std::sqrt(1.0 - pan), gr = amplitude * std::sqrt(pan);
  for (std::size_t k = 0; k < length && at + k < out.frames(); ++k) {
    const double t = static_cast<double>(k) / kSampleRate;
    const double env = std::exp(-t / decay);
    const double click = k < 12 ? rng.range(-1.0, 1.0) * (1.0 - k / 12.0) : 0.0;
    const double s = env * (std::sin(2 * kPi * f1 * t) + 0.5 * std::sin(2 * kPi * f2 * t)) + 0.6 * click;
    out.channels[0][at + k] += static_cast<float>(gl * s);
    out.channels[1][at + k] += static_cast<float>(gr * s);
  }
}

void addWindowDrops(Audio& out, std::uint64_t seed) {
  Random rng(seed);
  double t = 0.0;
  const double total = static_cast<double>(out.frames()) / kSampleRate;
  while ((t += rng.exponential(1.0 / 16.0)) < total) {
    // Mostly small drops, a few big ones; the window sits a little to the left.
    const double amplitude = 0.06 + 0.5 * std::pow(rng.uniform(), 3.0);
    const double pan = std::clamp(0.4 + 0.22 * rng.gaussian(), 0.05, 0.95);
    addDrop(out, static_cast<std::size_t>(t * kSampleRate), amplitude, pan, rng);
  }
}

// Water running off the gutter: a hollow "plink" whose pitch rises as the drop's bubble
// closes, with a little splash.
void addDrip(Audio& out, std::size_t at, double amplitude, Random& rng) {
  const double f0 = rng.range(850, 1100), rise = rng.range(1.5, 1.9);
  const double length = 0.09;
  const double pan = 0.72;
  double phase = 0.0;
  for (std::size_t k = 0; k < static_cast<std::size_t>(length * kSampleRate) && at + k < out.frames(); ++k) {
    const double t = static_cast<double>(k) / kSampleRate;
    const double f = f0 * (1.0 + (rise - 1.0) * std::min(1.0, t / 0.02));
    phase += 2 * kPi * f / kSampleRate;
    const double env = (1.0 - std::exp(-t / 0.0015)) * std::exp(-t / 0.018);
    const double splash = k < 400 ? rng.range(-1.0, 1.0) * std::exp(-t / 0.003) * 0.3 : 0.0;
    const double s = amplitude * (env * std::sin(phase) + splash);
    out.channels[0][at + k] += static_cast<float>(s * std::sqrt(1.0 - pan));
    out.channels[1][at + k] += static_cast<float>(s * std::sqrt(pan));
  }
}

void addGutter(Audio& out, std::uint64_t seed) {
  Random rng(seed);
  const double total = static_cast<double>(out.frames()) / kSampleRate;
  double t = rng.range(1.0, 3.0);
  while (t < total) {
    // Runs of drips a second or so apart, then a pause.
    const int run = 3 + static_cast<int>(rng.uniform() * 6);
    for (int k = 0; k < run && t < total; ++k) {
      addDrip(out, static_cast<std::size_t>(t * kSampleRate), rng.range(0.035, 0.07), rng);
      t += rng.range(0.75, 1.3);
    }
    t += rng.range(3.0, 8.0);
  }
}

}  // namespace

Audio makeRain(double seconds, std::uint64_t seed) {
  const std::size_t length = static_cast<std::size_t>(seconds * kSampleRate);
  const std::size_t overhang = static_cast<std::size_t>(kOverhang * kSampleRate);
  Audio render(2, length + overhang);
  addWash(render, seed);
  addRoof(render, seed + 10);
  addWindowDrops(render, seed + 20);
  addGutter(render, seed + 30);
  auto loop = joinLoop(render, 0, length, overhang, FadeShape::EqualPower);
  // Rain is the bed under the music: steady and a good deal quieter than the piano.
  setLevel(*loop, -29.5, -6.0);
  return *loop;
}

}  // namespace soundgen
