#pragma once

#include <cstdint>
#include <vector>

namespace kelvora {

// Full-scale samples (-1 to 1) as whole values of `bits` bits, left-justified in 32
// bits as the sound-file library takes them. Below 24 bits a triangular (TPDF) dither
// of one step either way is added before rounding, from a fixed seed, so the same
// sound always gives the same file; at 24 bits and above the samples are rounded.
// Samples beyond full scale are held at it.
std::vector<std::int32_t> quantise(const std::vector<float>& samples, int bits);

}  // namespace kelvora
