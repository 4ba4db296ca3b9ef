#pragma once

#include <vector>

namespace kelvora {

// Passes the finished soundtrack through the fixed 20-tap low-pass and replaces it
// with the full convolution, 19 samples longer (the sound comes out about ten
// samples late). An empty sequence stays empty. Returns 0.
int filter(std::vector<float>& soundV);

}  // namespace kelvora
