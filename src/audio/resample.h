#pragma once

#include <string>
#include <vector>

namespace kelvora {

// The samples taken from `fromRate` to `toRate` with the resampler's very-high-quality
// setting (linear phase, pass band flat to 95 % of the lower Nyquist frequency, stop
// band below -170 dB). The result has round(n * toRate / fromRate) samples and starts
// at the same instant. `error`, when given, receives the resampler's message on failure
// (the result is then empty).
std::vector<float> resample(const std::vector<float>& samples, double fromRate, int toRate,
                            std::string* error = nullptr);

// The resampler's name and setting for a file's coding history.
std::string resamplerName();

}  // namespace kelvora
