#include "precise/reel_level.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace kelvora {

namespace {

struct HighPass {
  double b0, b1, b2, a1, a2;
};

HighPass butterworthHighPass(double rate, double cutoff) {
  const double w = 2.0 * 3.141592653589793 * cutoff / rate;
  const double alpha = std::sin(w) / std::sqrt(2.0);  // Q = 1/sqrt(2)
  const double c = std::cos(w);
  const double a0 = 1.0 + alpha;
  return HighPass{(1.0 + c) / 2.0 / a0, -(1.0 + c) / a0, (1.0 + c) / 2.0 / a0, -2.0 * c / a0,
                  (1.0 - alpha) / a0};
}

void runForwards(std::vector<double>& x, const HighPass& f) {
  double s1 = 0.0, s2 = 0.0;  // transposed direct form II
  for (double& v : x) {
    const double y = f.b0 * v + s1;
    s1 = f.b1 * v - f.a1 * y + s2;
    s2 = f.b2 * v - f.a2 * y;
    v = y;
  }
}

}  // namespace

void removeReelLevel(std::vector<float>& sound, double rate, double cutoff) {
  const long n = static_cast<long>(sound.size());
  if (n < 2 || !(rate > 0.0) || !(cutoff > 0.0) || cutoff >= rate / 2) return;
  const double mean = std::accumulate(sound.begin(), sound.end(), 0.0) / n;
  const long pad = std::min<long>(n - 1, std::lround(3.0 * rate / cutoff));
  std::vector<double> x(static_cast<size_t>(n + 2 * pad));
  for (long i = 0; i < n; ++i) x[pad + i] = sound[i] - mean;
  for (long i = 1; i <= pad; ++i) {
    // Plain mirror images keep the sound's own mean level beyond its ends; turned
    // ones (about the end sample) would add a step of twice that sample.
    x[pad - i] = x[pad + i];
    x[pad + n - 1 + i] = x[pad + n - 1 - i];
  }
  const HighPass f = butterworthHighPass(rate, cutoff);
  runForwards(x, f);
  std::reverse(x.begin(), x.end());
  runForwards(x, f);
  std::reverse(x.begin(), x.end());
  for (long i = 0; i < n; ++i) sound[i] = static_cast<float>(x[pad + i]);
}

}  // namespace kelvora
