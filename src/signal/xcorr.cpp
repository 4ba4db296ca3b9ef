#include "signal/xcorr.h"

#include <algorithm>
#include <cmath>

#include "signal/vector_clones.h"

namespace kelvora {

namespace {

// Adds a[i] * b[i + j - n] to r[j] for every i in order and every lag j in
// [jLo(i), jHi(i)], within [firstLag, lastLag]. The loop runs over lags innermost,
// so each lag keeps its own sum in order of increasing i while the lags are worked on
// side by side. When `skipZeros` holds, terms that meet a padded zero of b, or a zero
// of a, are left out: adding +0.0 or -0.0 to a finite running sum that started at
// +0.0 changes nothing, so results are the same.
KELVORA_VECTOR_CLONES void accumulateLags(const float* a, const float* third, float* r, int n,
                                          int firstLag, int lastLag, bool skipZeros) {
  const int lags = 2 * n - 1;
  for (int i = 0; i < n; ++i) {
    const double ai = a[i];
    if (skipZeros && a[i] == 0.0f) continue;
    // third[j - 1 + i] is b[i + j - n] with n - 1 zeros on either side.
    const float* t = third + i - 1;
    int jLo = 1;
    int jHi = lags;
    if (skipZeros) {
      jLo = n - i;
      jHi = 2 * n - 1 - i;
    }
    jLo = std::max(jLo, firstLag);
    jHi = std::min(jHi, lastLag);
    for (int j = jLo; j <= jHi; ++j) {
      r[j] = static_cast<float>(static_cast<double>(r[j]) + ai * static_cast<double>(t[j]));
    }
  }
}

bool allFinite(std::span<const float> v) {
  return std::all_of(v.begin(), v.end(), [](float x) { return std::isfinite(x); });
}

}  // namespace

Profile xcorr(std::span<const float> a, std::span<const float> b) {
  const int n = static_cast<int>(std::max(a.size(), b.size()));
  return xcorr(a, b, 1, 2 * n - 1);
}

Profile xcorr(std::span<const float> a, std::span<const float> b, int firstLag, int lastLag) {
  const int n = static_cast<int>(std::max(a.size(), b.size()));
  if (n == 0) return Profile{-1.0f};

  std::vector<float> paddedA(static_cast<size_t>(n), 0.0f);
  std::copy(a.begin(), a.end(), paddedA.begin());
  // N - 1 zeros, then b padded to N values, then N - 1 zeros.
  std::vector<float> third(static_cast<size_t>(3 * n - 2), 0.0f);
  std::copy(b.begin(), b.end(), third.begin() + (n - 1));

  Profile r(static_cast<size_t>(2 * n), 0.0f);
  r[0] = static_cast<float>(2 * n - 1);
  // A non-finite value turns 0 * x into NaN, so zeros must then be summed too.
  const bool skipZeros = allFinite(a) && allFinite(b);
  accumulateLags(paddedA.data(), third.data(), r.data(), n, std::max(firstLag, 1),
                 std::min(lastLag, 2 * n - 1), skipZeros);
  return r;
}

}  // namespace kelvora
