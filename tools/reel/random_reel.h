#pragma once

#include <string>

#include "reel/reel_options.h"

namespace kelvora::reel {

// A reel as film archives hold them, drawn from `seed`: the gauge, the track (bilateral,
// unilateral or variable density), direction, Inverse, frames or long strips, 8 or
// 16 bits, colour or grey, a resolution standard or not (1200, 2000, about 4000 dpi
// among them), the overlap, and two or more faults together at the strengths archives
// meet (shrinkage, weave, skew, scratches, negatives, uneven light, drift, splices,
// missing scans, dust, the gate's shadow, a silent leader, a scanner's uneven steps).
// Small enough to be read in seconds. The same seed gives the same reel.
ReelOptions randomArchiveReel(unsigned seed);

// One line naming the reel: gauge, track, resolution, depth, layout, sound and
// every fault with its strength ("clean" when it has none).
std::string describeReel(const ReelOptions& options);

}  // namespace kelvora::reel
