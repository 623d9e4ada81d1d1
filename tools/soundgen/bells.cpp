// The clock's bells. A cast bell rings in a handful of partials that are not harmonic: the
// hum an octave below the note, the prime (the note heard), a minor third, a fifth, the
// nominal an octave up, and a few higher ones, each dying away at its own rate (the low ones
// last longest). A bell is never quite round, so each partial is a close pair that beats
// slowly. The hammer adds a short bright knock at the start.
#include <cmath>

#include "tools/soundgen/storm_sounds.h"

namespace soundgen {
namespace {

struct Partial {
  double ratio;  // to the prime
  double amplitude;
  double decay;  // seconds (exponential time constant) of the hour bell
};

constexpr Partial kPartials[] = {
    {0.500, 0.30, 2.4}, {1.000, 0.50, 1.6}, {1.183, 0.42, 1.3}, {1.506, 0.14, 1.0},  {2.000, 0.55, 0.9},
    {2.514, 0.26, 0.6}, {2.662, 0.22, 0.5}, {3.011, 0.18, 0.4}, {4.166, 0.10, 0.22}, {5.433, 0.06, 0.14},
};

Audio ringBell(double prime, double seconds, double decayScale, double knock, double peakDb, Random& rng) {
  const std::size_t frames = static_cast<std::size_t>(seconds * kSampleRate);
  Audio out(1, frames);
  std::vector<float>& s = out.channels[0];
  for (const Partial& p : kPartials) {
    const double f = prime * p.ratio * (1.0 + rng.range(-0.002, 0.002));
    if (f > 0.45 * kSampleRate) continue;
    const double beat = rng.range(0.3, 1.1);  // Hz between the pair
    const double phase = rng.range(0.0, 2 * kPi);
    const double decay = p.decay * decayScale;
    for (std::size_t k = 0; k < frames; ++k) {
      const double t = static_cast<double>(k) / kSampleRate;
      const double env = std::exp(-t / decay);
      if (env < 1e-5) break;
      const double pair = std::sin(2 * kPi * f * t + phase) + 0.35 * std::sin(2 * kPi * (f + beat) * t);
      s[k] += static_cast<float>(p.amplitude * env * pair);
    }
  }
  // The hammer's knock: a few milliseconds of bright noise.
  Biquad band = Biquad::bandPass(prime * 6.0, 1.2);
  for (std::size_t k = 0; k < 400 && k < frames; ++k) {
    const double env = std::exp(-static_cast<double>(k) / 60.0);
    s[k] += static_cast<float>(knock * env * band.process(static_cast<float>(rng.range(-1.0, 1.0))));
  }
  // A soft onset of a fraction of a millisecond, and a fade into silence at the end.
  for (std::size_t k = 0; k < 20 && k < frames; ++k) s[k] *= static_cast<float>(k) / 20.0f;
  const std::size_t fade = static_cast<std::size_t>(0.5 * kSampleRate);
  for (std::size_t k = 0; k < fade && k < frames; ++k) s[frames - 1 - k] *= static_cast<float>(k) / fade;
  const double peak = peakOf(out);
  if (peak > 0.0)
    for (float& v : s) v = static_cast<float>(v * dbToGain(peakDb) / peak);
  return out;
}

}  // namespace

Audio makeHourBell(std::uint64_t seed) {
  Random rng(seed);
  // C4: a deep, long bell for the hours, under the quarter bells.
  return ringBell(261.63, 7.0, 1.6, 0.6, -3.0, rng);
}

Audio makeQuarterBell(std::uint64_t seed) {
  Random rng(seed);
  // C5, the lowest of the four quarter bells; the saver plays the others by pitching it up.
  return ringBell(523.25, 4.0, 0.9, 0.4, -5.0, rng);
}

}  // namespace soundgen
