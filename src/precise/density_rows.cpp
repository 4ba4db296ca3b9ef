#include "precise/density_rows.h"
#include "precise/between_rows.h"
#include "signal/side_by_side.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace kelvora {

namespace {

// A band of columns spans no more of a row's delay than this, in rows.
constexpr double kBandDelay = 0.1;
// ...and has at least this many columns, so that a speck is still outvoted in it.
constexpr int kBandColumns = 8;
// Rows either side of a place between rows that the windowed sinc reads.
constexpr int kReach = 6;

double sinc(double x) {
  return std::abs(x) < 1e-9 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
}

// `levels` read `delay` rows later (a part of a row, either way): a Lanczos-windowed
// sinc over kReach rows either side, the ends standing for the rows beyond them.
std::vector<double> delayed(const std::vector<double>& levels, double delay) {
  const long n = static_cast<long>(levels.size());
  if (n == 0 || std::abs(delay) < 1e-3) return levels;
  const long whole = static_cast<long>(std::floor(delay));
  const double part = delay - static_cast<double>(whole);
  const std::vector<double> weights = lanczosWeights(part, kReach);
  std::vector<double> out(static_cast<size_t>(n));
  for (long y = 0; y < n; ++y) {
    double v = 0.0;
    for (int k = -kReach + 1; k <= kReach; ++k) {
      const long at = std::clamp(y + whole + k, 0L, n - 1);
      v += weights[static_cast<size_t>(k + kReach - 1)] * levels[static_cast<size_t>(at)];
    }
    out[static_cast<size_t>(y)] = v;
  }
  return out;
}

// Rows no wider than this have their median counted out (see middleOfFew).
constexpr int kFewColumns = 64;

}  // namespace

float middleOfFew(const float* levels, int n) {
  const int k = n / 2;
  for (int i = 0; i < n; ++i) {
    const float v = levels[i];
    int below = 0, same = 0;
    for (int j = 0; j < n; ++j) {
      below += levels[j] < v ? 1 : 0;
      same += levels[j] == v ? 1 : 0;
    }
    if (below <= k && k < below + same) return v;
  }
  return levels[k];  // only where levels do not compare (not a number)
}

double middleValue(std::vector<float>& values) {
  if (values.empty()) return 0.0;
  const size_t n = values.size(), k = n / 2;
  const float* v = values.data();
  // Whether every level lies from 0 to below 256, none a negative zero (put in order as
  // it is, lest the middle's sign change), whether all are whole, and the least.
  bool counted = true, whole = true;
  float least = 256.0f;
  size_t i = 0;
#if defined(__SSE2__)
  {
    const __m128 zero = _mm_setzero_ps(), top = _mm_set1_ps(256.0f);
    const __m128i negativeZero = _mm_set1_epi32(static_cast<int>(0x80000000u));
    __m128 in = _mm_castsi128_ps(_mm_set1_epi32(-1)), integral = in, low = top;
    for (; i + 4 <= n; i += 4) {
      const __m128 x = _mm_loadu_ps(v + i);
      const __m128i bits = _mm_castps_si128(x);
      in = _mm_and_ps(in, _mm_and_ps(_mm_cmpge_ps(x, zero), _mm_cmplt_ps(x, top)));
      in = _mm_andnot_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(bits, negativeZero)), in);
      integral = _mm_and_ps(integral, _mm_cmpeq_ps(_mm_cvtepi32_ps(_mm_cvttps_epi32(x)), x));
      low = _mm_min_ps(low, x);
    }
    counted = _mm_movemask_ps(in) == 0xf;
    whole = _mm_movemask_ps(integral) == 0xf;
    alignas(16) float lows[4];
    _mm_store_ps(lows, low);
    for (const float l : lows) least = l < least ? l : least;
  }
