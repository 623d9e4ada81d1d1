#include "tools/soundgen/dsp.h"

#include <algorithm>

namespace soundgen {

Audio::Audio(int channelCount, std::size_t frameCount, int sampleRate) : rate(sampleRate) {
  channels.assign(static_cast<std::size_t>(channelCount), std::vector<float>(frameCount, 0.0f));
}

std::uint64_t Random::next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double Random::uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

double Random::gaussian() {
  if (haveSpare_) {
    haveSpare_ = false;
    return spare_;
  }
  double u, v, s;
  do {
    u = range(-1.0, 1.0);
    v = range(-1.0, 1.0);
    s = u * u + v * v;
  } while (s >= 1.0 || s == 0.0);
  double m = std::sqrt(-2.0 * std::log(s) / s);
  spare_ = v * m;
  haveSpare_ = true;
  return u * m;
}

double Random::exponential(double mean) { return -mean * std::log(1.0 - uniform()); }

Biquad::Biquad(double b0, double b1, double b2, double a0, double a1, double a2)
    : b0_(b0 / a0), b1_(b1 / a0), b2_(b2 / a0), a1_(a1 / a0), a2_(a2 / a0) {}

Biquad Biquad::lowPass(double freq, double q, int rate) {
  double w = 2.0 * kPi * freq / rate, c = std::cos(w), alpha = std::sin(w) / (2.0 * q);
  return Biquad((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

Biquad Biquad::highPass(double freq, double q, int rate) {
  double w = 2.0 * kPi * freq / rate, c = std::cos(w), alpha = std::sin(w) / (2.0 * q);
  return Biquad((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

Biquad Biquad::bandPass(double freq, double q, int rate) {
  double w = 2.0 * kPi * freq / rate, c = std::cos(w), alpha = std::sin(w) / (2.0 * q);
  return Biquad(alpha, 0, -alpha, 1 + alpha, -2 * c, 1 - alpha);
}

Biquad Biquad::peaking(double freq, double q, double gainDb, int rate) {
  double a = std::pow(10.0, gainDb / 40.0);
  double w = 2.0 * kPi * freq / rate, c = std::cos(w), alpha = std::sin(w) / (2.0 * q);
  return Biquad(1 + alpha * a, -2 * c, 1 - alpha * a, 1 + alpha / a, -2 * c, 1 - alpha / a);
}

OnePole::OnePole(double freq, int rate) : a_(1.0 - std::exp(-2.0 * kPi * freq / rate)) {}

float PinkNoise::next() {
  double white = rng_.range(-1.0, 1.0);
  b_[0] = 0.99886 * b_[0] + white * 0.0555179;
  b_[1] = 0.99332 * b_[1] + white * 0.0750759;
  b_[2] = 0.96900 * b_[2] + white * 0.1538520;
  b_[3] = 0.86650 * b_[3] + white * 0.3104856;
  b_[4] = 0.55000 * b_[4] + white * 0.5329522;
  b_[5] = -0.7616 * b_[5] - white * 0.0168980;
  double pink = b_[0] + b_[1] + b_[2] + b_[3] + b_[4] + b_[5] + b_[6] + white * 0.5362;
  b_[6] = white * 0.115926;
  return static_cast<float>(pink * 0.11);
}

float BrownNoise::next() {
  // The leak keeps the walk from wandering off into a DC offset over long sounds.
  y_ = 0.997 * y_ + rng_.range(-1.0, 1.0) * 0.08;
  return static_cast<float>(y_ * 1.6);
}

double peakOf(const Audio& audio) {
  double peak = 0.0;
  for (const auto& ch : audio.channels)
    for (float s : ch) peak = std::max(peak, static_cast<double>(std::fabs(s)));
  return peak;
}

double rmsOf(const Audio& audio) {
  double sum = 0.0;
  std::size_t n = 0;
  for (const auto& ch : audio.channels) {
    for (float s : ch) sum += static_cast<double>(s) * s;
    n += ch.size();
  }
  return n == 0 ? 0.0 : std::sqrt(sum / static_cast<double>(n));
}

void setLevel(Audio& audio, double rmsDb, double ceilingDb) {
  double rms = rmsOf(audio);
  if (rms <= 0.0) return;
  double gain = dbToGain(rmsDb) / rms;
  double peak = peakOf(audio) * gain;
  double ceiling = dbToGain(ceilingDb);
  if (peak > ceiling) gain *= ceiling / peak;
  for (auto& ch : audio.channels)
    for (float& s : ch) s = static_cast<float>(s * gain);
}

}  // namespace soundgen
