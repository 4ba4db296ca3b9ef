#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace kelvora {

// Rounds to the nearest integer, halves away from zero, in double precision.
// Values beyond the int32 range saturate; NaN gives 0.
inline std::int32_t roundToInt(double v) {
  if (std::isnan(v)) return 0;
  const double r = v >= 0.0 ? std::floor(v + 0.5) : std::ceil(v - 0.5);
  if (r >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
    return std::numeric_limits<std::int32_t>::max();
  if (r <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(r);
}

// Truncates toward zero. Values beyond the int32 range saturate; NaN gives 0.
inline std::int32_t truncToInt(double v) {
  if (std::isnan(v)) return 0;
  const double t = std::trunc(v);
  if (t >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
    return std::numeric_limits<std::int32_t>::max();
  if (t <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(t);
}

// A fraction of a length formed in single precision, as the recorder did, then
// rounded: singleRounded(0.2f, h).
inline std::int32_t singleRounded(float fraction, int length) {
  return roundToInt(static_cast<double>(fraction * static_cast<float>(length)));
}

// Pixels covered by `lengthCm` of film at `dpi` dots per inch, rounded.
inline std::int32_t cmToPixels(double dpi, double lengthCm) {
  return roundToInt(dpi * lengthCm / 2.54);
}

}  // namespace kelvora