#endif
  for (; i < n; ++i) {
    counted &=
        (v[i] >= 0.0f) & (v[i] < 256.0f) & (std::bit_cast<std::uint32_t>(v[i]) != 0x80000000u);
    if (!counted) break;
    whole &= static_cast<float>(static_cast<int>(v[i])) == v[i];
    least = v[i] < least ? v[i] : least;
  }
  if (counted) {
    std::array<int, 256> count{};
    for (i = 0; i < n; ++i) ++count[static_cast<size_t>(static_cast<int>(v[i]))];
    // The count passes k at the highest level held at the latest.
    size_t below = 0;
    int level = static_cast<int>(least);
    while (below + static_cast<size_t>(count[static_cast<size_t>(level)]) <= k)
      below += static_cast<size_t>(count[static_cast<size_t>(level++)]);
    if (whole) return level;
    // The middle lies among the levels of that whole part, and is found among them as
    // among all: counted by 256ths of a level (the part past the whole level is exact,
    // and so is its count of 256ths), and those of the 256th it lies in put in order.
    thread_local std::vector<float> part;
    if (part.size() < n) part.resize(n);
    float* out = part.data();
    size_t held = 0;
    for (i = 0; i < n; ++i) {
      out[held] = v[i];
      held += static_cast<int>(v[i]) == level ? 1 : 0;
    }
    const float base = static_cast<float>(level);
    const auto fineOf = [base](float x) { return static_cast<int>((x - base) * 256.0f); };
    count.fill(0);
    for (i = 0; i < held; ++i) ++count[static_cast<size_t>(fineOf(out[i]))];
    int fine = 0;
    while (below + static_cast<size_t>(count[static_cast<size_t>(fine)]) <= k)
      below += static_cast<size_t>(count[static_cast<size_t>(fine++)]);
    size_t few = 0;
    for (i = 0; i < held; ++i) {
      out[few] = out[i];
      few += fineOf(out[i]) == fine ? 1 : 0;
    }
    const auto mid = part.begin() + static_cast<long>(k - below);
    std::nth_element(part.begin(), mid, part.begin() + static_cast<long>(few));
    return *mid;
  }
  const auto mid = values.begin() + static_cast<long>(k);
  std::nth_element(values.begin(), mid, values.end());
  return *mid;
}

std::vector<double> lanczosWeights(double part, int reach) {
  std::vector<double> weights;
  double sum = 0.0;
  for (int k = -reach + 1; k <= reach; ++k) {
    const double x = k - part;
    weights.push_back(sinc(x) * sinc(x / reach));
    sum += weights.back();
  }
  for (double& w : weights) w /= sum;
  return weights;
}

RowsBetween::RowsBetween(int reach, int parts) : reach_(reach), parts_(parts) {
  for (int p = 0; p <= parts; ++p) {
    const std::vector<double> w = lanczosWeights(static_cast<double>(p) / parts, reach);
    table_.insert(table_.end(), w.begin(), w.end());
  }
}

long RowsBetween::tapsFor(double place, const double*& weights) const {
  const long whole = wholeBelow(place);
  const long part = nearestWhole((place - static_cast<double>(whole)) * parts_);
  weights = table_.data() + part * 2 * reach_;
  return whole - reach_ + 1;
}

double RowsBetween::clamped(const std::vector<double>& values, long first, const double* w) const {
  const long last = static_cast<long>(values.size()) - 1;
  double v = 0.0;
  for (int k = 0; k < 2 * reach_; ++k)
    v += w[k] * values[static_cast<size_t>(std::clamp(first + k, 0L, last))];
  return v;
}

double RowsBetween::at(const std::vector<double>& values, double place) const {
  const double* w = nullptr;
  const long first = tapsFor(place, w);
  if (first < 0 || first + 2 * reach_ > static_cast<long>(values.size()))
    return clamped(values, first, w);
  // Every row read lies within the values.
  const double* in = values.data() + first;
  double v = 0.0;
  for (int k = 0; k < 2 * reach_; ++k) v += w[k] * in[k];
  return v;
}

void RowsBetween::at(const std::vector<double>& values, const std::vector<double>& places,
                     std::vector<double>& out) const {
  const size_t n = places.size();
  const long rows = static_cast<long>(values.size());
  out.resize(n);
  size_t i = 0;
  // Each place's sum is taken in the order of its taps, as at() takes it; four sums
  // side by side do not wait on each other.
  for (; i + 4 <= n; i += 4) {
    const double* w[4];
    long first[4];
    bool within = true;
    for (int j = 0; j < 4; ++j) {
      first[j] = tapsFor(places[i + static_cast<size_t>(j)], w[j]);
      within = within && first[j] >= 0 && first[j] + 2 * reach_ <= rows;
    }
    if (!within) {
      for (int j = 0; j < 4; ++j)
        out[i + static_cast<size_t>(j)] = at(values, places[i + static_cast<size_t>(j)]);
      continue;
    }
    const double *in0 = values.data() + first[0], *in1 = values.data() + first[1],
                 *in2 = values.data() + first[2], *in3 = values.data() + first[3];
    double v0 = 0.0, v1 = 0.0, v2 = 0.0, v3 = 0.0;
    for (int k = 0; k < 2 * reach_; ++k) {
      v0 += w[0][k] * in0[k];
      v1 += w[1][k] * in1[k];
      v2 += w[2][k] * in2[k];
      v3 += w[3][k] * in3[k];
    }
    out[i] = v0;
    out[i + 1] = v1;
    out[i + 2] = v2;
    out[i + 3] = v3;
  }
  for (; i < n; ++i) out[i] = at(values, places[i]);
}

