#include "tools/soundgen/loop_join.h"

#include <algorithm>
#include <cmath>

namespace soundgen {

std::optional<Audio> joinLoop(const Audio& source, std::size_t start, std::size_t length, std::size_t fade,
                              FadeShape shape) {
  if (length == 0 || fade > length || start > source.frames() || source.frames() - start < length + fade)
    return std::nullopt;
  Audio out(source.channelCount(), length, source.rate);
  for (int c = 0; c < source.channelCount(); ++c) {
    const auto& in = source.channels[static_cast<std::size_t>(c)];
    auto& dst = out.channels[static_cast<std::size_t>(c)];
    std::copy(in.begin() + static_cast<std::ptrdiff_t>(start), in.begin() + static_cast<std::ptrdiff_t>(start + length),
              dst.begin());
    for (std::size_t i = 0; i < fade; ++i) {
      const double t = (static_cast<double>(i) + 0.5) / static_cast<double>(fade);
      double gainIn, gainOut;
      if (shape == FadeShape::Linear) {
        gainIn = t;
        gainOut = 1.0 - t;
      } else {
        gainIn = std::sin(0.5 * kPi * t);
        gainOut = std::cos(0.5 * kPi * t);
      }
      dst[i] = static_cast<float>(in[start + i] * gainIn + in[start + length + i] * gainOut);
    }
  }
  return out;
}

JoinStep measureJoin(const Audio& loop, std::size_t neighbourhood) {
  JoinStep result;
  const std::size_t n = loop.frames();
  if (n < 2 * neighbourhood + 2) return result;
  double sum = 0.0;
  std::size_t count = 0;
  for (const auto& ch : loop.channels) {
    result.step = std::max(result.step, static_cast<double>(std::fabs(ch[0] - ch[n - 1])));
    for (std::size_t i = 1; i < neighbourhood; ++i) {
      double before = ch[n - i] - ch[n - i - 1];
      double after = ch[i] - ch[i - 1];
      sum += before * before + after * after;
      count += 2;
    }
  }
  result.localStep = std::sqrt(sum / static_cast<double>(count));
  return result;
}

}  // namespace soundgen
