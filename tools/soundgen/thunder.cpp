// Thunder. A lightning channel is kilometres long; its parts lie at different distances, so
// one stroke reaches the listener as a train of arrivals spread over seconds, the far ones
// later, weaker and darker (air swallows the highs). Each clap here is built that way: a
// sum of noise bursts ("segments"), each low-passed according to its distance, over a
// low boom, then given a little outdoor echo.
#include <algorithm>
#include <cmath>

#include "tools/soundgen/storm_sounds.h"

namespace soundgen {
namespace {

struct Segment {
  double start;      // seconds
  double amplitude;  // linear
  double cutoff;     // Hz, low-pass of this arrival
  double attack;     // seconds
  double decay;      // seconds (exponential time constant)
  double pan;        // 0 left .. 1 right
};

void addSegment(Audio& out, const Segment& s, Random& rng) {
  Biquad lp1 = Biquad::lowPass(s.cutoff, 0.6), lp2 = Biquad::lowPass(s.cutoff, 0.6);
  Biquad hp = Biquad::highPass(28, 0.7);
  BrownNoise brown(rng.next());
  const double whiteShare = std::clamp((s.cutoff - 150.0) / 2000.0, 0.0, 0.8);
  const std::size_t first = static_cast<std::size_t>(s.start * kSampleRate);
  const std::size_t length = static_cast<std::size_t>((s.attack + 7.0 * s.decay) * kSampleRate);
  const double gl = s.amplitude * std::sqrt(1.0 - s.pan), gr = s.amplitude * std::sqrt(s.pan);
  for (std::size_t k = 0; k < length && first + k < out.frames(); ++k) {
    const double t = static_cast<double>(k) / kSampleRate;
    const double env = t < s.attack ? t / s.attack : std::exp(-(t - s.attack) / s.decay);
    const double noise = (1.0 - whiteShare) * brown.next() + whiteShare * rng.range(-1.0, 1.0) * 1.7;
    const double v = env * hp.process(lp2.process(lp1.process(static_cast<float>(noise))));
    // A little decorrelation between the ears: the right hears the segment a hair later.
    out.channels[0][first + k] += static_cast<float>(gl * v);
    if (first + k + 17 < out.frames()) out.channels[1][first + k + 17] += static_cast<float>(gr * v);
  }
}

// The tearing crack of a close strike: a cluster of very short, bright bursts.
void addCrack(Audio& out, double start, double amplitude, Random& rng) {
  double t = start;
  for (int i = 0; i < 9; ++i) {
    const double a = amplitude * std::pow(0.78, i) * rng.range(0.6, 1.0);
    Biquad hp = Biquad::highPass(180, 0.7), lp = Biquad::lowPass(rng.range(5000, 9000), 0.7);
    const double decay = rng.range(0.006, 0.025);
    const std::size_t first = static_cast<std::size_t>(t * kSampleRate);
    const double pan = std::clamp(0.5 + 0.15 * rng.gaussian(), 0.1, 0.9);
    for (std::size_t k = 0; k < static_cast<std::size_t>(decay * 8 * kSampleRate) && first + k < out.frames(); ++k) {
      const double tt = static_cast<double>(k) / kSampleRate;
      const double env = (1.0 - std::exp(-tt / 0.0008)) * std::exp(-tt / decay);
      const double v = a * env * lp.process(hp.process(static_cast<float>(rng.range(-1.0, 1.0))));
      out.channels[0][first + k] += static_cast<float>(v * std::sqrt(1.0 - pan));
      out.channels[1][first + k] += static_cast<float>(v * std::sqrt(pan));
    }
    t += rng.range(0.012, 0.05);
  }
}

// Outdoor echo: a few late reflections from buildings and hills, each darker than the last.
void addEcho(Audio& audio, Random& rng) {
  Audio wet(2, audio.frames());
  for (int r = 0; r < 6; ++r) {
    const std::size_t delay = static_cast<std::size_t>(rng.range(0.08, 0.9) * kSampleRate);
    const double gain = 0.35 * std::pow(0.8, r);
    for (int c = 0; c < 2; ++c) {
      Biquad lp = Biquad::lowPass(rng.range(500, 1500), 0.7);
      const auto& in = audio.channels[static_cast<std::size_t>(c)];
      auto& dst = wet.channels[static_cast<std::size_t>((c + r) % 2)];
      for (std::size_t i = delay; i < in.size(); ++i) dst[i] += static_cast<float>(gain * lp.process(in[i - delay]));
    }
  }
  for (int c = 0; c < 2; ++c)
    for (std::size_t i = 0; i < audio.frames(); ++i)
      audio.channels[static_cast<std::size_t>(c)][i] += wet.channels[static_cast<std::size_t>(c)][i];
}

// Every clap ends in true silence: a gentle fade over the last part, then zeros.
void fadeOut(Audio& audio, double fadeSeconds) {
  const std::size_t n = audio.frames();
  const std::size_t fade = std::min(n, static_cast<std::size_t>(fadeSeconds * kSampleRate));
  for (auto& ch : audio.channels)
    for (std::size_t k = 0; k < fade; ++k) {
      const double t = fade > 1 ? static_cast<double>(k) / static_cast<double>(fade - 1) : 1.0;
      ch[n - fade + k] *= static_cast<float>(0.5 * (1.0 + std::cos(kPi * t)));
    }
}

void normalisePeak(Audio& audio, double peakDb) {
  const double peak = peakOf(audio);
  if (peak <= 0.0) return;
  const double gain = dbToGain(peakDb) / peak;
  for (auto& ch : audio.channels)
    for (float& s : ch) s = static_cast<float>(s * gain);
}

// What every clap ends with: the echo off the hills, the fade into silence, and the peak
// level its distance gives it.
void finishClap(Audio& audio, Random& rng, double fadeSeconds, double peakDb) {
  addEcho(audio, rng);
  fadeOut(audio, fadeSeconds);
  normalisePeak(audio, peakDb);
}

Audio nearStrike(Random& rng) {
  Audio out(2, static_cast<std::size_t>(11.0 * kSampleRate));
  addCrack(out, 0.03, 1.0, rng);
  // The boom right behind the crack.
  addSegment(out, {0.04, 2.2, 110, 0.03, 0.9, 0.5}, rng);
  addSegment(out, {0.06, 1.0, 900, 0.01, 0.25, 0.45}, rng);
  // The long rumble: arrivals thinning out and darkening over eight seconds.
  double t = 0.25;
  while (t < 8.0) {
    const double fade = std::exp(-t / 2.8);
    addSegment(out,
               {t, 1.3 * fade * rng.range(0.4, 1.0), rng.range(140, 420) * (1.0 + 0.6 * fade), rng.range(0.05, 0.25),
                rng.range(0.25, 0.8), rng.range(0.2, 0.8)},
               rng);
    t += rng.range(0.08, 0.45);
  }
  finishClap(out, rng, 2.5, -1.0);
  return out;
}

Audio rollingPeal(Random& rng) {
  Audio out(2, static_cast<std::size_t>(9.0 * kSampleRate));
  // No crack at this distance: the first arrival already has a soft front.
  addSegment(out, {0.05, 1.0, 1200, 0.12, 0.35, 0.4}, rng);
  double t = 0.3;
  for (int roll = 0; t < 6.5; ++roll) {
    // The peal swells to its loudest a second and a half in, then rolls away.
    const double shape = std::min(1.0, t / 1.5) * std::exp(-std::max(0.0, t - 1.5) / 2.2);
    const double pan = std::clamp(0.3 + 0.08 * roll + 0.1 * rng.gaussian(), 0.1, 0.9);
    for (int k = 0; k < 4; ++k)
      addSegment(out,
                 {t + rng.range(0.0, 0.3), 0.9 * shape * rng.range(0.5, 1.0), rng.range(180, 650), rng.range(0.08, 0.2),
                  rng.range(0.2, 0.5), pan},
                 rng);
    t += rng.range(0.4, 1.1);
  }
  finishClap(out, rng, 2.0, -2.0);
  return out;
}

Audio distantGrumble(Random& rng) {
  Audio out(2, static_cast<std::size_t>(7.5 * kSampleRate));
  double t = 0.1;
  while (t < 5.0) {
    const double shape = std::min(1.0, t / 1.2) * std::exp(-std::max(0.0, t - 1.5) / 1.6);
    addSegment(out,
               {t, shape * rng.range(0.5, 1.0), rng.range(55, 150), rng.range(0.25, 0.6), rng.range(0.4, 0.9),
                rng.range(0.3, 0.7)},
               rng);
    t += rng.range(0.15, 0.5);
  }
  finishClap(out, rng, 2.0, -7.0);
  return out;
}

}  // namespace

Audio makeThunder(int which, std::uint64_t seed) {
  Random rng(seed);
  if (which == 1) return nearStrike(rng);
  if (which == 2) return rollingPeal(rng);
  return distantGrumble(rng);
}

}  // namespace soundgen
