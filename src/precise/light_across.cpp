#include "precise/light_across.h"

#include <algorithm>
#include <cmath>

namespace kelvora {

namespace {

// A column counts as the film the light reaches most where its share of the way from
// the row's other level is beyond this, and so are its neighbours': not an edge's ramp.
constexpr double kWhole = 0.9;
constexpr int kNeighbours = 3;
// Rows a column must show that film on to be measured.
constexpr int kLeastRows = 8;
// A column lying further off the parabola through the others than thrice their spread
// about it, and than this, is no film lit unevenly (a scratch, its edges, a line of
// dirt): the parabola is drawn again without it, a few times over.
constexpr double kOffParabola = 0.003;
constexpr int kRedrawings = 3;
// Columns measured on this share of the rows the most measured one is, at least: clear on
// nearly every row.
constexpr double kHeld = 0.9;
// A falloff across the track smaller than this is no more than the measure's own error
// (the film's grain, the edges' ramps, the levels' steps): the track is taken as lit evenly.
constexpr double kLeastFalloff = 0.006;
// The lamp's falloff across a track is a few per cent at the most.
constexpr double kMostOff = 0.15;

// The least-squares parabola `c` (1, t, t^2 in t, the place across the `cols` columns from
// -0.5 to 0.5) through `values` at `columns`, weighted by `weights`, of those `used`;
// false where they do not make one.
bool parabolaAcross(const std::vector<double>& columns, const std::vector<double>& values,
                    const std::vector<double>& weights, const std::vector<bool>& used, int cols,
                    cv::Vec3d& c) {
  cv::Matx33d a = cv::Matx33d::zeros();
  cv::Vec3d b(0, 0, 0);
  int count = 0;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (!used[i]) continue;
    const double t = columns[i] / std::max(cols - 1, 1) - 0.5;
    const cv::Vec3d p(1.0, t, t * t);
    a += weights[i] * (p * p.t());
    b += weights[i] * values[i] * p;
    ++count;
  }
  return count >= 3 && cv::solve(a, b, c, cv::DECOMP_SVD);
}

}  // namespace

std::vector<float> lightAcross(const cv::Mat& window, cv::Range rows,
                               const std::vector<double>& clearLevel,
                               const std::vector<double>& opaqueLevel, double top) {
  const int cols = window.cols;
  std::vector<std::vector<float>> ratios(static_cast<size_t>(std::max(cols, 0)));
  const int first = std::max(0, rows.start);
  const int end = std::min({rows.end, window.rows, static_cast<int>(clearLevel.size()),
                            static_cast<int>(opaqueLevel.size())});
  std::vector<bool> whole(static_cast<size_t>(std::max(cols, 0)));
  // Every fourth row: the light changes across the film, not from row to row.
  for (int y = first; y < end; y += 4) {
    const double lo = opaqueLevel[static_cast<size_t>(y)];
    const double span = clearLevel[static_cast<size_t>(y)] - lo;
    if (!(span > 1.0)) continue;
    const bool byClear = std::abs(lo + span - top) >= std::abs(lo - top);
    const double reached = (byClear ? lo + span : lo) - top;
    if (!(std::abs(reached) > 1.0)) continue;
    const float* row = window.ptr<float>(y);
    for (int x = 0; x < cols; ++x) {
      const double share = (row[x] - lo) / span;
      whole[static_cast<size_t>(x)] = byClear ? share > kWhole : share < 1.0 - kWhole;
    }
    for (int x = kNeighbours; x + kNeighbours < cols; ++x) {
      bool inside = true;
      for (int u = x - kNeighbours; u <= x + kNeighbours && inside; ++u)
        inside = whole[static_cast<size_t>(u)];
      if (inside)
        ratios[static_cast<size_t>(x)].push_back(static_cast<float>((row[x] - top) / reached));
    }
  }
  // Each column's middle ratio: a speck on a few of its rows is passed by.
  std::vector<double> columns, values, weights;
  for (int x = 0; x < cols; ++x) {
    std::vector<float>& r = ratios[static_cast<size_t>(x)];
    if (static_cast<int>(r.size()) < kLeastRows) continue;
    const auto middle = r.begin() + static_cast<long>(r.size() / 2);
    std::nth_element(r.begin(), middle, r.end());
    columns.push_back(x);
    values.push_back(*middle);
    weights.push_back(static_cast<double>(r.size()));
  }
  std::vector<bool> used(columns.size(), true);
  cv::Vec3d c;
  if (!parabolaAcross(columns, values, weights, used, cols, c)) return {};
  const auto at = [&](double x) {
    const double t = x / std::max(cols - 1, 1) - 0.5;
    return c[0] + c[1] * t + c[2] * t * t;
  };
  std::vector<double> offs;
  for (int k = 0; k < kRedrawings; ++k) {
    offs.clear();
    for (size_t i = 0; i < columns.size(); ++i)
      if (used[i]) offs.push_back(std::abs(values[i] - at(columns[i])));
    const auto middle = offs.begin() + static_cast<long>(offs.size() / 2);
    std::nth_element(offs.begin(), middle, offs.end());
    const double far = std::max(kOffParabola, 3.0 * 1.4826 * *middle);
    for (size_t i = 0; i < columns.size(); ++i)
      used[i] = std::abs(values[i] - at(columns[i])) <= far;
    if (!parabolaAcross(columns, values, weights, used, cols, c)) return {};
  }
  // The columns clear on nearly every row (a unilateral track's fixed part) hold most of
  // every row's width: the parabola is held to their own light, so that it moves no
  // scan's width by a share of theirs the parabola misses there.
  const double most = *std::max_element(weights.begin(), weights.end());
  double held = 0.0, fitted = 0.0;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (!used[i] || weights[i] < kHeld * most) continue;
    held += weights[i] * values[i];
    fitted += weights[i] * at(columns[i]);
  }
  if (!(fitted > 0.0 && held > 0.0)) return {};
  c *= held / fitted;
  const auto firstUsed = std::find(used.begin(), used.end(), true);
  const auto lastUsed = std::find(used.rbegin(), used.rend(), true);
  const double from = columns[static_cast<size_t>(firstUsed - used.begin())];
  const double to = columns[columns.size() - 1 - static_cast<size_t>(lastUsed - used.rbegin())];
  std::vector<float> light(static_cast<size_t>(cols));
  double least = 2.0, highest = 0.0;
  for (int x = 0; x < cols; ++x) {
    const double l = at(std::clamp(static_cast<double>(x), from, to));
    if (!(std::abs(l - 1.0) <= kMostOff)) return {};
    light[static_cast<size_t>(x)] = static_cast<float>(l);
    least = std::min(least, l);
    highest = std::max(highest, l);
  }
  if (highest - least < kLeastFalloff) return {};
  return light;
}

