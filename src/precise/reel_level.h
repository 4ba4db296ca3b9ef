#pragma once

#include <vector>

namespace kelvora {

// Takes the level off a reel's sound as a whole: its mean, then whatever moves slower
// than `cutoff` Hz (the print's density drifting, the lamp ageing), by a second-order
// Butterworth high-pass run forwards and then backwards, so that nothing is delayed
// or turned in phase. The ends are padded with their own mirror image, so the filter
// starts settled on the sound's own level.
void removeReelLevel(std::vector<float>& sound, double rate, double cutoff);

}  // namespace kelvora
