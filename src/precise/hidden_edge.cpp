#include "precise/hidden_edge.h"

#include <algorithm>
#include <cstddef>

#include "precise/column_runs.h"

namespace kelvora {

namespace {

// A column whose clear share lies this far inside 0 and 1 is on an edge's ramp.
constexpr double kOnRamp = 0.05;
// An edge whose place under the run the film either side leaves unsure by this many
// columns or more is read from its ramp.
constexpr double kUnsure = 0.5;
// A column darker than clear film by more than this, where the film beyond it is clear
// whole, lies partly under a scratch: more than grain, and than a dip the edge's ramp
// would be read across (see clearWidth).
constexpr double kCovered = 0.15;
// Rows whose film beyond the column is clear whole that tell.
constexpr int kLeastClearRows = 16;

// Whether a column beside a run, whose clear shares on the rows are `shares`, is film:
// clear on some rows and opaque on others (one in two hundred at least, where the sound
// reaches it at its loudest only). A column a scratch covers in part is neither on any.
bool reachesBoth(const std::vector<double>& shares) {
  if (shares.size() < 16) return false;
  std::vector<double> sorted(shares);
  const auto at = [&](double part) {
    const auto k =
        sorted.begin() + static_cast<long>(part * static_cast<double>(sorted.size() - 1));
    std::nth_element(sorted.begin(), k, sorted.end());
    return *k;
  };
  return at(0.005) < kOnRamp && at(0.995) > 1.0 - kOnRamp;
}

}  // namespace

int readEdgeUnder(cv::Mat& window, ColumnSpan span, ColumnSpan track,
                  const std::vector<double>& clearLevel, const std::vector<double>& opaqueLevel) {
  const int n = window.cols;
  const int rows = window.rows;
  const int width = span.last - span.first + 1;
  const bool clearBefore = track.first < track.last;
  const int zoneFirst = std::max(0, std::min(track.first, track.last));
  const int zoneLast = std::min(n - 1, std::max(track.first, track.last));
  // The ramp is looked for this far either side of the run.
  const int reach = std::max(4, width);
  if (width < 1 || span.first - reach < zoneFirst || span.last + reach > zoneLast ||
      static_cast<int>(clearLevel.size()) < rows || static_cast<int>(opaqueLevel.size()) < rows)
    return 0;
  // Columns counted from the clear side, the run's first at 0.
  const auto column = [&](int k) { return clearBefore ? span.first + k : span.last - k; };
  const auto shareOf = [&](int y, int k) {
    const double lo = opaqueLevel[static_cast<size_t>(y)];
    const double range = clearLevel[static_cast<size_t>(y)] - lo;
    return std::clamp((window.at<float>(y, column(k)) - lo) / range, 0.0, 1.0);
  };
  const auto lit = [&](int y) {
    return clearLevel[static_cast<size_t>(y)] - opaqueLevel[static_cast<size_t>(y)] > 1.0;
  };
  // The columns either side of the run must be film the edge crosses.
  const auto besideIsFilm = [&](int k) {
    std::vector<double> shares;
    for (int y = 0; y < rows; ++y)
      if (lit(y)) shares.push_back(shareOf(y, k));
    return reachesBoth(shares);
  };
  if (!besideIsFilm(-1) || !besideIsFilm(width)) return 0;

  int read = 0;
  for (int y = 0; y < rows; ++y) {
    if (!lit(y)) continue;
    const double first = shareOf(y, -1), last = shareOf(y, width);
    const double low = std::min(first, last), high = std::max(first, last);
    if ((high - low) * width < kUnsure) continue;
    // The ramp falls from the clear side: where it shows on one side of the run only, it
    // ends (or starts) under it, and runs on as it falls by the two columns beside it.
    const double fallBefore = first - shareOf(y, -2);
    const double fallAfter = shareOf(y, width + 1) - last;
    const bool endsUnder = fallBefore < -kOnRamp && first < 1.0 - kOnRamp;
    const bool startsUnder = fallAfter < -kOnRamp && last > kOnRamp;
    // A ramp on both sides crosses the run: the straight line between them stands.
    if (endsUnder == startsUnder) continue;
    const double lo = opaqueLevel[static_cast<size_t>(y)];
    const double range = clearLevel[static_cast<size_t>(y)] - lo;
    float* row = window.ptr<float>(y);
    for (int k = 0; k < width; ++k) {
      const double s = endsUnder ? first + fallBefore * (k + 1) : last - fallAfter * (width - k);
      row[column(k)] = static_cast<float>(lo + std::clamp(s, low, high) * range);
    }
    ++read;
  }
  return read;
}

int takeInFarEdges(std::vector<bool>& hidden, const cv::Mat& window, int anchor,
                   const std::vector<double>& clearLevel, const std::vector<double>& opaqueLevel,
                   cv::Range rows) {
  const int n = std::min(window.cols, static_cast<int>(hidden.size()));
  const int from = std::max(rows.start, 0);
  const int to = std::min({rows.end, window.rows, static_cast<int>(clearLevel.size()),
                           static_cast<int>(opaqueLevel.size())});
  std::vector<int> far;
  forEachRun(
      n, [&](int x) { return hidden[static_cast<size_t>(x)]; },
      [&](int a, int end) {
        if (anchor >= a - 1 && anchor <= end) return;
        const int step = anchor < a ? 1 : -1;
        const int column = step > 0 ? end : a - 1;
        const int beyond = column + step;
        if (beyond < 0 || beyond >= n || hidden[static_cast<size_t>(beyond)]) return;
        double sum = 0.0;
        int count = 0;
        for (int y = from; y < to; ++y) {
          const double lo = opaqueLevel[static_cast<size_t>(y)];
          const double range = clearLevel[static_cast<size_t>(y)] - lo;
          if (!(range > 1.0)) continue;
          const float* row = window.ptr<float>(y);
          if ((row[beyond] - lo) / range < 1.0 - kOnRamp) continue;
          sum += std::clamp((row[column] - lo) / range, 0.0, 1.0);
          ++count;
        }
        if (count >= kLeastClearRows && sum / count < 1.0 - kCovered) far.push_back(column);
      });
  for (const int x : far) hidden[static_cast<size_t>(x)] = true;
  return static_cast<int>(far.size());
}

}  // namespace kelvora
