// The longcase clock's beat. Each beat is the escapement at work: the pallet lets a tooth
// of the escape wheel go (a faint unlocking click), the wheel drops onto the other pallet
// (the main impact) and bounces once. The steel parts ring high and briefly; the hood and
// the tall wooden trunk answer with low, woody resonances that give the beat its "tock".
// Tick and tock differ a little, as the two pallets of a real escapement do.
#include <cmath>
#include <vector>

#include "tools/soundgen/storm_sounds.h"

namespace soundgen {
namespace {

constexpr std::size_t kLoopFrames = 2 * kSampleRate;

struct Mode {
  double frequency;  // Hz
  double amplitude;
  double decay;  // seconds
};

struct Beat {
  double at;               // seconds into the loop
  double level;            // linear gain of the whole beat
  double dropDelay;        // seconds from unlocking to the drop
  double tune;             // scales the steel partials
  std::vector<Mode> wood;  // case resonances
};

// Writes into the loop with wrap-around, so a ring that crosses the end reappears at the
// start exactly as it would on the next pass.
void addWrapped(std::vector<float>& loop, double atSeconds, const std::vector<float>& sound) {
  const std::size_t first = static_cast<std::size_t>(atSeconds * kSampleRate);
  for (std::size_t k = 0; k < sound.size(); ++k) loop[(first + k) % kLoopFrames] += sound[k];
}

std::vector<float> impact(double strength, double tune, const std::vector<Mode>& wood, Random& rng) {
  const std::size_t length = static_cast<std::size_t>(0.35 * kSampleRate);
  std::vector<float> out(length, 0.0f);
  static const Mode steel[] = {
      {2480, 0.50, 0.010}, {3710, 0.40, 0.008}, {5230, 0.28, 0.006}, {6890, 0.18, 0.004}, {8150, 0.10, 0.003}};
  for (std::size_t k = 0; k < length; ++k) {
    const double t = static_cast<double>(k) / kSampleRate;
    double v = 0.0;
    for (const Mode& m : steel) v += m.amplitude * std::exp(-t / m.decay) * std::sin(2 * kPi * m.frequency * tune * t);
    for (const Mode& m : wood) v += m.amplitude * std::exp(-t / m.decay) * std::sin(2 * kPi * m.frequency * t);
    out[k] = static_cast<float>(strength * v);
  }
  // The contact itself: a very short burst of noise, softened so it clicks without spitting.
  Biquad soften = Biquad::lowPass(6000, 0.7);
  for (std::size_t k = 0; k < 90; ++k) {
    const double env = std::exp(-static_cast<double>(k) / 18.0);
    out[k] += static_cast<float>(strength * 0.5 * env * soften.process(static_cast<float>(rng.range(-1.0, 1.0))));
  }
  return out;
}

void addBeat(std::vector<float>& loop, const Beat& beat, Random& rng) {
  addWrapped(loop, beat.at, impact(0.12 * beat.level, beat.tune * 1.07, {}, rng));
  addWrapped(loop, beat.at + beat.dropDelay, impact(beat.level, beat.tune, beat.wood, rng));
  addWrapped(loop, beat.at + beat.dropDelay + 0.0032, impact(0.3 * beat.level, beat.tune, beat.wood, rng));
}

// The room around the clock: a few early reflections and a short, dark tail.
std::vector<float> withRoom(const std::vector<float>& dry, Random& rng) {
  std::vector<float> out = dry;
  const double delays[] = {0.0071, 0.0113, 0.0167, 0.0239, 0.0313};
  for (int r = 0; r < 5; ++r) {
    const std::size_t d = static_cast<std::size_t>(delays[r] * kSampleRate);
    const double gain = 0.22 * std::pow(0.75, r);
    Biquad lp = Biquad::lowPass(3500 - 400 * r, 0.7);
    for (std::size_t pass = 0; pass < 2; ++pass)  // twice round, so the filter state wraps too
      for (std::size_t i = 0; i < kLoopFrames; ++i) {
        const float v = lp.process(dry[(i + kLoopFrames - d) % kLoopFrames]);
        if (pass == 1) out[i] += static_cast<float>(gain * v);
      }
  }
  // Diffuse tail: noise shaped by the beat's own envelope, a few tens of milliseconds long.
  Biquad tailLp = Biquad::lowPass(1800, 0.7);
  OnePole follow(25.0);
  std::vector<float> envelope(kLoopFrames);
  for (std::size_t pass = 0; pass < 2; ++pass)
    for (std::size_t i = 0; i < kLoopFrames; ++i) envelope[i] = follow.process(std::fabs(dry[i]));
  for (std::size_t pass = 0; pass < 2; ++pass)
    for (std::size_t i = 0; i < kLoopFrames; ++i) {
      const float v = tailLp.process(static_cast<float>(rng.range(-1.0, 1.0)) * envelope[i]);
      if (pass == 1) out[i] += 0.5f * v;
    }
  return out;
}

}  // namespace

Audio makeTicks(std::uint64_t seed) {
  Random rng(seed);
  std::vector<float> loop(kLoopFrames, 0.0f);
  const Beat tick{0.004,
                  1.0,
                  0.0105,
                  1.0,
                  {{165, 0.55, 0.070},
                   {262, 0.45, 0.055},
                   {418, 0.32, 0.040},
                   {640, 0.22, 0.030},
                   {985, 0.14, 0.020},
                   {1470, 0.08, 0.012}}};
  const Beat tock{1.004,
                  0.86,
                  0.0122,
                  0.955,
                  {{158, 0.60, 0.080},
                   {249, 0.48, 0.060},
                   {396, 0.30, 0.045},
                   {611, 0.20, 0.032},
                   {940, 0.12, 0.022},
                   {1390, 0.07, 0.012}}};
  addBeat(loop, tick, rng);
  addBeat(loop, tock, rng);
  std::vector<float> wet = withRoom(loop, rng);
  Audio out(1, kLoopFrames);
  out.channels[0] = wet;
  // The first milliseconds of each impact are far louder than its woody ring; a soft
  // saturation brings the ring up to the click, so the beat carries over the rain without
  // a harder attack.
  const double peak = peakOf(out);
  constexpr double kDrive = 2.5;
  std::vector<float>& s = out.channels[0];
  for (float& v : s) v = static_cast<float>(std::tanh(kDrive * v / peak) / std::tanh(kDrive));
  // The saturation evens out the two beats; the tock gets back its lesser weight, so tick and
  // tock stay two different beats.
  for (std::size_t k = kSampleRate; k < kLoopFrames; ++k) s[k] = static_cast<float>(s[k] * tock.level);
  // Clear near the clock, never sharp: the beat peaks at -4.5 dBFS (the encoder's overshoot
  // stays under -3).
  for (float& v : s) v = static_cast<float>(v * dbToGain(-4.5));
  return out;
}

}  // namespace soundgen
