#pragma once
// The synthesised sounds of the room: the rain behind the window, the three thunder claps,
// the clock's tick-tock and its bells. All are made from seeded noise and filters, at 44.1 kHz, with
// their levels set here so that the media script only has to encode them.
#include <cstdint>

#include "tools/soundgen/dsp.h"

namespace soundgen {

// Stereo rain of the given length that loops seamlessly (its end runs into its start).
Audio makeRain(double seconds, std::uint64_t seed);
// Thunder 1: a near crack with a long rumble; 2: a rolling peal at middle distance;
// 3: a distant low grumble. Stereo, each ending in silence.
Audio makeThunder(int which, std::uint64_t seed);
// The clock's bells, mono, each ending in silence: the deep hour bell (C4), and the quarter
// bell (C5), the lowest of four that the saver makes by pitching it up.
Audio makeHourBell(std::uint64_t seed);
Audio makeQuarterBell(std::uint64_t seed);
// Mono, exactly two seconds: the tick at the start, the tock one second later; the ring of
// each is wrapped round, so the loop has no seam.
Audio makeTicks(std::uint64_t seed);

}  // namespace soundgen
