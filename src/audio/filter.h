#pragma once

#include <vector>

namespace kelvora {

// Passes the finished soundtrack through the fixed 20-tap low-pass and replaces it
// with the full convolution, 19 samples longer (the sound comes out about ten
// samples late). Samples before the first and after the last count as copies of
// them, so a constant sequence stays constant to its ends. An empty sequence stays
// empty. Returns 0.
int filter(std::vector<float>& soundV);

}  // namespace kelvora
