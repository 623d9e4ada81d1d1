#pragma once
// Making a loop that plays on without a click or a gap. The trick is the same for every
// looping sound: render a little more than one period, then fade the overhang (what would
// have followed the last sample) into the first samples. The last sample of the result is
// then followed, on wrap-around, by exactly the sample that came after it in the render.
#include <cstddef>
#include <optional>

#include "tools/soundgen/dsp.h"

namespace soundgen {

enum class FadeShape {
  Linear,      // for overhang that closely matches the start (a repeated musical pass)
  EqualPower,  // for unrelated material (fresh noise), so the loudness does not dip
};

// Takes `length` frames of `source` from `start`, blending the `fade` frames that follow
// them into the first `fade` frames of the result. Needs start + length + fade frames in
// the source and fade <= length; otherwise there is no result.
std::optional<Audio> joinLoop(const Audio& source, std::size_t start, std::size_t length, std::size_t fade,
                              FadeShape shape);

// The largest sample-to-sample step across the wrap-around (last frame to first frame),
// compared with the steps just before and after it: a ratio near 1 means the join sounds
// like any other pair of samples, a large one means a click.
struct JoinStep {
  double step = 0.0;       // largest |first - last| over the channels
  double localStep = 0.0;  // RMS of the neighbouring steps on both sides of the join
};
JoinStep measureJoin(const Audio& loop, std::size_t neighbourhood = 64);

}  // namespace soundgen
