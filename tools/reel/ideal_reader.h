#pragma once

#include <string>
#include <vector>

#include "reel/reel.h"

namespace kelvora::reel {

// The reader a test measures against: it knows where the generator put the track on
// every scan (weave included) and where every scan lies on the film, and reads the
// mean level over exactly the track's columns, at the scans' full depth, in float,
// with the reel's level taken off. It undoes nothing else: not the light, the skew,
// a scratch or a negative's polarity. One sample a film row, in playing order.
std::vector<float> idealSound(const Reel& reel);

}  // namespace kelvora::reel
