#pragma once

#include <algorithm>
#include <vector>

namespace kelvora {

// The level `t` (0 to 1) of the way from row `i` of `samples` to the next: Catmull-Rom
// through rows i - 1 to i + 2, a row past either end standing for the end.
inline double betweenRows(const std::vector<float>& samples, long i, double t) {
  const long last = static_cast<long>(samples.size()) - 1;
  const auto at = [&](long k) { return static_cast<double>(samples[std::clamp(k, 0L, last)]); };
  const double p0 = at(i - 1), p1 = at(i), p2 = at(i + 1), p3 = at(i + 2);
  return p1 + 0.5 * t *
                  (p2 - p0 +
                   t * (2.0 * p0 - 5.0 * p1 + 4.0 * p2 - p3 + t * (3.0 * (p1 - p2) + p3 - p0)));
}

// The whole number at or below `x` (within the range of a long): std::floor's, without
// a call.
inline long wholeBelow(double x) {
  const long toward = static_cast<long>(x);
  return static_cast<double>(toward) > x ? toward - 1 : toward;
}

// The whole number nearest `x` (0 or more, below 2^63), a half rounded up: what
// std::lround gives, without a call. The part past the whole number below is found
// exactly, so a part a hair under a half is not taken for one.
inline long nearestWhole(double x) {
  const long below = static_cast<long>(x);
  return x - static_cast<double>(below) >= 0.5 ? below + 1 : below;
}

// The value at place `at` of `values` (non-empty), by a linear blend of the two either
// side; a place past either end takes the end's value.
template <typename T>
double linearlyAt(const std::vector<T>& values, double at) {
  const int last = static_cast<int>(values.size()) - 1;
  at = std::clamp(at, 0.0, static_cast<double>(last));
  const int below = static_cast<int>(at);
  const int above = std::min(below + 1, last);
  return values[below] + (at - below) * (values[above] - values[below]);
}

}  // namespace kelvora
