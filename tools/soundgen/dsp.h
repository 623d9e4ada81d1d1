#pragma once
// Small signal-processing pieces shared by the sound generators: a seeded random source,
// biquad filters, coloured noise and an audio buffer. Everything is deterministic for a seed,
// so regenerating a sound gives the same file.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace soundgen {

constexpr int kSampleRate = 44100;
constexpr double kPi = 3.14159265358979323846;

// Planar float audio, one vector per channel, all of the same length.
struct Audio {
  int rate = kSampleRate;
  std::vector<std::vector<float>> channels;

  Audio() = default;
  Audio(int channelCount, std::size_t frames, int sampleRate = kSampleRate);
  std::size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
  int channelCount() const { return static_cast<int>(channels.size()); }
};

// splitmix64: small, fast, and good enough that rain drops do not fall in patterns.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next();
  double uniform();  // [0, 1)
  double range(double lo, double hi) { return lo + (hi - lo) * uniform(); }
  double gaussian();                // mean 0, deviation 1
  double exponential(double mean);  // waiting times of a Poisson process

 private:
  std::uint64_t state_;
  bool haveSpare_ = false;
  double spare_ = 0.0;
};

// Direct-form-I biquad with the usual cookbook designs.
class Biquad {
 public:
  static Biquad lowPass(double freq, double q, int rate = kSampleRate);
  static Biquad highPass(double freq, double q, int rate = kSampleRate);
  static Biquad bandPass(double freq, double q, int rate = kSampleRate);  // 0 dB peak
  static Biquad peaking(double freq, double q, double gainDb, int rate = kSampleRate);

  float process(float x) {
    double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
    x2_ = x1_;
    x1_ = x;
    y2_ = y1_;
    y1_ = y;
    return static_cast<float>(y);
  }
  void reset() { x1_ = x2_ = y1_ = y2_ = 0.0; }

 private:
  Biquad(double b0, double b1, double b2, double a0, double a1, double a2);
  double b0_, b1_, b2_, a1_, a2_;
  double x1_ = 0.0, x2_ = 0.0, y1_ = 0.0, y2_ = 0.0;
};

// One-pole smoother; also a gentle 6 dB/octave low-pass.
class OnePole {
 public:
  OnePole(double freq, int rate = kSampleRate);
  float process(float x) {
    y_ += a_ * (x - y_);
    return static_cast<float>(y_);
  }
  void set(double value) { y_ = value; }

 private:
  double a_;
  double y_ = 0.0;
};

// Pink noise by a weighted bank of one-pole filters (about -3 dB per octave).
class PinkNoise {
 public:
  explicit PinkNoise(std::uint64_t seed) : rng_(seed) {}
  float next();

 private:
  Random rng_;
  double b_[7] = {0, 0, 0, 0, 0, 0, 0};
};

// Brown (red) noise: leaky integral of white noise, normalised to roughly unit deviation.
class BrownNoise {
 public:
  explicit BrownNoise(std::uint64_t seed) : rng_(seed) {}
  float next();

 private:
  Random rng_;
  double y_ = 0.0;
};

inline double dbToGain(double db) { return std::pow(10.0, db / 20.0); }

// Peak and RMS over all channels; used to set levels in dBFS.
double peakOf(const Audio& audio);
double rmsOf(const Audio& audio);
// Scales every sample so that the RMS becomes `rmsDb` dBFS, then, if the peak would pass
// `ceilingDb`, scales down further so that it sits exactly at the ceiling.
void setLevel(Audio& audio, double rmsDb, double ceilingDb);

}  // namespace soundgen