std::vector<double> rowLevels(const cv::Mat& film) {
  std::vector<double> means(static_cast<size_t>(film.rows));
  if (film.cols < 1) return means;
  // Rows are read apart, in stripes side by side.
  sideBySide(film.rows, [&](int first, int end) {
    std::vector<float> row(static_cast<size_t>(film.cols));
    for (int y = first; y < end; ++y) {
      const float* in = film.ptr<float>(y);
      // A row that spreads less than the reach about its least level leaves no pixel
      // out, whatever its median: the mean of them all.
      float lo = in[0], hi = in[0];
      for (int x = 1; x < film.cols; ++x) {
        lo = std::min(lo, in[x]);
        hi = std::max(hi, in[x]);
      }
      if (hi - lo <= std::max(8.0f, 0.15f * lo)) {
        double sum = 0.0;
        for (int x = 0; x < film.cols; ++x) sum += in[x];
        means[static_cast<size_t>(y)] = sum / film.cols;
        continue;
      }
      float median;
      if (film.cols <= kFewColumns) {
        median = middleOfFew(in, film.cols);
      } else {
        row.assign(in, in + film.cols);
        std::nth_element(row.begin(), row.begin() + row.size() / 2, row.end());
        median = row[row.size() / 2];
      }
      const float reach = std::max(8.0f, 0.15f * median);
      double sum = 0.0;
      int count = 0;
      for (int x = 0; x < film.cols; ++x) {
        if (std::abs(in[x] - median) > reach) continue;
        sum += in[x];
        ++count;
      }
      means[static_cast<size_t>(y)] = count > 0 ? sum / count : median;
    }
  });
  return means;
}

namespace {

// `levels` read at row y - `stretch` * (y - `middle`), between rows by the windowed sinc
// over kReach rows either side (the ends standing for the rows beyond them); as they are
// where no row moves by a thousandth of a row.
std::vector<double> stretchedAbout(const std::vector<double>& levels, double stretch,
                                   double middle) {
  const double n = static_cast<double>(levels.size());
  if (levels.empty() || std::abs(stretch) * std::max(middle, n - middle) < 1e-3) return levels;
  static const RowsBetween between(kReach, 1024);
  std::vector<double> places(levels.size()), out;
  for (size_t y = 0; y < places.size(); ++y) {
    const double row = static_cast<double>(y);
    places[y] = row - stretch * (row - middle);
  }
  between.at(levels, places, out);
  return out;
}

}  // namespace

std::vector<double> densityRows(const cv::Mat& window, double skew, double drift, double middleRow,
                                const std::vector<bool>& leftOut) {
  const int cols = window.cols;
  const auto out = [&](int x) {
    return static_cast<size_t>(x) < leftOut.size() && leftOut[static_cast<size_t>(x)];
  };
  int read = 0;
  for (int x = 0; x < cols; ++x) read += out(x) ? 0 : 1;
  // Every column left out: all are read, as they are.
  const bool all = read == 0 || read == cols;
  if (all) read = cols;
  // The columns from x0 to x1 that are read, side by side.
  const auto readColumns = [&](int x0, int x1) {
    if (all) return window.colRange(x0, x1);
    std::vector<cv::Mat> kept;
    for (int x = x0; x < x1; ++x)
      if (!out(x)) kept.push_back(window.col(x));
    cv::Mat joined;
    if (!kept.empty()) cv::hconcat(kept, joined);
    return joined;
  };
  // A turn that moves the window's outer columns by under a twentieth of a row is none.
  if (cols < 2 * kBandColumns || std::abs(skew) * cols < 0.1)
    return stretchedAbout(rowLevels(readColumns(0, cols)), skew * drift, middleRow);
  const int bandCols =
      std::max(kBandColumns, static_cast<int>(std::floor(kBandDelay / std::abs(skew))));
  const int bands = std::max(1, cols / bandCols);
  const double centre = 0.5 * (cols - 1);
  std::vector<double> sum(static_cast<size_t>(window.rows), 0.0);
  for (int b = 0; b < bands; ++b) {
    const int x0 = cols * b / bands, x1 = cols * (b + 1) / bands;
    // The band's middle column read: column x shows the film's row y - skew * (x - centre)
    // on row y.
    double middle = 0.0;
    int count = 0;
    for (int x = x0; x < x1; ++x)
      if (all || !out(x)) middle += x, ++count;
    if (count == 0) continue;
    const double delay = -skew * (middle / count - centre);
    const std::vector<double> band = delayed(rowLevels(readColumns(x0, x1)), delay);
    for (size_t y = 0; y < sum.size(); ++y) sum[y] += band[y] * count;
  }
  for (double& v : sum) v /= read;
  return stretchedAbout(sum, skew * drift, middleRow);
}

}  // namespace kelvora
