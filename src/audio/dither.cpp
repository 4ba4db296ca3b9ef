#include "audio/dither.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace kelvora {

std::vector<std::int32_t> quantise(const std::vector<float>& samples, int bits) {
  const double steps = std::ldexp(1.0, bits - 1);  // steps from silence to full scale
  const double highest = steps - 1.0;
  const int shift = 32 - bits;
  const bool dither = bits < 24;
  std::minstd_rand noise(0x4b656c76);  // a fixed seed: the same sound, the same file
  std::uniform_real_distribution<double> step(0.0, 1.0);
  std::vector<std::int32_t> out(samples.size());
  for (size_t i = 0; i < samples.size(); ++i) {
    double v = std::isnan(samples[i]) ? 0.0 : static_cast<double>(samples[i]) * steps;
    if (dither) v += step(noise) - step(noise);
    const double whole = std::clamp(std::round(v), -steps, highest);
    out[i] =
        static_cast<std::int32_t>(static_cast<std::int64_t>(whole) * (std::int64_t{1} << shift));
  }
  return out;
}

}  // namespace kelvora