void evenAcross(cv::Mat& window, const std::vector<float>& light, double top) {
  if (static_cast<int>(light.size()) != window.cols) return;
  const auto t = static_cast<float>(top);
  for (int y = 0; y < window.rows; ++y) {
    float* row = window.ptr<float>(y);
    for (int x = 0; x < window.cols; ++x) row[x] = t + (row[x] - t) / light[static_cast<size_t>(x)];
  }
}

void evenCementAcross(cv::Mat& window, const std::vector<double>& kept, int first, double turn,
                      double middle, double top) {
  const int n = static_cast<int>(kept.size());
  if (turn == 0.0 || n == 0) return;
  // The share at a place between the rows at the middle, beyond the rows known as the
  // nearest's.
  const auto keptAt = [&](double at) {
    const double i = std::clamp(at - first, 0.0, n - 1.0);
    const int below = static_cast<int>(std::floor(i));
    const int above = std::min(below + 1, n - 1);
    return kept[static_cast<size_t>(below)] +
           (i - below) * (kept[static_cast<size_t>(above)] - kept[static_cast<size_t>(below)]);
  };
  // Rows the slant may carry a band's end onto.
  const int reach =
      static_cast<int>(std::ceil(std::abs(turn) * std::max(middle, window.cols - 1 - middle))) + 1;
  std::vector<bool> near(static_cast<size_t>(window.rows), false);
  for (int i = 0; i < n; ++i) {
    if (kept[static_cast<size_t>(i)] == 1.0) continue;
    for (int y = std::max(0, first + i - reach); y <= std::min(window.rows - 1, first + i + reach);
         ++y)
      near[static_cast<size_t>(y)] = true;
  }
  for (int y = 0; y < window.rows; ++y) {
    if (!near[static_cast<size_t>(y)]) continue;
    const double here = keptAt(y);
    float* row = window.ptr<float>(y);
    for (int x = 0; x < window.cols; ++x) {
      const double own = keptAt(y + turn * (x - middle));
      if (own > 0.0) row[x] = static_cast<float>(top + (row[x] - top) * here / own);
    }
  }
}

}  // namespace kelvora
