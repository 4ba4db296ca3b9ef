#pragma once

#include <vector>

#include "signal/profile.h"

namespace kelvora {

// How far the film advances from one scan to the next, in samples: the median of the
// cut points found so far, or `fallback` when there are none.
int typicalAdvance(std::vector<int> cutPoints, int fallback);

// The level the sound rests at in a frame: its mean, or 0 for an empty frame.
float restingLevel(const Profile& frame);

// Appends the silence that stands in for `scans` scans that could not be read:
// `advance` samples each at `level`, so the sound after the gap keeps its time.
void appendSilence(int scans, int advance, float level, std::vector<float>& sequence);

}  // namespace kelvora
